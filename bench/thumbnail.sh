#!/usr/bin/env bash
# Thumbnail reduction: 100 generated photos of 4000x3000 (JPEG quality 90) reduced to 150
# pixels wide by ReduceImage, one after another and with one thread per core, beside
# `vipsthumbnail -s 150` (libvips, also writing quality 90) on the same files in the same run:
# one process over all files, and one process per core through xargs -P. Both sides are timed
# alike, as whole processes reading and writing files: wall and CPU (user + system)
# milliseconds per picture, each the best of three turns. Target: at most 0.9 x vips's wall
# time per picture. The CPU figures show the same comparison when other work shares the cores.
set -euo pipefail
build=${1:-build}
bench="$build/bin/thumbnail_bench"
count=100
runs=3
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos" "$work/ours" "$work/vips"

"$bench" generate "$work/photos" "$count"
files=("$work"/photos/*.jpg)
cat "${files[@]}" > /dev/null  # both sides read from the page cache

ours() {  # $1 = threads
  "$bench" reduce "$1" "$work/ours" "${files[@]}"
}
vips() {  # $1 = processes
  printf '%s\n' "${files[@]}" |
    xargs -P "$1" -n $(( (count + $1 - 1) / $1 )) vipsthumbnail -s 150 -o "$work/vips/%s.jpg[Q=90]"
}
# Prints "wall_ms cpu_ms" per picture for one run of the command.
measure() {
  local TIMEFORMAT='%R %U %S' times
  times=$({ time "$@" > /dev/null; } 2>&1)
  awk -v n="$count" '{ printf "%.2f %.2f\n", $1 * 1000 / n, ($2 + $3) * 1000 / n }' <<<"$times"
}
# Keeps the smaller of each figure: $1 = the best so far ("" at first), $2 = a new result.
better() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    split(b, y, " "); if (a == "") { print b; exit }
    split(a, x, " "); printf "%s %s\n", (y[1] < x[1] ? y[1] : x[1]), (y[2] < x[2] ? y[2] : x[2]) }'
}

# The two sides take turns, so a busy moment of the machine falls on both alike.
ours_serial='' vips_serial='' ours_parallel='' vips_parallel=''
for _ in $(seq "$runs"); do
  ours_serial=$(better "$ours_serial" "$(measure ours 1)")
  vips_serial=$(better "$vips_serial" "$(measure vips 1)")
  ours_parallel=$(better "$ours_parallel" "$(measure ours "$cores")")
  vips_parallel=$(better "$vips_parallel" "$(measure vips "$cores")")
done

size=$(du -k "${files[0]}" | cut -f1)
echo "thumbnail: $count photos 4000x3000, ${size} KiB each; ms per picture, best of $runs"
printf '%-12s %18s %18s %18s\n' "" "ReduceImage" "vipsthumbnail" "ratio"
printf '%-12s %9s %8s %9s %8s %9s %8s\n' "" wall cpu wall cpu wall cpu
row() {
  awk -v name="$1" -v a="$2" -v b="$3" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "%-12s %9.2f %8.2f %9.2f %8.2f %9.2f %8.2f  (target: wall <= 0.90)\n",
      name, x[1], x[2], y[1], y[2], x[1] / y[1], x[2] / y[2] }'
}
row "serial" "$ours_serial" "$vips_serial"
row "$cores threads" "$ours_parallel" "$vips_parallel"
