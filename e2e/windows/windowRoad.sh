#!/usr/bin/env bash
# PMSetup.exe's own windows under Wine (64- or 32-bit) and Xvfb, answered as a person
# would: an upgrade of the Windows demo's earlier installation in a fresh
# prefix. Each window is found by its size and pressed at its controls'
# places: the splash, "Install", "I Agree", "Install Help Files" and
# "Continue" in the options, a name typed into the registration dialog and
# "Submit", and "Complete" once the install has ended. Checks the exit code,
# the report byte for byte (upgrade.dbg: the unattended upgrade's, whose
# answers are the same), AppPath in Wine's registry, and the typed name read
# back through Dorvane by the installed Pelmora.exe.
#
#   e2e/windows/windowRoad.sh DEMO_DIR WORK_DIR [win64|win32]
#
# Exit code 77 (skipped, with the reason) where this machine cannot start
# programs of that width.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
demo="$(cd "$1" && pwd)"
mkdir -p "$2"
work="$(cd "$2" && pwd)"
# shellcheck source=../../scripts/wine-windows.sh
source "$here/../../scripts/wine-windows.sh"
wine_width "${3:-win64}" || exit $?
# A road that stops early leaves the screen as it was, to look at.
trap '[ $? = 0 ] || import -window root "$work/screen.png" 2>/dev/null; stop_wine' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
name="Ann O'Neill"

start_display "$work"
demo_machine "$work" "$demo" earlier
start_setup "$work"

splash=$(find_window "$(size 4815)" "$(size 6345)")
xdotool mousemove --window "$splash" 5 5 click 1
main=$(find_window "$(size 9120)" "$(size 8235)")
press "$main" 7800 2280 1095 495  # Install
# The agreement follows the library stage; the name, the database stage.
eula=$(find_window "$(size 6855)" "$(size 5700)" 120)
press "$eula" 5160 4680 975 495  # I Agree
options=$(find_window "$(size 5550)" "$(size 6555)")
press_box "$options" $((240 + 240)) $((480 + 840)) 255  # Install Help Files
press "$options" $((240 + 3600)) $((480 + 2400)) 1095 375  # Continue
regname=$(find_window "$(size 4680)" "$(size 2190)" 120)
press "$regname" 120 600 4455 390  # the name box
type_text "$name"
press "$regname" 1680 1320 1095 495  # Submit
# "Complete" is enabled before the temporary folder is deleted; a press waits
# in the queue until the last report line has been written.
gone "$work/setup/PMUpTemp" 180
press "$main" 7560 6960 1335 495  # Complete
setup_exit 30
[ "$setup_rc" = 0 ] || fail "exit code $setup_rc"

windows_setup="$("$wine" winepath -w "$work/setup" 2>/dev/null)"
sed "s|@SETUP@|${windows_setup//\\/\\\\}|" "$here/upgrade.dbg" >"$work/expected.dbg"
cmp -s "$work/expected.dbg" "$work/setup/PMInstall.dbg" ||
  fail "PMInstall.dbg differs: diff $work/expected.dbg $work/setup/PMInstall.dbg"
"$wine" reg query 'HKCU\Software\Korrimel Software\Pelmora' /v AppPath 2>/dev/null |
  grep -qF 'C:\Program Files\Pelmora' || fail "AppPath is not C:\\Program Files\\Pelmora"
"$loader" "$WINEPREFIX/drive_c/Program Files/Pelmora/Pelmora.exe" --no-window 2>/dev/null |
  grep -qF "registered to $name." || fail "Pelmora.exe does not read the typed name through Dorvane"
[ "$failures" = 0 ] && echo "the window road passed"
exit $((failures > 0))
