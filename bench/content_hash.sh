#!/usr/bin/env bash
# A like's content hash of a 200 MiB file, read in pieces, beside the file read whole and
# hashed at once: time and peak memory of each (run once the file is in the page cache).
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c $((200 << 20)) /dev/urandom > "$work/large.jpg"
cat "$work/large.jpg" > /dev/null
uptime
"$build/bin/content_hash_bench" "$work/large.jpg"
