#!/usr/bin/env bash
# Compares Cabarc with cabextract on one cabinet of 2,000 files (about 200 MB,
# half random and half repetitive text, so partly compressible): full
# extraction, extraction of the last member and a listing; best wall time of
# RUNS runs (default 5) and peak memory, printed with the ratio Cabarc /
# cabextract. The tools take turns within each run, so that neither pays alone
# for a busy machine. Not part of CTest.
#
#   bench/cabarc.sh [folder with Cabarc=build/bin] [work folder=a new temporary one]
#
# With CABARC_EXE=path/Cabarc.exe (and WINE=the Wine loader, default the one
# scripts/wine-run gives, else "wine"; e.g. CABARC_EXE=... scripts/wine-run
# win64 --host bench/cabarc.sh),
# Cabarc.exe is timed too, on the same cabinet and on a one-member cabinet
# (Wine's own start-up), against the Linux Cabarc.
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
trap 'rm -rf "$work/src" "$work/out"' EXIT
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

# measure LABEL COMMAND...: prints wall seconds and peak RSS (KiB) of the command.
measure() {
  local label=$1
  shift
  sync
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
    echo "$label failed:" >&2
    cat "$work/err.txt" >&2
    exit 1
  }
  read -r secs kib <"$work/time.txt"
  echo "$secs $kib"
}

cab="$work/bench.cab"
read -r nsecs nkib < <(cd "$work/src" && measure "Cabarc N" "$cabarc" N "$cab" 'file*.bin')
echo "Cabarc N: ${nsecs}s, peak ${nkib} KiB, cabinet $(du -h "$cab" | cut -f1)"

# run_pair TITLE OURS THEIRS: best time and highest peak of each over $runs turns.
run_pair() {
  local title=$1 ours=$2 theirs=$3 os=999999 ok=0 ts=999999 tk=0 s k
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r s k < <(measure "$ours" $ours)
    if (($(echo "$s < $os" | bc))); then os=$s; fi
    if ((k > ok)); then ok=$k; fi
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r s k < <(measure "$theirs" $theirs)
    if (($(echo "$s < $ts" | bc))); then ts=$s; fi
    if ((k > tk)); then tk=$k; fi
  done
  printf '%-22s time %6.2fs vs %6.2fs  ratio %5.2f   peak %7d KiB vs %7d KiB  ratio %5.2f\n' \
    "$title" "$os" "$ts" "$(echo "$os / ($ts + 0.0001)" | bc -l)" "$ok" "$tk" \
    "$(echo "$ok / $tk" | bc -l)"
}

echo "Cabarc vs cabextract (same run, best of $runs):"
run_pair "full extraction" "$cabarc -o X $cab $work/out/" "cabextract -q -d $work/out $cab"
run_pair "last member" "$cabarc -o X $cab file1999.bin $work/out/" \
  "cabextract -q -F file1999.bin -d $work/out $cab"
run_pair "listing" "$cabarc L $cab" "cabextract -l $cab"
run_pair "test" "$cabarc T $cab" "cabextract -t $cab"

if [ -n "${CABARC_EXE:-}" ]; then
  wine=${WINE:-${PM_WINE_LOADER:-wine}}
  (cd "$work/src" && "$cabarc" N "$work/one.cab" file0000.bin >/dev/null)
  echo "Cabarc.exe under Wine vs Linux Cabarc (same run, best of $runs):"
  run_pair "one member (start-up)" "$wine $CABARC_EXE -o X $work/one.cab $work/out/" \
    "$cabarc -o X $work/one.cab $work/out/"
  run_pair "full extraction" "$wine $CABARC_EXE -o X $cab $work/out/" "$cabarc -o X $cab $work/out/"
  run_pair "test" "$wine $CABARC_EXE T $cab" "$cabarc T $cab"
  rm -f "$work/one.cab"
fi
rm -f "$cab"
