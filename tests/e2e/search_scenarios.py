#!/usr/bin/env python3
"""End-to-end scenarios of the search for an installed copy (dialog 104):
the installer under Wine with drives mapped to generated trees.

usage: search_scenarios.py NAME      (exit 77: Windows build missing)
"""
import calendar
import os
import sys
import time

import search_drives
import texts
import wine_env

IDYES, IDNO, IDCANCEL = 6, 7, 2
SETUP = r"C:\Setup\QuorvalinexSetup.exe"
DEFAULT_FOLDER = "C:\\Program Files\\Quorvalinex\\"
MARQUEE_DOT = "\uff65"   # code page 932's 0xA5, the half-width middle dot

# (size, local date) of every known release; any time of day will do.
RELEASES = [
    (1015808, "1999-11-01"), (1015808, "2000-01-29"), (1085440, "2000-02-17"),
    (1085440, "2000-03-03"), (1228800, "2000-04-13"), (1302528, "2000-06-13"),
    (1540096, "2001-02-07"), (1564672, "2001-05-26"), (1724416, "2002-05-15"),
    (1912832, "2003-03-30"),
]
EXACT = RELEASES[4]


def check(what, got, expected):
    if got != expected:
        raise AssertionError("%s: got %r, expected %r" % (what, got, expected))


def local_seconds(date, clock="12:00:00"):
    """Seconds of a local time in the tests' zone (JST, UTC+9, no DST)."""
    t = time.strptime(date + " " + clock, "%Y-%m-%d %H:%M:%S")
    return calendar.timegm(t) - 9 * 3600


def copy_of_exe(path, size, date, clock="12:00:00", hidden=False):
    """A sparse stand-in for an installed executable."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(size)
    t = local_seconds(date, clock)
    os.utime(path, (t, t))
    if hidden:
        hide(path)


def hide(path):
    # Where Wine keeps a file's DOS attributes.
    os.setxattr(path, "user.DOSATTRIB", b"0x2")


def bulk(folder, entries, width=40):
    """A bushy tree of empty files, `entries` entries in all."""
    made, level = 0, [folder]
    os.makedirs(folder, exist_ok=True)
    while made < entries:
        nxt = []
        for d in level:
            for i in range(width):
                if made >= entries:
                    return
                open(os.path.join(d, "f%03d.txt" % i), "w").close()
                made += 1
            for i in range(4):
                if made >= entries:
                    return
                sub = os.path.join(d, "d%d" % i)
                os.mkdir(sub)
                nxt.append(sub)
                made += 1
        level = nxt


class Scenario:
    def __init__(self, w):
        self.w = w
        self.root = os.path.join(w.dir, "drives")

    def drive(self, letter):
        return os.path.join(self.root, letter)

    def map(self, **kinds):
        """map(d="fixed", e="removable"): the drives' folders exist first."""
        drives = {}
        for letter, kind in kinds.items():
            os.makedirs(self.drive(letter), exist_ok=True)
            drives[letter] = (self.drive(letter), kind)
        search_drives.map_drives(self.w, drives)
        exe = os.path.join(wine_env.windows_build_dir(), "installer", "QuorvalinexSetup.exe")
        self.w.put_file(exe, SETUP)

    def search(self):
        """Dialog 101 -> install -> Yes to the search question."""
        w = self.w
        w.start(SETUP)
        w.wait("dlg:1001")
        w.click("dlg:1001", 1002)
        w.answer(IDYES, texts.S[2008])

    def proposed(self, folder):
        """Question 2011 shows the folder found; No leads to dialog 103
        proposing it; Cancel there and in dialog 101 ends the program."""
        self.w.answer(IDNO, texts.folder_question(folder, 2011))
        self.check_folder_dialog(folder)

    def check_folder_dialog(self, folder):
        w = self.w
        dialog = w.dump(w.wait("dlg:1006"))
        check("dialog 103 folder", dialog.text(1006), folder)
        w.click("dlg:1006", IDCANCEL)
        w.wait("dlg:1001")
        w.click("dlg:1001", IDCANCEL)
        check("exit code", w.exit_code(), 0)


def found_exact_deep(s):
    """A long walk over D:, then an exact copy deep on E: whose name is in
    capitals and whose time is just after local midnight. The marquee moves
    meanwhile; Yes installs into that folder."""
    bulk(os.path.join(s.drive("d"), "data"), 30000)
    deep = os.path.join(s.drive("e"), "Apps", "Old", "Quorvalinex", "bin")
    copy_of_exe(os.path.join(deep, "QUORVAL.EXE"), EXACT[0], EXACT[1], "00:00:05")
    s.map(d="fixed", e="fixed")
    s.search()
    w = s.w
    first = w.dump(w.wait("dlg:1010")).text(1010)
    check("marquee length", len(first), 45)
    check("marquee characters", set(first), {MARQUEE_DOT, ">"})
    texts_seen = {first}
    deadline = time.monotonic() + 30
    while len(texts_seen) < 3 and time.monotonic() < deadline and w.exists("dlg:1010"):
        try:
            texts_seen.add(w.dump("dlg:1010").text(1010))
        except wine_env.DriverError:
            break   # the search ended between the two calls
        time.sleep(0.1)
    if len(texts_seen) < 3:
        raise AssertionError("the marquee did not move: %r" % texts_seen)
    folder = "E:\\Apps\\Old\\Quorvalinex\\bin\\"
    w.answer(IDYES, texts.folder_question(folder, 2011))
    w.answer(IDNO, texts.S[2012])
    check("exit code", w.exit_code(), 0)
    installed = os.listdir(deep)
    if "ReadMe.txt" not in installed:
        raise AssertionError("not installed into the found folder: %r" % installed)


