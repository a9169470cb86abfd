#!/usr/bin/env python3
"""End-to-end scenarios: QuorvalinexSetup.exe under Wine, driven through its
windows as a user would. Each scenario runs in a fresh copy of the prepared
prefix (wine_env.WinePrefix) and checks the texts the user reads, the files
left on disk and the exit code.

usage: scenarios.py NAME     (exit 77: the Windows build is missing)
"""
import json
import os
import subprocess
import sys
import tempfile
import time

import lzh_layout
import texts
import wine_env
from texts import S

SETUP_DIR = "C:\\Setup"
SETUP = SETUP_DIR + "\\QuorvalinexSetup.exe"
DEFAULT_FOLDER = "C:\\Program Files\\Quorvalinex\\"
OPTION_KEY = r"HKCU\Software\Tallowen\Quorvalinex\Option"

MENU, PROGRESS, FOLDER, BOX = "dlg:1001", "dlg:1004", "dlg:1006", wine_env.BOX
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
SKIP = 77


def check(what, got, expected):
    if got != expected:
        raise AssertionError("%s: got %r, expected %r" % (what, got, expected))


def setup_exe():
    return os.environ.get("QUORVALINEX_SETUP_EXE") or os.path.join(
        wine_env.windows_build_dir(), "installer", "QuorvalinexSetup.exe")


def lzhx():
    return os.environ.get("LZHX") or os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "native",
        "tools", "lzhx", "lzhx")


class Reference:
    """The members as the native tool extracts them from the same executable:
    what every extraction under Wine must reproduce, bytes and times."""

    def __init__(self, exe):
        self.dir = tempfile.mkdtemp(prefix="reference-", dir=wine_env.work_root())
        subprocess.run([lzhx(), "x", exe, self.dir], check=True, stdout=subprocess.DEVNULL,
                       env=dict(os.environ, TZ=wine_env.TZ))
        self.names = [m.name for m in lzh_layout.members(exe)]

    def check_file(self, unix_path, name):
        ref = os.path.join(self.dir, name)
        with open(unix_path, "rb") as a, open(ref, "rb") as b:
            if a.read() != b.read():
                raise AssertionError("%s differs from the archive's member" % unix_path)
        check(name + " time", int(os.stat(unix_path).st_mtime), int(os.stat(ref).st_mtime))

    def check_folder(self, unix_dir, names=None):
        for name in names or self.names:
            self.check_file(os.path.join(unix_dir, name), name)

    def close(self):
        subprocess.run(["rm", "-rf", self.dir])


# -- steps shared by the scenarios ---------------------------------------------

def start(w, exe=None, cwd=SETUP_DIR):
    w.put_file(exe or setup_exe(), SETUP)
    program = w.start(SETUP, cwd_win=cwd)
    deadline = time.monotonic() + wine_env.WAIT_MS / 1000
    while not w.exists(MENU):
        if program.poll() is not None:
            raise AssertionError("the installer ended with %d before dialog 101" % program.returncode)
        if time.monotonic() > deadline:
            raise AssertionError("no dialog 101")
        time.sleep(0.2)
    menu = w.dump(MENU)
    check("menu title", menu.title, texts.TITLE)
    for cid, text in texts.DIALOG_101.items():
        check("menu button %d" % cid, menu.text(cid), text)
    if texts.DIALOG_101_PROMPT not in [c["text"] for c in menu.data["children"]]:
        raise AssertionError("dialog 101 lacks its prompt")
    return menu


def ask(w, button, text):
    """Answers the message box that must show text with the installer's
    caption; returns the box."""
    box = w.answer(button, text)
    check("box caption", box.title, texts.TITLE)
    return box


def open_folder_dialog(w, readme):
    folder = w.dump(w.wait(FOLDER))
    check("folder title", folder.title, texts.TITLE)
    check("folder label", folder.text(1005), S[2006] if readme else S[2007])
    for cid, text in texts.DIALOG_103.items():
        check("folder control %d" % cid, folder.text(cid), text)
    for cid in (1008, 1009):
        check("check box %d shown" % cid, folder.visible(cid), not readme)
        if not readme:
            check("check box %d ticked" % cid, folder.checked(cid), True)
    return folder


