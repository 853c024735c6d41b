#!/bin/sh
# Runs hta-check.exe under Wine on the saved replies in testdata/, then live
# against the loopback back office of the Windows-side tests (its port file
# is written by their CTest fixture).
#
#   hta_check_test.sh WINE-RUN HTA-CHECK-EXE TESTDATA-DIR BACKOFFICE-PORT-FILE
set -u
wine=$1 exe=$2 data=$3 port=$(cat "$4")
failed=0

# check CODE "TEXT|TEXT..." ARGUMENT...: hta-check ends with CODE and prints
# every TEXT.
check() {
  want=$1 texts=$2
  shift 2
  out=$("$wine" "$exe" "$@" 2>&1)
  code=$?
  ok=1
  [ "$code" -eq "$want" ] || ok=0
  old_ifs=$IFS
  IFS='|'
  for text in $texts; do
    printf '%s\n' "$out" | grep -qF -- "$text" || { ok=0; echo "missing: $text"; }
  done
  IFS=$old_ifs
  if [ "$ok" -eq 0 ]; then
    echo "FAILED: hta-check $* (exit $code, wanted $want)"
    printf '%s\n' "$out"
    failed=1
  fi
}

check 0 'main application 1 is opened at once' --login-reply "$data/good-login.xml"
check 1 'not a ".hta" file|11 applications|"../x.hta"|not a plain file name|"Orders.hta" is named more than once|plain HTTP: http://office.example.com/files/orders.hta' \
  --login-reply "$data/bad-login.xml"
check 0 'played|fetched as "orders.hta"|a click fetches "news.hta"' --action-list "$data/actions.xml"
check 2 'usage: hta-check' --poll --login-reply "$data/good-login.xml"
# A FILE in a folder named in scripts that the ANSI code page lacks.
scripts=$(mktemp -d)/"Zoë Дмитрий 张伟"
mkdir -p "$scripts" && cp "$data/good-login.xml" "$scripts/"
check 0 'main application 1 is opened at once' --login-reply "Z:$(printf '%s' "$scripts" | tr / '\\')\\good-login.xml"
rm -rf "$(dirname "$scripts")"
check 0 "session server: http://127.0.0.1:$port/launcher/tray/login.php|fetched (|message box: \"Welcome|no actions" \
  --poll --live "http://127.0.0.1:$port/launcher/tray/exebootstrap.php" "Secret User"
if printf '%s\n' "$out" | grep -q Secret; then
  echo "FAILED: the user string is in the output"
  failed=1
fi
check 0 'validator: ETag "fresh-1"|validator: Last-Modified Mon, 07 Dec 2026 08:00:00 GMT|asked again with it: 304 Not Modified|warning: no ETag or Last-Modified: the file is fetched whole at every login' \
  --live "http://127.0.0.1:$port/launcher/fresh/exebootstrap.php" "Secret User"
if printf '%s\n' "$out" | grep -q Secret; then
  echo "FAILED: the user string is in the output"
  failed=1
fi
exit $failed
