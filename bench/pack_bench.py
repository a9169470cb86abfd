#!/usr/bin/env python3
"""Packing benchmark: lzhpack against `jlha ao52q` on one generated corpus,
side by side in one run, then the decode speed of lzhpack's archive through
lzhx (checked byte for byte).

usage: pack_bench.py BUILD_DIR [MB] [ROUNDS]
  BUILD_DIR  a native build holding tools/lzhpack/lzhpack and tools/lzhx/lzhx
  MB         corpus size in megabytes (default 32)
  ROUNDS     runs of each packer; the best is reported (default 3)
"""
import filecmp
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(command, cwd=None):
    """Wall seconds and CPU seconds (user + system) of one child run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    mb = float(sys.argv[2]) if len(sys.argv) > 2 else 32
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    lzhpack = os.path.join(build, "tools/lzhpack/lzhpack")
    lzhx = os.path.join(build, "tools/lzhx/lzhx")
    work = tempfile.mkdtemp(prefix="pack_bench.")
    try:
        corpus = os.path.join(work, "corpus")
        subprocess.run([sys.executable, os.path.join(HERE, "pack_gen.py"), corpus, str(mb)],
                       check=True)
        names = sorted(os.listdir(corpus))
        total = sum(os.path.getsize(os.path.join(corpus, n)) for n in names)
        ours = os.path.join(work, "lzhpack.lzh")
        theirs = os.path.join(work, "jlha.lzh")
        runs = {
            "lzhpack": [lzhpack, "--time=0", ours] + names,
            "jlha ao52q": ["jlha", "ao52q", theirs] + names,
        }
        best = {}
        for _ in range(rounds):
            for label, command in runs.items():  # alternate, so load hits both alike
                target = ours if label == "lzhpack" else theirs
                if os.path.exists(target):
                    os.remove(target)  # jlha would add to an old archive
                wall, cpu = timed(command, cwd=corpus)
                w, c = best.get(label, (wall, cpu))
                best[label] = (min(w, wall), min(c, cpu))
        sizes = {"lzhpack": os.path.getsize(ours), "jlha ao52q": os.path.getsize(theirs)}

        out = os.path.join(work, "out")
        decode = min(timed([lzhx, "x", ours, out + str(i)])[0] for i in range(rounds))
        for n in names:
            if not filecmp.cmp(os.path.join(corpus, n), os.path.join(out + "0", n), shallow=False):
                sys.exit("lzhx output differs for " + n)

        print("corpus: %d files, %d bytes (pack_gen.py, %g MB)" % (len(names), total, mb))
        print("%-11s %12s %8s %9s %9s %10s" % ("packer", "archive", "ratio", "wall s", "cpu s",
                                                "MB/s wall"))
        for label in runs:
            wall, cpu = best[label]
            print("%-11s %12d %7.2f%% %9.2f %9.2f %10.1f" % (
                label, sizes[label], 100.0 * sizes[label] / total, wall, cpu,
                total / 1e6 / wall))
        j, p = best["jlha ao52q"], best["lzhpack"]
        print("lzhpack vs jlha: archive %+.2f%%, %.2fx the speed (wall), %.2fx (cpu)" % (
            100.0 * (sizes["lzhpack"] - sizes["jlha ao52q"]) / sizes["jlha ao52q"],
            j[0] / p[0], j[1] / p[1]))
        print("lzhx decode of lzhpack's archive: %.2f s, %.1f MB/s" % (decode, total / 1e6 / decode))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
