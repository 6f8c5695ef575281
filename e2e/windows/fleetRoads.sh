#!/usr/bin/env bash
# PMSetup.exe as a deployment tool runs it, under 64-bit Wine: a silent install
# from an answer file saved as ANSI (Windows-1252) with /log, checking the exit
# code, the log and the name stored in the database byte for byte; a bad switch
# (1639, logged); a second installer while a first one holds the machine
# (1618); and PMSetupUnattended.exe /? printing its usage instead of reading a
# file named "/?".
#
#   e2e/windows/fleetRoads.sh DEMO_DIR WORK_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
demo="$(cd "$1" && pwd)"
work="$2"
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi
# shellcheck source=../../scripts/wine-windows.sh
source "$here/../../scripts/wine-windows.sh"
work="$(fresh_work "$work")"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
winpath() { "$wine" winepath -w "$1" 2>/dev/null; }

demo_machine "$work" "$demo"
# The 64-bit driver for the 64-bit Wine, whatever other widths are installed.
sed -i "s|^Driver = .*|Driver = /usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so|" "$work/odbc.ini"
setup="$work/setup"
printf 'agreement = accept\r\nname = Ren\xe9e M\xfcller\r\n' >"$work/answers.ini"

rc=0
"$wine" "$setup/PMSetup.exe" /quiet /bogus "/log=$(winpath "$work/bad.log")" \
  >/dev/null 2>&1 || rc=$?
[ "$rc" = $((1639 % 256)) ] || fail "a bad switch gave $rc, not 1639"
grep -q 'unknown option /bogus' "$work/bad.log" && grep -q 'Exit code: 1639$' "$work/bad.log" ||
  fail "the bad switch is not logged: $(cat "$work/bad.log" 2>/dev/null)"

rc=0
"$wine" "$setup/PMSetupUnattended.exe" '/?' >"$work/usage" 2>&1 || rc=$?
[ "$rc" = 0 ] && grep -q '^usage: PMSetupUnattended' "$work/usage" || fail "/? gave $rc"

# A first installer (the window program, waiting at its splash) holds the machine.
"$wine" "$setup/PMSetup.exe" >/dev/null 2>&1 &
first=$!
sleep 8
rc=0
"$wine" "$setup/PMSetup.exe" /S "/answers=$(winpath "$work/answers.ini")" \
  "/log=$(winpath "$work/busy.log")" >/dev/null 2>&1 || rc=$?
[ "$rc" = $((1618 % 256)) ] || fail "a second installer gave $rc, not 1618"
grep -q 'Exit code: 1618$' "$work/busy.log" || fail "the second installer is not logged"
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
wait "$first" 2>/dev/null || true

rc=0
"$wine" "$setup/PMSetup.exe" /quiet "/answers=$(winpath "$work/answers.ini")" \
  "/log=$(winpath "$work/run.log")" --no-pacing >"$work/stdout" 2>"$work/stderr" || rc=$?
[ "$rc" = 0 ] || fail "the silent install gave $rc (see $work/stderr)"
grep -Eq '^[0-9-]{10}T[0-9:]{8}Z  Install Complete\.$' "$work/run.log" &&
  grep -q 'Outcome: completed$' "$work/run.log" && grep -q 'Exit code: 0$' "$work/run.log" ||
  fail "the log lacks the report or the outcome: $work/run.log"
name="$(sqlite3 "$WINEPREFIX/drive_c/Program Files/Pelmora/Dorvane.mdb" \
  "select StatusValue from Status where StatusDescription='UserName'")"
[ "$name" = "$(printf 'Ren\xc3\xa9e M\xc3\xbcller')" ] || fail "the database holds \"$name\""
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
[ "$failures" = 0 ] && echo "the fleet roads passed"
exit $((failures > 0))
