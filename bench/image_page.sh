#!/usr/bin/env bash
# Server-side build time of one image page in a 100 000-image catalogue, beside its target.
set -euo pipefail
build=${1:-build}
"$build/bin/image_page_bench"
