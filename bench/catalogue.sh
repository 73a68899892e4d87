#!/usr/bin/env bash
# Catalogue scan, list update, search and memory figures on a generated 100 000-image
# gallery, each beside its target (the scan beside find over the same tree).
set -euo pipefail
build=${1:-build}
"$build/bin/catalogue_bench"
