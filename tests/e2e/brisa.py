"""Drives the real Brisa under Xvfb and Wine, as a user would, and reads back
what a user sees. The Wine environment (display, prefix, persistent server) is
prepared by tests/e2e/wine-env.sh; its variables come in through the
environment.

BRISA_EXE_FLAVOUR chooses the build under test: "linux" (the default) runs the
Winelib build of BRISA_BUILD; "windows" runs the Windows build's Brisa.exe
(BRISA_WINDOWS_EXE, by default build/mingw/Brisa.exe) under Wine, staged in a
folder beside the test bridge pdfium.dll and libpdfium.so of BRISA_BUILD. The
driver and every other tool come from BRISA_BUILD either way."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("BRISA_BUILD", os.path.join(TOP, "build", "winelib"))
DRIVER = os.path.join(BUILD, "driver.exe")
WORK = os.environ.get("BRISA_TEST_WORK") or tempfile.mkdtemp(prefix="brisa-e2e-")
os.makedirs(WORK, exist_ok=True)

FLAVOUR = os.environ.get("BRISA_EXE_FLAVOUR", "linux")
if FLAVOUR not in ("linux", "windows"):
    raise SystemExit("BRISA_EXE_FLAVOUR is %r: linux or windows" % FLAVOUR)
WINDOWS = FLAVOUR == "windows"
WINE = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine"


def stage_windows_build():
    """The folder Brisa.exe runs from: the exe, the bridge (as pdfium.dll), the
    library the bridge forwards to, and unrar.dll. Copied again whenever one of them changed."""
    exe = os.environ.get("BRISA_WINDOWS_EXE", os.path.join(TOP, "build", "mingw", "Brisa.exe"))
    stage = os.path.join(BUILD, "windows-stage")
    os.makedirs(stage, exist_ok=True)
    # The Linux build's own unrar.dll serves the Windows build too: Wine loads it like any DLL.
    for source in (exe, os.path.join(BUILD, "bridge", "pdfium.dll"), os.path.join(BUILD, "bridge", "libpdfium.so"),
                   os.path.join(BUILD, "unrar.dll")):
        if not os.path.exists(source):
            raise SystemExit("the Windows flavour needs %s (scripts/build.sh winelib mingw)" % source)
        target = os.path.join(stage, os.path.basename(source))
        if not os.path.exists(target) or os.path.getmtime(target) != os.path.getmtime(source) \
                or os.path.getsize(target) != os.path.getsize(source):
            shutil.copy2(source, target)
    return os.path.join(stage, "Brisa.exe")


def command_for(flavour):
    """How to start one build: the Linux build's Brisa.exe is a launcher script; the
    Windows one is run by Wine's loader."""
    if flavour == "windows":
        return [WINE, stage_windows_build()]
    return [os.path.join(BUILD, "Brisa.exe")]


COMMAND = command_for(FLAVOUR)

WM_CLOSE = 0x0010
WM_SYSCOMMAND = 0x0112
WM_VSCROLL = 0x0115
WM_HSCROLL = 0x0114

ENGLISH = {"LC_ALL": "en_US.UTF-8", "LANG": "en_US.UTF-8", "LC_MESSAGES": "en_US.UTF-8"}
FRENCH = {"LC_ALL": "fr_FR.UTF-8", "LANG": "fr_FR.UTF-8", "LC_MESSAGES": "fr_FR.UTF-8"}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def equal(expected, actual, what=""):
    if expected != actual:
        raise Failure("%s: expected %r, got %r" % (what, expected, actual))


