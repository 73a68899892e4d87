#!/usr/bin/env bash
# Server-side build time of the /info page with 1 000 open connections, beside its target.
set -euo pipefail
build=${1:-build}
"$build/bin/status_page_bench"
