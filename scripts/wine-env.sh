# Sourced by scripts/test, scripts/demo and scripts/bench: an isolated Wine
# world inside the build folder.
#
#   wine_env_start BUILD_DIR [use-display]   Xvfb (unless use-display and $DISPLAY
#                                             is set), a WINEPREFIX in
#                                             BUILD_DIR/wine, a persistent wineserver
#   wine_env_stop                             stops what wine_env_start started
#
# Wine's first start in a prefix spawns service processes that inherit
# stdout/stderr, so everything Wine runs here writes to log files: a caller
# reading a pipe would otherwise wait forever.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

wine_env_start() {
  local build=$1 mode=${2:-}
  WINE_ENV_DIR=$(cd "$build" && pwd)/wine
  mkdir -p "$WINE_ENV_DIR"
  export WINEPREFIX=$WINE_ENV_DIR/prefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY

  WINE_ENV_XVFB_PID=
  if [ "$mode" != use-display ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 91 140); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$WINE_ENV_DIR/xvfb.log" 2>&1 &
      WINE_ENV_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    done
  fi

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE64" wineboot -i >"$WINE_ENV_DIR/wineboot.log" 2>&1 </dev/null || true
  fi
  setsid "$WINESERVER" -p >"$WINE_ENV_DIR/wineserver.log" 2>&1 </dev/null &
  sleep 0.2
  # The first program of a fresh wineserver starts Wine's service processes,
  # which inherit its output and outlive it: let that be a program whose
  # output goes nowhere, so CTest's pipes close when its tests end.
  "$WINE64" cmd.exe /c exit >"$WINE_ENV_DIR/warmup.log" 2>&1 </dev/null || true

  # Xvfb has no window manager: unmanaged, Wine draws window frames itself
  # and does not wait two seconds for a manager every time a window is
  # hidden or destroyed. On a real display the desktop's manager does that
  # job, so the setting (kept in the prefix) is undone there.
  local x11_key='HKCU\Software\Wine\X11 Driver'
  if [ -n "$WINE_ENV_XVFB_PID" ]; then
    "$WINE64" reg add "$x11_key" /v Managed /d N /f >"$WINE_ENV_DIR/reg.log" 2>&1 </dev/null || true
  else
    "$WINE64" reg delete "$x11_key" /v Managed /f >"$WINE_ENV_DIR/reg.log" 2>&1 </dev/null || true
  fi
  # A program that crashes prints its backtrace on stderr and ends at once,
  # instead of waiting on Wine's crash dialog until the test's time limit.
  "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$WINE_ENV_DIR/reg.log" 2>&1 </dev/null || true
}

wine_env_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
  fi
}
