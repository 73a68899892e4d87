#!/usr/bin/env bash
# The thumbnails of the first thumbnail page: 100 photos of 4000x3000 (12 MP JPEGs of a few
# megabytes) and the 100 /image?page=1-N-<i>&shrink=1 requests that /view?page=T-1-N-0 makes,
# fetched by 2 clients at once (one curl with two transfers in flight, each request on a
# connection of its own, as the server closes each; --parallel-immediate, as curl would
# otherwise wait for a connection to reuse and send one request at a time). The figure is
# the wall time of the page.
#   warm: a server whose background work has made and kept every thumbnail, beside nginx
#         serving the same 100 thumbnails as ready-made files to the same client.
#         Target: at most 1.5 x nginx. Best of 10 turns each, taken in turn; the CPU time
#         per page of the server and of nginx's processes is the mean over the turns.
#   cold: a freshly started server with an empty store and no background work: its cache
#         folder cannot be made (XDG_CACHE_HOME names a file), so the store keeps thumbnails
#         in memory only and makes none ahead. Beside `vipsthumbnail -s 150` with one process
#         per core on the same files, each with one thread (VIPS_CONCURRENCY=1) as the server
#         has one thread per request in flight: on a machine that other work keeps busy, a
#         side with more threads would get a larger share of the cores. Target: at most 1.0 x vips's wall time. Best of 3 turns
#         each, a new server every turn. The CPU time (user + system) of the server and of
#         the vips processes shows the same comparison when other work shares the cores.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
source "$(dirname "$0")/support/nginx.sh"
build=${1:-build}
count=100
cores=$(nproc)
port=18704
nginx_port=18705
work=$(mktemp -d)
server_pid=
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}
cleanup() {
  stop_server
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/photos" "$work/thumbs" "$work/vips"
"$build/bin/thumbnail_bench" generate "$work/photos" "$count" > /dev/null
cat "$work"/photos/*.jpg > /dev/null  # every side reads from the page cache
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/photos" "$port" > "$work/bench.con"
touch "$work/no-cache-folder"

# Starts the server with XDG_CACHE_HOME=$1 and waits until its first page shows every photo.
start_server() {
  XDG_CACHE_HOME=$1 "$build/bin/lumenvale" "$work/bench.con" > /dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 400); do
    [ "$(curl -s "http://127.0.0.1:$port/view?page=T-1-N-0" | grep -c 'shrink=1')" = "$count" ] &&
      return
    sleep 0.05
  done
  echo "the server did not list the photos" >&2
  exit 1
}

# The client's list of the page's requests: $1 = the URL of thumbnail i with "%d" for i.
url_list() {
  for i in $(seq 0 $((count - 1))); do
    printf 'url = "%s"\noutput = "/dev/null"\n' "$(printf "$1" "$i")"
  done
}
url_list "http://127.0.0.1:$port/image?page=1-N-%d&shrink=1" > "$work/lumenvale.urls"
url_list "http://127.0.0.1:$nginx_port/%d.jpg" > "$work/nginx.urls"

# "wall_ms cpu_ms" for one page: every request of the list $1, two at a time, and the CPU
# time the processes $2... (a quoted list of ids) spent meanwhile. Any failure ends the
# benchmark.
page_ms() {
  local start end cpu_before cpu_after
  cpu_before=$(cpu_ticks $2)
  start=$(date +%s%N)
  curl -s --no-progress-meter --fail --parallel --parallel-immediate --parallel-max 2 -H 'Connection: close' \
    --config "$1"
  end=$(date +%s%N)
  cpu_after=$(cpu_ticks $2)
  awk -v ns=$((end - start)) -v ticks=$((cpu_after - cpu_before)) -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "%.1f %.0f\n", ns / 1e6, ticks * 1000 / hz }'
}
# User + system clock ticks of the processes given.
cpu_ticks() {
  local pid total=0
  for pid in "$@"; do total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat"))); done
  echo "$total"
}
# "wall_ms cpu_ms" for vipsthumbnail over every photo, one process per core.
vips_ms() {
  local TIMEFORMAT='%R %U %S' times
  times=$({ time (printf '%s\n' "$work"/photos/*.jpg |
    VIPS_CONCURRENCY=1 xargs -P "$cores" -n $(((count + cores - 1) / cores)) \
      vipsthumbnail -s 150 -o "$work/vips/%s.jpg[Q=90]"); } 2>&1)
  awk '{ printf "%.1f %.0f\n", $1 * 1000, ($2 + $3) * 1000 }' <<<"$times"
}
# Keeps the smaller of each figure: $1 = the best so far ("" at first), $2 = a new result.
smaller() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    n = split(b, y, " "); if (a == "") { print b; exit }
    split(a, x, " "); line = ""
    for (i = 1; i <= n; ++i) line = line (i > 1 ? " " : "") (y[i] < x[i] ? y[i] : x[i])
    print line }'
}

# Cold first, while no thumbnail of these photos exists anywhere.
cold='' vips=''
for _ in 1 2 3; do
  start_server "$work/no-cache-folder"
  cold=$(smaller "$cold" "$(page_ms "$work/lumenvale.urls" "$server_pid")")
  stop_server
  vips=$(smaller "$vips" "$(vips_ms)")
done

# Warm: wait until the background work has made every thumbnail, and keep them for nginx.
start_server "$work/cache"
store="$work/cache/lumenvale/thumbnails"
for _ in $(seq 1200); do
  [ "$(find "$store" -name '*.thumb' 2>/dev/null | wc -l)" -ge "$count" ] && break
  sleep 0.1
done
for i in $(seq 0 $((count - 1))); do
  curl -s --fail -o "$work/thumbs/$i.jpg" "http://127.0.0.1:$port/image?page=1-N-$i&shrink=1"
done
run_nginx "$work" "$nginx_port" auto "$work/thumbs"
nginx_pids="$(cat "$work/nginx.pid") $(pgrep -P "$(cat "$work/nginx.pid")" | tr '\n' ' ')"
page_ms "$work/nginx.urls" "$nginx_pids" > /dev/null
warm='' nginx='' warm_cpu=0 nginx_cpu=0 turns=10
for _ in $(seq "$turns"); do
  read -r wall cpu <<<"$(page_ms "$work/lumenvale.urls" "$server_pid")"
  warm=$(smaller "$warm" "$wall") warm_cpu=$((warm_cpu + cpu))
  read -r wall cpu <<<"$(page_ms "$work/nginx.urls" "$nginx_pids")"
  nginx=$(smaller "$nginx" "$wall") nginx_cpu=$((nginx_cpu + cpu))
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }
size=$(du -k "$work/photos/photo_000.jpg" | cut -f1)
read -r cold_wall cold_cpu <<<"$cold"
read -r vips_wall vips_cpu <<<"$vips"
echo "thumbnail page: $count thumbnails of 4000x3000 JPEGs (${size} KiB each), 2 clients"
printf '  warm  %8s ms   nginx, the same thumbnails ready-made %8s ms   ratio %s (target <= 1.5)\n' \
  "$warm" "$nginx" "$(ratio "$warm" "$nginx")"
printf '  warm CPU %5s ms   nginx CPU                           %8s ms   ratio %s\n' \
  $((warm_cpu / turns)) $((nginx_cpu / turns)) "$(ratio "$warm_cpu" "$nginx_cpu")"
printf '  cold  %8s ms   vipsthumbnail, %d processes          %8s ms   ratio %s (target <= 1.0)\n' \
  "$cold_wall" "$cores" "$vips_wall" "$(ratio "$cold_wall" "$vips_wall")"
printf '  cold CPU %5s ms   vipsthumbnail CPU                   %8s ms   ratio %s\n' \
  "$cold_cpu" "$vips_cpu" "$(ratio "$cold_cpu" "$vips_cpu")"
