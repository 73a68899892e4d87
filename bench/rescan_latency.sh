#!/usr/bin/env bash
# Requests answered while the catalogue rescans 100 000 images in 1 000 folders: wrk keeps
# asking for 35 s, long enough to span the 30-second rescan, once against a server holding
# that tree and once against a server with an empty gallery. Target: the longest wait with
# the rescan at most 50 ms above the longest wait without.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
work=$(mktemp -d)
export XDG_CACHE_HOME="$work/cache"  # thumbnails made by the run stay in it
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

tree="$work/tree"
for f in $(seq -w 0 999); do
  mkdir -p "$tree/folder$f"
  (cd "$tree/folder$f" && touch $(seq -f 'img%03g.jpg' 0 99))
done
mkdir -p "$work/empty"

# Prints wrk's max and p99 latency in ms for a server on folder $1, port $2.
measure() {
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<SUB>1</SUB>\r\n' "$1" "$2" > "$work/c$2.con"
  "$build/bin/lumenvale" "$work/c$2.con" > "$work/log$2" 2>&1 &
  local pid=$!
  # Wait for the first list: the last position answers once every image is catalogued.
  local last=$(( $(find "$1" -type f | wc -l) - 1 ))
  for _ in $(seq 600); do
    if [ "$last" -lt 0 ] || [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$2/image?page=1-N-$last")" = 200 ]; then break; fi
    sleep 0.1
  done
  wrk -t1 -c4 -d35s --latency "http://127.0.0.1:$2/nothing" > "$work/wrk$2"
  kill "$pid"; wait "$pid" 2>/dev/null || true
  awk '/Latency/ && !done {max=$4; done=1} $1=="99%" {p99=$2} END {print max, p99}' "$work/wrk$2"
}

read -r max_rescan p99_rescan < <(measure "$tree" 18461)
read -r max_idle p99_idle < <(measure "$work/empty" 18462)
echo "with the rescan of 100 000 images: max wait $max_rescan, p99 $p99_rescan"
echo "without a rescan (empty gallery):  max wait $max_idle, p99 $p99_idle"
echo "target: max wait with the rescan at most 50 ms above the max wait without"
