#!/usr/bin/env python3
"""Writes the packing benchmark's corpus: about MB megabytes of mixed files
in FOLDER, the kinds a desktop application ships.

English-like prose (Zipf-distributed words), Japanese text in code page
932, C-like source, CSV tables, an x86-like executable image (repeated
instruction patterns, tables, strings), a 24-bit bitmap (smooth gradients
with noise), a sparse database file (records between runs of zeros) and
already-compressed (random) data. A fixed seed makes every run the same.

usage: pack_gen.py FOLDER [MB]   (default 32)
"""
import os
import random
import struct
import sys

SYLLABLES = ("ka ri to ne mo sa shi ru ve la den por ent ion ing ter str "
             "con pro ble ment ate ous ive al ic").split()


def make_words(rng, n):
    words = set()
    while len(words) < n:
        words.add("".join(rng.choice(SYLLABLES) for _ in range(rng.randint(1, 4))))
    return sorted(words)


def zipf_weights(n):
    return [1.0 / (i + 1) for i in range(n)]


def prose(rng, size):
    words = make_words(rng, 3000)
    weights = zipf_weights(len(words))
    out = []
    total = 0
    while total < size:
        sentence = rng.choices(words, weights, k=rng.randint(5, 22))
        sentence[0] = sentence[0].capitalize()
        line = " ".join(sentence) + rng.choice([". ", ", ", "? ", ".\n\n", ".\n"])
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def japanese(rng, size):
    base = ("設定 保存 文書 印刷 表示 画面 検索 削除 追加 変更 確認 選択 "
            "ファイル フォルダ カード メモ 予定 日付 色 文字 大きさ 自動 "
            "インストール アプリケーション バージョン ヘルプ 情報 機能").split()
    particles = "の を に は が で と から まで も".split()
    endings = ["します。", "しました。", "してください。", "できます。", "です。"]
    out = []
    total = 0
    while total < size:
        n = rng.randint(2, 6)
        parts = []
        for _ in range(n):
            parts.append(rng.choice(base) + rng.choice(particles))
        line = "".join(parts) + rng.choice(endings) + ("\r\n" if rng.random() < 0.3 else "")
        data = line.encode("cp932")
        out.append(data)
        total += len(data)
    return b"".join(out)[:size]


def source(rng, size):
    idents = make_words(rng, 400)
    types = ["int", "int32_t", "uint8_t", "const char*", "bool", "size_t", "double"]
    out = []
    total = 0
    depth = 0
    while total < size:
        r = rng.random()
        ind = "    " * depth
        if r < 0.08 and depth < 4:
            line = "%sif (%s %s %d) {" % (ind, rng.choice(idents), rng.choice(["<", ">", "==", "!="]),
                                          rng.randint(0, 256))
            depth += 1
        elif r < 0.16 and depth > 0:
            depth -= 1
            line = "    " * depth + "}"
        elif r < 0.5:
            line = "%s%s %s = %s(%s, %d);" % (ind, rng.choice(types), rng.choice(idents),
                                             rng.choice(idents), rng.choice(idents),
                                             rng.randint(0, 1000))
        elif r < 0.7:
            line = "%s%s->m_%s += %s;" % (ind, rng.choice(idents), rng.choice(idents),
                                          rng.choice(idents))
        elif r < 0.85:
            line = "%s// %s %s %s." % (ind, rng.choice(idents), rng.choice(idents),
                                       rng.choice(idents))
        else:
            line = "%sreturn %s;" % (ind, rng.choice(idents))
        out.append(line + "\n")
        total += len(line) + 1
    return "".join(out).encode()[:size]


def csv(rng, size):
    names = make_words(rng, 200)
    out = ["id,name,date,amount,rate,flag\n"]
    total = len(out[0])
    i = 1
    while total < size:
        line = "%d,%s,2004-%02d-%02d,%d,%.3f,%d\n" % (
            i, rng.choice(names), rng.randint(1, 12), rng.randint(1, 28),
            rng.randint(0, 99999), rng.random() * 10, rng.randint(0, 1))
        out.append(line)
        total += len(line)
        i += 1
    return "".join(out).encode()[:size]


def executable(rng, size):
    # Code: a vocabulary of instruction byte patterns with varying operands.
    patterns = [bytes(rng.randrange(256) for _ in range(rng.randint(2, 7))) for _ in range(300)]
    weights = zipf_weights(len(patterns))
    out = bytearray()
    while len(out) < size * 6 // 10:
        for p in rng.choices(patterns, weights, k=64):
            out += p
            if rng.random() < 0.4:
                out += struct.pack("<I", 0x401000 + rng.randrange(0, 0x40000, 4))
    # Tables of pointers and small structs.
    while len(out) < size * 8 // 10:
        out += struct.pack("<IIHH", 0x401000 + rng.randrange(0, 0x40000, 16),
                           rng.randrange(0, 512), rng.randrange(0, 16), 0)
    # Strings.
    words = make_words(rng, 300)
    while len(out) < size:
        out += (" ".join(rng.choice(words) for _ in range(rng.randint(1, 5)))).encode() + b"\0"
    return bytes(out[:size])


def bitmap(rng, size):
    width = 512
    out = bytearray(b"BM" + bytes(52))
    y = 0
    while len(out) < size:
        for x in range(width):
            r = (x + y) & 0xFF
            g = (x * 2 - y) & 0xFF
            b = (y // 2) & 0xFF
            noise = rng.randint(-2, 2)
            out += bytes(((b + noise) & 0xFF, (g + noise) & 0xFF, r))
        y += 1
    return bytes(out[:size])


def sparse(rng, size):
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.5:
            out += bytes(rng.randint(16, 4096))
        else:
            for _ in range(rng.randint(1, 40)):
                out += struct.pack("<IHH12s", rng.randrange(1 << 20), rng.randrange(100),
                                   0xFFFF, bytes(rng.randrange(65, 91) for _ in range(12)))
    return bytes(out[:size])


def random_bytes(rng, size):
    return rng.randbytes(size)


KINDS = [  # name, generator, share of the corpus
    ("manual.txt", prose, 0.20),
    ("readme_ja.txt", japanese, 0.08),
    ("source.c", source, 0.14),
    ("table.csv", csv, 0.10),
    ("program.exe", executable, 0.20),
    ("picture.bmp", bitmap, 0.12),
    ("records.db", sparse, 0.08),
    ("archive.cab", random_bytes, 0.08),
]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    folder = sys.argv[1]
    total = int(float(sys.argv[2]) * 1000000) if len(sys.argv) == 3 else 32000000
    os.makedirs(folder, exist_ok=True)
    for index, (name, make, share) in enumerate(KINDS):
        rng = random.Random(1234 + index)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(make(rng, int(total * share)))


if __name__ == "__main__":
    main()
