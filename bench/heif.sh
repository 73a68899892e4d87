#!/usr/bin/env bash
# HEIF pictures: one 12-megapixel photo (4032x3024, a phone's size) encoded as HEIC by heif-enc
# (quality 90; once bare and once with the embedded 320-pixel thumbnail phones write) and as
# AVIF by avifenc, then
# - made into a 150-pixel thumbnail by heif_bench (ReduceImage) beside `heif-thumbnailer -s 150`
#   and beside `heif-convert -q 90` to JPEG followed by `vipsthumbnail -s 150`, in the same run;
# - made into the full-size JPEG rendition (MakeJpegRendition) beside `heif-convert -q 90`.
# Every side is timed alike as whole processes on files in the page cache, by /usr/bin/time:
# wall milliseconds (10 ms resolution) and peak resident memory in KiB, each the best of 5
# turns taken in alternation. heif_bench also prints what the decode added to its resident
# size. Target: thumbnail wall time at most 1.0 x heif-thumbnailer's.
set -euo pipefail
build=${1:-build}
bench="$build/bin/heif_bench"
runs=5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" generate "$work/photo.jpg"
heif-enc -q 90 "$work/photo.jpg" -o "$work/bare.heic" > /dev/null
heif-enc -q 90 -t 320 "$work/photo.jpg" -o "$work/phone.heic" > /dev/null
avifenc -s 8 -j all "$work/photo.jpg" "$work/photo.avif" > /dev/null
cat "$work"/* > /dev/null

# Prints "wall_ms peak_kib" for one run of the command.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" > /dev/null 2> "$work/stderr" ||
    { cat "$work/stderr" >&2; return 1; }
  awk '{ printf "%d %d\n", $1 * 1000 + 0.5, $2 }' "$work/time"
}
# Keeps the smaller of each figure: $1 = the best so far ("" at first), $2 = a new result.
better() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    split(b, y, " "); if (a == "") { print b; exit }
    split(a, x, " "); printf "%d %d\n", (y[1] < x[1] ? y[1] : x[1]), (y[2] < x[2] ? y[2] : x[2]) }'
}
convert_and_vips() {
  heif-convert -q 90 "$1" "$work/full.jpg" &&
    vipsthumbnail -s 150 -o "$work/vips.jpg[Q=90]" "$work/full.jpg"
}
export -f convert_and_vips
export work

echo "heif: one photo 4032x3024, $(du -k "$work/bare.heic" | cut -f1) KiB as HEIC," \
  "$(du -k "$work/photo.avif" | cut -f1) KiB as AVIF; best of $runs; load:$(uptime | sed 's/.*load average//')"
printf '%-22s %14s %18s %20s %8s\n' "thumbnail (ms, KiB)" "heif_bench" "heif-thumbnailer" \
  "heif-convert+vips" "ratio"
for file in bare.heic phone.heic photo.avif; do
  a='' b='' c=''
  for _ in $(seq "$runs"); do
    a=$(better "$a" "$(measure "$bench" thumbnail "$work/$file" "$work/ours.jpg")")
    b=$(better "$b" "$(measure heif-thumbnailer -s 150 "$work/$file" "$work/thumbnailer.png")")
    c=$(better "$c" "$(measure bash -c 'convert_and_vips "$0"' "$work/$file")")
  done
  awk -v name="$file" -v a="$a" -v b="$b" -v c="$c" 'BEGIN {
    split(a, x, " "); split(b, y, " "); split(c, z, " ")
    printf "%-22s %6d %7d %8d %9d %9d %10d %7.2f  (target <= 1.0)\n",
      name, x[1], x[2], y[1], y[2], z[1], z[2], x[1] / y[1] }'
done
printf '%-22s %14s %18s %8s\n' "rendition (ms, KiB)" "heif_bench" "heif-convert -q 90" "ratio"
for file in bare.heic photo.avif; do
  a='' b=''
  for _ in $(seq "$runs"); do
    a=$(better "$a" "$(measure "$bench" rendition "$work/$file" "$work/rendition.jpg")")
    b=$(better "$b" "$(measure heif-convert -q 90 "$work/$file" "$work/converted.jpg")")
  done
  awk -v name="$file" -v a="$a" -v b="$b" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "%-22s %6d %7d %8d %9d %7.2f\n", name, x[1], x[2], y[1], y[2], x[1] / y[1] }'
done
echo "peak memory one HEIC decode adds (KiB): thumbnail $("$bench" thumbnail "$work/bare.heic" \
  "$work/ours.jpg"), rendition $("$bench" rendition "$work/bare.heic" "$work/rendition.jpg")," \
  "thumbnail from the embedded one $("$bench" thumbnail "$work/phone.heic" "$work/ours.jpg")"
