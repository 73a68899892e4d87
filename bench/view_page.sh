#!/usr/bin/env bash
# Server-side build time of one thumbnail page in a 100 000-image catalogue, beside its target.
set -euo pipefail
build=${1:-build}
"$build/bin/view_page_bench"
