#!/usr/bin/env bash
# DEFLATE decoding throughput of our Inflate beside zlib's inflate, in the same run, on a
# 50 MB text corpus (the system's C headers) compressed at level 6 and on a ZIP of JPEG
# photos made by Info-ZIP. Target: at least 0.7 x zlib on both.
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# head stops reading after 50 MB, and cat then dies of SIGPIPE: that is expected here.
find /usr/include -name '*.h' -type f -print0 | sort -z | xargs -0 cat 2>/dev/null |
  head -c 50000000 > "$work/corpus.txt" || true
"$build/bin/inflate_bench" text "$work/corpus.txt"

mkdir "$work/photos"
"$build/bin/inflate_bench" photos "$work/photos" 24
(cd "$work/photos" && zip -q -6 "$work/photos.zip" ./*.jpg)
"$build/bin/inflate_bench" zip "$work/photos.zip"
