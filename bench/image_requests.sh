#!/usr/bin/env bash
# Requests per second for one 4000x3000 photo asked for again and again through /image:
# reduced to a thumbnail (shrink=1, decoded and reduced on every request) and whole (from the
# file cache). wrk with 2 threads and 8 connections for 10 s each.
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
export XDG_CACHE_HOME="$work/cache"  # thumbnails made by the run stay in it
port=18702
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/photos"
"$build/bin/thumbnail_bench" generate "$work/photos" 1 > /dev/null
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/photos" "$port" > "$work/bench.con"
"$build/bin/lumenvale" "$work/bench.con" > /dev/null &
for _ in $(seq 100); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/image?page=1-N-0")" = 200 ] && break
  sleep 0.1
done
for query in 'page=1-N-0&shrink=1' 'page=1-N-0'; do
  rps=$(wrk -t2 -c8 -d10s "http://127.0.0.1:$port/image?$query" | awk '/Requests\/sec/ {print $2}')
  printf '/image?%-22s %10s req/s\n' "$query" "$rps"
done
