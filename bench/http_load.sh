#!/usr/bin/env bash
# HTTP load: wrk (2 threads, 50 connections, 10 s, Connection: close) against Lumenvale's 404
# answer (/nothing) and its /image answers for a 190 KB and a 3.5 MB picture, and, in the same
# run, nginx answering 404 and serving the same files on another loopback port. Also measures
# the CPU an idle server uses. Targets: the 404 and the 190 KB picture >= 1.0 x nginx with one
# worker (the server has one loop thread), 404 p99 <= 10 ms, each picture >= 0.8 x nginx with
# its automatic workers, idle CPU < 3% of one core. Each row gives the CPU time the server
# (for nginx, its workers) spent per request as well, the figure to compare on a busy machine.
# With BASELINE=<another build folder>, that build's server is measured in the same run too
# (for a before/after comparison of a change).
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
source "$(dirname "$0")/support/nginx.sh"
build=${1:-build}
work=$(mktemp -d)
# PORT_BASE moves the three ports, for a run beside another one on the same machine.
lv_port=${PORT_BASE:-18431}
nginx_port=$((lv_port + 1))
base_port=$((lv_port + 2))
cleanup() {
  [ -n "${lv_pid:-}" ] && kill "$lv_pid" 2>/dev/null || true
  [ -n "${base_pid:-}" ] && kill "$base_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
export XDG_CACHE_HOME="$work/cache"  # thumbnails made by the run stay in it
trap cleanup EXIT

# The same bytes on every machine: AES-CTR of zeros under a fixed key. /image sends a whole
# picture as stored, so its bytes need not decode. In name order photo.jpg is the first
# picture (key 1-N-0) and wide.jpg the second (1-N-1).
mkdir -p "$work/pics"
picture() {  # $1 = size in bytes, $2 = IV, $3 = file name
  head -c "$1" /dev/zero |
    openssl enc -aes-128-ctr -K 000102030405060708090a0b0c0d0e0f -iv "$2" -nosalt 2>/dev/null \
      > "$work/pics/$3"
}
picture 194560 0 photo.jpg
picture 3670016 1 wide.jpg

start_server() {  # $1 = binary, $2 = port; prints the pid
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/pics" "$2" > "$work/bench.$2.con"
  "$1" "$work/bench.$2.con" > "$work/lumenvale.$2.log" 2>&1 &
  echo $!
}
wait_for_image() {  # $1 = port: the first scan has listed the picture
  for _ in $(seq 100); do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$1/image?page=1-N-1")" = 200 ] &&
      return 0
    sleep 0.1
  done
  echo "server on port $1 never served the picture" >&2
  return 1
}

lv_pid=$(start_server "$build/bin/lumenvale" $lv_port)
wait_for_image $lv_port
if [ -n "${BASELINE:-}" ]; then
  base_pid=$(start_server "$BASELINE/bin/lumenvale" $base_port)
  wait_for_image $base_port
fi

hz=$(getconf CLK_TCK)
# CPU time of the processes $@ (all their threads) together, in clock ticks.
ticks() {
  local pid total=0
  for pid in "$@"; do total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat"))); done
  echo "$total"
}

# Prints "rps p99_ms cpu" for one wrk run against the URL $1; fails unless the status is $2.
# With server pids $3 (a list: nginx's workers), cpu is their CPU time per request in
# microseconds, a figure that holds up better than the rate when others load the machine;
# else "-".
measure() {
  local out rps p99 status t0 t1 requests cpu=-
  status=$(curl -s -o /dev/null -w '%{http_code}' "$1")
  if [ "$status" != "$2" ]; then
    echo "$1 answered $status, not $2" >&2
    return 1
  fi
  # shellcheck disable=SC2086  # $3 is a list of pids
  [ -n "${3:-}" ] && t0=$(ticks $3)
  out=$(wrk -t2 -c50 -d10s -H 'Connection: close' --latency "$1")
  if [ -n "${3:-}" ]; then
    # shellcheck disable=SC2086
    t1=$(ticks $3)
    requests=$(awk '/requests in/ {print $1}' <<<"$out")
    cpu=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v n="$requests" \
      'BEGIN {printf "%.0f", (b - a) / hz * 1e6 / n}')
  fi
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {v=$2; if (v ~ /us$/) {sub(/us$/,"",v); v/=1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v*=1000}; print v}' <<<"$out")
  echo "$rps $p99 $cpu"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Idle CPU over 10 s, in percent of one core.
sleep 1
t0=$(ticks "$lv_pid"); sleep 10; t1=$(ticks "$lv_pid")
idle_cpu=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN {printf "%.2f", (b - a) / hz / 10 * 100}')

