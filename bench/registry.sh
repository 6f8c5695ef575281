#!/usr/bin/env bash
# The registry store at scale, whatever the shape of its file: runs the
# unattended demo install (no pacing) against the demo machine as built, and
# against the same machine whose HKEY_CURRENT_USER.reg holds a large store of
# one of these shapes (bench/registryShapes.py):
#   sorted-12         12 MB, 200,000 values in 2,000 keys, tree order, CR LF, no parents
#   unsorted-12       12 MB, 200,000 values in 20,000 keys, shuffled, no parents, CR LF
#   unsorted-lf-12    the same with LF
#   regedit-utf16-20  as regedit exports: 20 MB of UTF-16LE (120,000 values), CR LF, parents, hex wrapped
#   unsorted-50       50 MB, 830,000 values in 83,000 keys, shuffled, no parents
# and prints for each the best wall time of N runs and the best CPU time (user
# and system: steadier on a busy machine), the best wall time until the
# Pelmora.exe that the install starts has ended too (it reads the store again,
# from the start), their ratios to the small store, the peak memory, the
# file's size before and after, and a byte-for-byte compare of every key whose
# values the install did not change. A fresh copy of the machine and installer
# folder for every run; the stores take turns in every round, so that none
# pays alone for a busy machine. Every run must end with exit code 0 and leave
# the install's values and no log or temporary file.
# With a second build folder, every run is made with both builds in turn
# (before / after a change). Not part of CTest.
#
#   bench/registry.sh [build folder=build] [work folder=a new temporary one] [other build]
#   ROUNDS=3 SHAPES="sorted-12 unsorted-12 ..." bench/registry.sh
set -euo pipefail
case "${1:-}" in -h | --help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
builds=("$(cd "${1:-$root/build}" && pwd)")
work=${2:-$(mktemp -d)}
[ -n "${3:-}" ] && builds+=("$(cd "$3" && pwd)")
rounds=${ROUNDS:-3}
shapes=(${SHAPES:-sorted-12 unsorted-12 unsorted-lf-12 regedit-utf16-20 unsorted-50})
for build in "${builds[@]}"; do
  [ -x "$build/demo/setup/PMSetupUnattended" ] && [ -d "$build/demo/machine/registry" ] ||
    { echo "no demo in $build/demo (build the target demo first)" >&2; exit 1; }
done
demo="${builds[0]}/demo"
mkdir -p "$work"
rm -f "$work"/compare-*.txt
trap 'rm -rf "$work/run" "$work/machines"' EXIT

mkdir -p "$work/machines"
cp -a "$demo/machine" "$work/machines/small"
for shape in "${shapes[@]}"; do
  cp -a "$demo/machine" "$work/machines/$shape"
  python3 "$root/bench/registryShapes.py" make "$shape" \
    "$demo/machine/registry/HKEY_CURRENT_USER.reg" "$work/machines/$shape/registry/HKEY_CURRENT_USER.reg"
done

