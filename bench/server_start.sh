#!/usr/bin/env bash
# Server start to the first answered request, with UPnP 0 (the anchor) and with UPnP 1 on a
# network without a gateway: the bounded worst case, whose target is the anchor plus the
# search's own waits (5 service types x 2 x 3 s = 30 s). Runs in a network namespace of its
# own that has only loopback, with the search's multicast routed onto it, so every search is
# really sent and no datagram leaves the machine.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=$(cd "${1:-build}" && pwd)
if [ -z "${LV_BENCH_NETNS:-}" ]; then
  if ! unshare -rn true 2>/dev/null; then
    echo "server start: skipped (no network namespace could be made here)"
    exit 0
  fi
  exec unshare -rn env LV_BENCH_NETNS=1 "$0" "$build"
fi
ip link set lo up
ip route add 224.0.0.0/4 dev lo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
port=18441
mkdir -p "$work/pics"
for upnp in 0 1; do
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n<UPnP>%d</UPnP>\r\n' "$work/pics" "$port" \
    "$upnp" >"$work/upnp$upnp.con"
done
"$build/bin/server_start_bench" "$build/bin/lumenvale" "$work/upnp0.con" "$port" 5 \
  "UPnP 0 (anchor)"
"$build/bin/server_start_bench" "$build/bin/lumenvale" "$work/upnp1.con" "$port" 1 \
  "UPnP 1, no gateway (target <= anchor + 30 s)"
