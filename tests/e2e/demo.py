#!/usr/bin/env python3
"""The installer at work under Wine.

  demo.py --interactive        run it on the user's display; list what it
                               installed when it ends
  demo.py SHOTS_DIR            a scripted walk on a virtual display through
                               the read-me and install branches, a PNG of
                               every dialog and message box on the way

Uses the build folders the way the tests do (QUORVALINEX_WINDOWS_BUILD_DIR,
LZHX); the prefix lives under E2E_WORK.
"""
import json
import os
import subprocess
import sys
import time

import scenarios
import search_drives
import search_scenarios
import texts
import wine_env
from scenarios import BOX, FOLDER, IDNO, IDOK, IDYES, MENU, PROGRESS, S, SETUP, SETUP_DIR


class Walk:
    def __init__(self, w, shots):
        self.w, self.shots, self.count = w, shots, 0

    def shot(self, name, pattern, window=None):
        """Saves the window matching pattern (or one just dumped), cropped with
        a small margin."""
        window = window or self.w.dump(self.w.wait(pattern))
        self.count += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.count, name))
        full = path + ".full.png"
        left, top, right, bottom = window.rect
        m = 8
        # A window that has just appeared may not be painted yet: while its
        # client area is one flat colour, the picture is taken again.
        for _ in range(25):
            self.w.screenshot(full)
            subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (
                right - left + 2 * m, bottom - top + 2 * m, max(left - m, 0), max(top - m, 0)),
                "+repage", path], check=True)
            cl, ct, cr, cb = window.client
            spread = subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (
                cr - cl, cb - ct, cl, ct), "-format", "%[fx:standard_deviation]", "info:"],
                stdout=subprocess.PIPE, check=True).stdout
            if float(spread or 0) > 0.05:
                break
            time.sleep(0.2)
        os.remove(full)
        print("  " + os.path.basename(path) + "  " + window.title)
        return window


def scripted(shots):
    os.makedirs(shots, exist_ok=True)
    with wine_env.WinePrefix("demo") as w:
        walk = Walk(w, shots)
        # The search walks one fixed drive, D:, holding a generated tree
        # large enough for dialog 104 to stay a moment; nothing is found.
        tree = os.path.join(w.dir, "search-tree")
        search_scenarios.bulk(tree, 30000)
        search_drives.map_drives(w, {"d": (tree, "fixed")})
        scenarios.start(w)
        walk.shot("menu", MENU)

        # Read-me branch: a refused path, then the default folder.
        w.click(MENU, 1001)
        walk.shot("readme-folder", FOLDER)
        scenarios.enter_folder(w, SETUP)
        walk.shot("error-2017", BOX)
        w.click(BOX, IDOK)
        w.gone(BOX)
        scenarios.enter_folder(w, SETUP_DIR + "\\")
        walk.shot("readme-opened", "class:Notepad")
        scenarios.close_notepad(w)

        # Install branch: a search that finds nothing, then the default
        # folder, shortcuts on.
        w.wait(MENU)
        w.click(MENU, 1002)
        walk.shot("question-2008", BOX)
        w.click(BOX, IDYES)
        walk.shot("search", "dlg:1010")
        walk.shot("install-folder", FOLDER)
        w.click(FOLDER, IDOK)
        walk.shot("question-2009", BOX)
        w.click(BOX, IDYES)
        walk.shot("question-2012", BOX)
        w.click(BOX, IDYES)
        walk.shot("application", "exe:Quorval.exe")
        w.close_window("exe:Quorval.exe")
        w.exit_code()

        print("Installed in " + scenarios.DEFAULT_FOLDER + ":")
        folder = w.unix_path(scenarios.DEFAULT_FOLDER)
        for name in sorted(os.listdir(folder)):
            print("  %-20s %9d bytes" % (name, os.path.getsize(os.path.join(folder, name))))
        print("Shortcuts:")
        for path in scenarios.shortcut_paths(w):
            print("  " + os.path.relpath(path, os.path.join(w.prefix, "drive_c")).replace("/", "\\")
                  + ("" if os.path.exists(path) else "  (missing)"))

        # The sample payload is extracted within a tick or two; an installer
        # with a large payload shows dialog 102 at work, and its Stop.
        big = scenarios.big_exe()
        if os.path.exists(big):
            scenarios.start(w, exe=big)
            w.click(MENU, 1002)
            w.click(w.wait(BOX), IDNO)
            scenarios.enter_folder(w, "C:\\Big\\")
            w.click(w.wait(BOX), IDYES)
            # One driver run finds the bar moving and its window, so that
            # the picture is taken while the dialog is still there.
            lines = w.driver("waitpos", PROGRESS, 1004, 10, wine_env.WAIT_MS, ";", "dump", PROGRESS)
            walk.shot("progress", PROGRESS, wine_env.Window(json.loads(lines[1])))
            w.click(PROGRESS, 2, check=False)
            # A fast machine may finish before the Stop arrives.
            box = walk.shot("after-stop", BOX)
            if box.text(0xFFFF) == S[2016]:
                w.click(BOX, IDOK)
                scenarios.finish(w)
            else:
                w.click(BOX, IDNO)
                w.exit_code()
    print("Screenshots: " + os.path.abspath(shots))


def interactive():
    with wine_env.WinePrefix("interactive", use_display=True) as w:
        w.put_file(scenarios.setup_exe(), SETUP)
        print("QuorvalinexSetup.exe is running on " + w.display.name + " (" + w.prefix + ")")
        code = w.start(SETUP).wait()
        print("exit code %d" % code)
        folder = w.unix_path(scenarios.DEFAULT_FOLDER)
        if os.path.isdir(folder):
            print("Installed in " + scenarios.DEFAULT_FOLDER + ": " + ", ".join(sorted(os.listdir(folder))))


if __name__ == "__main__":
    if sys.argv[1:] == ["--interactive"]:
        interactive()
    elif len(sys.argv) == 2:
        scripted(sys.argv[1])
    else:
        sys.exit(__doc__)
