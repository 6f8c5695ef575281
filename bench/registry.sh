#!/usr/bin/env bash
# The registry store at scale: runs the unattended demo install (no pacing)
# against the demo machine as built, and against the same machine whose
# HKEY_CURRENT_USER.reg has 200,000 more values appended (about 12 MB, the size
# of a real user's export), and prints the best wall time of three runs of each,
# the ratio big / small and the peak memory. A fresh copy of the machine and the
# installer folder for every run; the two stores take turns, so that neither
# pays alone for a busy disk. Every run must end with exit code 0 and leave the
# appended values, the install's values, and no log or temporary file in the
# registry folder. Not part of CTest.
#
#   bench/registry.sh [build folder=build] [work folder=a new temporary one]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-$(mktemp -d)}
demo="$build/demo"
[ -x "$demo/setup/PMSetupUnattended" ] && [ -d "$demo/machine/registry" ] ||
  { echo "no demo in $demo (build the target demo first)" >&2; exit 1; }
mkdir -p "$work"
trap 'rm -rf "$work/run" "$work/machines"' EXIT

# The two machines: the demo's, and the demo's with a 12 MB HKEY_CURRENT_USER.
mkdir -p "$work/machines"
cp -a "$demo/machine" "$work/machines/small"
cp -a "$demo/machine" "$work/machines/big"
python3 - "$work/machines/big/registry/HKEY_CURRENT_USER.reg" <<'PY'
import random, sys
random.seed(16)
words = "alpha beta gamma delta window toolbar recent file view colour layout".split()
out = []
n = 0
for vendor in range(200):
    for product in range(10):
        out.append("\r\n[HKEY_CURRENT_USER\\Software\\Bench Vendor %03d\\Product %02d\\Settings]\r\n"
                   % (vendor, product))
        for i in range(100):
            kind = n % 4
            name = "%s %s %06d" % (random.choice(words), random.choice(words), n)
            if kind == 3:
                out.append('"%s"=dword:%08x\r\n' % (name, random.getrandbits(32)))
            else:
                text = "C:\\\\Users\\\\ann\\\\%s\\\\%s.dat" % (random.choice(words), "x" * random.randint(6, 20))
                out.append('"%s"="%s"\r\n' % (name, text))
            n += 1
assert n == 200_000
with open(sys.argv[1], "ab") as f:
    f.write("".join(out).encode())
PY
big_reg="$work/machines/big/registry/HKEY_CURRENT_USER.reg"
echo "stores: small $(stat -c %s "$work/machines/small/registry/HKEY_CURRENT_USER.reg") bytes," \
  "big $(stat -c %s "$big_reg") bytes ($(grep -c '^"' "$big_reg") values)"

# run WHICH: one install on a fresh copy of machine WHICH; prints seconds and peak KiB.
run() {
  local which=$1
  rm -rf "$work/run" && mkdir -p "$work/run"
  cp -a "$demo/setup" "$work/run/setup"
  cp -a "$work/machines/$which" "$work/run/machine"
  sync
  if ! PMSETUP_MACHINE="$work/run/machine" /usr/bin/time -f "%e %M" -o "$work/time.txt" \
    "$work/run/setup/PMSetupUnattended" --no-pacing "$root/demo/answers.ini" \
    >"$work/out.txt" 2>"$work/err.txt"; then
    echo "the install on the $which store failed:" >&2
    cat "$work/out.txt" "$work/err.txt" >&2
    exit 1
  fi
  # The launched Pelmora.exe reads the store too: let it end before checking.
  for _ in $(seq 100); do pgrep -f "$work/run/machine" >/dev/null || break; sleep 0.05; done
  local reg="$work/run/machine/registry"
  grep -q '^"AppPath"=' "$reg/HKEY_CURRENT_USER.reg" &&
    grep -q 'Registered' "$reg/HKEY_CLASSES_ROOT.reg" ||
    { echo "the install on the $which store did not leave its values in the .reg files" >&2; exit 1; }
  if [ "$which" = big ] && [ "$(grep -c '^"' "$reg/HKEY_CURRENT_USER.reg")" -lt 200000 ]; then
    echo "the big store lost values" >&2
    exit 1
  fi
  if ls "$reg" | grep -v '\.reg$' | grep -v '\.reg\.lock$' | grep -q .; then
    echo "the install on the $which store left files behind: $(ls "$reg")" >&2
    exit 1
  fi
  cat "$work/time.txt"
}

best_small=999999 best_big=999999 peak_small=0 peak_big=0
for round in 1 2 3; do
  read -r s k < <(run small)
  if (($(echo "$s < $best_small" | bc))); then best_small=$s; fi
  if ((k > peak_small)); then peak_small=$k; fi
  read -r s k < <(run big)
  if (($(echo "$s < $best_big" | bc))); then best_big=$s; fi
  if ((k > peak_big)); then peak_big=$k; fi
  echo "round $round: small ${best_small}s, big ${best_big}s (best so far)"
done
printf 'install, best of 3: small store %.2fs, 12 MB store %.2fs, ratio %.2f\n' \
  "$best_small" "$best_big" "$(echo "$best_big / $best_small" | bc -l)"
printf 'peak memory: small store %d KiB, 12 MB store %d KiB (store file %d KiB)\n' \
  "$peak_small" "$peak_big" "$(($(stat -c %s "$big_reg") / 1024))"
