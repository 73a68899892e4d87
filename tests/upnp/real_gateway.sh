#!/usr/bin/env bash
# real_gateway.sh [BUILD_DIR]
#
# Runs the built server behind a real Internet gateway: Debian's miniupnpd in network
# namespaces of its own (upnp-gateway/gateway.sh, beside the project: set UPNP_GATEWAY_DIR to
# use another copy). The server runs in the LAN namespace with UPnP 1; Debian's upnpc must list
# the mapping it made, the gallery must answer through it from the "internet" namespace, /info
# must report it, and after SIGTERM the mapping must be gone. A second run against a gateway
# that refuses mappings must report the failure. Needs root; nothing touches the root
# namespace (checked before and after).
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
server=$build/bin/lumenvale
gateway_dir=${UPNP_GATEWAY_DIR:-$root/../shared/upnp-gateway}
gw=$gateway_dir/gateway.sh
port=12345
pass=0
fail=0

[ "$(id -u)" = 0 ] || { echo "real_gateway.sh: must run as root (network namespaces)" >&2; exit 1; }
[ -x "$server" ] || { echo "real_gateway.sh: no server at $server (build it first)" >&2; exit 1; }
[ -x "$gw" ] || { echo "real_gateway.sh: no gateway script at $gw (set UPNP_GATEWAY_DIR)" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
	[ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null
	"$gw" stop >/dev/null 2>&1
	rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

ok() { pass=$((pass + 1)); echo "PASS: $*"; }
ko() { fail=$((fail + 1)); echo "FAIL: $*"; }
# expect DESCRIPTION REGEX TEXT
expect() {
	if grep -Eq -- "$2" <<<"$3"; then ok "$1"; else
		ko "$1"
		sed 's/^/  | /' <<<"$3"
	fi
}
expect_not() {
	if grep -Eq -- "$2" <<<"$3"; then
		ko "$1"
		sed 's/^/  | /' <<<"$3"
	else ok "$1"; fi
}

lan() { timeout 20 ip netns exec lvlan "$@" 2>&1; }
# fetch NAMESPACE URL: the body, decoded from Shift-JIS, or "fetch failed: ..."
fetch() {
	timeout 15 ip netns exec "$1" python3 -c '
import sys, urllib.request
try:
    print(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode("cp932"))
except Exception as e:
    print("fetch failed: %s" % e)' "$2"
}
# running PID: alive and not yet a zombie waiting to be reaped
running() { kill -0 "$1" 2>/dev/null && [ "$(ps -o stat= -p "$1" | cut -c1)" != Z ]; }
root_snapshot() { ip -br link; ip -4 route; ip -6 route; }

# start_server: starts the server in lvlan and waits for its start-up line.
start_server() {
	: >"$work/server.log"
	ip netns exec lvlan "$server" "$work/gallery.con" >"$work/server.log" 2>&1 &
	server_pid=$!
	for _ in $(seq 1 400); do
		grep -q 'Lumenvale is serving' "$work/server.log" && return 0
		running "$server_pid" || break
		sleep 0.1
	done
	return 1
}
# wait_log REGEX: waits (at most 40 s: the search's own bound) for a line of the server's log;
# the mapping is made on a thread of its own, after the start-up line.
wait_log() {
	for _ in $(seq 1 400); do
		grep -Eq -- "$1" "$work/server.log" && return 0
		running "$server_pid" || return 1
		sleep 0.1
	done
	return 1
}
# stop_server: SIGTERM; sets $stopped to the exit status, or to "hung" after 15 s.
stop_server() {
	kill -TERM "$server_pid"
	stopped=hung
	for _ in $(seq 1 150); do
		if ! running "$server_pid"; then
			wait "$server_pid"
			stopped="exit $?"
			server_pid=
			return
		fi
		sleep 0.1
	done
}

mkdir -p "$work/pictures"
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<UPnP>1</UPnP>\r\n<TITLE>UPnP check</TITLE>\r\n' \
	"$work/pictures" "$port" >"$work/gallery.con"
before=$(root_snapshot)
"$gw" stop >/dev/null 2>&1

echo "=== a gateway that forwards (UPNP_GW_WAN=stun, IGD:1)"
if UPNP_GW_WAN=stun UPNP_GW_IGD_V1=yes "$gw" start; then
	if start_server; then ok "server started"; else ko "server started"; fi
	wait_log 'ポート開放に成功'
	log=$(cat "$work/server.log")
	expect "server says the mapping was made" 'ポート開放に成功' "$log"
	out=$(lan upnpc -l)
	expect "upnpc -l finds the gateway the server used" 'desc: http://10\.77\.0\.1:5000/rootDesc\.xml' "$out"
	out=$(lan upnpc -i -l)
	expect "upnpc -i -l lists the server's mapping" "TCP ${port}->10\.77\.0\.2:${port} +'is${port}'" "$out"
	expect "the mapping has a lease, not for good" "'is${port}' '' [1-9][0-9]*" "$out"
	out=$(timeout 20 ip netns exec lvgw nft list ruleset 2>&1)
	expect "miniupnpd installed the forwarding rule" "dnat ip to 10\.77\.0\.2:${port}" "$out"
	out=$(fetch lvwan "http://203.0.113.1:${port}/")
	expect "the gallery answers from the internet side through the mapping" '画像に移動します' "$out"
	out=$(fetch lvlan "http://10.77.0.2:${port}/info")
	expect "/info reports the mapping" 'UPnP stage:2,ポート開放処理完了' "$out"
	expect "/info shows the external port" "External Port No:${port}<br>" "$out"
	expect "/info shows the gateway's address" 'グローバルIP:203\.0\.113\.1<br>' "$out"
	stop_server
	expect "SIGTERM stops the server cleanly" '^exit 0$' "$stopped"
	out=$(lan upnpc -i -l)
	expect_not "the mapping is gone after SIGTERM" "TCP ${port}->" "$out"
	expect "upnpc -i -l still reaches the gateway" 'ExternalIPAddress = 203\.0\.113\.1' "$out"
	out=$(timeout 20 ip netns exec lvgw nft list ruleset 2>&1)
	expect_not "the forwarding rule is gone" "dnat ip to 10\.77\.0\.2:${port}" "$out"
	"$gw" stop >/dev/null 2>&1
else
	ko "gateway.sh start (stun)"
fi

echo "=== a gateway that refuses mappings (UPNP_GW_WAN=plain)"
if UPNP_GW_WAN=plain UPNP_GW_IGD_V1=yes "$gw" start; then
	if start_server; then ok "server started"; else ko "server started"; fi
	wait_log 'ポート開放に失敗'
	log=$(cat "$work/server.log")
	expect "server says the mapping failed" 'ポート開放に失敗' "$log"
	out=$(fetch lvlan "http://10.77.0.2:${port}/info")
	expect "/info reports the failure" 'UPnP stage:1,ポート開放処理に失敗' "$out"
	expect_not "/info shows no external address" 'グローバルIP' "$out"
	stop_server
	expect "SIGTERM stops the server cleanly" '^exit 0$' "$stopped"
	"$gw" stop >/dev/null 2>&1
else
	ko "gateway.sh start (plain)"
fi

after=$(root_snapshot)
if [ "$before" = "$after" ]; then ok "root namespace links and routes unchanged"; else
	ko "root namespace links and routes unchanged"
	diff <(echo "$before") <(echo "$after")
fi

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
