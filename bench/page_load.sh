#!/usr/bin/env bash
# Thumbnail page load in Chromium: navigation to all 100 thumbnails of 12 MP JPEGs loaded,
# with a freshly started server, then in new browser contexts once the background work has
# made every thumbnail (target < 500 ms), then again in the first context (bench/page_load.mjs).
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
LUMENVALE_BINARY="$build/bin/lumenvale" THUMBNAIL_BENCH="$build/bin/thumbnail_bench" \
  E2E_OUTPUT="$build/e2e-output" node bench/page_load.mjs