def enter_folder(w, text):
    w.set_text(FOLDER, 1006, text)
    w.click(FOLDER, IDOK)


def refused(w, typed):
    """After a refused OK the dialog stays with the text as typed."""
    check("text kept", w.dump(FOLDER).text(1006), typed)


def close_notepad(w, name="ReadMe.txt"):
    """Notepad opens untitled and takes the file's name once it has read
    it: wait for the name."""
    w.wait("class:Notepad")
    deadline = time.monotonic() + wine_env.WAIT_MS / 1000
    pad = w.dump("class:Notepad")
    while not pad.title.startswith(name):
        if time.monotonic() > deadline:
            raise AssertionError("notepad shows %r" % pad.title)
        time.sleep(0.2)
        pad = w.dump("class:Notepad")
    w.close_window("class:Notepad")
    w.gone("class:Notepad")


def finish(w):
    """Cancel in dialog 101 ends the program with 0."""
    w.wait(MENU)
    w.click(MENU, IDCANCEL)
    check("exit code", w.exit_code(), 0)


def wait_for_box_without(w, forbidden, ms=wine_env.WAIT_MS):
    """Waits for the next message box, failing if a forbidden dialog shows
    up on the way."""
    deadline = time.monotonic() + ms / 1000
    while time.monotonic() < deadline:
        if w.exists(forbidden):
            raise AssertionError("unexpected window %s" % forbidden)
        if w.exists(BOX):
            return
        time.sleep(0.2)
    raise AssertionError("no message box")


