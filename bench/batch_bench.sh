#!/usr/bin/env bash
# The batch command against the I/O floor, cp of the same files, for copies of
# the sample font. For each count of fonts it measures three cases, each run
# alternating with its cp so that both see the same machine:
#   empty      into an empty output folder       vs  cp into an empty folder
#   unchanged  again, over its own outputs       vs  cp over the old copies
#   changed    strips changed since the last run vs  cp of them over the old copies
# and then start-up: a one-font run against extractinsert-batch --help.
# Prints the median of each and the ratio to the floor. BATCH may name several
# builds of the batch command, separated by blanks (a baseline first): their
# runs then alternate too, and each gets its own figures.
#
#   bench/batch_bench.sh [RUNS] [COUNT...]      (default: 9 runs; 200 and 2000 fonts)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(200 2000)
read -r -a batches <<<"${BATCH:-$root/build/release/app/extractinsert-batch}"
if [ ! -x "${batches[0]}" ]; then
  (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release --target extractinsert-batch >/dev/null)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now_ns() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { awk -v b="$1" -v c="$2" 'BEGIN { if (c > 0) printf "%.2f", b / c; else print "-" }'; }

# Two sets of the same fonts whose strips differ in glyph pixels (not in the
# marker row), so that a run over the other set changes every packed bitmap.
make_fonts() {
  local n=$1 set
  for set in A B; do
    rm -rf "$work/fonts$set"
    mkdir "$work/fonts$set"
  done
  cp "$root/samples/dejavu-sans.bmp" "$work/stripA.bmp"
  cp "$root/samples/dejavu-sans.bmp" "$work/stripB.bmp"
  # The bottom glyph rows start after the headers and the 256-colour table.
  head -c 4096 /dev/urandom | dd of="$work/stripB.bmp" bs=1 seek=1078 conv=notrunc status=none
  for i in $(seq -w 1 "$n"); do
    for set in A B; do
      cp "$work/strip$set.bmp" "$work/fonts$set/font$i.bmp"
      cp "$root/samples/dejavu-sans.metrics" "$work/fonts$set/font$i.metrics"
    done
  done
}

run_batch() { "${batches[$b]}" -q -o "$work/out$b" "$1"/*.metrics >/dev/null; }
run_cp() { cp "$1"/* "$work/copy$b/"; }

# Times one command in ms, to stdout.
time_ms() {
  local start end
  start=$(now_ns)
  "$@"
  end=$(now_ns)
  echo $(((end - start) / 1000000))
}
time_us() {
  local start end
  start=$(now_ns)
  "$@" >/dev/null
  end=$(now_ns)
  echo $(((end - start) / 1000))
}

report() {  # name, then the batch times and the cp times of one build
  local name=$1 bt ct
  read -r -a bt <<<"$2"
  read -r -a ct <<<"$3"
  local bm cm
  bm=$(median "${bt[@]}")
  cm=$(median "${ct[@]}")
  printf '%-34s batch %6s ms   cp %6s ms   ratio %s\n' "$name" "$bm" "$cm" "$(ratio "$bm" "$cm")"
}

# Times the batch run and the cp of one case, the one first in odd runs and
# the other first in even runs, so that neither always follows the other.
pair() {
  local name=$1 fonts=$2
  if [ $((r % 2)) -eq 1 ]; then
    times[${name}_b$b]+=" $(time_ms run_batch "$fonts")"
    times[${name}_c$b]+=" $(time_ms run_cp "$fonts")"
  else
    times[${name}_c$b]+=" $(time_ms run_cp "$fonts")"
    times[${name}_b$b]+=" $(time_ms run_batch "$fonts")"
  fi
}

label() { [ ${#batches[@]} -eq 1 ] && echo "$1" || echo "$1 [$b]"; }

for n in "${counts[@]}"; do
  make_fonts "$n"
  echo "fonts: $n ($(($(du -sb "$work/fontsA" | cut -f1) / 1024)) KiB of strips and metrics files), runs: $runs"
  declare -A times=()
  for r in $(seq "$runs"); do
    for b in "${!batches[@]}"; do
      rm -rf "$work/out$b" "$work/copy$b" && mkdir "$work/copy$b"
      sync
      pair empty "$work/fontsA"
      pair same "$work/fontsA"
      # Every run over the other set replaces every packed bitmap.
      for set in B A; do pair changed "$work/fonts$set"; done
    done
  done
  for b in "${!batches[@]}"; do
    report "$(label "$n fonts, empty folder")" "${times[empty_b$b]}" "${times[empty_c$b]}"
    report "$(label "$n fonts, unchanged re-run")" "${times[same_b$b]}" "${times[same_c$b]}"
    report "$(label "$n fonts, changed strips")" "${times[changed_b$b]}" "${times[changed_c$b]}"
  done
  unset times
done

# Start-up: one font, over its own outputs, against printing the usage text.
make_fonts 1
for b in "${!batches[@]}"; do
  "${batches[$b]}" -q -o "$work/one$b" "$work/fontsA/font1.metrics" >/dev/null
done
declare -A one=()
for r in $(seq $((runs * 5))); do
  for b in "${!batches[@]}"; do
    one[run$b]+=" $(time_us "${batches[$b]}" -q -o "$work/one$b" "$work/fontsA/font1.metrics")"
    one[help$b]+=" $(time_us "${batches[$b]}" --help)"
  done
done
for b in "${!batches[@]}"; do
  read -r -a ot <<<"${one[run$b]}"
  read -r -a ht <<<"${one[help$b]}"
  o=$(median "${ot[@]}")
  h=$(median "${ht[@]}")
  printf '%-34s batch %6s us   --help %4s us   ratio %s\n' "$(label "start-up, one font")" "$o" "$h" "$(ratio "$o" "$h")"
done
