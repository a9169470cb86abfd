#!/usr/bin/env python3
"""Checks the harness and the window driver on targets of known behaviour
(the driver's own message box, Wine's notepad) before any scenario relies
on them.

usage: harness_test.py
"""
import sys

import wine_env

MB_OKCANCEL_QUESTION = 0x21
MB_YESNO = 0x4
IDCANCEL, IDYES = 2, 6


def check(what, got, expected):
    if got != expected:
        raise AssertionError("%s: got %r, expected %r" % (what, got, expected))


def main():
    with wine_env.WinePrefix("harness") as w:
        driver = r"C:\e2e\uidriver.exe"
        # Japanese text through the command line, the box and back as UTF-8;
        # Esc reaches the box through its dialog manager.
        text = "ﾌｧｲﾙを解凍できません\n２行目 ‘x’"
        w.start(driver, "showbox", MB_OKCANCEL_QUESTION, text, cwd_win="C:\\")
        box = w.dump(w.wait(wine_env.BOX))
        check("box text", box.text(0xFFFF), text)
        check("box caption", box.title, "uidriver")
        w.key(wine_env.BOX, "esc")
        check("Esc answer", w.exit_code(), IDCANCEL)

        # A click posted to a button of a Yes/No box.
        w.start(driver, "showbox", MB_YESNO, "?", cwd_win="C:\\")
        w.answer(IDYES, "?")
        check("Yes answer", w.exit_code(), IDYES)

        # Another program's edit text set and read back; WM_CLOSE by class.
        w.start(r"C:\windows\notepad.exe", cwd_win="C:\\")
        w.wait("class:Notepad")
        w.set_text("class:Notepad", 0, "日本語")
        check("edit text", w.dump("class:Notepad").text(0), "日本語")
        w.close_window("class:Notepad")
        check("notepad exit", w.exit_code(), 0)
        w.gone("class:Notepad")
        check("missing window", w.exists("class:Notepad"), False)
    print("harness: ok")


if __name__ == "__main__":
    sys.exit(main())
