#!/usr/bin/env bash
# No planted program or DLL is run by our programs. Run by scripts/wine-run
# --host (a fresh prefix, PM_WINE_LOADER, an X display with PM_WINE_DISPLAY=1):
#
#   e2e/windows/plantedFiles.sh SETUP_DIR PLANTED_DLL PLANTED_EXE WORK_DIR
#
# SETUP_DIR is the demo installer folder, PLANTED_DLL a DLL that leaves a
# marker when it is loaded, PLANTED_EXE a program that leaves one when it runs
# (and, as the naive probe, loads the DLLs named on its command line).
#
# 1. Our programs run as a user would (PMSetupUnattended.exe installs, with
#    Cabarc.exe and regsvr32 under it; PMSetup.exe up to its first window),
#    with Wine telling which DLLs each of their processes loads.
# 2. Every one of those names that is not one of Windows' known DLLs (which
#    Windows takes from the system folder whatever the program asks) is
#    planted beside the programs, with a regsvr32.exe, and Wine is told to
#    prefer a DLL found beside the program to its own (n,b), as Windows does.
# 3. The naive probe must load the planted DLLs, so that the check can fail;
#    then our programs run again: no marker, and the libraries are registered.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: plantedFiles.sh SETUP_DIR PLANTED_DLL PLANTED_EXE WORK_DIR" >&2; exit 64; }
wine=$PM_WINE_LOADER
work=$4
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
setup=$work/setup
cp -a "$1" "$setup"
export WINEDEBUG=-all
base_overrides="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDLLOVERRIDES=$base_overrides
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The data source for the database stage, with the SQLite driver of this width.
case "$wine" in
  *wine64) driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so ;;
  *) driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so ;;
esac
[ -f "$driver" ] || { echo "SKIPPED: the SQLite ODBC driver $driver is missing" >&2; exit 77; }
printf '[Dorvane]\nDriver = %s\nDatabase = %s\nNoCreat = 1\n' "$driver" \
  "$WINEPREFIX/drive_c/Program Files/Pelmora/Dorvane.mdb" >"$work/odbc.ini"
export ODBCINI=$work/odbc.ini
printf 'agreement = accept\nhelp = yes\nname = Ann\n' >"$work/answers.ini"
answers=$("$wine" winepath -w "$work/answers.ini" 2>/dev/null)
libraries="plmcal32.dll plmgrid.ocx plmrpt32.dll"

install_once() {  # install_once LOG: the unattended install; its exit code
  # The libraries are registered again only where they are not yet installed.
  "$wine" reg delete 'HKCR\PMSetup' /f >/dev/null 2>&1 || true
  for lib in $libraries; do rm -f "$WINEPREFIX"/drive_c/windows/{system32,syswow64}/"$lib"; done
  local rc=0
  "$wine" "$setup/PMSetupUnattended.exe" --no-pacing "$answers" >"$work/report" 2>>"$1" || rc=$?
  return "$rc"
}

run_programs() {  # run_programs LOG: our programs as a user runs them
  local rc=0
  install_once "$1" || rc=$?
  # Now and then Wine cannot start a process at all (it finds the address of
  # the shared user data taken and exits before the program runs): the
  # install then fails at that program through no fault of ours. Once more.
  if [ "$rc" != 0 ] && grep -q 'failed to map the shared user data' "$1"; then
    echo "Wine failed to start one of the install's programs; the install runs again" >&2
    rc=0
    install_once "$1" || rc=$?
  fi
  if [ "$rc" != 0 ]; then
    fail "PMSetupUnattended.exe exit code $rc (see $1); its report:"
    cat "$work/report" >&2
  fi
  for lib in $libraries; do
    "$wine" reg query "HKCR\\PMSetup\\Registered\\$lib" >/dev/null 2>&1 ||
      fail "$lib was not registered by the system's regsvr32"
  done
  "$wine" "$setup/PMSetup.exe" 2>>"$1" &
  local pid=$!
  xdotool search --sync --onlyvisible --classname '^pmsetup\.exe$' >/dev/null 2>&1 &
  local search=$!
  local deadline=$((SECONDS + 120))
  while kill -0 "$search" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.5; done
  kill "$search" 2>/dev/null && fail "PMSetup.exe showed no window"
  sleep 3  # the first window's pictures are drawn
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}

# 1. The DLLs that our programs' processes load.
WINEDEBUG=+pid,+loaddll run_programs "$work/loads.log"
ours='\\(pmsetup|pmsetupunattended|cabarc)\.exe"'
pids=$(grep -iE "loaddll:.*Loaded L\".*$ours" "$work/loads.log" | cut -d: -f1 | sort -u)
[ -n "$pids" ] || { echo "FAIL: Wine named no DLL loaded by our programs" >&2; exit 1; }
# Windows' known DLLs (and those they bring along), never taken from a
# program's folder.
known=" $(echo advapi32 bcrypt bcryptprimitives cfgmgr32 clbcatq combase comdlg32 coml2 difxapi \
  gdi32 gdi32full gdiplus imagehlp imm32 kernel32 kernelbase msctf msvcp_win msvcrt normaliz nsi \
  ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi ucrtbase user32 \
  win32u wldap32 ws2_32) "
names=()
for pid in $pids; do
  grep -E "^$pid:[0-9a-f]+:trace:loaddll:.*Loaded L\"" "$work/loads.log" |
    sed -E 's/.*Loaded L"([^"]*)".*/\1/; s/.*\\//' | tr 'A-Z' 'a-z'
done | grep -E '\.(dll|drv)$' | sort -u >"$work/loaded-names"
# Where a program imports user32 itself (the 32-bit build, whose delay-import
# libraries cannot be made), Wine's user32 brings in version.dll and zlib1.dll
# while the imports are resolved, before main, as Windows' user32 (a known DLL)
# does not: left out there, and said so.
imports=$(x86_64-w64-mingw32-objdump -p "$setup/PMSetup.exe")
if [[ ${imports^^} == *"DLL NAME: USER32"* ]]; then
  known+=" version zlib1 "
  echo "not planted: version.dll and zlib1.dll, which Wine's own user32 loads before main"
fi
while read -r name; do
  case "$known" in *" ${name%.*} "*) continue ;; esac
  names+=("$name")
done <"$work/loaded-names"
echo "planted beside the programs: ${names[*]}"

# 2. The planted files, and Wine searching as Windows does.
for name in "${names[@]}"; do cp "$2" "$setup/$name"; done
cp "$3" "$setup/regsvr32.exe"
cp "$3" "$setup/naive.exe"
overrides=$(IFS=,; echo "${names[*]%.*}")
export WINEDLLOVERRIDES="$overrides=n,b;$base_overrides"

# 3. The probe proves that the planted DLLs are found; then our programs.
"$wine" "$setup/naive.exe" "${names[@]}" >/dev/null 2>&1 || true
probed=$(find "$setup" -name 'planted-*.loaded' | wc -l)
[ "$probed" -gt 0 ] || fail "the naive probe loaded no planted DLL: this check would prove nothing"
echo "the naive probe loaded $probed of ${#names[@]} planted DLLs"
rm -f "$setup"/planted-*
run_programs "$work/planted.log"
for marker in "$setup"/planted-*; do
  [ -e "$marker" ] && fail "$(basename "$marker"): a planted file was used"
done
[ "$failures" = 0 ] && echo "no planted program or DLL was used"
exit $((failures > 0))
