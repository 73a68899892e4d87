#!/usr/bin/env bash
# CPU used by an idle server over 60 s (SECONDS overrides), with an empty gallery: once in
# console mode, once in tray mode under Xvfb with trayer as the system tray, the Qt event
# loop included. Target: under 1% of one core each.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
seconds=${SECONDS_IDLE:-60}
work=$(mktemp -d)
export XDG_CACHE_HOME="$work/cache"  # thumbnails made by the run stay in it
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/pictures" "$work/units" "$work/runtime"
chmod 700 "$work/runtime"
ticks=$(getconf CLK_TCK)

# utime + stime of process $1, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Starts the server with the environment in "$@" and prints its CPU use in % of one core.
measure() {
  local port=$1; shift
  printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/pictures" "$port" > "$work/c$port.con"
  env -u INVOCATION_ID -u NOTIFY_SOCKET "$@" SYSTEMD_UNIT_PATH="$work/units" \
    XDG_RUNTIME_DIR="$work/runtime" "$build/bin/lumenvale" "$work/c$port.con" \
    > "$work/log$port" 2>&1 &
  local pid=$!
  for _ in $(seq 100); do grep -q serving "$work/log$port" && break; sleep 0.05; done
  sleep 2  # the first scan and the tray's start are not idling
  local before; before=$(cpu_ticks "$pid")
  sleep "$seconds"
  local after; after=$(cpu_ticks "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  awk -v d=$((after - before)) -v t="$ticks" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * d / t / s}'
}

console=$(measure 18471 -u DISPLAY -u WAYLAND_DISPLAY)

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3> "$work/display" > /dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(cat "$work/display")"
DISPLAY=$display trayer --edge top --align left --widthtype request --height 32 \
  --SetDockType false > /dev/null 2>&1 &
for _ in $(seq 100); do DISPLAY=$display xdotool search --onlyvisible --class trayer > /dev/null && break; sleep 0.05; done
tray=$(measure 18472 -u WAYLAND_DISPLAY DISPLAY="$display")
grep -q 'Stop with Ctrl-C' "$work/log18472" && tray="$tray (no tray came up: console)"

echo "idle CPU over ${seconds} s, console mode: ${console}% of one core"
echo "idle CPU over ${seconds} s, tray mode:    ${tray}% of one core"
echo "target: under 1% of one core each"
