"""Wine harness shared by the end-to-end tests, the demonstration and the
installer benchmark.

Reuse it from another scenario script like this:

    import wine_env
    with wine_env.WinePrefix("my-scenario") as w:       # own display, prefix copy
        w.put_file(setup_exe, r"C:\\Setup\\QuorvalinexSetup.exe")
        w.start(r"C:\\Setup\\QuorvalinexSetup.exe")
        w.wait("dlg:1001")                            # dialog 101 is up
        w.click("dlg:1001", 1002)
        w.answer(7, texts.S[2008])                    # message box: No
        w.dump("dlg:1006").text(1006)                 # dialog 103's folder
        ...
        assert w.exit_code() == 0

A new scenario is a function in a script like scenarios.py, registered by
name in tests/e2e/CMakeLists.txt (e2e_scenarios). Drives are the links in
os.path.join(w.prefix, "dosdevices"); change them before w.start().

Paths come from the environment: E2E_WORK (scratch root, default under
/tmp), QUORVALINEX_WINDOWS_BUILD_DIR (for uidriver.exe). The prepared
prefix is made once per run (`python3 wine_env.py prepare`, a ctest fixture)
and copied for every WinePrefix, so each scenario starts from the same state.
Nothing here sleeps as an assertion: every wait polls up to a generous limit.
"""

import fcntl
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# Wine's message box: a dialog with its icon (1088) and its text static.
BOX = "dlg:1088+65535"
# A server that outlives its last Wine process by this long, no longer: a
# test killed on its timeout leaves no server behind for good.
SERVER_LINGER = "-p30"
WAIT_MS = 60000          # a dialog to appear on a loaded 2-core machine
TZ = "JST-9"             # file times are shown in the host's zone; fix it


def work_root():
    root = os.environ.get("E2E_WORK") or os.path.join(tempfile.gettempdir(), "quorvalinex-e2e")
    os.makedirs(root, exist_ok=True)
    return root


def template_dir():
    return os.path.join(work_root(), "prefix-template")


def windows_build_dir():
    return os.environ.get("QUORVALINEX_WINDOWS_BUILD_DIR") or os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "windows")


def uidriver_exe():
    return os.path.join(windows_build_dir(), "tests", "e2e", "uidriver", "uidriver.exe")


def base_env(prefix, display):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": "win32",
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree,mshtml=",
        "LC_ALL": "ja_JP.UTF-8",
        "TZ": TZ,
        "DISPLAY": display,
        # Wine links the user's shell folders to the Unix home's; keep
        # shortcuts and documents inside the prefix.
        "HOME": os.path.join(prefix, "home"),
        "XDG_CONFIG_HOME": os.path.join(prefix, "home", ".config"),
    })
    env.pop("WAYLAND_DISPLAY", None)
    return env


class Display:
    """A private Xvfb, or the user's display when asked to use it."""

    def __init__(self, use_existing=False):
        self.proc = None
        if use_existing and os.environ.get("DISPLAY"):
            self.name = os.environ["DISPLAY"]
            return
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            self.close()
            raise RuntimeError("Xvfb did not report a display")
        self.name = ":" + number.decode().strip()

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None

    def screenshot(self, png_path):
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.name],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             stdin=subprocess.DEVNULL, timeout=60, check=True)
        subprocess.run(["convert", "xwd:-", png_path], input=xwd.stdout,
                       stdout=subprocess.DEVNULL, timeout=60, check=True)


def _run_quiet(args, env, log, timeout, cwd=None):
    """Runs a Wine command with file/null standard handles (a pipe would be
    held open by the prefix's services)."""
    with open(log, "ab") as out:
        return subprocess.run(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=out, timeout=timeout).returncode


def _stop_server(env, log):
    _run_quiet(["wineserver", "-k"], env, log, 60)
    _run_quiet(["wineserver", "-w"], env, log, 60)


