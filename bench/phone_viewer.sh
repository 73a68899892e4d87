#!/usr/bin/env bash
# The gallery on a phone with a throttled link: the image page's first picture (time, bytes),
# a swipe to the next, and the weight of a thumbnail page of mixed types against one of JPEGs
# (bench/phone_viewer.mjs). ANCHOR_BINARY=/path/to/lumenvale measures that server beside it.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
echo "load: $(uptime)"
LUMENVALE_BINARY="$build/bin/lumenvale" THUMBNAIL_BENCH="$build/bin/thumbnail_bench" \
  PHONE_PICTURES="$build/bin/phone_pictures" E2E_OUTPUT="$build/e2e-output" \
  node bench/phone_viewer.mjs
