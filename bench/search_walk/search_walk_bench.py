#!/usr/bin/env python3
"""Entries walked per second by the search under Wine, against the same
tree listed natively by `find`, in one run.

    QUORVALINEX_WINDOWS_BUILD_DIR=<windows build> \
        python3 bench/search_walk/search_walk_bench.py [--entries 100000]

A tree of the given number of entries (files and folders, fixed seed) is
made once under E2E_WORK, mapped as the only fixed drive D: of a fresh
prefix (z: removed, c: marked as a network drive so that the prefix's own
files are not walked), and searched by search_walk_bench.exe in three
modes: the walk alone, paced as the dialog paces it (a look at the queue
about every millisecond), and with a look after every step.
"""

import argparse
import os
import random
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import search_drives  # noqa: E402
import wine_env  # noqa: E402


def make_tree(root, entries, seed=1):
    """Folders of 20-60 files and 2-5 subfolders, grown level by level; one
    copy of the executable that matches no release, deep down, so that the
    walk goes through the whole tree."""
    stamp = os.path.join(root, ".complete-%d-%d" % (entries, seed))
    if os.path.exists(stamp):
        return
    subprocess.run(["rm", "-rf", root], check=True)
    rng = random.Random(seed)
    made = 0
    queue = [(os.path.join(root, "tree"), 0)]
    os.makedirs(queue[0][0])
    deepest = queue[0]
    while queue and made < entries:
        folder, depth = queue.pop(0)  # grown breadth first: a bushy tree
        for i in range(rng.randrange(20, 61)):
            if made >= entries:
                break
            open(os.path.join(folder, "file%03d.dat" % i), "w").close()
            made += 1
        for i in range(rng.randrange(2, 6)):
            if made >= entries:
                break
            sub = os.path.join(folder, "dir%02d" % i)
            os.mkdir(sub)
            made += 1
            queue.append((sub, depth + 1))
            if depth + 1 > deepest[1]:
                deepest = (sub, depth + 1)
    open(os.path.join(deepest[0], "Quorval.exe"), "w").close()
    open(stamp, "w").close()
    return


def count_entries(tree):
    """Entries and the number of folder levels, the root included."""
    n, levels = 0, 1
    for folder, dirs, files in os.walk(tree):
        n += len(dirs) + len(files)
        levels = max(levels, os.path.relpath(folder, tree).count(os.sep) + 2
                     if folder != tree else 1)
    return n, levels


def time_find(tree, runs=3):
    best = None
    for _ in range(runs):
        start = time.monotonic()
        out = subprocess.run(["find", tree], stdout=subprocess.PIPE, check=True).stdout
        elapsed = time.monotonic() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, out.count(b"\n") - 1  # the tree itself is not an entry


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--entries", type=int, default=100000)
    args = parser.parse_args()

    exe = os.path.join(wine_env.windows_build_dir(), "bench", "search_walk",
                       "search_walk_bench.exe")
    if not os.path.exists(exe):
        sys.exit("not built: " + exe)
    root = os.path.join(wine_env.work_root(), "search-bench-tree")
    make_tree(root, args.entries)
    tree = os.path.join(root, "tree")
    entries, levels = count_entries(tree)

    find_seconds, find_entries = time_find(tree)
    print("tree: %d entries, %d folder levels, under %s" % (entries, levels, tree))
    print("find (native):   %.3f s  %10.0f entries/s" % (find_seconds, find_entries / find_seconds))

    with wine_env.WinePrefix("search-bench") as w:
        search_drives.map_drives(w, {"d": (tree, "fixed")})
        w.put_file(exe, r"C:\bench\search_walk_bench.exe")
        for mode in ("bare", "paced", "every"):
            best = None
            for _ in range(3):
                out_path = os.path.join(w.dir, "bench.out")
                with open(out_path, "wb") as out, open(w.log, "ab") as err:
                    subprocess.run(["wine", r"C:\bench\search_walk_bench.exe", mode],
                                   env=w.env, cwd=w.prefix, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, timeout=1800, check=True)
                line = open(out_path, encoding="latin-1").read().strip()
                fields = dict(re.findall(r"(\w+)=(\S*)", line))
                if best is None or float(fields["seconds"]) < float(best["seconds"]):
                    best = fields
            seconds = float(best["seconds"])
            print("search (Wine, %-5s): %.3f s  %10.0f entries/s  steps=%s looks=%s "
                  "peak_frames=%s (%s bytes each) found=%s"
                  % (mode, seconds, entries / seconds, best["steps"], best["looks"],
                     best["peak_frames"], best["frame_bytes"], best["folder"]))


if __name__ == "__main__":
    main()