# run B WHICH: one install with build B on a fresh copy of machine WHICH;
# prints seconds, peak KiB, CPU seconds (user, system) and the store's size after it.
run() {
  local build=${builds[$1]} which=$2 compare="$work/compare-$1-$2.txt"
  rm -rf "$work/run" && mkdir -p "$work/run"
  cp -a "$build/demo/setup" "$work/run/setup"
  cp -a "$work/machines/$which" "$work/run/machine"
  sync
  # The install's notes (and the output of the Pelmora.exe it starts) go
  # through a pipe, which ends when that Pelmora has ended too.
  local started=$EPOCHREALTIME
  # The install's own wall time to the millisecond (time's %e has two decimals:
  # a ratio of installs of 0.15 s would move in steps of 7%).
  if ! { PMSETUP_MACHINE="$work/run/machine" /usr/bin/time -f "%M %U %S" -o "$work/time.txt" \
    bash -c 'from=$EPOCHREALTIME; "$@"; status=$?; echo "$from $EPOCHREALTIME" >"$0"; exit $status' \
    "$work/wall.txt" "$work/run/setup/PMSetupUnattended" --no-pacing "$root/demo/answers.ini" \
    2>&1 >&3 | cat >"$work/err.txt"; } 3>"$work/out.txt"; then
    echo "the install on the $which store failed:" >&2
    cat "$work/out.txt" "$work/err.txt" >&2
    exit 1
  fi
  local ended=$EPOCHREALTIME
  grep -q 'registered to' "$work/err.txt" ||
    { echo "the Pelmora started by the install on the $which store did not read its data" >&2; exit 1; }
  local reg="$work/run/machine/registry"
  grep -a -q 'Registered' "$reg/HKEY_CLASSES_ROOT.reg" &&
    python3 - "$reg/HKEY_CURRENT_USER.reg" <<'PY' ||
import sys
raw = open(sys.argv[1], "rb").read()
text = raw[2:].decode("utf-16-le") if raw.startswith(b"\xff\xfe") else raw.decode()
sys.exit(0 if '"AppPath"=' in text else 1)
PY
    { echo "the install on the $which store did not leave its values in the .reg files" >&2; exit 1; }
  # Keys the install did not write must keep their bytes (reported at the end).
  [ "$which" = small ] || [ -s "$compare" ] ||
    python3 "$root/bench/registryShapes.py" compare "$work/machines/$which/registry/HKEY_CURRENT_USER.reg" \
      "$reg/HKEY_CURRENT_USER.reg" >"$compare" || true
  if ls "$reg" | grep -v '\.reg$' | grep -v '\.reg\.lock$' | grep -q .; then
    echo "the install on the $which store left files behind: $(ls "$reg")" >&2
    exit 1
  fi
  local from to
  read -r from to <"$work/wall.txt"
  echo "$(echo "$to - $from" | bc) $(cat "$work/time.txt") $(stat -c %s "$reg/HKEY_CURRENT_USER.reg") \
    $(echo "$ended - $started" | bc)"
}

declare -A best cpu peak after whole
# least ARRAY ID SECONDS: keeps the smaller of SECONDS and ARRAY[ID].
least() {
  local -n kept=$1
  if [ -z "${kept[$2]:-}" ] || (($(echo "$3 < ${kept[$2]}" | bc))); then kept[$2]=$3; fi
}
echo "load before: $(uptime)"
for round in $(seq "$rounds"); do
  for which in small "${shapes[@]}"; do
    for b in "${!builds[@]}"; do
      read -r s k user sys size w < <(run "$b" "$which")
      id="$b/$which"
      least best "$id" "$s"
      least cpu "$id" "$(echo "$user + $sys" | bc)"
      least whole "$id" "$w"
      if ((k > ${peak[$id]:-0})); then peak[$id]=$k; fi
      after[$id]=$size
    done
  done
  echo "round $round done: $(uptime)"
done
for b in "${!builds[@]}"; do
  echo "build ${builds[$b]}, best of $rounds:"
  printf '  %-17s %7s %6s %5s %6s %8s %6s %9s %11s %11s  %s\n' store seconds ratio cpu ratio \
    "+Pelmora" ratio "peak KiB" "bytes" "after" "untouched keys"
  for which in small "${shapes[@]}"; do
    id="$b/$which"
    file="$work/machines/$which/registry/HKEY_CURRENT_USER.reg"
    printf '  %-17s %7.3f %6.2f %5.2f %6.2f %8.3f %6.2f %9d %11d %11d  %s\n' "$which" \
      "${best[$id]}" "$(echo "${best[$id]} / ${best[$b/small]}" | bc -l)" "${cpu[$id]}" \
      "$(echo "${cpu[$id]} / ${cpu[$b/small]}" | bc -l)" "${whole[$id]}" \
      "$(echo "${whole[$id]} / ${whole[$b/small]}" | bc -l)" "${peak[$id]}" "$(stat -c %s "$file")" \
      "${after[$id]}" "$([ "$which" = small ] || tail -n 1 "$work/compare-$b-$which.txt")"
  done
done
[ -z "$(cat "$work"/compare-0-*.txt | grep -v "0 differ$" || true)" ] ||
  { echo "keys the install did not write changed in the file" >&2; exit 1; }
