#!/usr/bin/env bash
# Start-up with a hash list of 100 000 records over a 100 000-picture gallery: the time until
# the Likes order is built, beside the scan alone. Target: under 2 s.
set -euo pipefail
build=${1:-build}
"$build/bin/likes_startup_bench"
