#!/usr/bin/env python3
"""The installer under faults of its surroundings, end to end under Wine: a
destination that fills up, a destination that cannot be written, an
installer file cut short inside its archive.

The destinations are small or read-only tmpfs mounts inside the prefix's
drive C (the tests run as root, which ignores permission bits, so a
read-only mount is the honest way to refuse writing).

usage: fault_scenarios.py NAME   (exit 77: Windows build missing or no mount)
"""
import contextlib
import os
import subprocess
import sys

import lzh_layout
import scenarios
import texts
import wine_env
from scenarios import (IDNO, IDOK, IDYES, MENU, Reference, ask, check, enter_folder,
                       finish, open_folder_dialog, setup_exe, start)
from texts import S


@contextlib.contextmanager
def tmpfs(path, options):
    os.makedirs(path, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path], check=True)
    try:
        yield path
    finally:
        subprocess.run(["umount", "-l", path], check=False)


def install_into(w, dest, ask_create=True):
    """Dialog 101 -> install -> no search -> dialog 103 with dest -> OK."""
    w.click(MENU, 1002)
    ask(w, IDNO, S[2008])
    open_folder_dialog(w, readme=False)
    enter_folder(w, dest)
    if ask_create:
        ask(w, IDYES, texts.folder_question(dest, 2009))


def check_cut_short(w, ref, dest, members):
    """Members before the first missing one are whole; none after it was
    written: nothing half-written is left behind."""
    left = set(os.listdir(w.unix_path(dest)))
    names = [m.name for m in members]
    done = 0
    while done < len(names) and names[done] in left:
        done += 1
    check("files left", sorted(left), sorted(names[:done]))
    ref.check_folder(w.unix_path(dest), names[:done])
    return done


def disk_full(w):
    """The destination's file system fills up during the extraction:
    message 2015, the member being written deleted, the earlier ones whole;
    then the installer installs elsewhere as if nothing had happened."""
    ref = Reference(setup_exe())
    small = w.unix_path("C:\\Small")
    try:
        with tmpfs(small, "size=24k"):
            members = lzh_layout.members(setup_exe())
            start(w)
            dest = "C:\\Small\\Quorvalinex\\"
            install_into(w, dest)
            ask(w, IDOK, S[2015])
            w.wait(MENU)
            done = check_cut_short(w, ref, dest, members)
            if not 0 < done < len(members):
                raise AssertionError("the disk filled after %d members" % done)
            print("disk full after %d of %d members" % (done, len(members)))

            good = "C:\\Roomy\\"
            install_into(w, good)
            ask(w, IDNO, S[2012])
            check("exit code", w.exit_code(), 0)
            ref.check_folder(w.unix_path(good))
    finally:
        ref.close()


def read_only_destination(w):
    """A destination that cannot be written: a file that cannot be made
    gives 2014, a folder that cannot be made 2013; nothing is left behind
    and dialog 101 comes back each time."""
    ro = w.unix_path("C:\\Locked")
    with tmpfs(ro, "ro,size=64k"):
        start(w)
        for dest, ask_create, sid in (("C:\\Locked\\", False, 2014),
                                      ("C:\\Locked\\Sub\\", True, 2013)):
            install_into(w, dest, ask_create)
            ask(w, IDOK, S[sid])
            w.wait(MENU)
            check("files in " + dest, os.listdir(ro), [])
        finish(w)


def cut_running_file(path, size):
    """Puts a cut copy in the running installer's place. Cutting the file
    itself would also take away the resources stored after the archive
    (dialogs, strings) from the running program; the replaced file's pages
    stay with the process while a new open by name finds the cut copy."""
    cut = path + ".cut"
    with open(path, "rb") as src, open(cut, "wb") as dst:
        dst.write(src.read(size))
    os.replace(cut, path)


def cut_installer(w, cuts):
    """The installer file cut inside its archive at each (name, offset):
    message 2016, the members before the cut whole, no part of a member
    left behind. The loader refuses to start a cut executable
    (its resource section runs past the end), so the file is cut once the
    program runs, before the extraction opens it again: what the engine
    reads is the file cut short (see cut_running_file)."""
    ref = Reference(setup_exe())
    try:
        members = lzh_layout.members(setup_exe())
        for what, cut in cuts(members[len(members) // 2]):
            dest = "C:\\Cut%s\\" % what.capitalize()
            start(w)
            cut_running_file(w.unix_path(scenarios.SETUP), cut)
            install_into(w, dest)
            ask(w, IDOK, S[2016])
            w.wait(MENU)
            done = check_cut_short(w, ref, dest, members)
            check(what + ": members whole", done, len(members) // 2)
            finish(w)
    finally:
        ref.close()


def truncated_installer(w):
    """Cut in the middle of a member's data, and 30 bytes into a header."""
    cut_installer(w, lambda m: [("data", m.data_offset + m.packed // 2),
                                ("header", m.offset + 30)])


def truncated_at_member_start(w):
    """Cut within the first 21 bytes of a member's header, too few for any
    header. (A cut exactly where a header begins reads as an archive
    without its end mark, which is a complete archive to every reader.)"""
    cut_installer(w, lambda m: [("headbyte", m.offset + 1), ("head21", m.offset + 21)])


SCENARIOS = {f.__name__: f for f in (disk_full, read_only_destination, truncated_installer,
                                     truncated_at_member_start)}


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in SCENARIOS:
        sys.exit("usage: fault_scenarios.py " + "|".join(SCENARIOS))
    for needed in (setup_exe(), wine_env.uidriver_exe()):
        if not os.path.exists(needed):
            print("skipped: %s is not built" % needed)
            return scenarios.SKIP
    if os.geteuid() != 0:
        print("skipped: mounting a small file system needs root")
        return scenarios.SKIP
    with wine_env.WinePrefix("fault-" + sys.argv[1]) as w:
        SCENARIOS[sys.argv[1]](w)
    print("%s: ok" % sys.argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main())
