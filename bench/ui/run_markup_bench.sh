#!/bin/bash
# Markup parser benchmark: MarkupDocument::LoadFromText under Wine against
# pugixml natively (load_buffer, which copies like ours, and
# load_buffer_inplace), on the same generated ~1 MB skin-like document.
# The two programs run alternately; each reports the median of its timed
# loads, and this script prints the medians over all rounds and the ratios.
#   bench/ui/run_markup_bench.sh <build-dir> [rounds] [iterations]
# Use a Release build folder (-DCMAKE_BUILD_TYPE=Release).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:?usage: run_markup_bench.sh <build-dir> [rounds] [iterations]}" && pwd)"
rounds="${2:-7}"
iterations="${3:-300}"

cmake --build "$build" --target markup_bench markup_bench_baseline >/dev/null
ours="$build/bench/ui/markup_bench.exe"
native="$build/bench/ui/markup_bench_pugixml"
grep -q '^CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" ||
  echo "warning: $build is not a Release build; the figures are not meaningful" >&2

# (Wine's complaint about the private display going away is dropped.)
wine_run() {
  "$root/scripts/wine-run" --prefix "$build/wineprefix" "$@" \
    2> >(grep -v -E '^(XIO: |X connection to|  +after [0-9]+ requests)' >&2)
}
wine_run "$ours" 5 >/dev/null  # warm the wineserver and the prefix

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ours_runs=(); copy_runs=(); inplace_runs=()
for ((r = 1; r <= rounds; r++)); do
  n="$("$native" "$iterations")"
  o="$(wine_run "$ours" "$iterations")"
  copy_runs+=("$(awk '/^pugixml_load_buffer /{print $2}' <<<"$n")")
  inplace_runs+=("$(awk '/^pugixml_load_buffer_inplace /{print $2}' <<<"$n")")
  ours_runs+=("$(awk '/^markup_load_from_text /{print $2}' <<<"$o")")
  echo "round $r: ours ${ours_runs[-1]}  pugixml copying ${copy_runs[-1]}  in place ${inplace_runs[-1]} MB/s"
done
ours_m="$(printf '%s\n' "${ours_runs[@]}" | median)"
copy_m="$(printf '%s\n' "${copy_runs[@]}" | median)"
inplace_m="$(printf '%s\n' "${inplace_runs[@]}" | median)"
echo "$(awk '/^source_bytes/{print $2 " bytes of UTF-8, " }' <<<"$n")$(awk '/^elements/{print $2 " elements"}' <<<"$n")"
printf 'median MB/s: MarkupDocument (Wine) %s, pugixml load_buffer %s, load_buffer_inplace %s\n' \
  "$ours_m" "$copy_m" "$inplace_m"
awk -v o="$ours_m" -v c="$copy_m" -v i="$inplace_m" 'BEGIN {
  printf "ratio vs load_buffer: %.2f (target >= 1.0)\nratio vs load_buffer_inplace: %.2f (target >= 0.8)\n", o / c, o / i }'
