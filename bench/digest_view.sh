#!/usr/bin/env bash
# The first thumbnail page (/view?page=T-1-N-0) with Digest authentication beside the same
# page without it: two servers on one generated gallery of 300 pictures, one requiring a
# user. wrk (2 threads, 16 connections, 10 s) answers every challenge with a fresh nc
# (bench/digest/digest_view.lua), so every authenticated request is checked in full. The two
# take turns three times; the best rate of each is kept. Target: authenticated >= 0.8 x
# unauthenticated.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
open_port=18741
auth_port=18742
cleanup() {
  kill $(jobs -p) 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CACHE_HOME="$work/cache"
mkdir -p "$work/pics"
for i in $(seq -w 300); do printf 'picture %s' "$i" > "$work/pics/photo$i.jpg"; done
ha1=$(printf 'anna:secret:pw' | md5sum | cut -d' ' -f1)
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/pics" $open_port > "$work/open.con"
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<NEED_USER>1</NEED_USER>\r\n<USER><USER_NAME>anna</USER_NAME><HASH>%s</HASH><PRIV>0</PRIV></USER>\r\n' \
  "$work/pics" $auth_port "$ha1" > "$work/auth.con"
"$build/bin/lumenvale" "$work/open.con" > "$work/open.log" 2>&1 &
"$build/bin/lumenvale" "$work/auth.con" > "$work/auth.log" 2>&1 &
for _ in $(seq 100); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$open_port/image?page=1-N-299")" = 200 ] &&
    [ "$(curl -s --digest -u anna:pw -o /dev/null -w '%{http_code}' \
         "http://127.0.0.1:$auth_port/image?page=1-N-299")" = 200 ] && break
  sleep 0.1
done

nonce() {  # a nonce of a fresh challenge
  curl -s -D - -o /dev/null "http://127.0.0.1:$auth_port/view" |
    sed -n 's/^WWW-Authenticate: Digest .*nonce="\([^"]*\)".*/\1/p'
}
# Prints "rps non2xx" for one run.
run() {
  local out
  out=$(wrk -t2 -c16 -d10s "$@")
  awk '/Requests\/sec/ {rps = $2} /Non-2xx/ {bad = $NF} END {printf "%s %d\n", rps, bad}' <<<"$out"
}
view='/view?page=T-1-N-0'
best_open=0 best_auth=0 refused=0
for _ in 1 2 3; do
  read -r rps bad < <(run "http://127.0.0.1:$open_port$view")
  refused=$((refused + bad))
  best_open=$(awk -v a="$best_open" -v b="$rps" 'BEGIN {print (b > a ? b : a)}')
  read -r rps bad < <(run -s "$here/digest/digest_view.lua" "http://127.0.0.1:$auth_port$view" \
    -- anna pw "$(nonce)" "$(nonce)")
  best_auth=$(awk -v a="$best_auth" -v b="$rps" 'BEGIN {print (b > a ? b : a)}')
  refused=$((refused + bad))
done
printf '%s without users:          %10s req/s\n' "$view" "$best_open"
printf '%s with Digest, each checked: %10s req/s   ratio %s (target >= 0.8)\n' \
  "$view" "$best_auth" "$(awk -v a="$best_auth" -v b="$best_open" 'BEGIN {printf "%.2f", a / b}')"
echo "answers other than 200 in all runs: $refused"
