#!/usr/bin/env bash
# The release packages as a company receives them: scripts/package with a
# throw-away CA and code-signing certificate, every shipped program and both
# installers checked against that CA, the policy template's XML, then the
# x64 installer under Wine in a prefix of its own: a silent install, the
# installed program logging in against the loopback back office, a newer
# package replacing it without overruling the user's cleared "Run at
# Startup" box, a silent removal that leaves the user's settings, and an
# install with RUNATLOGON=0.
# (The x86 installer is built and checked, not installed: 32-bit programs
# cannot run here.)
#
# Prints one line per check; exit status 1 when any failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

work=$root/build/package/test
rm -rf "$work" && mkdir -p "$work"
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >>"$work/checks.log" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

echo "== a throw-away CA and code-signing certificate"
ca=$work/ca
mkdir -p "$ca"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=HTA Launcher Test CA" -keyout "$ca/ca.key" \
  -out "$ca/ca.pem" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null &&
  openssl req -newkey rsa:2048 -nodes -subj "/CN=HTA Launcher Test Signer" -keyout "$ca/signer.key" \
    -out "$ca/signer.csr" 2>/dev/null &&
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$ca/ext.cnf" &&
  openssl x509 -req -days 2 -in "$ca/signer.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial \
    -extfile "$ca/ext.cnf" -out "$ca/signer.pem" 2>/dev/null &&
  openssl pkcs12 -export -inkey "$ca/signer.key" -in "$ca/signer.pem" -certfile "$ca/ca.pem" \
    -passout pass:throw-away -out "$ca/signer.p12" || { echo "FAILED: openssl"; exit 1; }

echo "== the loopback back office (native)"
{ cmake --preset native && cmake --build build/native --target hta-backoffice; } >"$work/backoffice-build.log" 2>&1 ||
  { tail -n 30 "$work/backoffice-build.log"; echo "FAILED: building the back office"; exit 1; }

echo "== scripts/package, signed"
HTA_SIGN_PASSWORD=throw-away scripts/package --pkcs12 "$ca/signer.p12" >"$work/package.log" 2>&1 ||
  { tail -n 30 "$work/package.log"; echo "FAILED: scripts/package"; exit 1; }
