#!/usr/bin/env bash
# A million pictures on a small machine. Makes a tree of 1 000 000 empty .jpg files in
# 10 000 folders (and says how long that took), then, beside `find -type f` on the same warm
# tree in the same run (and beside a find that reads each file's size and time, as the
# catalogue must, and a program that only lists the folders and reads each file's status on
# every core, the floor of any catalogue that needs each picture's time):
#   - start to the full count on /next_url (target: at most 2 x find);
#   - CPU of the server over MILLION_RESCAN_SECONDS (default 300) of 30-second rescans with
#     nothing changed (target: at most 1% of a core);
#   - the time from a new file to its appearance in the count;
#   - resident memory after the first list, after 10 rescans, and at its peak (target: at
#     most 300 MB);
#   - /view of a page deep in the name order, and a two-word search not asked before
#     (targets: 5 ms and 50 ms).
# Then, on MILLION_PHOTOS (default 1 000) real photos: the p99 wait for /view while the
# thumbnails are made ahead, beside the same without work ahead (target: at most 1.5 x).
# MILLION_TREE=0 skips the million-picture part and measures the photos only;
# MILLION_PHOTO_DIR keeps the photos in that folder (made there when it holds none), so that
# runs after the first need not make them again; MILLION_PORT moves its three ports (default
# 18781 to 18783), so that two runs need not collide.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
seconds=${MILLION_RESCAN_SECONDS:-300}
photos=${MILLION_PHOTOS:-1000}
tree_part=${MILLION_TREE:-1}
port=${MILLION_PORT:-18781}  # and the two after it
work=$(mktemp -d)
pids=()
cleanup() {
  # A server held stopped takes its signal once it goes on.
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; kill -CONT "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ticks=$(getconf CLK_TCK)
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
rss_mb() { awk '/^VmRSS/ {printf "%.0f", $2 / 1024}' "/proc/$1/status"; }
hwm_mb() { awk '/^VmHWM/ {printf "%.0f", $2 / 1024}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Waits until the count on port $1 is $2. One process asks every 10 ms over its own
# connections: a curl and a sed started every few milliseconds would take a good part of a
# core from the server being timed.
wait_count() {
  python3 - "$1" "$2" <<'PY'
import http.client, re, sys, time
port, want = int(sys.argv[1]), sys.argv[2].encode()
pattern = re.compile(rb'"ImageURL":"([0-9]*)"')
while True:
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
        connection.request("GET", "/next_url?page=1-N-1")
        found = pattern.search(connection.getresponse().read())
        connection.close()
        if found and found.group(1) == want:
            break
    except OSError:
        pass  # not listening yet
    time.sleep(0.01)
PY
}
echo "load at start: $(uptime | sed 's/.*load average: //')"

if [ "$tree_part" != 0 ]; then
  tree="$work/tree"
  start=$(now)
  python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(10000):
    folder = os.path.join(root, "d%04d" % d)
    os.makedirs(folder)
    for f in range(100):
        os.close(os.open(os.path.join(folder, "img%03d.jpg" % f), os.O_CREAT | os.O_WRONLY, 0o644))
PY
  echo "made 1 000 000 empty pictures in 10 000 folders in $(since "$start") s"

  find "$tree" -type f | wc -l > /dev/null  # warm
  find_s=9999
  stat_s=9999
  for _ in 1 2 3; do
    start=$(now)
    find "$tree" -type f | wc -l > /dev/null
    find_s=$(awk -v a="$find_s" -v b="$(since "$start")" 'BEGIN { print (b < a ? b : a) }')
    # The same with each file's size and time, which the catalogue needs too.
    start=$(now)
    find "$tree" -type f -printf '%s %T@\n' | wc -l > /dev/null
    stat_s=$(awk -v a="$stat_s" -v b="$(since "$start")" 'BEGIN { print (b < a ? b : a) }')
    # Listing and each file's status on every core, and nothing else: the least any
    # catalogue that needs each picture's time can take.
    floor_s=$("$build/bin/status_floor" "$tree" | awk -v a="${floor_s:-9999}" '{ print ($1 < a ? $1 : a) }')
  done

  # The server without work ahead (its thumbnail folder cannot be made), so that its CPU is
  # the catalogue's.
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<SUB>1</SUB>\r\n' "$tree" "$port" > "$work/m.con"
  start=$(now)
  XDG_CACHE_HOME=/dev/null/none "$build/bin/lumenvale" "$work/m.con" > "$work/m.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  wait_count "$port" 1000000
  full_s=$(since "$start")
  sleep 3  # the replaced (empty) list is let go
  rss_first=$(rss_mb "$pid")

  url="http://127.0.0.1:$port"
  # /view waits in ms: the median of 9 requests of one page deep in the name order.
  deep=$(for _ in $(seq 9); do curl -s -o /dev/null -w '%{time_total}\n' "$url/view?page=T-1-N-7777"; done |
    sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[5] * 1000}')
  deep_kb=$(curl -s -o /dev/null -w '%{size_download}' "$url/view?page=T-1-N-7777" | awk '{printf "%.1f", $1 / 1024}')
  # Searches for words never asked before: the median of 5.
  search=$(for i in 1 2 3 4 5; do
    curl -s -o /dev/null -w '%{time_total}\n' "$url/view?page=T-1-N-0&word=d${i}23%20img0${i}"
  done | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[3] * 1000}')

  before=$(cpu_ticks "$pid")
  sleep "$seconds"
  after=$(cpu_ticks "$pid")
  rescan_cpu=$(awk -v d=$((after - before)) -v t="$ticks" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * d / t / s}')
  rescans=$(curl -s "$url/info" | LC_ALL=C sed -n 's/.*Rescans_last_hour:\([0-9]*\).*/\1/p')
  while [ "$rescans" -lt 11 ]; do
    sleep 5
    rescans=$(curl -s "$url/info" | LC_ALL=C sed -n 's/.*Rescans_last_hour:\([0-9]*\).*/\1/p')
  done
  rss_rescans=$(rss_mb "$pid")

  touch "$tree/d0042/new.jpg"
  start=$(now)
  wait_count "$port" 1000001
  appear_s=$(since "$start")
  sleep 3
  peak=$(hwm_mb "$pid")
  load_catalogue=$(uptime | sed 's/.*load average: //')
  kill "$pid"; wait "$pid" 2>/dev/null || true
  rm -rf "$tree"
fi

# 1 000 photos: /view while the work ahead runs, and without it.
photo_dir=${MILLION_PHOTO_DIR:-$work/photos}
mkdir -p "$photo_dir"
if [ "$(find "$photo_dir" -name '*.jpg' | wc -l)" != "$photos" ]; then
  find "$photo_dir" -name '*.jpg' -delete
  "$build/bin/thumbnail_bench" generate "$photo_dir" "$photos" > /dev/null
fi
start_photo_server() {  # $1 = XDG_CACHE_HOME, $2 = port; leaves its pid in $server
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$photo_dir" "$2" > "$work/p$2.con"
  XDG_CACHE_HOME="$1" "$build/bin/lumenvale" "$work/p$2.con" > "$work/p$2.log" 2>&1 &
  server=$!
  pids+=("$server")
  wait_count "$2" "$photos"
}
view_waits() {  # $1 = port, $2 = count; appends the /view waits in ms to $work/waits$1
  for _ in $(seq "$2"); do
    curl -s -o /dev/null -w '%{time_total}\n' "http://127.0.0.1:$1/view?page=T-1-N-3"
  done | awk '{printf "%.3f\n", $1 * 1000}' >> "$work/waits$1"
}
p99() { sort -n "$1" | awk '{a[NR]=$1} END {printf "%.1f", a[int(NR * 0.99)]}'; }
# 300 /view waits of each server, taken in alternating rounds of 50 so that both meet the
# same load of the machine; the server with work ahead is held stopped during the other's
# rounds, so that its work never weighs on them.
ahead_port=$((port + 1))
plain_port=$((port + 2))
start_photo_server "$work/cache" "$ahead_port"
ahead_server=$server
kill -STOP "$ahead_server"
start_photo_server /dev/null/none "$plain_port"
for _ in 1 2 3 4 5 6; do
  kill -CONT "$ahead_server"
  view_waits "$ahead_port" 50
  kill -STOP "$ahead_server"
  view_waits "$plain_port" 50
done
kill -CONT "$ahead_server"
kill "$ahead_server" "$server"
wait "$ahead_server" "$server" 2>/dev/null || true
with_work=$(p99 "$work/waits$ahead_port")
without_work=$(p99 "$work/waits$plain_port")
made=$(find "$work/cache" -name '*.thumb' | wc -l)

if [ "$tree_part" != 0 ]; then
  echo "find -type f (warm, best of 3):            ${find_s} s"
  echo "find -type f -printf '%s %T@' (each file's status, best of 3): ${stat_s} s"
  echo "listing and each file's status on $(nproc) threads, nothing else (best of 3): ${floor_s} s"
  echo "start to the full count of 1 000 000:      ${full_s} s (target: at most 2 x find)"
  echo "server CPU over ${seconds} s of rescans, nothing changed: ${rescan_cpu}% of a core (target: at most 1%)"
  echo "a new file in the count after:             ${appear_s} s (rescans every 30 s)"
  echo "resident memory after the first list:      ${rss_first} MB"
  echo "resident memory after ${rescans} rescans:          ${rss_rescans} MB"
  echo "resident memory at its peak:               ${peak} MB (target: at most 300 MB)"
  echo "/view deep in the name order (median):     ${deep} ms (target: at most 5 ms), ${deep_kb} KB"
  echo "/view two-word search, not asked before:   ${search} ms (target: at most 50 ms)"
  echo "load during the catalogue part: $load_catalogue"
fi
echo "/view p99 on $photos photos, work ahead running: ${with_work} ms ($made thumbnails made meanwhile)"
echo "/view p99 on $photos photos, no work ahead:      ${without_work} ms (target: with at most 1.5 x without)"
echo "load at the end: $(uptime | sed 's/.*load average: //')"
