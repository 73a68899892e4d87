#!/usr/bin/env bash
# Requests per second for one 4000x3000 photo asked for again and again through /image:
# its thumbnail (shrink=1; made by the first request, then kept by the thumbnail store) and
# the whole photo (from the file cache), beside nginx serving the same thumbnail as a
# ready-made file in the same run. wrk with 2 threads and 8 connections for 10 s each.
# Target: the kept thumbnail at least 1 / 1.5 of nginx's rate.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
source "$(dirname "$0")/support/nginx.sh"
build=${1:-build}
work=$(mktemp -d)
export XDG_CACHE_HOME="$work/cache"  # thumbnails made by the run stay in it
port=18702
nginx_port=18703
cleanup() {
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  kill $(jobs -p) 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/photos" "$work/thumbs"
"$build/bin/thumbnail_bench" generate "$work/photos" 1 > /dev/null
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/photos" "$port" > "$work/bench.con"
"$build/bin/lumenvale" "$work/bench.con" > /dev/null &
for _ in $(seq 100); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/image?page=1-N-0")" = 200 ] && break
  sleep 0.1
done
rps() { wrk -t2 -c8 -d10s "$1" | awk '/Requests\/sec/ {print $2}'; }
curl -s -o "$work/thumbs/thumb.jpg" "http://127.0.0.1:$port/image?page=1-N-0&shrink=1"
thumb_rps=$(rps "http://127.0.0.1:$port/image?page=1-N-0&shrink=1")
whole_rps=$(rps "http://127.0.0.1:$port/image?page=1-N-0")

run_nginx "$work" $nginx_port auto "$work/thumbs" thumb.jpg
status=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$nginx_port/thumb.jpg")
[ "$status" = 200 ] || { echo "nginx answered $status for the thumbnail" >&2; exit 1; }
nginx_rps=$(rps "http://127.0.0.1:$nginx_port/thumb.jpg")
printf '/image?page=1-N-0&shrink=1 (kept)  %10s req/s   nginx, the same thumbnail: %s req/s   ratio %s (target >= 0.67)\n' \
  "$thumb_rps" "$nginx_rps" "$(awk -v a="$thumb_rps" -v b="$nginx_rps" 'BEGIN { printf "%.2f", a / b }')"
printf '/image?page=1-N-0 (whole photo)    %10s req/s\n' "$whole_rps"
