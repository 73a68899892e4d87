#!/usr/bin/env bash
# DEFLATE decoding throughput of our Inflate beside zlib's inflate, in the same run, on a
# 50 MB text corpus shaped like C headers that the benchmark writes itself (the same bytes on
# every machine) compressed at level 6, and on a ZIP of generated JPEG photos made by
# Info-ZIP. Target: at least 1.0 x zlib on both.
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/inflate_bench" corpus "$work/corpus.txt" 50000000
"$build/bin/inflate_bench" text "$work/corpus.txt"

mkdir "$work/photos"
"$build/bin/inflate_bench" photos "$work/photos" 24
(cd "$work/photos" && zip -q -6 "$work/photos.zip" ./*.jpg)
"$build/bin/inflate_bench" zip "$work/photos.zip"
