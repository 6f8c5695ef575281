#!/usr/bin/env bash
# The unattended installer on the Windows demo under Wine, 64- or 32-bit (the
# width the demo was built for; 32-bit programs register the libraries in
# C:\windows\syswow64, as on 64-bit Windows): a first install in a fresh
# prefix started from the root of a drive (D:\, which leaves no temporary
# folder behind), and an upgrade over an earlier installation put into another
# prefix with "reg add" and files in its drive C:. Each road checks the exit
# code, the report byte for byte (first-install.dbg,
# upgrade.dbg; @SETUP@ stands for the installer folder), AppPath and the data
# source Dorvane in Wine's registry, the libraries registered by Wine's own
# regsvr32, the program group's .lnk items made by Wine's Program Manager, and
# the name in the database read back by the demo's Pelmora.exe through odbc32.
# A third road runs two prefixes on one installer folder at once.
#
#   e2e/windows/unattendedRoads.sh DEMO_DIR WORK_DIR [win64|win32]
#
# Needs an X display for Wine's Program Manager: runs itself under xvfb-run
# when there is none. Exit code 77 (skipped, with the reason) where this
# machine cannot start programs of that width.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
demo="$(cd "$1" && pwd)"
work="$2"
width="${3:-win64}"
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi
# shellcheck source=../../scripts/wine-windows.sh
source "$here/../../scripts/wine-windows.sh"
wine_width "$width" || exit $?
work="$(fresh_work "$work")"
failures=0
fail() { echo "FAIL [$road]: $*" >&2; failures=$((failures + 1)); }
expect_reg() {  # expect_reg KEY VALUE TEXT
  "$wine" reg query "$1" /v "$2" 2>/dev/null | grep -qF "$3" || fail "$1 $2 is not $3"
}

road() {  # road NAME EXPECTED_REPORT [earlier]
  road="$1"
  local prefix="$work/$1/prefix" setup="$work/$1/setup"
  demo_machine "$work/$1" "$demo" "${3:-}"
  printf 'agreement = accept\nhelp = yes\nname = Ann O'"'"'Neill\n' >"$work/$1/answers.ini"
  local rc=0 program="$setup/PMSetupUnattended.exe" windows_setup
  windows_setup="$("$wine" winepath -w "$setup" 2>/dev/null)"
  if [ "$1" = first ]; then
    # Started from the root of a drive, as from a CD or a USB stick: drive D:
    # is the installer folder.
    ln -sfn "$setup" "$WINEPREFIX/dosdevices/d:"
    program='D:\PMSetupUnattended.exe' windows_setup='D:'
  fi
  "$loader" "$program" --no-pacing "$("$wine" winepath -w "$work/$1/answers.ini" 2>/dev/null)" \
    >"$work/$1/stdout" 2>"$work/$1/stderr" || rc=$?
  [ "$rc" = 0 ] || fail "exit code $rc (see $work/$1/stderr)"
  [ ! -e "$setup/PMUpTemp" ] || fail "the temporary folder $setup/PMUpTemp was left behind"
  sed "s|@SETUP@|${windows_setup//\\/\\\\}|" "$here/$2" >"$work/$1/expected.dbg"
  cmp -s "$work/$1/expected.dbg" "$setup/PMInstall.dbg" ||
    fail "PMInstall.dbg differs: diff $work/$1/expected.dbg $setup/PMInstall.dbg"
  expect_reg 'HKCU\Software\Korrimel Software\Pelmora' AppPath 'C:\Program Files\Pelmora'
  expect_reg 'HKCU\Software\ODBC\ODBC.INI\Dorvane' DBQ 'C:\Program Files\Pelmora\Dorvane.mdb'
  # The upgrade keeps the earlier plmcal32.dll (no "Valid Dates"), unregistered.
  local libs="plmcal32.dll plmgrid.ocx plmrpt32.dll"
  [ "${3:-}" = earlier ] && libs="plmgrid.ocx plmrpt32.dll"
  for lib in $libs; do
    expect_reg "HKCR\\PMSetup\\Registered\\$lib" Path "C:\\windows\\$sysdir\\$lib"
  done
  local group
  group="$(find "$prefix/drive_c" -path '*Start Menu/Programs/Pelmora' -type d | head -1)"
  for item in "Pelmora v.1.9.5" PMUninstall EULA; do
    [ -f "$group/$item.lnk" ] || fail "no $item.lnk in the Start Menu group"
  done
  "$loader" "$prefix/drive_c/Program Files/Pelmora/Pelmora.exe" --no-window 2>/dev/null |
    grep -qF "registered to Ann O'Neill." || fail "Pelmora.exe does not read the name through Dorvane"
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}

# Two computers install from one shared installer folder at once (two prefixes,
# two Wine servers): the first, paced, holds PMUpTemp; the second sees its lock
# and works from a private folder; both install.
shared_road() {
  road=shared
  local rc1=0 rc2=0 first_pid answers="$work/shared/answers.ini"
  demo_machine "$work/shared2" "$demo"
  local second_prefix="$WINEPREFIX" second_odbc="$ODBCINI"
  demo_machine "$work/shared" "$demo"
  printf 'agreement = accept\nname = Ann\n' >"$answers"
  answers="$("$wine" winepath -w "$answers" 2>/dev/null)"
  "$loader" "$work/shared/setup/PMSetupUnattended.exe" "$answers" >"$work/shared/stdout" 2>&1 &
  first_pid=$!
  for _ in $(seq 300); do [ -f "$work/shared/setup/PMUpTemp.lock" ] && break; sleep 0.1; done
  WINEPREFIX="$second_prefix" ODBCINI="$second_odbc" "$loader" \
    "$work/shared/setup/PMSetupUnattended.exe" --no-pacing "$answers" >"$work/shared2/stdout" 2>&1 || rc2=$?
  wait "$first_pid" || rc1=$?
  [ "$rc1/$rc2" = 0/0 ] || fail "exit codes $rc1 and $rc2"
  grep -qF "The installer folder cannot be written: the temporary directory is" \
    "$work/shared2/stdout" || fail "the second run did not keep out of the first's PMUpTemp"
  [ ! -e "$work/shared/setup/PMUpTemp.lock" ] || fail "the lock file outlived the runs"
  for prefix in "$work/shared/prefix" "$second_prefix"; do
    WINEPREFIX="$prefix" expect_reg 'HKCU\Software\Korrimel Software\Pelmora' AppPath 'C:\Program Files\Pelmora'
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  done
}

road first first-install.dbg
road upgrade upgrade.dbg earlier
shared_road
[ "$failures" = 0 ] && echo "all roads passed ($width)"
exit $((failures > 0))
