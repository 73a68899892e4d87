#!/usr/bin/env bash
# Builds the Debian packages lumenvale, lumenvale-tray and quillon with debhelper
# (dpkg-buildpackage, debian/) into BUILD/packages/. The build runs on a copy of the working
# tree (its tracked and new files, and the two npm packages the server embeds) in
# BUILD/package-source/, so the checkout stays clean; with ccache present, a second build of
# unchanged sources costs little more than the packing.
# Usage: scripts/build-packages.sh [BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
stage="$build/package-source"
source="$stage/lumenvale-$version"
rm -rf "$stage"
mkdir -p "$source" "$build/packages"

# Files deleted in the working tree but still tracked are passed over; node_modules, which
# may be a link to another checkout's, is copied below.
(cd "$root" && git ls-files -z --cached --others --exclude-standard) | grep -zv '^node_modules' |
  (cd "$root" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$source"
for module in jquery jquery-ui; do
  mkdir -p "$source/node_modules/$module"
  cp -rL "$root/node_modules/$module/dist" "$root/node_modules/$module/LICENSE.txt" \
    "$source/node_modules/$module/"
done

if command -v ccache >/dev/null 2>&1; then
  # debhelper gives the build a home of its own; the cache and its settings stay the user's.
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  CCACHE_DIR=$(ccache -k cache_dir)
  export CCACHE_DIR CCACHE_BASEDIR="$source" CCACHE_NOHASHDIR=1
fi
export DEB_BUILD_OPTIONS="noautodbgsym parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
(cd "$source" && dpkg-buildpackage -b -us -uc) > "$stage/build.log" 2>&1 || {
  tail -40 "$stage/build.log" >&2
  echo "The package build failed; its whole log is $stage/build.log" >&2
  exit 1
}
rm -f "$build/packages"/*.deb
mv "$stage"/*.deb "$build/packages/"
ls "$build/packages"
