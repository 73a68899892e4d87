#!/usr/bin/env bash
# The packages as a user gets them: builds them (scripts/build-packages.sh), runs lintian on
# them (no error or warning may remain), unpacks them into a scratch root, checks that the
# server links no graphical library, and runs the unpacked quillon and lumenvale on a
# temporary gallery. `make test` runs it after the unit tests.
# Usage: scripts/package_test.sh [BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "package test: $*" >&2
  exit 1
}

"$root/scripts/build-packages.sh" "$build" >/dev/null
packages=("$build"/packages/*.deb)
[ ${#packages[@]} -eq 3 ] || fail "expected three packages, found: ${packages[*]}"

# lintian refuses to run as root only with a warning of its own, which is not the packages'.
lintian --fail-on error,warning "${packages[@]}" 2> >(grep -v 'running with root privileges' >&2) ||
  fail "lintian found errors or warnings"

scratch="$work/root"
for package in "${packages[@]}"; do dpkg-deb -x "$package" "$scratch"; done
server="$scratch/usr/bin/lumenvale"
quillon="$scratch/usr/bin/quillon"

graphical='libQt|libX11|libxcb|libEGL|libGL|libfontconfig|libfreetype|libicu|libxkbcommon'
if ldd "$server" | grep -E "$graphical"; then fail "the server links graphical libraries"; fi
ldd "$scratch/usr/lib/lumenvale/lumenvale-tray.so" | grep -q libQt6Widgets ||
  fail "the tray plug-in does not link Qt Widgets"

version=$(dpkg-deb -f "$build"/packages/lumenvale_*.deb Version)
[ "$("$server" --version)" = "lumenvale $version" ] || fail "--version does not say $version"
"$server" --help | grep -q '^Usage: lumenvale \[CONFIG\]$' || fail "--help prints no usage"
"$quillon" --help | grep -q '^  install-service ' || fail "quillon --help lists no commands"
for page in lumenvale quillon; do
  [ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$scratch/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)" ] ||
    fail "man page $page.1 has warnings"
done

# A gallery made with the unpacked quillon, served by the unpacked server.
mkdir -p "$work/pictures" "$work/units"
python3 - "$work/pictures/dot.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"\x00\xff\x00\x00")) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
config="$work/gallery.con"
unset DISPLAY WAYLAND_DISPLAY NOTIFY_SOCKET INVOCATION_ID
"$quillon" add-folder "$config" "$work/pictures" >/dev/null
"$quillon" set "$config" PORT "$port" >/dev/null
"$quillon" show "$config" | grep -q "^PORT  *$port$" || fail "quillon show does not show the port"

SYSTEMD_UNIT_PATH="$work/units" XDG_CACHE_HOME="$work/cache" "$server" "$config" \
  >"$work/out" 2>&1 &
server_pid=$!
status=000
for _ in $(seq 50); do
  status=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/") && [ "$status" != 000 ] && break
  sleep 0.1
done
[ "$status" = 302 ] || [ "$status" = 200 ] || fail "the unpacked server answered / with $status"
curl -s "http://127.0.0.1:$port/info" | grep -q 'Config file:Loaded.' ||
  fail "the unpacked server did not read its configuration"
grep -q "^Lumenvale is serving http://localhost:$port/ from $work/pictures" "$work/out" ||
  fail "the start-up line is missing: $(head -1 "$work/out")"
kill -TERM "$server_pid"
wait "$server_pid" || fail "the server did not stop cleanly"
server_pid=
echo "package test: passed ($(cd "$build/packages" && echo *.deb))"