def driver(*args, timeout=30, ok=True):
    started = time.time()
    result = subprocess.run([DRIVER] + [str(a) for a in args], capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0 and ok and time.time() - started < 2:
        # A Wine process can fail to start while the machine is busy: once more.
        result = subprocess.run([DRIVER] + [str(a) for a in args], capture_output=True, text=True, timeout=timeout)
    if ok and result.returncode != 0:
        raise Failure("driver %s failed (%d): %s" % (" ".join(map(str, args)), result.returncode, result.stderr[-400:]))
    return result.stdout.strip() if result.returncode == 0 else None


def registry(*args):
    # On a loaded machine one `wine reg` now and then fails without saying why.
    # A missing key or value is the only failure that is an answer, so anything
    # else is tried again before the caller sees it.
    for attempt in range(4):
        try:
            result = subprocess.run(["wine", "reg"] + list(args), capture_output=True, text=True, timeout=60)
        except subprocess.TimeoutExpired:
            result = subprocess.CompletedProcess(args, 1, "", "wine reg timed out")
        if result.returncode == 0 or "Unable to find" in result.stdout + result.stderr:
            return result
        time.sleep(0.5 * (attempt + 1))
    return result


def set_dword(name, value, key=r"HKCU\Software\Brisa"):
    # A loaded machine can make one `wine reg` fail; a setting silently not
    # written would make the test that relies on it fail for the wrong reason.
    for _ in range(3):
        result = registry("add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
        if result.returncode == 0 and read_dword(name, key) == value:
            return
    check(False, "%s\\%s set to %d: %s" % (key, name, value, result.stderr.strip()[-300:]))


def read_dword(name, key=r"HKCU\Software\Brisa"):
    """The value, or None when it is absent."""
    out = registry("query", key, "/v", name).stdout.replace("\r", "")
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0] == name:
            return int(parts[2], 16)
    return None


def reset_settings(about_on_startup=False, thumbnails=False):
    """A first run's settings, except that the About window stays closed and the
    thumbnail panel hidden (so that the view fills the frame) unless asked for."""
    for _ in range(3):
        registry("delete", r"HKCU\Software\Brisa", "/f")
        if registry("query", r"HKCU\Software\Brisa").returncode != 0:
            break
    else:
        check(False, "HKCU\\Software\\Brisa deleted")
    if not about_on_startup:
        set_dword("HideAboutOnStartup", 1)
    if not thumbnails:
        set_dword("HideThumbs", 1)


def set_dpi(dpi):
    if dpi == 96:
        registry("delete", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/f")
    else:
        set_dword("LogPixels", dpi, key=r"HKCU\Control Panel\Desktop")


class Brisa:
    """One running program, closed at the end of a with block."""

    def __init__(self, *args, language=ENGLISH, cwd=None, wait=True, flavour=None):
        env = dict(os.environ)
        env.update(language)
        command = command_for(flavour) if flavour else COMMAND
        self.process = subprocess.Popen(command + list(args), env=env, cwd=cwd or WORK,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = None
        if wait:
            self.find()

    def find(self, timeout_ms=15000):
        line = driver("find", "Brisa", timeout_ms)
        self.window = int(line.split()[0])
        return self.window

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.process.poll() is None:
            if self.window:
                driver("post", self.window, WM_CLOSE, 0, 0, ok=False)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def title(self):
        return driver("title", self.window)

    def wait_title(self, expected, timeout=10):
        """Titles change asynchronously: wait until it is the expected one."""
        deadline = time.time() + timeout
        title = self.title()
        while title != expected and time.time() < deadline:
            time.sleep(0.05)
            title = self.title()
        equal(expected, title, "window title")
        return title

    def rects(self):
        """{'window': (x, y, w, h), 'client': (w, h), class: (visible, x, y, w, h)}"""
        out = {}
        for line in driver("rects", self.window).splitlines():
            parts = line.split()
            if parts[0] == "window":
                out["window"] = tuple(map(int, parts[1:5]))
            elif parts[0] == "client":
                out["client"] = tuple(map(int, parts[1:3]))
            else:
                out[parts[1]] = tuple(map(int, parts[2:7]))
        return out

    def post(self, message, wparam=0, lparam=0):
        driver("post", self.window, message, wparam, lparam)

    def post_to(self, window, message, wparam=0, lparam=0):
        driver("post", window, message, wparam, lparam)

    def redraw(self, window=None):
        driver("redraw", window or self.window)

    def move(self, x, y, width, height):
        driver("move", self.window, x, y, width, height)

    def wait_title_change(self, old, timeout=10):
        deadline = time.time() + timeout
        title = self.title()
        while title == old and time.time() < deadline:
            time.sleep(0.05)
            title = self.title()
        check(title != old, "the title changed from %r" % old)
        return title

    def view(self):
        """The page view's window handle."""
        return int(driver("child", self.window, "BrisaView"))

    def capture(self, window=None):
        path = os.path.join(WORK, "capture-%d.ppm" % time.monotonic_ns())
        driver("capture", window or self.window, path)
        return Image(path)

    def origin(self, window):
        """Screen position of a window's client area."""
        return tuple(map(int, driver("origin", window).split()))

    def key(self, *keys):
        """Presses virtual keys together (modifiers first) through the system's input."""
        driver("key", self.window, *keys)

    def settle(self, seconds=0.3):
        """Lets queued painting happen before pixels are read."""
        time.sleep(seconds)

    def exit_code(self, timeout=10):
        return self.process.wait(timeout=timeout)


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, timeout=30)


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        header = data.split(b"\n", 3)
        self.width, self.height = map(int, header[1].split())
        self.pixels = header[3]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def row(self, y):
        return [self.at(x, y) for x in range(self.width)]

    def column(self, x):
        return [self.at(x, y) for y in range(self.height)]


def runs(values):
    """[(value, start, length)] for consecutive equal values."""
    out = []
    for i, v in enumerate(values):
        if out and out[-1][0] == v:
            out[-1][2] += 1
        else:
            out.append([v, i, 1])
    return [tuple(r) for r in out]


GREY = (128, 128, 128)
WHITE = (255, 255, 255)


def message_box(timeout_ms=10000):
    """(caption, text, icon) of the message box on screen; closes it."""
    line = driver("msgbox", timeout_ms)
    caption, text, icon = line.split("|")
    return caption, text, icon


def main(tests):
    """Runs every test_* function of a module; exit 1 when any fails."""
    names = sorted(n for n in tests if n.startswith("test_") and callable(tests[n]))
    only = sys.argv[1:]
    unknown = [n for n in only if n not in names]
    if unknown or not names:
        print("no such test: %s" % " ".join(unknown or ["(none in this file)"]))
        sys.exit(1)
    failed = 0
    reset_settings()   # whatever ran before, no About window in front unless a test asks for it
    for name in names:
        if only and name not in only:
            continue
        start = time.time()
        try:
            tests[name]()
            print("ok   %s (%.1f s)" % (name, time.time() - start), flush=True)
        except Exception:
            failed += 1
            print("FAIL %s" % name, flush=True)
            traceback.print_exc()
    sys.exit(1 if failed else 0)
