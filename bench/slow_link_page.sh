#!/usr/bin/env bash
# The first thumbnail page in Chromium over a slow link (100 ms round trip, 50 Mbit/s, a round
# trip per new connection): Lumenvale over HTTPS, Lumenvale over plain HTTP and nginx over
# HTTPS with HTTP/2 serving the same bytes, in the same run (bench/slow_link_page.mjs).
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
echo "load: $(uptime | sed 's/.*load average: //')"
LUMENVALE_BINARY="$build/bin/lumenvale" MAKE_GALLERY="$build/bin/make_gallery" \
  E2E_OUTPUT="$build/e2e-output" node bench/slow_link_page.mjs
