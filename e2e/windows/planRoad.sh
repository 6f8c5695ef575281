#!/usr/bin/env bash
# A plan under Wine changes nothing and tells what the install then does: on
# the Windows demo (a first install, an upgrade over the earlier installation,
# then a second run on the upgraded machine), the registry exported (HKCU, HKCR) and every
# file of drive_c and of the installer folder hashed before and after
# `PMSetupUnattended.exe --plan` (and, on the upgrade, `PMSetup.exe /plan
# /answers= /log=` with JSON), then the install run and its report lines and
# exit code compared with the plan's.
#
#   e2e/windows/planRoad.sh DEMO_DIR WORK_DIR [win64|win32]
#
# Exit code 77 (skipped, with the reason) where this machine cannot start
# programs of that width.
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
winpath() { "$wine" winepath -w "$1" 2>/dev/null; }
# The Windows Installer's number of an exit status (which keeps its low byte).
exit_number() { case "$1" in 0) echo 0 ;; 66) echo 1602 ;; 67) echo 1603 ;; *) echo "$1" ;; esac; }

# The machine as a plan must leave it: the registry exports, and every file of
# drive_c and the installer folder.
snapshot() {  # snapshot OUT
  local key
  for key in HKEY_CURRENT_USER HKEY_CLASSES_ROOT; do
    "$loader" regedit /E "$(winpath "$work/export.reg")" "$key" >/dev/null 2>&1
    cat "$work/export.reg"
  done >"$1"
  # Every file's size, modification time and inode; the content's hash too,
  # except for Wine's own files, hard links shared with the prefix template
  # (1.2 GB, hashed four times would take minutes; other prefixes linking
  # them change their change time).
  (cd "$WINEPREFIX/drive_c" && find . "$setup" -type f -printf '%p %s %T@ %i\n' &&
    find . "$setup" -type f -links 1 -exec sha256sum {} +) | sort >>"$1"
}

road() {  # road NAME (on the machine set up before)
  road="$1"
  local answers rc=0 planned=0
  answers="$(winpath "$dir/answers.ini")"
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  snapshot "$work/$1.before"
  "$loader" "$setup/PMSetupUnattended.exe" --plan "$answers" >"$work/$1.plan" 2>"$work/$1.plan.err" ||
    planned=$?
  if [ "$1" = upgrade ]; then
    "$loader" "$setup/PMSetup.exe" /plan /plan-format=json "/answers=$answers" \
      "/log=$(winpath "$work/plan.log")" >"$work/$1.json" 2>/dev/null || true
  fi
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  snapshot "$work/$1.after"
  # The log was asked for: it is the one file the plan may write, outside the machine.
  diff "$work/$1.before" "$work/$1.after" >"$work/$1.diff" ||
    fail "the plan changed the machine: $work/$1.diff"
  "$loader" "$setup/PMSetupUnattended.exe" --no-pacing "$answers" >"$work/$1.install" \
    2>"$work/$1.install.err" || rc=$?
  [ "$planned" = "$rc" ] || fail "the plan said exit code $planned, the install gave $rc"
  # The report lines come first, then an empty line and the plan's changes.
  awk '/^=== Plan: /{exit} {print}' "$work/$1.plan" | sed '$d' >"$work/$1.report"
  cmp -s "$work/$1.report" "$work/$1.install" ||
    fail "the plan's report differs: diff $work/$1.report $work/$1.install"
  [ "$(tail -1 "$work/$1.plan")" = "Exit code: $(exit_number "$rc")" ] ||
    fail "the plan's last line is not the install's exit code: $work/$1.plan"
  if [ "$1" = upgrade ]; then
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["schema"] == "pmsetup-plan/1"
assert d["report"][-1] == "Install Complete." and d["exitCode"] == 0, d["exitCode"]' \
      "$work/$1.json" || fail "PMSetup.exe /plan gave no true JSON plan: $work/$1.json"
    grep -q 'Exit code: 0$' "$work/plan.log" || fail "PMSetup.exe /plan is not logged"
  fi
}

for name in first upgrade; do
  dir="$work/$name"
  demo_machine "$dir" "$demo" "$([ "$name" = upgrade ] && echo earlier)"
  setup="$dir/setup"
  printf 'agreement = accept\nhelp = yes\nname = Ann O'"'"'Neill\n' >"$dir/answers.ini"
  road "$name"
done
road second-run  # on the upgraded machine
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
[ "$failures" = 0 ] && echo "the plan roads passed ($width)"
exit $((failures > 0))
