#!/usr/bin/env bash
# Cabarc.exe never loads a cabinet.dll planted beside it. Run by
# scripts/wine-run --host with CABARC, PLANTED (the hostile cabinet.dll) and
# PROBE (a program that imports cabinet.dll the ordinary way).
#
# Wine prefers its own built-in cabinet.dll, which hides the danger; with
# WINEDLLOVERRIDES=cabinet=n,b it searches for a native one first, as Windows
# searches the program's folder, and the probe shows that the planted DLL is
# then loaded.
set -euo pipefail
work=$(mktemp -d "${PM_WINE_PREFIXES:-/tmp}/planted.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$CABARC" "$PLANTED" "$PROBE" "$work/"
marker="$work/planted-dll-was-loaded"
export WINEDLLOVERRIDES=cabinet=n,b

cd "$work"
"$PM_WINE_LOADER" "$work/$(basename "$PROBE")" >/dev/null 2>&1 || true
if [ ! -e "$marker" ]; then
  echo "FAIL: the planted cabinet.dll is not loaded even by a program that imports it;" \
    "this check would prove nothing" >&2
  exit 1
fi
rm -f "$marker"

mkdir src
printf 'planted-dll check\r\n' >src/member.txt
"$PM_WINE_LOADER" "$work/Cabarc.exe" N test.cab src/member.txt
"$PM_WINE_LOADER" "$work/Cabarc.exe" X test.cab out/
cmp src/member.txt out/member.txt
if [ -e "$marker" ]; then
  echo "FAIL: Cabarc.exe loaded the cabinet.dll planted beside it" >&2
  exit 1
fi
echo "Cabarc.exe worked and left the planted cabinet.dll alone"
