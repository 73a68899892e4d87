#!/usr/bin/env bash
# Runs every benchmark; each prints its figure beside the anchor it is compared with.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
for script in "$here"/*.sh; do
  [ "$(basename "$script")" = run_all.sh ] && continue
  echo "== $(basename "$script")"
  "$script" "$build"
done
