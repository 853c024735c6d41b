#!/bin/sh
# Starts and stops the loopback back office servers of the Windows-side tests.
# CTest runs it natively (it is not a target, so no emulator is put in front):
#
#   backoffice_fixture.sh start DIR SERVER SCENARIO...   one server a scenario
#   backoffice_fixture.sh stop DIR                       stops them all
#
# For each scenario NAME.scenario the server writes DIR/NAME.port (once
# listening), DIR/NAME.log (its request log) and DIR/NAME.out (its output);
# DIR/NAME.pid holds its process id; "stop" removes the pid and port files
# and keeps the rest. Every server also stops by itself after 600 s, so a
# run that never reaches "stop" leaves nothing behind for long.
#
# The ports are picked below 32768: the transfer control keeps its proxy port
# as a 16-bit signed number, and the system's own choice (port 0) lands above.
set -u

# The process id in PIDFILE when it still is a back office server (the
# number may have been reused since a run that died); empty otherwise.
server_pid() {
  pid=$(cat "$1" 2>/dev/null || true)
  case "$pid" in '' | *[!0-9]*) return 0 ;; esac
  grep -q hta-backoffice "/proc/$pid/cmdline" 2>/dev/null && echo "$pid"
  return 0
}

# Stops the servers named by the pid files given: all are told at once, then
# waited for (a server takes about a second to end).
stop_servers() {
  pids=
  for pidfile in "$@"; do
    [ -e "$pidfile" ] || continue
    pid=$(server_pid "$pidfile")
    rm -f "$pidfile"
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && pids="$pids $pid"
  done
  for pid in $pids; do
    i=0
    while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 50 ]; do
      sleep 0.1
      i=$((i + 1))
    done
  done
  return 0
}

stop_all() {  # DIR: the logs stay for a look after the run
  stop_servers "$1"/*.pid
  rm -f "$1"/*.port
}

start_one() {  # DIR SERVER SCENARIO
  dir=$1 server=$2 scenario=$3
  name=$(basename "$scenario" .scenario)
  tries=0
  while [ "$tries" -lt 20 ]; do
    tries=$((tries + 1))
    port=$((20000 + $(od -An -N2 -tu2 /dev/urandom | tr -d ' ') % 12000))
    rm -f "$dir/$name.port" "$dir/$name.log"
    "$server" --scenario "$scenario" --port "$port" --port-file "$dir/$name.port" \
      --log "$dir/$name.log" --max-seconds 600 </dev/null >"$dir/$name.out" 2>&1 &
    pid=$!
    echo "$pid" >"$dir/$name.pid"
    i=0
    while [ "$i" -lt 100 ]; do
      if [ -s "$dir/$name.port" ]; then
        echo "$name: listening on 127.0.0.1:$(cat "$dir/$name.port") (pid $pid)"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
      i=$((i + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "$name: no port file after 10 s" >&2
      cat "$dir/$name.out" >&2
      stop_servers "$dir/$name.pid"
      return 1
    fi
    wait "$pid"
    code=$?
    rm -f "$dir/$name.pid"
    # Exit code 1: could not start, most likely the port is taken; try another.
    if [ "$code" -ne 1 ]; then
      echo "$name: the server ended with code $code" >&2
      cat "$dir/$name.out" >&2
      return 1
    fi
  done
  echo "$name: no free port found" >&2
  return 1
}

case "${1:-}" in
  start)
    [ $# -ge 4 ] || { echo "usage: $0 start DIR SERVER SCENARIO..." >&2; exit 2; }
    dir=$2 server=$3
    shift 3
    if [ ! -x "$server" ]; then
      echo "no back office server at $server: build it first with" >&2
      echo "  cmake --preset native && cmake --build --preset native --target hta-backoffice" >&2
      echo "(scripts/test builds the native preset before win64), or set HTA_BACKOFFICE" >&2
      exit 1
    fi
    mkdir -p "$dir"
    stop_all "$dir"
    for scenario in "$@"; do
      if ! start_one "$dir" "$server" "$scenario"; then
        stop_all "$dir"
        exit 1
      fi
    done
    ;;
  stop)
    [ $# -eq 2 ] || { echo "usage: $0 stop DIR" >&2; exit 2; }
    [ -d "$2" ] && stop_all "$2"
    exit 0
    ;;
  *)
    echo "usage: $0 start DIR SERVER SCENARIO... | stop DIR" >&2
    exit 2
    ;;
esac
