#!/usr/bin/env bash
# Quillon: start to its dialog shown under Xvfb (median of 20 starts), beside a bare Qt Widgets
# program showing an empty dialog, started in turn with it (the anchor: what Qt itself costs);
# and the size of the quillon binary beside that program's and the server's.
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work"

xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/bin/window_start_bench" 20 "$build/bin/quillon" "$build/bin/empty_qt_dialog"

for program in quillon empty_qt_dialog lumenvale; do
  strip -o "$work/$program" "$build/bin/$program"
  printf '%-16s %8d bytes stripped (%d with debug information)\n' "$program" \
    "$(stat -c %s "$work/$program")" "$(stat -c %s "$build/bin/$program")"
done
