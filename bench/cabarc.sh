#!/usr/bin/env bash
# Compares Cabarc with cabextract on one cabinet of 2,000 files (about 200 MB,
# half random and half repetitive text, so partly compressible): full
# extraction, extraction of the last member and a listing; best wall time of
# RUNS runs (default 5), best processor time (user + system: what a loaded
# machine's waits do not blur) and peak memory, printed with the ratio Cabarc /
# cabextract. The tools take turns within each run, so that neither pays alone
# for a busy machine. Not part of CTest.
#
#   bench/cabarc.sh [folder with Cabarc=build/bin] [work folder=a new temporary one]
#
# With CABARC_EXE=path/Cabarc.exe, Cabarc.exe is timed too, under the Wine
# loader of WINE (default: the one scripts/wine-run gives, else "wine"), on the
# same cabinet and on a one-member cabinet (Wine's own start-up), against the
# Linux Cabarc, with the ratio of the two less the start-up. Several programs
# (CABARC_EXE="before.exe after.exe") are timed one after the other on the
# same cabinets:
#
#   CABARC_EXE=$PWD/build-win64/bin/Cabarc.exe scripts/wine-run win64 --host bench/cabarc.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build/bin}" && pwd)
work=${2:-$(mktemp -d)}
runs=${RUNS:-5}
cabarc="$bin/Cabarc"
command -v cabextract >/dev/null || { echo "cabextract is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (the time package)" >&2; exit 1; }
[ -x "$cabarc" ] || { echo "no Cabarc in $bin" >&2; exit 1; }
export PMSETUP_MACHINE="$work/machine"
mkdir -p "$work/src"
trap 'rm -rf "$work/src" "$work/out" "$work/repeat"' EXIT
echo "load: $(uptime)"

echo "Making 2000 files in $work/src ..."
python3 - "$work/src" <<'PY'
import os, random, sys
random.seed(1)
folder = sys.argv[1]
text = b"".join(b"line %06d of the Pelmora library, repeated to compress\n" % i for i in range(1200))
for i in range(2000):
    with open(os.path.join(folder, "file%04d.bin" % i), "wb") as f:
        f.write(os.urandom(50_000))
        f.write(text[: 50_000 + random.randint(-2000, 2000)])
PY
du -sh "$work/src" | sed 's/^/source: /'

# measure LABEL COMMAND...: prints wall seconds, peak RSS (KiB) and processor
# seconds of the command.
measure() {
  local label=$1
  shift
  sync
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
    echo "$label failed:" >&2
    cat "$work/err.txt" >&2
    exit 1
  }
  read -r secs kib user sys <"$work/time.txt"
  echo "$secs $kib $(echo "$user + $sys" | bc)"
}

# A listing takes milliseconds: it is timed twenty times over.
printf '#!/bin/sh\nn=$1; shift\nwhile [ "$n" -gt 0 ]; do "$@" >/dev/null || exit 1; n=$((n - 1)); done\n' \
  >"$work/repeat"
chmod +x "$work/repeat"

cab="$work/bench.cab"
read -r nsecs nkib _ < <(cd "$work/src" && measure "Cabarc N" "$cabarc" N "$cab" 'file*.bin')
echo "Cabarc N: ${nsecs}s, peak ${nkib} KiB, cabinet $(du -h "$cab" | cut -f1)"

# run_pair TITLE OURS THEIRS: best times and highest peak of each over $runs turns.
run_pair() {
  local title=$1 ours=$2 theirs=$3 os=999999 ok=0 oc=999999 ts=999999 tk=0 tc=999999 s k c
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r s k c < <(measure "$ours" $ours)
    if (($(echo "$s < $os" | bc))); then os=$s; fi
    if (($(echo "$c < $oc" | bc))); then oc=$c; fi
    if ((k > ok)); then ok=$k; fi
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r s k c < <(measure "$theirs" $theirs)
    if (($(echo "$s < $ts" | bc))); then ts=$s; fi
    if (($(echo "$c < $tc" | bc))); then tc=$c; fi
    if ((k > tk)); then tk=$k; fi
  done
  printf '%-22s wall %6.2fs vs %6.2fs  %5.2f   cpu %6.2fs vs %6.2fs  %5.2f   peak %6d vs %6d KiB  %5.2f\n' \
    "$title" "$os" "$ts" "$(echo "$os / ($ts + 0.0001)" | bc -l)" "$oc" "$tc" \
    "$(echo "$oc / ($tc + 0.0001)" | bc -l)" "$ok" "$tk" "$(echo "$ok / $tk" | bc -l)"
}

echo "Cabarc vs cabextract (same run, best of $runs):"
run_pair "full extraction" "$cabarc -o X $cab $work/out/" "cabextract -q -d $work/out $cab"
run_pair "last member" "$cabarc -o X $cab file1999.bin $work/out/" \
  "cabextract -q -F file1999.bin -d $work/out $cab"
run_pair "listing (20 runs)" "$work/repeat 20 $cabarc L $cab" "$work/repeat 20 cabextract -l $cab"
run_pair "test" "$cabarc T $cab" "cabextract -t $cab"

if [ -n "${CABARC_EXE:-}" ]; then
  wine=${WINE:-${PM_WINE_LOADER:-wine}}
  (cd "$work/src" && "$cabarc" N "$work/one.cab" file0000.bin >/dev/null)
  for exe in $CABARC_EXE; do
    echo "$exe under Wine vs Linux Cabarc (same run, best of $runs):"
    run_pair "one member (start-up)" "$wine $exe -o X $work/one.cab $work/out/" \
      "$cabarc -o X $work/one.cab $work/out/" | tee "$work/one.txt"
    run_pair "full extraction" "$wine $exe -o X $cab $work/out/" "$cabarc -o X $cab $work/out/" |
      tee "$work/full.txt"
    run_pair "test" "$wine $exe T $cab" "$cabarc T $cab"
    # Wall seconds of both, less the one-member run's: the ratio apart from start-up.
    walls() { sed -E 's/.*wall +([0-9.]+)s vs +([0-9.]+)s.*/\1 \2/' "$1"; }
    read -r o1 l1 < <(walls "$work/one.txt")
    read -r o2 l2 < <(walls "$work/full.txt")
    printf '%-22s %5.2f\n' "apart from start-up" "$(echo "($o2 - $o1) / ($l2 - $l1 + 0.0001)" | bc -l)"
  done
  rm -f "$work/one.cab"
fi
rm -f "$cab"
echo "load after: $(uptime)"
