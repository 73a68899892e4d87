#!/usr/bin/env bash
# New TLS connections per second: Lumenvale with HTTPS on against nginx with the same
# certificate and key (the self-signed ECDSA P-256 one Lumenvale makes), in the same run. Each
# connection makes a full handshake (TLS 1.3, X25519) and asks for /nothing (404), as a
# browser's first visit does; CLIENTS openssl s_time clients (default 4) run side by side for
# SECONDS (default 10) against each server. nginx runs with one worker, as Lumenvale serves
# its connections on one thread, and with one worker per core. Also the server's CPU time per
# connection, which holds up better than the rate when others load the machine.
# Target: lumenvale >= 0.8 x nginx (one worker).
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
source "$(dirname "$0")/support/nginx.sh"
build=${1:-build}
clients=${CLIENTS:-4}
seconds=${SECONDS_EACH:-10}
work=$(mktemp -d)
lv_port=18441
nginx_port=18442
cleanup() {
  [ -n "${lv_pid:-}" ] && kill "$lv_pid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
mkdir -p "$work/pics"

printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<HTTPS>1</HTTPS>\r\n' "$work/pics" $lv_port \
  > "$work/bench.con"
"$build/bin/lumenvale" "$work/bench.con" > "$work/lumenvale.log" 2>&1 &
lv_pid=$!
cert=$work/data/lumenvale/tls-cert.pem
key=$work/data/lumenvale/tls-key.pem
for _ in $(seq 100); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' --cacert "$cert" \
    "https://localhost:$lv_port/nothing" 2>/dev/null)" = 404 ] && break
  sleep 0.1
done

hz=$(getconf CLK_TCK)
ticks() {  # CPU time of the processes $@, all threads
  local sum=0 pid
  for pid in "$@"; do sum=$((sum + $(awk '{print $14 + $15}' "/proc/$pid/stat"))); done
  echo $sum
}

# Prints "connections/s cpu_us_per_connection" for the server on port $1 with pids $2...
measure() {
  local port=$1 t0 t1 total=0 i pids=()
  shift
  t0=$(ticks "$@")
  for i in $(seq "$clients"); do
    openssl s_time -connect "127.0.0.1:$port" -new -time "$seconds" -www /nothing \
      > "$work/s_time.$i" 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}" || true
  t1=$(ticks "$@")
  for i in $(seq "$clients"); do
    total=$((total + $(awk '/connections in .* real seconds/ {print $1}' "$work/s_time.$i")))
  done
  awk -v n="$total" -v s="$seconds" -v a="$t0" -v b="$t1" -v hz="$hz" \
    'BEGIN {printf "%.0f %.0f\n", n / s, (b - a) / hz * 1e6 / (n > 0 ? n : 1)}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

read -r lv_rate lv_cpu < <(measure $lv_port "$lv_pid")
run_nginx_tls "$work" $nginx_port 1 "$cert" "$key"
read -r ng1_rate ng1_cpu < <(measure $nginx_port $(pgrep -P "$(cat "$work/nginx.pid")"))
run_nginx_tls "$work" $nginx_port auto "$cert" "$key"
read -r nga_rate nga_cpu < <(measure $nginx_port $(pgrep -P "$(cat "$work/nginx.pid")"))

row() { printf '%-30s %8s conn/s   %6s us CPU/conn   %s\n' "$@"; }
echo "load: $(uptime | sed 's/.*load average: //'); $clients clients x ${seconds} s each"
row "lumenvale, HTTPS:" "$lv_rate" "$lv_cpu" ""
row "nginx, 1 worker:" "$ng1_rate" "$ng1_cpu" "lumenvale/nginx $(ratio "$lv_rate" "$ng1_rate") (target >= 0.8), CPU ratio $(ratio "$ng1_cpu" "$lv_cpu")"
row "nginx, a worker per core:" "$nga_rate" "$nga_cpu" "lumenvale/nginx $(ratio "$lv_rate" "$nga_rate")"
