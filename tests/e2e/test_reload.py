"""Ctrl+R at the same place and zoom, a broken file kept behind one message; with
the window-menu option, a file rewritten as a build does (truncated, then written
in chunks) followed to its last version, silently."""

import os
import time

from brisa import WM_SYSCOMMAND, Brisa, check, driver, equal, main, message_box, read_dword, reset_settings
from test_goto import open_go_to, type_number
from test_start import make_pdf

IDM_AUTO_RELOAD, CONTROL, DOWN, SUBTRACT = 144, 0x11, 0x28, 0x6D
REWRITES = int(os.environ.get("REWRITES", 10))   # scripts/bench-reload.sh asks for 50


def rewrite(path, pages, chunks=1, stall_after=-1):
    """Truncates, then writes in chunks over 1 s (none for one chunk), stalling 0.8 s after chunk `stall_after`."""
    with open(make_pdf("version.pdf", "--pages", str(pages)), "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        for i in range(chunks):
            f.write(data[i * len(data) // chunks:(i + 1) * len(data) // chunks])
            f.flush()
            time.sleep(0.8 if i == stall_after else (chunks > 1) / chunks)


def test_ctrl_r_keeps_the_place_and_zoom_and_a_broken_file_keeps_the_document():
    reset_settings()
    path = make_pdf("reload.pdf", "--pages", "40")
    with Brisa(path) as app:
        app.wait_title("reload.pdf - 1/40 - Brisa")
        app.key(CONTROL, SUBTRACT)
        type_number(open_go_to(app), 23)
        app.wait_title("reload.pdf - 23/40 - Brisa")
        app.key(DOWN)
        app.settle()
        before = app.capture(app.view())
        rewrite(path, 50)   # page 23 draws the same in either version
        app.key(CONTROL, ord("R"))
        app.wait_title("reload.pdf - 23/50 - Brisa")
        app.settle()
        equal(before.pixels, app.capture(app.view()).pixels, "the same place at the same zoom")
        with open(path, "wb") as f:
            f.write(b"%PDF-1.4\nnot a document any more\n")
        app.key(CONTROL, ord("R"))
        equal("Cannot open this file.", message_box()[1], "the open error")
        check(driver("nomsgbox", 1500, ok=False) is not None, "one message only")
        app.settle()
        equal("reload.pdf - 23/50 - Brisa", app.title(), "the document stays")
        equal(before.pixels, app.capture(app.view()).pixels, "and stays on screen")


def test_auto_reload_follows_a_file_rewritten_as_a_build_does():
    reset_settings()
    path = make_pdf("auto.pdf", "--pages", "30")
    with Brisa(path) as app:
        app.wait_title("auto.pdf - 1/30 - Brisa")
        rewrite(path, 60)
        time.sleep(1.5)
        equal("auto.pdf - 1/30 - Brisa", app.title(), "off by default: nothing reloaded")
        app.post(WM_SYSCOMMAND, IDM_AUTO_RELOAD)
        equal(1, read_dword("AutoReload"), "the menu item stored the option")
        type_number(open_go_to(app), 12)
        for i in range(REWRITES):   # pauses alternately shorter and longer than the settling time
            rewrite(path, 31 + i, chunks=8, stall_after=3 if i == 4 else -1)
            time.sleep(0.9 if i % 2 else 0.1)
        app.wait_title("auto.pdf - 12/%d - Brisa" % (30 + REWRITES))
        check(driver("nomsgbox", 1500, ok=False) is not None, "no message for a half-written file")


if __name__ == "__main__":
    main(globals())
