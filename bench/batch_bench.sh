#!/usr/bin/env bash
# Converts 200 copies of the sample font in one batch run and, beside it, copies
# the same files with cp: the I/O floor. Prints the median of several runs of
# each and their ratio (target: the batch run takes at most twice the copy).
#
#   bench/batch_bench.sh [COPIES] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
copies=${1:-200}
runs=${2:-7}
batch=${BATCH:-$root/build/release/app/extractinsert-batch}
if [ ! -x "$batch" ]; then
  (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release --target extractinsert-batch >/dev/null)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/fonts"
for i in $(seq -w 1 "$copies"); do
  cp "$root/samples/dejavu-sans.bmp" "$work/fonts/font$i.bmp"
  cp "$root/samples/dejavu-sans.metrics" "$work/fonts/font$i.metrics"
done

elapsed_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

batch_times=()
copy_times=()
for _ in $(seq "$runs"); do
  rm -rf "$work/out" "$work/copy"
  batch_times+=("$(elapsed_ms "$batch" -q -o "$work/out" "$work"/fonts/*.metrics)")
  mkdir "$work/copy"
  copy_times+=("$(elapsed_ms cp "$work"/fonts/* "$work/copy/")")
done

b=$(median "${batch_times[@]}")
c=$(median "${copy_times[@]}")
bytes=$(du -sb "$work/fonts" | cut -f1)
echo "fonts: $copies ($((bytes / 1024)) KiB of strips and metrics files), runs: $runs"
echo "batch conversion: median ${b} ms  (all: ${batch_times[*]})"
echo "cp of the same files: median ${c} ms  (all: ${copy_times[*]})"
awk -v b="$b" -v c="$c" 'BEGIN { if (c > 0) printf "ratio: %.2f (target at most 2.00)\n", b / c }'
