#!/usr/bin/env bash
# HEIF pictures: one 12-megapixel photo (4032x3024, a phone's size) encoded as HEIC by heif-enc
# (quality 90; once bare and once with the embedded 320-pixel thumbnail phones write) and as
# AVIF by avifenc, then
# - made into a 150-pixel thumbnail by heif_bench (ReduceImage) beside `heif-thumbnailer -s 150`
#   and beside `heif-convert -q 90` to JPEG followed by `vipsthumbnail -s 150`, in the same run;
# - made into the full-size JPEG rendition (ReduceImage at kFullSizeJpeg) beside `heif-convert -q 90`.
# Every side is timed alike as whole processes on files in the page cache, by /usr/bin/time:
# wall and CPU (user + system) milliseconds (10 ms resolution) and peak resident memory in
# KiB, each the best of 5 turns taken in alternation; the CPU figures show the comparison when
# other work shares the cores. heif_bench also prints what the decode added to its resident
# size. Target: thumbnail wall time at most 1.0 x heif-thumbnailer's.
set -euo pipefail
build=${1:-build}
bench="$build/bin/heif_bench"
runs=${HEIF_BENCH_RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" generate "$work/photo.jpg"
heif-enc -q 90 "$work/photo.jpg" -o "$work/bare.heic" > /dev/null
heif-enc -q 90 -t 320 "$work/photo.jpg" -o "$work/phone.heic" > /dev/null
avifenc -s 8 -j all "$work/photo.jpg" "$work/photo.avif" > /dev/null
cat "$work"/* > /dev/null

# Prints "wall_ms cpu_ms peak_kib" for one run of the command.
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2> "$work/stderr" ||
    { cat "$work/stderr" >&2; return 1; }
  awk '{ printf "%d %d %d\n", $1 * 1000 + 0.5, ($2 + $3) * 1000 + 0.5, $4 }' "$work/time"
}
# Keeps the smaller of each figure: $1 = the best so far ("" at first), $2 = a new result.
better() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    split(b, y, " "); if (a == "") { print b; exit }
    split(a, x, " ")
    printf "%d %d %d\n", (y[1] < x[1] ? y[1] : x[1]), (y[2] < x[2] ? y[2] : x[2]),
      (y[3] < x[3] ? y[3] : x[3]) }'
}
# Prints one side's "wall cpu KiB" columns.
columns='function side(t) { split(t, v, " "); return sprintf(" %6d %6d %7d", v[1], v[2], v[3]) }
  function ratio(a, b) { split(a, x, " "); split(b, y, " ")
    return sprintf(" %5.2f %5.2f", x[1] / y[1], x[2] / y[2]) }'
convert_and_vips() {
  heif-convert -q 90 "$1" "$work/full.jpg" &&
    vipsthumbnail -s 150 -o "$work/vips.jpg[Q=90]" "$work/full.jpg"
}
export -f convert_and_vips
export work

echo "heif: one photo 4032x3024, $(du -k "$work/bare.heic" | cut -f1) KiB as HEIC," \
  "$(du -k "$work/photo.avif" | cut -f1) KiB as AVIF; best of $runs; load:$(uptime | sed 's/.*load average//')"
printf '%-14s %21s %21s %21s %12s\n' "thumbnail" "heif_bench" "heif-thumbnailer" \
  "heif-convert+vips" "ratio"
printf '%-14s%s%s%s %5s %5s\n' "" "$(printf ' %6s %6s %7s' wall cpu KiB)" \
  "$(printf ' %6s %6s %7s' wall cpu KiB)" "$(printf ' %6s %6s %7s' wall cpu KiB)" wall cpu
for file in bare.heic phone.heic photo.avif; do
  a='' b='' c=''
  for _ in $(seq "$runs"); do
    a=$(better "$a" "$(measure "$bench" thumbnail "$work/$file" "$work/ours.jpg")")
    b=$(better "$b" "$(measure heif-thumbnailer -s 150 "$work/$file" "$work/thumbnailer.png")")
    c=$(better "$c" "$(measure bash -c 'convert_and_vips "$0"' "$work/$file")")
  done
  awk -v name="$file" -v a="$a" -v b="$b" -v c="$c" "$columns"'
    BEGIN { printf "%-14s%s%s%s%s  (target <= 1.0)\n", name, side(a), side(b), side(c), ratio(a, b) }'
done
printf '%-14s %21s %21s %12s\n' "rendition" "heif_bench" "heif-convert -q 90" "ratio"
for file in bare.heic photo.avif; do
  a='' b=''
  for _ in $(seq "$runs"); do
    a=$(better "$a" "$(measure "$bench" rendition "$work/$file" "$work/rendition.jpg")")
    b=$(better "$b" "$(measure heif-convert -q 90 "$work/$file" "$work/converted.jpg")")
  done
  awk -v name="$file" -v a="$a" -v b="$b" "$columns"'
    BEGIN { printf "%-14s%s%s%s\n", name, side(a), side(b), ratio(a, b) }'
done
echo "peak memory one HEIC decode adds (KiB): thumbnail $("$bench" thumbnail "$work/bare.heic" \
  "$work/ours.jpg"), rendition $("$bench" rendition "$work/bare.heic" "$work/rendition.jpg")," \
  "thumbnail from the embedded one $("$bench" thumbnail "$work/phone.heic" "$work/ours.jpg")"