def prepare_template(force=False):
    """Makes the shared 32-bit prefix once; later callers reuse it."""
    target = template_dir()
    stamp = os.path.join(target, ".ready")
    with open(os.path.join(work_root(), "prefix.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(stamp) and not force:
            return target
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(os.path.join(target, "home"))
        log = os.path.join(work_root(), "prefix.log")
        display = Display()
        env = base_env(target, display.name)
        try:
            # A persistent server first, so that the services wineboot starts
            # never inherit a caller's pipe.
            _run_quiet(["wineserver", SERVER_LINGER], env, log, 60)
            if _run_quiet(["wineboot", "-i"], env, log, 600) != 0:
                raise RuntimeError("wineboot failed, see " + log)
            # Without a window manager Wine waits 2 s on every hidden window.
            _run_quiet(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver",
                        "/v", "Managed", "/t", "REG_SZ", "/d", "N", "/f"], env, log, 120)
            # The dialogs ask for the proportional Japanese Gothic system
            # font; without a replacement Wine falls back to a wider one
            # and button texts no longer fit as they do on Windows.
            for face, real in (("ＭＳ Ｐゴシック", "IPAPGothic"), ("MS PGothic", "IPAPGothic"),
                               ("ＭＳ ゴシック", "IPAGothic"), ("MS Gothic", "IPAGothic")):
                _run_quiet(["wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements",
                            "/v", face, "/t", "REG_SZ", "/d", real, "/f"], env, log, 120)
            # Wine defines txtfile but, unlike Windows, does not map .txt to
            # it: the shell would hand a text file to the Linux desktop.
            _run_quiet(["wine", "reg", "add", r"HKCR\.txt", "/ve", "/t", "REG_SZ",
                        "/d", "txtfile", "/f"], env, log, 120)
        finally:
            _stop_server(env, log)   # flushes the registry to disk
            display.close()
        # Shell folders must be real folders inside the prefix, never links
        # to a home directory.
        users = os.path.join(target, "drive_c", "users")
        for root, dirs, files in os.walk(users):
            for name in dirs + files:
                path = os.path.join(root, name)
                if os.path.islink(path):
                    os.unlink(path)
                    os.makedirs(path, exist_ok=True)
        open(stamp, "w").close()
        return target


class WinePrefix:
    """One scenario: its own display, a fresh copy of the prepared prefix,
    its own wineserver. Everything is removed again on exit."""

    def __init__(self, name, use_display=False, keep=False):
        self.name = name
        self.keep = keep or bool(os.environ.get("E2E_KEEP"))
        self.procs = []
        self.display = None
        self.prefix = None
        self.use_display = use_display

    # -- lifecycle -----------------------------------------------------------
    def __enter__(self):
        # A runner stopping the test with SIGTERM still gets the clean-up.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit("e2e: stopped by SIGTERM"))
        try:
            self._open()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        if exc_type is not None and exc_type is not KeyboardInterrupt:
            self._save_evidence()
        self.close()
        return False

    def _save_evidence(self):
        """On a failure: what was on the screen, kept beside the work root."""
        where = os.path.join(work_root(), "failed-" + os.path.basename(self.dir))
        try:
            os.makedirs(where, exist_ok=True)
            self.screenshot(os.path.join(where, "screen.png"))
            with open(os.path.join(where, "windows.json"), "w") as f:
                for window in self.windows():
                    f.write(json.dumps(window, ensure_ascii=False) + "\n")
            for name in os.listdir(self.dir):
                if name.endswith(".log"):
                    shutil.copy(os.path.join(self.dir, name), where)
            print("e2e: evidence of the failure in " + where, file=sys.stderr)
        except Exception as e:   # evidence is a help, never a second failure
            print("e2e: could not save evidence: %s" % e, file=sys.stderr)

    def _open(self):
        template = prepare_template()
        self.dir = tempfile.mkdtemp(prefix=self.name + "-", dir=work_root())
        self.prefix = os.path.join(self.dir, "prefix")
        subprocess.run(["cp", "-a", template, self.prefix], check=True, timeout=300)
        self.log = os.path.join(self.dir, "wine.log")
        self.display = Display(self.use_display)
        self.env = base_env(self.prefix, self.display.name)
        _run_quiet(["wineserver", SERVER_LINGER], self.env, self.log, 60)
        driver = uidriver_exe()
        if not os.path.exists(driver):
            raise RuntimeError("uidriver.exe not built: " + driver)
        self.put_file(driver, r"C:\e2e\uidriver.exe")
        # The first Wine process starts the prefix's services; give it the
        # time here rather than inside a scenario's first wait.
        self.driver("list", timeout=300)

    def close(self):
        for p in self.procs:
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except OSError:
                    pass
        if self.prefix and os.path.isdir(self.prefix):
            try:
                _stop_server(self.env, self.log)
            except Exception:
                pass
        for p in self.procs:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                pass
        if self.display:
            self.display.close()
        if self.prefix and not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    # -- paths and files -----------------------------------------------------
    def unix_path(self, win_path):
        """C:\\a\\b -> the file in this prefix's drive_c."""
        drive, rest = win_path[0].lower(), win_path[2:].lstrip("\\")
        root = os.path.realpath(os.path.join(self.prefix, "dosdevices", drive + ":"))
        return os.path.join(root, *[p for p in rest.split("\\") if p])

    def put_file(self, src, win_path):
        dst = self.unix_path(win_path)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)
        return dst

    def user_folder(self, *parts):
        """A folder of the prefix's user profile, e.g. ("Desktop",)."""
        users = os.path.join(self.prefix, "drive_c", "users")
        names = [n for n in os.listdir(users) if n.lower() not in ("public",)]
        return os.path.join(users, names[0], *parts)

    # -- processes -----------------------------------------------------------
    def start(self, win_exe, *args, cwd_win=None, log_name="program.log"):
        """Starts a Windows program; returns its Popen. Its exit code is the
        program's own (wine hands it through)."""
        cwd = self.unix_path(cwd_win) if cwd_win else self.unix_path(win_exe.rsplit("\\", 1)[0])
        out = open(os.path.join(self.dir, log_name), "ab")
        p = subprocess.Popen(["wine", win_exe] + [str(a) for a in args], env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                             stdout=out, stderr=out, start_new_session=True)
        out.close()
        self.procs.append(p)
        self.program = p
        return p

    def exit_code(self, timeout=WAIT_MS / 1000):
        return self.program.wait(timeout)

    def reg_add(self, key, value, data, kind="REG_SZ"):
        args = ["wine", "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f"]
        if _run_quiet(args, self.env, self.log, 120) != 0:
            raise RuntimeError("reg add failed: %s %s" % (key, value))

    def screenshot(self, png_path):
        self.display.screenshot(png_path)

    # -- the UI driver ---------------------------------------------------------
    def driver(self, *args, timeout=None, check=True):
        """Runs uidriver.exe with one or more commands (separated by ";");
        returns its output lines. Raises on failure unless check is False."""
        out_path = os.path.join(self.dir, "driver.out")
        limit = timeout or 120
        with open(out_path, "wb") as out, open(self.log, "ab") as err:
            rc = subprocess.run(["wine", r"C:\e2e\uidriver.exe"] + [str(a) for a in args],
                                env=self.env, cwd=self.prefix, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=err, timeout=limit).returncode
        with open(out_path, "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
        if check and rc != 0:
            raise DriverError("uidriver %s -> %d: %s" % (" ".join(map(str, args)), rc, lines))
        return lines

    def wait(self, pattern, ms=WAIT_MS):
        """Waits for a window; returns the pattern for chaining."""
        self.driver("wait", pattern, ms, timeout=ms / 1000 + 120)
        return pattern

    def gone(self, pattern, ms=WAIT_MS):
        self.driver("gone", pattern, ms, timeout=ms / 1000 + 120)

    def exists(self, pattern):
        return self.driver("wait", pattern, 0, check=False) != ["null"]

    def dump(self, pattern):
        return Window(json.loads(self.driver("dump", pattern)[0]))

    def windows(self):
        return json.loads(self.driver("list")[0])

    def click(self, pattern, control_id, check=True):
        self.driver("click", pattern, control_id, check=check)

    def set_text(self, pattern, control_id, text):
        self.driver("settext", pattern, control_id, text)

    def key(self, pattern, name):
        self.driver("key", pattern, name)

    def close_window(self, pattern):
        self.driver("close", pattern)

    def answer(self, button_id, expect_text=None):
        """Waits for a message box, checks its text when asked, presses a
        button; returns the box as it was."""
        box = self.dump(self.wait(BOX))
        if expect_text is not None and box.text(0xFFFF) != expect_text:
            raise AssertionError("message box text %r, expected %r"
                                 % (box.text(0xFFFF), expect_text))
        self.click(BOX, button_id)
        self.gone_handle(box)
        return box

    def gone_handle(self, window, ms=WAIT_MS):
        """Waits until a dumped window no longer exists (by its handle)."""
        deadline = time.monotonic() + ms / 1000
        while time.monotonic() < deadline:
            handles = [w["hwnd"] for w in self.windows()]
            if window.hwnd not in handles:
                return
            time.sleep(0.1)
        raise AssertionError("window %s did not go away" % window.hwnd)


class DriverError(RuntimeError):
    pass


class Window:
    """A dumped top-level window and its controls."""

    def __init__(self, data):
        self.data = data
        self.hwnd = data["hwnd"]
        self.title = data["title"]
        self.rect = data["rect"]
        self.client = data["client"]
        self.controls = {}
        for c in data.get("children", []):
            self.controls.setdefault(c["id"] & 0xFFFF, c)

    def control(self, cid):
        if cid not in self.controls:
            raise AssertionError("no control %d in %s" % (cid, self.title))
        return self.controls[cid]

    def text(self, cid):
        return self.control(cid)["text"]

    def visible(self, cid):
        return self.control(cid)["visible"]

    def checked(self, cid):
        return self.control(cid).get("check") == 1

    def pos(self, cid):
        return self.control(cid).get("pos")

    def crect(self, cid):
        return self.control(cid)["rect"]


if __name__ == "__main__":
    # `wine_env.py prepare` makes the shared prefix (ctest's fixture setup);
    # `wine_env.py clean` removes it again.
    if sys.argv[1:] == ["prepare"]:
        print(prepare_template(force=True))
    elif sys.argv[1:] == ["clean"]:
        shutil.rmtree(template_dir(), ignore_errors=True)
    else:
        sys.exit("usage: wine_env.py prepare|clean")
