#!/usr/bin/env bash
# Upload of one 200 MB file over loopback with curl -F, against dd writing the same bytes to
# the same folder in the same run (the disk's own speed). The server flushes each upload to
# the disk before it answers, so the anchor is dd with conv=fsync; plain dd is printed too.
# Target: at least 0.5 x dd. Also the server's peak resident memory against the file size
# (target: below 2.5 x), and the slowest answer to page requests made during an upload,
# against the same requests to the idle server.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
work=$(mktemp -d)
port=18711
runs=3
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/pictures"
# It starts as a JPEG does, as the server checks an upload's first bytes against its type.
size=200000000
/usr/bin/python3 -c "import random, sys; random.seed(11); sys.stdout.buffer.write(b'\xff\xd8\xff' + random.randbytes($size - 3))" > "$work/big.jpg"
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/pictures" "$port" > "$work/bench.con"
"$build/bin/lumenvale" "$work/bench.con" > /dev/null &
server=$!
url="http://127.0.0.1:$port"
for _ in $(seq 100); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "$url/Uploader")" = 200 ] && break
  sleep 0.1
done

mbps() { awk -v s="$1" -v t="$2" 'BEGIN { printf "%.1f", s / 1e6 / t }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() { /usr/bin/python3 -c 'import sys, time; print(time.monotonic())'; }

upload() {
  curl -s -o /dev/null -w '%{time_total}' -F "userfile=@$work/big.jpg;type=image/jpeg" "$url/upload.php"
  rm -f "$work/pictures/"*
}
dd_time() {
  local start end
  start=$(seconds)
  dd if="$work/big.jpg" of="$work/pictures/dd.out" bs=1M "$@" status=none
  end=$(seconds)
  rm -f "$work/pictures/dd.out"
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

# Interleaved, so that each figure and its anchor see the same machine load.
: > "$work/curl"; : > "$work/dd_sync"; : > "$work/dd_plain"
for _ in $(seq $runs); do
  dd_time conv=fsync >> "$work/dd_sync"
  upload >> "$work/curl"; echo >> "$work/curl"
  dd_time >> "$work/dd_plain"
done
curl_rate=$(mbps $size "$(median < "$work/curl")")
sync_rate=$(mbps $size "$(median < "$work/dd_sync")")
plain_rate=$(mbps $size "$(median < "$work/dd_plain")")
printf 'upload of 200 MB, curl -F           %8s MB/s  (dd conv=fsync %s MB/s: %.2f x; plain dd %s MB/s; target >= 0.5 x)\n' \
  "$curl_rate" "$sync_rate" "$(awk -v a="$curl_rate" -v b="$sync_rate" 'BEGIN { print a / b }')" "$plain_rate"

peak=$(awk '/VmHWM/ { print $2 * 1024 }' "/proc/$server/status")
printf 'server peak RSS over the uploads   %8.0f MB    (%.2f x the file size; target < 2.5 x)\n' \
  "$(awk -v p="$peak" 'BEGIN { print p / 1e6 }')" "$(awk -v p="$peak" -v s=$size 'BEGIN { print p / s }')"

# Page requests, two at a time, for 3 s: against the idle server, then during an upload.
wrk -t1 -c2 -d3s --latency "$url/Uploader" > "$work/idle"
upload > /dev/null &
uploading=$!
sleep 0.2
wrk -t1 -c2 -d3s --latency "$url/Uploader" > "$work/busy"
wait $uploading
printf '/Uploader slowest answer, upload   %8s      (idle server: %s)\n' \
  "$(awk '/Latency/ && !done { print $4; done = 1 }' "$work/busy")" \
  "$(awk '/Latency/ && !done { print $4; done = 1 }' "$work/idle")"
