#!/usr/bin/env bash
# The console server without the graphical libraries, against the same server linked with
# them (lumenvale_qt_linked, as the program was before the tray became a plug-in): start-up
# time from exec to READY=1 on a stand-in for systemd's notification socket and resident
# memory (VmRSS) once ready, on an empty gallery, median of 20 starts each, the two programs
# taking turns. Then the installed size of each Debian package (built when missing).
# Usage: bench/console_footprint.sh [BUILD]
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=$(realpath -m "${1:-build}")
here=$(cd "$(dirname "$0")" && pwd)
cmake --build "$build" --target lumenvale lumenvale_qt_linked >/dev/null
work=$(mktemp -d)
export XDG_CACHE_HOME="$work/cache"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/pictures" "$work/units"
printf '<PATH>%s</PATH>\r\n<PORT>0</PORT>\r\n' "$work/pictures" > "$work/c.con"
echo "load: $(uptime)"

python3 - "$build/bin/lumenvale" "$build/bin/lumenvale_qt_linked" "$work" <<'PY'
import os, signal, socket, statistics, subprocess, sys, time
plain, linked, work = sys.argv[1:4]
path = os.path.join(work, "notify")
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(path)
env = dict(os.environ, NOTIFY_SOCKET=path, SYSTEMD_UNIT_PATH=os.path.join(work, "units"))
for name in ("DISPLAY", "WAYLAND_DISPLAY", "INVOCATION_ID"):
    env.pop(name, None)

def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0

def start(binary):
    sock.settimeout(10)
    begin = time.perf_counter()
    server = subprocess.Popen([binary, os.path.join(work, "c.con")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while b"READY=1" not in sock.recv(4096):
        pass
    elapsed = (time.perf_counter() - begin) * 1000
    rss = resident_kib(server.pid)
    server.send_signal(signal.SIGTERM)
    server.wait()
    sock.settimeout(0.2)
    try:
        while True:
            sock.recv(4096)  # STOPPING=1
    except socket.timeout:
        pass
    return elapsed, rss

runs = {plain: [], linked: []}
for _ in range(20):
    for binary in (plain, linked):
        runs[binary].append(start(binary))

def libraries(binary):
    out = subprocess.run(["ldd", binary], capture_output=True, text=True).stdout
    return len(out.strip().splitlines())

for label, binary in (("console server, no graphical libraries", plain),
                      ("anchor, the same linked with Qt Widgets", linked)):
    ms = statistics.median(r[0] for r in runs[binary])
    rss = statistics.median(r[1] for r in runs[binary])
    print(f"{label}: start to READY=1 {ms:.1f} ms, resident {rss / 1024:.1f} MiB, "
          f"{libraries(binary)} shared objects (median of 20)")
PY

if ! ls "$build"/packages/*.deb >/dev/null 2>&1; then
  "$here/../scripts/build-packages.sh" "$build" >/dev/null
fi
for package in "$build"/packages/*.deb; do
  echo "package $(dpkg-deb -f "$package" Package): installed size $(dpkg-deb -f "$package" Installed-Size) KiB, .deb $(( $(stat -c %s "$package") / 1024 )) KiB"
done
# What the graphical libraries weigh: the Qt runtime the server no longer pulls in.
qt=$(dpkg-query -W -f='${Installed-Size}\n' libqt6widgets6 libqt6gui6 libqt6core6 libqt6dbus6 2>/dev/null | awk '{ sum += $1 } END { print sum }')
echo "anchor, the Qt 6 runtime (libqt6core6, gui, widgets, dbus) the tray and quillon depend on: ${qt} KiB installed"
