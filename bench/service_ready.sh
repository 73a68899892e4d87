#!/usr/bin/env bash
# Time from starting the server as a service (with an empty gallery) to its READY=1, read
# from a stand-in for systemd's notification socket; median of 20 starts. Anchor: starting
# and ending /bin/true the same way, the cost of a process start alone.
set -euo pipefail
# Started as root the server would serve as another user, who cannot read this benchmark's
# private temporary folders: keep root's uid (the server still drops every capability).
export LUMENVALE_USER=${LUMENVALE_USER:-root}
build=${1:-build}
work=$(mktemp -d)
export XDG_CACHE_HOME="$work/cache"  # thumbnails made by the run stay in it
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/pictures" "$work/units"
port=18473
printf '<PATH>%s</PATH>\r\n<PORT>%d</PORT>\r\n' "$work/pictures" "$port" > "$work/c.con"
touch "$work/units/Lumenvale:$port.service"

python3 - "$build/bin/lumenvale" "$work" "$port" <<'PY'
import os, signal, socket, statistics, subprocess, sys, time
binary, work, port = sys.argv[1], sys.argv[2], sys.argv[3]
path = os.path.join(work, "notify")
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(path)
sock.settimeout(10)
env = dict(os.environ, NOTIFY_SOCKET=path, INVOCATION_ID="bench",
           SYSTEMD_UNIT_PATH=os.path.join(work, "units"))
env.pop("DISPLAY", None)

def ready_ms():
    start = time.perf_counter()
    server = subprocess.Popen([binary, os.path.join(work, "c.con")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while b"READY=1" not in sock.recv(4096):
        pass
    elapsed = (time.perf_counter() - start) * 1000
    server.send_signal(signal.SIGTERM)
    server.wait()
    while True:  # drain STOPPING=1
        sock.settimeout(0.2)
        try:
            sock.recv(4096)
        except socket.timeout:
            break
    sock.settimeout(10)
    return elapsed

def true_ms():
    start = time.perf_counter()
    subprocess.run(["/bin/true"])
    return (time.perf_counter() - start) * 1000

ready = statistics.median(ready_ms() for _ in range(20))
anchor = statistics.median(true_ms() for _ in range(20))
print(f"start to READY=1, empty gallery: {ready:.1f} ms (median of 20)")
print(f"anchor, start and end of /bin/true: {anchor:.1f} ms (median of 20)")
PY