version=$(sed -nE 's/^project\(HtaLauncher VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
out=$root/build/package

for arch in x64 x86; do
  name=HtaLauncher-$version-$arch
  check "$name.msi is signed" osslsigncode verify -CAfile "$ca/ca.pem" -in "$out/$name.msi"
  check "$name.msi leaves the Run value out under RUNATLOGON=0" \
    grep -q 'RunAtLogon	0	RUNATLOGON="0"' <(msiinfo export "$out/$name.msi" Condition)
  rm -rf "$work/$arch" && mkdir -p "$work/$arch"
  unzip -q "$out/$name.zip" -d "$work/$arch"
  for file in HtaLauncher.exe proxypass.exe README.md HtaLauncher.example.ini; do
    check "$name.zip holds $file" test -s "$work/$arch/$name/$file"
  done
  for exe in "$work/$arch/$name"/*.exe; do
    check "$name.zip: $(basename "$exe") is signed" osslsigncode verify -CAfile "$ca/ca.pem" -in "$exe"
  done
done
for xml in packaging/HtaLauncher.admx packaging/en-US/HtaLauncher.adml packaging/HtaLauncher.wxs; do
  check "$xml is well-formed XML" python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$xml"
done

echo "== the x64 installer under Wine"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
rm -rf "$out/wine"
wine_env_start "$out"
server_pid=
cleanup() {
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null
  wine_env_stop
}
trap cleanup EXIT
# Shortcuts made by the installer stay inside the prefix, not in the desktop's menus.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
wine() { "$WINE64" "$@" </dev/null 2>>"$work/wine.log"; }
msi=$(wine winepath -w "$out/HtaLauncher-$version-x64.msi" | tr -d '\r')
profile=$WINEPREFIX/drive_c/users/$(id -un)
folder="$profile/AppData/Local/Programs/HTA Launcher"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/HTA Launcher.lnk"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_value() { wine reg query "$run_key" /v HtaLauncher | tr -d '\r' | sed -nE 's/.*REG_SZ +//p'; }

check "msiexec /i /qn" wine msiexec /i "$msi" /qn
check "the programs are installed" test -s "$folder/HtaLauncher.exe" -a -s "$folder/proxypass.exe"
check "the installed program is signed" osslsigncode verify -CAfile "$ca/ca.pem" -in "$folder/HtaLauncher.exe"
check "the Start-menu shortcut is there" test -s "$shortcut"
expected="\"$(wine winepath -w "$folder" | tr -d '\r')\\HtaLauncher.exe\""
check "the Run value is the launcher's own: $expected" test "$(run_value)" = "$expected"

wine reg add 'HKCU\Software\HTA_Launcher\settings' /v showPopups /d False /f >/dev/null
check "msiexec /x /qn" wine msiexec /x "$msi" /qn
check "the programs and their folder are removed" test ! -e "$folder"
check "the shortcut is removed" test ! -e "$shortcut"
check "the Run value is removed" test -z "$(run_value)"
check "the user's settings are left alone" \
  grep -q 'showPopups.*False' <(wine reg query 'HKCU\Software\HTA_Launcher\settings' /v showPopups)

check "msiexec /i /qn RUNATLOGON=0" wine msiexec /i "$msi" /qn RUNATLOGON=0
check "RUNATLOGON=0 installs the program" test -s "$folder/HtaLauncher.exe"
check "RUNATLOGON=0 writes no Run value" test -z "$(run_value)"

# A newer package replaces the installed one and writes the Run value,
# though the user had cleared the box: the launcher removes it at start-up.
newer=${version%.*}.$((${version##*.} + 1))
has_check=$([ -f "$out/HtaLauncher-$version-x64/hta-check.exe" ] && echo yes || echo no)
(cd "$out/HtaLauncher-$version-x64" && wixl -a x64 -D "Version=$newer" -D Win64=yes -D "HtaCheck=$has_check" -D Stage=. \
  -o "$work/newer.msi" "$root/packaging/HtaLauncher.wxs") && msibuild "$work/newer.msi" -i "$out/idt/Condition.idt"
wine reg add 'HKCU\Software\HTA_Launcher\settings' /v runAtStartup /d False /f >/dev/null
msi=$(wine winepath -w "$work/newer.msi" | tr -d '\r')
check "msiexec /i /qn of $newer" wine msiexec /i "$msi" /qn
products() { wine reg query "$1\Software\Microsoft\Windows\CurrentVersion\Uninstall" /s | tr -d '\r'; }
check "$newer replaced $version" test "$({ products HKLM; products HKCU; } |
  grep -A20 'DisplayName *REG_SZ *HTA Launcher$' | grep -oE 'DisplayVersion *REG_SZ *[0-9.]+$' | awk '{print $3}')" = "$newer"
check "the upgrade wrote the Run value" test "$(run_value)" = "$expected"

# The installed program logs in against the loopback back office.
cat >"$work/login.scenario" <<'SCENARIO'
route /boot.php
  body http://127.0.0.1:${PORT}/login.php
end
route /login.php
  header Content-Type: text/xml
  body <reply><application filename="a.hta">A</application></reply>
end
SCENARIO
build/native/tools/backoffice/hta-backoffice --scenario "$work/login.scenario" --port-file "$work/port" \
  --log "$work/requests.log" --max-seconds 120 >"$work/backoffice.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
"$WINE64" "$folder/HtaLauncher.exe" --bootstrap "http://127.0.0.1:$(cat "$work/port")/boot.php" \
  </dev/null >>"$work/wine.log" 2>&1 &
launcher_pid=$!
for _ in $(seq 300); do grep -q 'GET	/login.php' "$work/requests.log" 2>/dev/null && break; sleep 0.1; done
check "the installed program logs in" grep -q 'GET	/login.php' "$work/requests.log"
check "and has removed the Run value the user did not want" test -z "$(run_value)"
wine taskkill /f /im HtaLauncher.exe >/dev/null
wait "$launcher_pid" 2>/dev/null

check "msiexec /x /qn of $newer" wine msiexec /x "$msi" /qn
check "and removes the program" test ! -e "$folder"

echo "$failures failed (details: $work/checks.log)"
[ "$failures" -eq 0 ]
