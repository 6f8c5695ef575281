#!/usr/bin/env bash
# Compares Cabarc with cabextract on one cabinet of 2,000 files (about 200 MB,
# half random and half repetitive text, so partly compressible): full
# extraction and extraction of the last member, best wall time of three runs and peak memory,
# printed with the ratio Cabarc / cabextract. Not part of CTest.
#
#   bench/cabarc.sh [folder with Cabarc=build/bin] [work folder=a new temporary one]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$root/build/bin}" && pwd)
work=${2:-$(mktemp -d)}
cabarc="$bin/Cabarc"
command -v cabextract >/dev/null || { echo "cabextract is needed" >&2; exit 1; }
[ -x "$cabarc" ] || { echo "no Cabarc in $bin" >&2; exit 1; }
export PMSETUP_MACHINE="$work/machine"
mkdir -p "$work/src"
trap 'rm -rf "$work/src" "$work/out"' EXIT

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

# Best of three, the two tools taking turns, so that neither pays alone for a
# busy disk.
run_pair() {  # title, Cabarc args, cabextract args
  local title=$1 ours=$2 theirs=$3 os=999999 ok=0 ts=999999 tk=0 s k
  for _ in 1 2 3; do
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r s k < <(measure "Cabarc" $ours)
    if (($(echo "$s < $os" | bc))); then os=$s; fi
    if ((k > ok)); then ok=$k; fi
    rm -rf "$work/out" && mkdir -p "$work/out"
    read -r s k < <(measure "cabextract" $theirs)
    if (($(echo "$s < $ts" | bc))); then ts=$s; fi
    if ((k > tk)); then tk=$k; fi
  done
  printf '%-22s time %6.2fs vs %6.2fs  ratio %5.2f   peak %7d KiB vs %7d KiB  ratio %5.2f\n' \
    "$title" "$os" "$ts" "$(echo "$os / $ts" | bc -l)" "$ok" "$tk" "$(echo "$ok / $tk" | bc -l)"
}

echo "Cabarc vs cabextract (same run):"
run_pair "full extraction" "$cabarc -o X $cab $work/out/" "cabextract -q -d $work/out $cab"
run_pair "last member" "$cabarc -o X $cab file1999.bin $work/out/" \
  "cabextract -q -F file1999.bin -d $work/out $cab"
rm -f "$cab"
