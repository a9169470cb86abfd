#!/usr/bin/env python3
"""Benchmark (prints figures, asserts nothing): the installer's extraction of
a large payload under Wine against lzhx on the same executable natively.

Under Wine the time runs from the click on OK in dialog 103 to the moment
dialog 102 is gone, measured inside one uidriver run (so no Wine process
start is counted); the folder exists, so no question comes between. The
first slice waits for the dialog's first 200 ms timer tick, which the
target allows for: Wine <= 1.5 x native + 200 ms.

usage: bench_extract.py [RUNS]     (default 3; best run of each side)
  E2E_BIG_BUILD_DIR   the large-payload build (made here if missing, see
                      big_installer.py); LARGE_MB sets its large member's size
  LZHX, QUORVALINEX_WINDOWS_BUILD_DIR, E2E_WORK as for the e2e tests
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import big_installer
import lzh_layout
import scenarios
import wine_env
from scenarios import BOX, FOLDER, IDNO, MENU, PROGRESS, S


def native_ms(exe, runs):
    times = []
    for _ in range(runs):
        out = tempfile.mkdtemp(prefix="bench-native-", dir=wine_env.work_root())
        start = time.monotonic()
        subprocess.run([scenarios.lzhx(), "x", exe, out], check=True, stdout=subprocess.DEVNULL)
        times.append((time.monotonic() - start) * 1000)
        shutil.rmtree(out)
    return times


def wine_ms(exe, runs, total_bytes):
    times = []
    dest = "C:\\Bench\\"
    with wine_env.WinePrefix("bench") as w:
        for _ in range(runs):
            folder = w.unix_path(dest)
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            scenarios.start(w, exe=exe)
            w.click(MENU, 1002)
            scenarios.ask(w, IDNO, S[2008])
            w.wait(FOLDER)
            w.set_text(FOLDER, 1006, dest)
            lines = w.driver("stamp", ";", "click", FOLDER, 1, ";", "wait", PROGRESS, 60000,
                             ";", "gone", PROGRESS, 600000, ";", "stamp", timeout=900)
            ms = float(lines[-1]) - float(lines[0])
            scenarios.ask(w, IDNO, S[2012])
            scenarios.check("exit code", w.exit_code(), 0)
            written = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder))
            scenarios.check("bytes extracted", written, total_bytes)
            times.append(ms)
    return times


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    root = os.environ.get("E2E_BIG_BUILD_DIR") or os.path.join(wine_env.work_root(), "big-installer")
    os.environ["E2E_BIG_BUILD_DIR"] = root
    exe = big_installer.build(root, int(os.environ.get("LARGE_MB", "32")))
    members = lzh_layout.members(exe)
    total = sum(m.original for m in members)
    packed = sum(m.packed for m in members)
    natives = native_ms(exe, runs)
    wines = wine_ms(exe, runs, total)
    native, wine = min(natives), min(wines)
    limit = 1.5 * native + 200
    print("payload: %d members, %.1f MB (%.1f MB packed); best of %d runs each"
          % (len(members), total / 2**20, packed / 2**20, runs))
    for name, best, all_runs in (("lzhx x, native", native, natives),
                                 ("installer under Wine, OK to done", wine, wines)):
        print("%-34s %6.0f ms %6.1f MB/s   runs: %s" % (
            name, best, total / 2**20 / best * 1000, " ".join("%.0f" % t for t in all_runs)))
    print("ratio %.2f; target <= 1.5 x native + 200 ms = %.0f ms: %s"
          % (wine / native, limit, "met" if wine <= limit else "NOT met"))


if __name__ == "__main__":
    main()
