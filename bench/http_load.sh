#!/usr/bin/env bash
# HTTP load: wrk (2 threads, 50 connections, 10 s, Connection: close) against Lumenvale's
# 404 answer and, in the same run, against nginx returning 404 on another loopback port.
# Also measures the CPU an idle server uses. Targets: rps >= 0.5 x nginx, p99 <= 10 ms,
# idle CPU < 3% of one core.
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
lv_port=18431
nginx_port=18432
cleanup() {
  [ -n "${lv_pid:-}" ] && kill "$lv_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/pics"
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/pics" "$lv_port" > "$work/bench.con"
"$build/bin/lumenvale" "$work/bench.con" > "$work/lumenvale.log" 2>&1 &
lv_pid=$!

run_nginx() {  # $1 = worker_processes
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null && sleep 0.5
  cat > "$work/nginx.conf" <<NGINX
worker_processes $1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  server { listen 127.0.0.1:$nginx_port; location / { return 404; } }
}
NGINX
  nginx -c "$work/nginx.conf" -p "$work"
  sleep 0.5
}

# Prints "rps p99_ms" for one wrk run against $1.
measure() {
  local out rps p99
  out=$(wrk -t2 -c50 -d10s -H 'Connection: close' --latency "http://127.0.0.1:$1/")
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {v=$2; if (v ~ /us$/) {sub(/us$/,"",v); v/=1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v*=1000}; print v}' <<<"$out")
  echo "$rps $p99"
}

# Idle CPU over 10 s, in percent of one core.
sleep 1
ticks() { awk '{print $14 + $15}' "/proc/$lv_pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); sleep 10; t1=$(ticks)
idle_cpu=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN {printf "%.2f", (b - a) / hz / 10 * 100}')

read -r lv_rps lv_p99 < <(measure $lv_port)
run_nginx auto
read -r ng_rps ng_p99 < <(measure $nginx_port)
run_nginx 1
read -r ng1_rps ng1_p99 < <(measure $nginx_port)

ratio=$(awk -v a="$lv_rps" -v b="$ng_rps" 'BEGIN {printf "%.2f", a / b}')
ratio1=$(awk -v a="$lv_rps" -v b="$ng1_rps" 'BEGIN {printf "%.2f", a / b}')
printf 'lumenvale 404:            %10s req/s   p99 %6s ms   (target p99 <= 10 ms)\n' "$lv_rps" "$lv_p99"
printf 'nginx 404 (auto workers): %10s req/s   p99 %6s ms   ratio %s (target >= 0.5)\n' "$ng_rps" "$ng_p99" "$ratio"
printf 'nginx 404 (1 worker):     %10s req/s   p99 %6s ms   ratio %s\n' "$ng1_rps" "$ng1_p99" "$ratio1"
printf 'lumenvale idle CPU:       %10s %% of one core      (target < 3%%)\n' "$idle_cpu"
