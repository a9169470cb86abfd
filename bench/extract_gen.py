#!/usr/bin/env python3
"""Writes the benchmark's input files: MB megabytes of mixed data in FOLDER.

Half text (words, numbers, source-like lines: compresses well, long
matches), a quarter structured binary (tables of little-endian records:
short matches and many literals) and a quarter random bytes (stored by the
packer's choice or near-incompressible). A fixed seed makes every run the
same.

usage: extract_gen.py FOLDER MB
"""
import os
import random
import struct
import sys

WORDS = ("setup folder install member header window table code length "
         "distance literal block archive program option value registry "
         "progress dialog message shortcut desktop start read write file "
         "quorval tallowen data byte step").split()


def text_chunk(rng, size):
    lines = []
    total = 0
    while total < size:
        kind = rng.random()
        if kind < 0.5:
            line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 14)))
        elif kind < 0.8:
            line = "    int32_t m_%s%d = %d;  // %s" % (
                rng.choice(WORDS), rng.randint(0, 99), rng.randint(-9999, 99999),
                rng.choice(WORDS))
        else:
            line = ",".join(str(rng.randint(0, 65535)) for _ in range(rng.randint(4, 12)))
        lines.append(line)
        total += len(line) + 1
    return ("\n".join(lines) + "\n").encode()[:size]


def record_chunk(rng, size):
    out = bytearray()
    key = 0
    while len(out) < size:
        key += rng.randint(1, 40)
        out += struct.pack("<IHhf", key, rng.randint(0, 7), rng.randint(-300, 300),
                           rng.random())
    return bytes(out[:size])


def main():
    folder, mb = sys.argv[1], int(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20240601)
    total = mb * 1024 * 1024
    quarter = total // 4
    parts = [("text1.txt", text_chunk, quarter), ("text2.txt", text_chunk, quarter),
             ("records.bin", record_chunk, quarter)]
    for name, make, size in parts:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make(rng, size))
    with open(os.path.join(folder, "random.bin"), "wb") as f:
        f.write(rng.randbytes(total - 3 * quarter))


if __name__ == "__main__":
    main()
