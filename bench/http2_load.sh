#!/usr/bin/env bash
# HTTP/2 over TLS: h2load (4 connections, 10 streams in flight on each, 20 000 requests)
# against Lumenvale with HTTPS 1, and in the same run against nginx over HTTPS with HTTP/2,
# the same certificate (ECDSA P-256) and the same bytes:
#   warm thumbnails: the 100 thumbnails of a gallery, made by the server and fetched once
#                    before the run; nginx serves the very bytes the server answered.
#   190 KB picture:  /image of one picture as stored, nginx the same file.
# Target: each >= 0.8 x nginx (requests per second). Also the CPU time of each side per
# request, which holds up better than the rate when others load the machine.
# With BASELINE=<another build folder>, that build's server is measured in the same run too
# (for a before/after comparison of a change), on the same pictures.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
source "$(dirname "$0")/support/nginx.sh"
build=${1:-build}
work=$(mktemp -d)
lv_port=18741
nginx_port=18742
base_port=18743
count=100
cleanup() {
  [ -n "${lv_pid:-}" ] && kill "$lv_pid" 2>/dev/null || true
  [ -n "${base_pid:-}" ] && kill "$base_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CACHE_HOME="$work/cache"

mkdir -p "$work/pics" "$work/nginx"
"$build/bin/make_gallery" "$work/pics" "$count" > /dev/null
# The same bytes on every machine: AES-CTR of zeros under a fixed key. It is named so that it
# sorts after the gallery's pictures (key 1-N-$count).
head -c 194560 /dev/zero |
  openssl enc -aes-128-ctr -K 000102030405060708090a0b0c0d0e0f -iv 0 -nosalt 2>/dev/null \
    > "$work/pics/zz_photo.jpg"
cp "$work/pics/zz_photo.jpg" "$work/nginx/photo.jpg"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -keyout "$work/key.pem" -out "$work/cert.pem" -subj /CN=localhost \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1 2> /dev/null

# Starts the server `$1` on port `$2` (its settings file named after the port) and waits
# until it answers; prints its process id.
start_server() {
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<HTTPS>1</HTTPS>\r\n<TLS_CERT>%s</TLS_CERT>\r\n<TLS_KEY>%s</TLS_KEY>\r\n' \
    "$work/pics" "$2" "$work/cert.pem" "$work/key.pem" > "$work/bench$2.con"
  "$1" "$work/bench$2.con" > "$work/lumenvale$2.log" 2>&1 &
  local pid=$!
  for _ in $(seq 200); do
    [ "$(curl -sk -o /dev/null -w '%{http_code}' "https://127.0.0.1:$2/image?page=1-N-$count")" = 200 ] && break
    sleep 0.1
  done
  echo "$pid"
}
lv_pid=$(start_server "$build/bin/lumenvale" $lv_port)
lv=https://127.0.0.1:$lv_port
# Warm: every thumbnail made once, and its bytes kept for nginx.
for i in $(seq 0 $((count - 1))); do
  curl -sk --fail -o "$work/nginx/t$i.jpg" "$lv/image?page=1-N-$i&shrink=1"
  printf '%s\n' "$lv/image?page=1-N-$i&shrink=1" >> "$work/lumenvale.thumbs"
  printf '%s\n' "https://127.0.0.1:$nginx_port/t$i.jpg" >> "$work/nginx.thumbs"
done
if [ -n "${BASELINE:-}" ]; then
  base_pid=$(start_server "$BASELINE/bin/lumenvale" $base_port)
  base=https://127.0.0.1:$base_port
  # The baseline fetches each thumbnail once too, so that it holds them in memory.
  for i in $(seq 0 $((count - 1))); do
    curl -sk --fail -o /dev/null "$base/image?page=1-N-$i&shrink=1"
    printf '%s\n' "$base/image?page=1-N-$i&shrink=1" >> "$work/base.thumbs"
  done
fi
run_nginx_h2 "$work" $nginx_port auto "$work/cert.pem" "$work/key.pem" "$work/nginx"
nginx_pids() { pgrep -d ' ' -P "$(cat "$work/nginx.pid")"; echo " $(cat "$work/nginx.pid")"; }

hz=$(getconf CLK_TCK)
cpu_ticks() {
  local pid total=0
  for pid in "$@"; do total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat"))); done
  echo "$total"
}
# "rps cpu_us_per_request" for h2load over the URL list file $1 (or one URL), the processes
# $2 (quoted ids) measured. Every request must succeed.
measure() {
  local out t0 t1 rps
  local args=(-n 20000 -c 4 -m 10)
  if [ -f "$1" ]; then args+=(-i "$1"); else args+=("$1"); fi
  t0=$(cpu_ticks $2)
  out=$(h2load "${args[@]}" 2>&1)
  t1=$(cpu_ticks $2)
  if ! grep -q '20000 succeeded' <<<"$out"; then
    echo "h2load failed: $out" >&2
    return 1
  fi
  grep -q 'Application protocol: h2' <<<"$out" || { echo "not h2: $out" >&2; return 1; }
  rps=$(awk '/^finished in/ {print $4}' <<<"$out")
  awk -v r="$rps" -v a="$t0" -v b="$t1" -v hz="$hz" \
    'BEGIN {printf "%s %.0f\n", r, (b - a) / hz * 1e6 / 20000}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
row() { printf '%-36s %10s req/s   cpu %5s us/req   %s\n' "$@"; }

echo "load before: $(uptime)"
# The sides take turns, twice each, and the better turn of each counts.
best() { awk -v a="$1" -v b="$2" 'BEGIN {split(a, x, " "); split(b, y, " "); print (x[1] > y[1] ? a : b)}'; }
lvt="0 0" ngt="0 0" lvp="0 0" ngp="0 0" bst="0 0" bsp="0 0"
for _ in 1 2; do
  if [ -n "${BASELINE:-}" ]; then
    bst=$(best "$bst" "$(measure "$work/base.thumbs" "$base_pid")")
    bsp=$(best "$bsp" "$(measure "$base/image?page=1-N-$count" "$base_pid")")
  fi
  lvt=$(best "$lvt" "$(measure "$work/lumenvale.thumbs" "$lv_pid")")
  ngt=$(best "$ngt" "$(measure "$work/nginx.thumbs" "$(nginx_pids)")")
  lvp=$(best "$lvp" "$(measure "$lv/image?page=1-N-$count" "$lv_pid")")
  ngp=$(best "$ngp" "$(measure "https://127.0.0.1:$nginx_port/photo.jpg" "$(nginx_pids)")")
done
read -r lvt_rps lvt_cpu <<<"$lvt"
read -r ngt_rps ngt_cpu <<<"$ngt"
read -r lvp_rps lvp_cpu <<<"$lvp"
read -r ngp_rps ngp_cpu <<<"$ngp"
row "lumenvale h2 warm thumbnails:" "$lvt_rps" "$lvt_cpu" ""
row "nginx h2 same bytes (auto workers):" "$ngt_rps" "$ngt_cpu" "lumenvale/nginx $(ratio "$lvt_rps" "$ngt_rps") (target >= 0.8)"
row "lumenvale h2 /image, 190 KB:" "$lvp_rps" "$lvp_cpu" ""
row "nginx h2 same file (auto workers):" "$ngp_rps" "$ngp_cpu" "lumenvale/nginx $(ratio "$lvp_rps" "$ngp_rps") (target >= 0.8)"
if [ -n "${BASELINE:-}" ]; then
  read -r bst_rps bst_cpu <<<"$bst"
  read -r bsp_rps bsp_cpu <<<"$bsp"
  row "baseline h2 warm thumbnails:" "$bst_rps" "$bst_cpu" "this build/baseline $(ratio "$lvt_rps" "$bst_rps")"
  row "baseline h2 /image, 190 KB:" "$bsp_rps" "$bsp_cpu" "this build/baseline $(ratio "$lvp_rps" "$bsp_rps")"
fi
echo "load after: $(uptime)"
