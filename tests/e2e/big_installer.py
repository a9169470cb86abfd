#!/usr/bin/env python3
"""Builds a QuorvalinexSetup.exe that carries a large generated payload, for
the Stop scenario and the extraction benchmark: its own Windows build
folder, configured with QUORVALINEX_PAYLOAD_DIR. Does nothing when the
build is up to date.

Payload (fixed seed, fixed times): A_First.txt (64 KB), B_Large.dat (LARGE_MB
of text-like lines with a tenth of random bytes), C_Last.txt (4 KB). The
names sort in archive order, so the large member has one before and one
after it.

usage: big_installer.py DIR [LARGE_MB]     prints the executable's path
"""
import os
import random
import subprocess
import sys

SRC = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
WORDS = ("setup folder install member header window table code length distance literal "
         "block archive program option value registry progress dialog message shortcut "
         "desktop start read write file quorval tallowen data byte step").split()
MEMBER_TIME = 1094040000          # 2004-09-01 12:00 UTC


def text(rng, size):
    out, total = [], 0
    while total < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 12)))
        line += " %d\r\n" % rng.randint(0, 99999)
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def large(rng, size):
    chunk = 1 << 20
    parts = []
    for start in range(0, size, chunk):
        n = min(chunk, size - start)
        cut = n // 10
        parts.append(text(rng, n - cut) + rng.randbytes(cut))
    return b"".join(parts)


def make_payload(folder, large_mb):
    stamp = os.path.join(folder, ".made-%d" % large_mb)
    if os.path.exists(stamp):
        return
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    rng = random.Random(20040901)
    files = {"A_First.txt": text(rng, 64 << 10), "B_Large.dat": large(rng, large_mb << 20),
             "C_Last.txt": text(rng, 4 << 10)}
    for name, data in files.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (MEMBER_TIME, MEMBER_TIME))
    open(stamp, "w").close()


def build(root, large_mb):
    payload = os.path.join(root, "payload")
    make_payload(payload, large_mb)
    build_dir = os.path.join(root, "build")
    quiet = {"stdout": sys.stderr, "stdin": subprocess.DEVNULL}
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", SRC, "-B", build_dir, "-G", "Ninja",
                        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SRC, "cmake", "mingw-i686.cmake"),
                        "-DCMAKE_BUILD_TYPE=MinSizeRel",
                        "-DQUORVALINEX_PAYLOAD_DIR=" + payload], check=True, **quiet)
    subprocess.run(["cmake", "--build", build_dir, "--target", "QuorvalinexSetup", "-j", "2"],
                   check=True, **quiet)
    return os.path.join(build_dir, "installer", "QuorvalinexSetup.exe")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    print(build(os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) == 3 else 32))
