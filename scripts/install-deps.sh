#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Lumenvale need.
# Idempotent: when everything is present it only checks and returns at once.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev zlib1g-dev
  curl python3 python3-requests
  zip p7zip-full libarchive-tools zopfli
  clang libclang-rt-14-dev
  libstb-dev libturbojpeg0-dev libwebp-dev
  libheif-dev libheif-examples libavif-bin
  chromium fonts-ipafont-gothic
  libsystemd-dev qt6-base-dev
  xvfb trayer xdotool dbus-daemon
)
# npm fetches jQuery and jQuery UI (make deps). A node that came from elsewhere already
# brings its own npm, and Debian's npm package would conflict with it.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi
if [ "${1:-}" = "--bench" ]; then
  packages+=(wrk nginx libvips-tools xvfb xauth libx11-dev iproute2 heif-thumbnailer time)
fi

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
