#!/usr/bin/env python3
"""Checks the lock annotations (platform/thread_annotations.h) with clang's -Wthread-safety.

Usage: thread_safety_check.py BUILD_DIR [CLANG]

Every source of the libraries and programs in BUILD_DIR/compile_commands.json is parsed by
clang with the flags it is built with (tests, fuzz targets, benchmarks and generated sources
are left out); any thread-safety warning is an error. The checks are run by ninja from a
file written into BUILD_DIR/thread-safety, so a second run re-checks only the sources whose
own text or headers changed.
"""

import json
import os
import shlex
import shutil
import subprocess
import sys

CHECK_FLAGS = ["-fsyntax-only", "-Wthread-safety", "-Wthread-safety-beta",
               "-Werror=thread-safety", "-Werror=thread-safety-beta"]
LEFT_OUT_FOLDERS = ("fuzz/", "bench/", "tests/")


def checked_sources(entries, source_root, build_dir):
    """(source, flags) of the sources to check, each once."""
    seen = set()
    for entry in entries:
        source = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        relative = os.path.relpath(source, source_root)
        args = shlex.split(entry["command"]) if "command" in entry else entry["arguments"]
        output = args[args.index("-o") + 1] if "-o" in args else ""
        target = output.split("/CMakeFiles/")[-1].split(".dir/")[0]
        if (source in seen or relative.startswith("..") or
                source.startswith(build_dir + os.sep) or
                relative.startswith(LEFT_OUT_FOLDERS) or "test" in os.path.basename(source) or
                target.endswith("_tests")):
            continue
        seen.add(source)
        yield source, compile_flags(args[1:], entry["file"])


def compile_flags(args, source_file):
    """The flags that decide what the source means: defines, include folders, language."""
    flags = []
    skip_next = False
    for arg in args:
        if skip_next:
            skip_next = False
        elif arg in ("-o", "-MF", "-MT", "-MQ"):
            skip_next = True
        elif arg in ("-c", source_file) or arg.startswith(("-O", "-g", "-W", "-M")):
            continue
        else:
            flags.append(arg)
    return flags


def ninja_quote(text):
    return text.replace("$", "$$").replace(" ", "$ ").replace(":", "$:")


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build_dir = os.path.abspath(sys.argv[1])
    clang = sys.argv[2] if len(sys.argv) == 3 else "clang++"
    if shutil.which(clang) is None:
        sys.exit(f"{clang} not found: scripts/install-deps.sh installs it (Debian package clang)")
    source_root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(build_dir, "compile_commands.json")) as f:
        entries = json.load(f)

    check_dir = os.path.join(build_dir, "thread-safety")
    os.makedirs(check_dir, exist_ok=True)
    lines = [
        "rule check",
        f"  command = {clang} $flags {' '.join(CHECK_FLAGS)} -MD -MF $out.d -MT $out $in"
        " && touch $out",
        "  depfile = $out.d",
        "  deps = gcc",
        "  description = thread safety $in",
        "",
    ]
    count = 0
    for source, flags in checked_sources(entries, source_root, build_dir):
        stamp = os.path.relpath(source, source_root).replace("/", "__") + ".ok"
        lines.append(f"build {ninja_quote(stamp)}: check {ninja_quote(source)}")
        lines.append(f"  flags = {' '.join(shlex.quote(f) for f in flags)}")
        count += 1
    if count == 0:
        sys.exit("no sources to check in " + os.path.join(build_dir, "compile_commands.json"))
    manifest = os.path.join(check_dir, "build.ninja")
    text = "\n".join(lines) + "\n"
    if not os.path.exists(manifest) or open(manifest).read() != text:
        with open(manifest, "w") as f:
            f.write(text)
    jobs = os.environ.get("THREAD_SAFETY_JOBS", str(os.cpu_count() or 1))
    sys.exit(subprocess.call(["ninja", "-C", check_dir, "-k", "0", "-j", jobs]))


if __name__ == "__main__":
    main()
