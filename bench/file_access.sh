#!/usr/bin/env bash
# Cost of a cached ReadAll hit (beside an uncached read of the same 500 KB file) and of a
# member Exists on an archive of 10 000 members (beside Exists of a plain file).
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 500000 /dev/urandom > "$work/photo.jpg"
/usr/bin/python3 - "$work/many.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(10000):
        z.writestr('album%02d/photo%05d.jpg' % (i // 500, i), b'x' * 100)
PY
"$build/bin/file_access_bench" "$work/photo.jpg" "$work/many.zip" album19/photo09999.jpg
