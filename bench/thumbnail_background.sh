#!/usr/bin/env bash
# Thumbnails made ahead, and the memory thumbnails take. COUNT (second argument, default
# 1000) photos of 4000x3000 (12 MP, JPEG quality 90) are generated into a fresh gallery.
# 1. The server, started on it with an empty thumbnail store, reduces them all in the
#    background after its first scan: pictures per second from its start until the store
#    holds every thumbnail, beside vipsthumbnail -s 150 (one process per core) on the same
#    files in the same run; and the waits for the thumbnail page /view while that work runs
#    (curl, one request after another with 1 s between, since the work ahead goes on only
#    once the server has been quiet for half a second: each request meets it under way),
#    beside as many waits, paced alike, once it is done. Target: the longest under 20 ms.
# 2. A second server, with another empty store, is asked for every photo's thumbnail
#    (/image?shrink=1, 4 requests at a time, its own background work running too); then its
#    peak resident memory (VmHWM) is read. Target: under 150 MB.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
count=${2:-1000}
cores=$(nproc)
port=18761
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/photos" "$work/vips"
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

per=$(((count + cores - 1) / cores))
for ((first = 0; first < count; first += per)); do
  n=$((count - first < per ? count - first : per))
  "$build/bin/thumbnail_bench" generate "$work/photos" "$n" "$first" > /dev/null &
done
wait
files=("$work"/photos/*.jpg)
cat "${files[@]}" > /dev/null  # both sides read from the page cache

start=$(now)
printf '%s\n' "${files[@]}" |
  xargs -P "$cores" -n "$per" vipsthumbnail -s 150 -o "$work/vips/%s.jpg[Q=90]"
vips_s=$(since "$start")

start_server() {  # $1 = name; sets pid and url
  mkdir -p "$work/$1"
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/photos" "$port" > "$work/$1/bench.con"
  XDG_CACHE_HOME="$work/$1/cache" "$build/bin/lumenvale" "$work/$1/bench.con" \
    > "$work/$1/server.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  url="http://127.0.0.1:$port"
  port=$((port + 1))
}
stored() { find "$work/$1/cache/lumenvale/thumbnails" -name '*.thumb' 2>/dev/null | wc -l; }

# Appends the wait for /view, in ms, to the file $1 for every answered request, one request
# after another with a pause of 1 s before each, until the file $2 exists or $3 requests
# were answered.
views() {
  local answered=0 wait_s
  while [ ! -f "$2" ] && [ "$answered" -lt "$3" ]; do
    sleep 1
    wait_s=$({ curl -s -o /dev/null -w '%{http_code} %{time_total}' "$url/view?page=T-1-N-0" ||
      true; } | awk '$1 == 200 { print $2 }')
    [ -z "$wait_s" ] && { sleep 0.05; continue; }
    awk -v s="$wait_s" 'BEGIN { printf "%.1f\n", s * 1000 }' >> "$1"
    answered=$((answered + 1))
  done
}
# "median p99 longest count" of the waits in the file $1.
wait_figures() {
  sort -n "$1" | awk '{ v[NR] = $1 } END {
    printf "%.1f %.1f %.1f %d\n", v[int((NR + 1) / 2)], v[int(NR * 0.99 + 0.5)], v[NR], NR }'
}

# 1. Background reduction, with /view asked all along; then /view alone as many times, the
#    anchor that shows what the machine itself adds to a wait.
start=$(now)
start_server background
views "$work/background/busy" "$work/background/done" 1000000 &
while [ "$(stored background)" -lt "$count" ]; do
  if [ "$(since "$start" | cut -d. -f1)" -gt $((count * 6 + 60)) ]; then
    echo "the background work made only $(stored background) of $count thumbnails" >&2
    exit 1
  fi
  sleep 0.1
done
ours_s=$(since "$start")
touch "$work/background/done"
wait $!
views "$work/background/idle" /nonexistent "$(wc -l < "$work/background/busy")"
read -r busy_median busy_p99 busy_longest busy_count < <(wait_figures "$work/background/busy")
read -r idle_median idle_p99 idle_longest _ < <(wait_figures "$work/background/idle")
kill "$pid"

# 2. Peak memory over COUNT distinct thumbnail requests.
start_server requests
for _ in $(seq 100); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "$url/image?page=1-N-0")" = 200 ] && break
  sleep 0.1
done
failed=$(seq 0 $((count - 1)) |
  xargs -P 4 -I{} curl -s -o /dev/null -w '%{http_code}\n' "$url/image?page=1-N-{}&shrink=1" |
  grep -vc '^200$' || true)
hwm_kb=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
rss_kb=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")

rate() { awk -v n="$count" -v s="$1" 'BEGIN { printf "%.1f", n / s }'; }
echo "thumbnail_background: $count photos of 4000x3000, $cores cores"
printf 'background reduction:  %6s pictures/s (%s s)   vipsthumbnail, %d processes: %6s pictures/s (%s s)   ours/vips %s\n' \
  "$(rate "$ours_s")" "$ours_s" "$cores" "$(rate "$vips_s")" "$vips_s" \
  "$(awk -v a="$vips_s" -v b="$ours_s" 'BEGIN { printf "%.2f", a / b }')"
printf '/view waits during it, %d requests: median %s ms, p99 %s ms, longest %s ms (target longest < 20 ms)\n' \
  "$busy_count" "$busy_median" "$busy_p99" "$busy_longest"
printf '/view waits afterwards, as many:   median %s ms, p99 %s ms, longest %s ms\n' \
  "$idle_median" "$idle_p99" "$idle_longest"
printf 'after %d thumbnail requests (%s not 200): VmHWM %d MB, VmRSS %d MB (target VmHWM < 150 MB)\n' \
  "$count" "$failed" $((hwm_kb / 1024)) $((rss_kb / 1024))