def shortcut_paths(w):
    programs = w.user_folder("AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                             "Programs", S[2004] + ".lnk")
    desktop = w.user_folder("Desktop", S[2005] + ".lnk")
    return programs, desktop


def check_shortcut(path, target):
    with open(path, "rb") as f:
        data = f.read()
    if target.encode("cp932") not in data and target.encode("utf-16-le") not in data:
        raise AssertionError("%s does not point at %s" % (path, target))


# -- scenarios ---------------------------------------------------------------------

def menu_cancel(w):
    """The stop button, Esc and the caption's close box each end with 0."""
    for how in ("button", "esc", "close box"):
        start(w)
        if how == "button":
            w.click(MENU, IDCANCEL)
        elif how == "esc":
            w.key(MENU, "esc")
        else:
            w.driver("sysclose", MENU)
        check("exit code after " + how, w.exit_code(), 0)


def readme_branch(w):
    ref = Reference(setup_exe())
    try:
        # Started from another folder: the default is the installer's own.
        start(w, cwd="C:\\")
        w.click(MENU, 1001)
        folder = open_folder_dialog(w, readme=True)
        check("read-me default", folder.text(1006), SETUP_DIR + "\\")
        w.click(FOLDER, IDOK)
        close_notepad(w)
        readme = w.unix_path(SETUP_DIR + "\\ReadMe.txt")
        ref.check_file(readme, "ReadMe.txt")
        check("files beside the installer",
              sorted(os.listdir(w.unix_path(SETUP_DIR))), ["QuorvalinexSetup.exe", "ReadMe.txt"])

        # Second pass: the file is there; No keeps the dialog, Yes overwrites.
        with open(readme, "wb") as f:
            f.write(b"old")
        w.wait(MENU)
        w.click(MENU, 1001)
        check("default again", open_folder_dialog(w, True).text(1006), SETUP_DIR + "\\")
        w.click(FOLDER, IDOK)
        ask(w, IDNO, texts.folder_question(SETUP_DIR + "\\", 2010))
        refused(w, SETUP_DIR + "\\")
        w.click(FOLDER, IDOK)
        ask(w, IDYES, texts.folder_question(SETUP_DIR + "\\", 2010))
        close_notepad(w)
        ref.check_file(readme, "ReadMe.txt")

        # The read-me form is the install form made shorter by the distance
        # from the first check box to the OK button, buttons raised to it.
        w.wait(MENU)
        w.click(MENU, 1001)
        short = open_folder_dialog(w, readme=True)
        w.click(FOLDER, IDCANCEL)
        w.wait(MENU)
        w.click(MENU, 1002)
        ask(w, IDNO, S[2008])
        tall = open_folder_dialog(w, readme=False)
        d = tall.crect(IDOK)[1] - tall.crect(1008)[1]
        check("shorter by", (tall.rect[3] - tall.rect[1]) - (short.rect[3] - short.rect[1]), d)
        for cid in (IDOK, IDCANCEL):
            moved = [v - o for v, o in zip(short.crect(cid), short.rect[:2] * 2)]
            where = [v - o for v, o in zip(tall.crect(cid), tall.rect[:2] * 2)]
            check("button %d raised" % cid, moved, [where[0], where[1] - d, where[2], where[3] - d])
        w.click(FOLDER, IDCANCEL)
        finish(w)
    finally:
        ref.close()


def folder_checks(w):
    ref = Reference(setup_exe())
    try:
        os.makedirs(w.unix_path("C:\\Work"))
        start(w, cwd="C:\\Work")

        # An existing file is not a folder: error 2017, the dialog stays.
        w.click(MENU, 1001)
        open_folder_dialog(w, readme=True)
        enter_folder(w, SETUP)
        ask(w, IDOK, S[2017])
        refused(w, SETUP)

        # A missing folder: question 2009; No stays, Yes lets the engine
        # create every level.
        deep = "C:\\New\\Deep\\Er"
        enter_folder(w, deep)
        ask(w, IDNO, texts.folder_question(deep, 2009))
        refused(w, deep)
        w.click(FOLDER, IDOK)
        ask(w, IDYES, texts.folder_question(deep, 2009))
        close_notepad(w)
        ref.check_file(w.unix_path(deep + "\\ReadMe.txt"), "ReadMe.txt")

        # An empty text is the current directory; a relative one resolves
        # against it.
        for typed, where, exists in (("", "C:\\Work", True), ("sub", "C:\\Work\\sub", False)):
            w.wait(MENU)
            w.click(MENU, 1001)
            open_folder_dialog(w, readme=True)
            enter_folder(w, typed)
            if not exists:
                ask(w, IDYES, texts.folder_question(where, 2009))
            close_notepad(w)
            ref.check_file(w.unix_path(where + "\\ReadMe.txt"), "ReadMe.txt")

        # A drive root keeps its backslash in the question.
        w.wait(MENU)
        w.click(MENU, 1001)
        open_folder_dialog(w, readme=True)
        with open(w.unix_path("C:\\ReadMe.txt"), "wb") as f:
            f.write(b"old")
        enter_folder(w, "C:\\")
        ask(w, IDNO, "C:\\\n\n" + S[2010])
        w.click(FOLDER, IDCANCEL)
        finish(w)
    finally:
        ref.close()


def install_default(w):
    ref = Reference(setup_exe())
    try:
        programs_lnk, desktop_lnk = shortcut_paths(w)
        target = DEFAULT_FOLDER + "Quorval.exe"
        for answer in (IDNO, IDYES):
            start(w)
            w.click(MENU, 1002)
            ask(w, IDNO, S[2008])
            folder = open_folder_dialog(w, readme=False)
            check("default folder", folder.text(1006), DEFAULT_FOLDER)
            w.click(FOLDER, IDOK)
            if answer == IDNO:   # first run: the folder is still missing
                ask(w, IDYES, texts.folder_question(DEFAULT_FOLDER, 2009))
            w.wait(BOX)
            check("members", len(ref.names), 15)
            ref.check_folder(w.unix_path(DEFAULT_FOLDER))
            check_shortcut(programs_lnk, target)
            check_shortcut(desktop_lnk, target)
            ask(w, answer, S[2012])
            if answer == IDYES:
                w.wait("exe:Quorval.exe")
                w.close_window("exe:Quorval.exe")
                w.gone("exe:Quorval.exe")
            check("exit code", w.exit_code(), 0)
    finally:
        ref.close()


def install_registry_yes(w):
    """A known folder, confirmed: no dialog 103 and no shortcut."""
    ref = Reference(setup_exe())
    try:
        known = "C:\\Apps\\Quorvalinex\\"
        w.reg_add(OPTION_KEY, "ProgramFolder", known)
        start(w)
        w.click(MENU, 1002)
        ask(w, IDYES, texts.folder_question(known, 2011))
        wait_for_box_without(w, FOLDER)
        ref.check_folder(w.unix_path(known))
        for path in shortcut_paths(w):
            check("no shortcut " + path, os.path.exists(path), False)
        ask(w, IDNO, S[2012])
        check("exit code", w.exit_code(), 0)
    finally:
        ref.close()


def install_registry_no(w):
    """A known folder, declined: dialog 103 proposes it."""
    known = "C:\\Apps\\Old"
    w.reg_add(OPTION_KEY, "ProgramFolder", known)
    start(w)
    w.click(MENU, 1002)
    ask(w, IDNO, texts.folder_question(known, 2011))
    check("proposed", open_folder_dialog(w, readme=False).text(1006), known)
    w.click(FOLDER, IDCANCEL)
    finish(w)


def corrupt_installer(w):
    """One byte of a middle member's data flipped: message 2016, that
    member's file removed, the members before it kept, back to dialog 101."""
    ref = Reference(setup_exe())
    try:
        members = lzh_layout.members(setup_exe())
        index = len(members) // 2
        victim = members[index]
        bad = os.path.join(w.dir, "corrupt.exe")
        with open(setup_exe(), "rb") as f:
            data = bytearray(f.read())
        data[victim.data_offset + victim.packed // 2] ^= 0xFF
        with open(bad, "wb") as f:
            f.write(data)
        dest = "C:\\Broken\\"
        start(w, exe=bad)
        w.click(MENU, 1002)
        ask(w, IDNO, S[2008])
        open_folder_dialog(w, readme=False)
        enter_folder(w, dest)
        ask(w, IDYES, texts.folder_question(dest, 2009))
        ask(w, IDOK, S[2016])
        w.wait(MENU)
        left = sorted(os.listdir(w.unix_path(dest)))
        check("files left", left, sorted(m.name for m in members[:index]))
        ref.check_folder(w.unix_path(dest), [m.name for m in members[:index]])
        finish(w)
    finally:
        ref.close()


def big_exe():
    return os.path.join(os.environ.get("E2E_BIG_BUILD_DIR", ""), "build", "installer",
                        "QuorvalinexSetup.exe")


def stop_extraction(w):
    """Stop in dialog 102 in the middle of a large member: its partial file
    is deleted, the members before it stay, message 2016, dialog 101."""
    exe = big_exe()
    members = lzh_layout.members(exe)
    large = max(members, key=lambda m: m.original)
    index = members.index(large)
    check("members before the large one", index > 0, True)
    ref = Reference(exe)
    try:
        dest = "C:\\Big\\"
        start(w, exe=exe)
        w.click(MENU, 1002)
        ask(w, IDNO, S[2008])
        open_folder_dialog(w, readme=False)
        enter_folder(w, dest)
        box = w.dump(w.wait(BOX))
        check("question", box.text(0xFFFF), texts.folder_question(dest, 2009))
        check("box caption", box.title, texts.TITLE)
        # One driver run from the Yes that starts the extraction to the Stop,
        # which lands within milliseconds of the bar passing 10 % of the large
        # member: a driver started afterwards may come too late, since
        # starting a Wine process can take longer than the members before it.
        lines = w.driver("click", BOX, IDYES, ";",
                         "wait", PROGRESS, wine_env.WAIT_MS, ";",
                         "dump", PROGRESS, ";",
                         "waittext", PROGRESS, 1003, large.name, wine_env.WAIT_MS, ";",
                         "waitpos", PROGRESS, 1004, 10, wine_env.WAIT_MS, ";",
                         "click", PROGRESS, IDCANCEL, timeout=300)
        progress = wine_env.Window(json.loads(next(l for l in lines if l.startswith("{"))))
        check("progress title", progress.title, texts.TITLE)
        check("stop button", progress.text(IDCANCEL), texts.DIALOG_102[IDCANCEL])
        if texts.DIALOG_102_PROMPT not in [c["text"] for c in progress.data["children"]]:
            raise AssertionError("dialog 102 lacks its prompt")
        ask(w, IDOK, S[2016])
        w.wait(MENU)
        before = [m.name for m in members[:index]]
        check("files left", sorted(os.listdir(w.unix_path(dest))), sorted(before))
        ref.check_folder(w.unix_path(dest), before)
        finish(w)
    finally:
        ref.close()


def uncreatable_folder(w):
    """A folder below a file cannot be made: message 2013, back to 101."""
    start(w)
    w.click(MENU, 1001)
    open_folder_dialog(w, readme=True)
    below_file = SETUP + "\\sub"
    enter_folder(w, below_file)
    ask(w, IDYES, texts.folder_question(below_file, 2009))
    ask(w, IDOK, S[2013])
    finish(w)


# Names of system DLLs that the installer's process loads, directly or
# through the system's own DLLs, at start or later (shell link, folder
# browser, shell open).
PLANTED_NAMES = ("shcore version uxtheme comctl32 comdlg32 msimg32 propsys dwmapi cryptbase "
                 "profapi userenv secur32 wininet urlmon msctf oleaut32 shfolder linkinfo "
                 "ntshrui apphelp combase shlwapi imm32 winmm").split()


def planted_dll(w):
    """DLLs named like system ones, dropped beside the installer, are never
    loaded by it, through every branch that loads DLLs late."""
    planted = os.path.join(os.path.dirname(wine_env.uidriver_exe()), "planted.dll")
    log = w.unix_path("C:\\planted.log")

    def loaded_by(image):
        if not os.path.exists(log):
            return []
        with open(log, "rb") as f:
            lines = f.read().decode("utf-16-le").splitlines()
        return [line for line in lines if line.endswith(image)]

    # Control: Wine does hand a planted system-named DLL to an ordinary
    # program from its own folder, and the log shows it.
    w.put_file(planted, "C:\\Control\\shcore.dll")
    w.put_file(wine_env.uidriver_exe(), "C:\\Control\\control.exe")
    w.start("C:\\Control\\control.exe", "list", cwd_win="C:\\Control")
    w.exit_code()
    check("control program loaded the planted DLL", len(loaded_by("control.exe")) > 0, True)

    for name in PLANTED_NAMES:
        w.put_file(planted, SETUP_DIR + "\\" + name + ".dll")
    start(w)
    w.click(MENU, 1001)
    open_folder_dialog(w, readme=True)
    w.click(FOLDER, 1007)                       # the shell's folder browser
    w.wait("dlg:14145")                         # its tree view
    w.click("dlg:14145", IDCANCEL)
    w.gone("dlg:14145")
    w.click(FOLDER, IDOK)
    close_notepad(w)
    w.wait(MENU)
    w.click(MENU, 1002)
    ask(w, IDNO, S[2008])
    open_folder_dialog(w, readme=False)
    w.click(FOLDER, IDOK)
    ask(w, IDYES, texts.folder_question(DEFAULT_FOLDER, 2009))
    ask(w, IDYES, S[2012])
    w.wait("exe:Quorval.exe")
    w.close_window("exe:Quorval.exe")
    check("exit code", w.exit_code(), 0)
    check("planted DLLs loaded by the installer", loaded_by("QuorvalinexSetup.exe"), [])


SCENARIOS = {f.__name__: f for f in (
    menu_cancel, readme_branch, folder_checks, install_default, install_registry_yes,
    install_registry_no, corrupt_installer, uncreatable_folder, stop_extraction, planted_dll)}


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in SCENARIOS:
        sys.exit("usage: scenarios.py " + "|".join(SCENARIOS))
    name = sys.argv[1]
    for needed in (big_exe() if name == "stop_extraction" else setup_exe(),
                   wine_env.uidriver_exe()):
        if not os.path.exists(needed):
            print("skipped: %s is not built" % needed)
            return SKIP
    with wine_env.WinePrefix(name) as w:
        SCENARIOS[name](w)
    print("%s: ok" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