lv=http://127.0.0.1:$lv_port
read -r lv404_rps lv404_p99 lv404_cpu < <(measure "$lv/nothing" 404 "$lv_pid")
read -r lvimg_rps lvimg_p99 lvimg_cpu < <(measure "$lv/image?page=1-N-0" 200 "$lv_pid")
read -r lvbig_rps lvbig_p99 lvbig_cpu < <(measure "$lv/image?page=1-N-1" 200 "$lv_pid")
if [ -n "${BASELINE:-}" ]; then
  base=http://127.0.0.1:$base_port
  read -r b404_rps b404_p99 b404_cpu < <(measure "$base/nothing" 404 "$base_pid")
  read -r bimg_rps bimg_p99 bimg_cpu < <(measure "$base/image?page=1-N-0" 200 "$base_pid")
  read -r bbig_rps bbig_p99 bbig_cpu < <(measure "$base/image?page=1-N-1" 200 "$base_pid")
fi
nginx_workers() { pgrep -P "$(cat "$work/nginx.pid")" | tr '\n' ' '; }
run_nginx "$work" $nginx_port auto "$work/pics" photo.jpg wide.jpg
ng=http://127.0.0.1:$nginx_port
ng_pids=$(nginx_workers)
read -r ng404_rps ng404_p99 ng404_cpu < <(measure "$ng/nothing" 404 "$ng_pids")
read -r ngimg_rps ngimg_p99 ngimg_cpu < <(measure "$ng/photo.jpg" 200 "$ng_pids")
read -r ngbig_rps ngbig_p99 ngbig_cpu < <(measure "$ng/wide.jpg" 200 "$ng_pids")
run_nginx "$work" $nginx_port 1 "$work/pics" photo.jpg
ng_pids=$(nginx_workers)
read -r ng1_rps ng1_p99 ng1_cpu < <(measure "$ng/nothing" 404 "$ng_pids")
read -r ng1img_rps ng1img_p99 ng1img_cpu < <(measure "$ng/photo.jpg" 200 "$ng_pids")

row() { printf '%-34s %10s req/s   p99 %7s ms   %s\n' "$@"; }
row "lumenvale 404 /nothing:" "$lv404_rps" "$lv404_p99" "cpu $lv404_cpu us/req (target p99 <= 10 ms)"
row "nginx 404 (auto workers):" "$ng404_rps" "$ng404_p99" "lumenvale/nginx $(ratio "$lv404_rps" "$ng404_rps") (target >= 0.5), cpu $ng404_cpu us/req"
row "nginx 404 (1 worker):" "$ng1_rps" "$ng1_p99" "lumenvale/nginx $(ratio "$lv404_rps" "$ng1_rps") (target >= 1.0), cpu $ng1_cpu us/req"
row "lumenvale /image, 190 KB:" "$lvimg_rps" "$lvimg_p99" "cpu $lvimg_cpu us/req"
row "nginx same file (1 worker):" "$ng1img_rps" "$ng1img_p99" "lumenvale/nginx $(ratio "$lvimg_rps" "$ng1img_rps") (target >= 1.0), cpu $ng1img_cpu us/req"
row "nginx same file (auto workers):" "$ngimg_rps" "$ngimg_p99" "lumenvale/nginx $(ratio "$lvimg_rps" "$ngimg_rps") (target >= 0.8), cpu $ngimg_cpu us/req"
row "lumenvale /image, 3.5 MB:" "$lvbig_rps" "$lvbig_p99" "cpu $lvbig_cpu us/req"
row "nginx same file (auto workers):" "$ngbig_rps" "$ngbig_p99" "lumenvale/nginx $(ratio "$lvbig_rps" "$ngbig_rps") (target >= 0.8), cpu $ngbig_cpu us/req"
if [ -n "${BASELINE:-}" ]; then
  row "baseline 404 /nothing:" "$b404_rps" "$b404_p99" "this/baseline $(ratio "$lv404_rps" "$b404_rps") (target >= 0.95), cpu $b404_cpu us/req"
  row "baseline /image, 190 KB:" "$bimg_rps" "$bimg_p99" "this/baseline $(ratio "$lvimg_rps" "$bimg_rps"), cpu $bimg_cpu us/req"
  row "baseline /image, 3.5 MB:" "$bbig_rps" "$bbig_p99" "this/baseline $(ratio "$lvbig_rps" "$bbig_rps"), cpu $bbig_cpu us/req"
fi
printf 'lumenvale idle CPU:                 %10s %% of one core      (target < 3%%)\n' "$idle_cpu"