def exact_over_inexact(s):
    """An inexact copy first in walk order, an exact one later: the exact
    one is proposed."""
    copy_of_exe(os.path.join(s.drive("d"), "old", "Quorval.exe"), 12345, "2010-05-05")
    copy_of_exe(os.path.join(s.drive("e"), "new", "quorval.exe"), EXACT[0], EXACT[1])
    s.map(d="fixed", e="fixed")
    s.search()
    s.proposed("E:\\new\\")


def first_inexact(s):
    """Two inexact copies: the first in walk order (D: before E:, and a
    folder's own files before its subfolders)."""
    copy_of_exe(os.path.join(s.drive("d"), "x", "y", "Quorval.exe"), 1, "2010-05-05")
    copy_of_exe(os.path.join(s.drive("d"), "x", "Quorval.exe"), 2, "2010-05-05")
    copy_of_exe(os.path.join(s.drive("e"), "Quorval.exe"), EXACT[0], "2000-04-14")
    s.map(d="fixed", e="fixed")
    s.search()
    s.proposed("D:\\x\\")


def nothing_found(s):
    """Copies only in a dot folder, a hidden folder and on a removable and a
    network drive: nothing is found and the default folder is proposed."""
    copy_of_exe(os.path.join(s.drive("d"), ".config", "Quorval.exe"), EXACT[0], EXACT[1])
    copy_of_exe(os.path.join(s.drive("d"), "secret", "Quorval.exe"), EXACT[0], EXACT[1])
    hide(os.path.join(s.drive("d"), "secret"))
    copy_of_exe(os.path.join(s.drive("e"), "Quorval.exe"), EXACT[0], EXACT[1])
    copy_of_exe(os.path.join(s.drive("f"), "Quorval.exe"), EXACT[0], EXACT[1])
    s.map(d="fixed", e="removable", f="network")
    s.search()
    s.check_folder_dialog(DEFAULT_FOLDER)


def hidden_exe_found(s):
    """A hidden executable in a searched folder is tested like any file."""
    copy_of_exe(os.path.join(s.drive("d"), "p", "Quorval.exe"), EXACT[0], EXACT[1], hidden=True)
    s.map(d="fixed")
    s.search()
    s.proposed("D:\\p\\")


def stop_long_walk(s):
    """Stop during a walk of tens of thousands of entries: the dialog ends
    with Cancel, so the flow goes back to dialog 101 (a finished search
    would have shown dialog 103 instead)."""
    bulk(s.drive("d"), 80000)
    copy_of_exe(os.path.join(s.drive("d"), "Quorval.exe"), 3, "2010-05-05")
    s.map(d="fixed")
    s.search()
    w = s.w
    w.wait("dlg:1010")
    time.sleep(0.5)
    start = time.monotonic()
    w.click("dlg:1010", IDCANCEL)
    w.wait("dlg:1001")
    print("dialog 101 back %.2f s after Stop" % (time.monotonic() - start))
    check("no dialog 103", w.exists("dlg:1006"), False)
    w.click("dlg:1001", IDCANCEL)
    check("exit code", w.exit_code(), 0)


def release_table(s):
    """Each known release recognised by size and local date, at any time of
    day; the size of a release with a date one day off is not. An inexact
    copy on D: comes first in walk order, so the folder proposed tells
    whether the copy on E: was recognised."""
    copy_of_exe(os.path.join(s.drive("d"), "Quorval.exe"), 7, "2010-05-05")
    s.map(d="fixed", e="fixed")
    cases = [(size, date, clock, True)
             for (size, date), clock in zip(RELEASES, ["00:00:01", "23:59:59"] * 5)]
    cases += [(1015808, "1999-11-02", "12:00:00", False),
              (1912832, "2003-03-29", "23:59:59", False)]
    target = os.path.join(s.drive("e"), "r", "Quorval.exe")
    for size, date, clock, exact in cases:
        copy_of_exe(target, size, date, clock)
        s.search()
        s.proposed("E:\\r\\" if exact else "D:\\")


SCENARIOS = {f.__name__: f for f in (
    found_exact_deep, exact_over_inexact, first_inexact, nothing_found,
    hidden_exe_found, stop_long_walk, release_table)}


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in SCENARIOS:
        sys.exit("usage: search_scenarios.py " + "|".join(SCENARIOS))
    exe = os.path.join(wine_env.windows_build_dir(), "installer", "QuorvalinexSetup.exe")
    if not os.path.exists(exe) or not os.path.exists(wine_env.uidriver_exe()):
        print("skipped: Windows build missing")
        return 77
    with wine_env.WinePrefix("search-" + sys.argv[1]) as w:
        SCENARIOS[sys.argv[1]](Scenario(w))
    print(sys.argv[1] + ": ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
