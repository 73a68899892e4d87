#!/usr/bin/env bash
# Installs the Debian packages Lumenvale needs, in three sets:
#   (none)     building and running the programs (`make run`, `make editor`)
#   --test     and the tests: GoogleTest, Chromium, Xvfb, clang, the package tools (`make test`)
#   --package  and the Debian package tools only (`make package`)
#   --bench    and the tests and the benchmarks' tools (`make bench`)
# Idempotent: when everything is present it only checks and returns at once.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libssl-dev zlib1g-dev libstb-dev libturbojpeg0-dev libjpeg62-turbo-dev libwebp-dev
  libheif-dev libnghttp2-dev
  libsystemd-dev qt6-base-dev
)
# npm fetches jQuery and jQuery UI (make npm-deps). A node that came from elsewhere already
# brings its own npm, and Debian's npm package would conflict with it.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
package_tools=(debhelper dpkg-dev fakeroot lintian man-db git)
test_tools=(
  libgtest-dev libgmock-dev libbenchmark-dev
  curl python3 python3-requests openssl python3-h2 nghttp2-client
  zip p7zip-full libarchive-tools zopfli
  clang libclang-rt-14-dev
  chromium fonts-ipafont-gothic
  libheif-examples libavif-bin
  xvfb trayer xdotool dbus-daemon
  "${package_tools[@]}"
)
case "${1:-}" in
  "") ;;
  --test) packages+=("${test_tools[@]}") ;;
  --package) packages+=("${package_tools[@]}") ;;
  --bench) packages+=("${test_tools[@]}" wrk nginx libvips-tools xauth libx11-dev iproute2 heif-thumbnailer time nghttp2-client testssl.sh) ;;
  *)
    echo "usage: $0 [--test | --package | --bench]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
