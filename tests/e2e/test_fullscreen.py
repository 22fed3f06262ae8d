"""Full screen (F11): the frame covers the monitor without caption or borders,
the pages are fitted to the new width, and F11 again or Esc (while the search
box is hidden) puts the frame back exactly where it was."""

import subprocess
import time

from brisa import GREY, Brisa, equal, main, reset_settings, runs
from test_start import make_pdf

F11, ESCAPE, CONTROL = 0x7A, 0x1B, 0x11


def screen_size():
    out = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True, timeout=30).stdout
    width, height = out.split()
    return int(width), int(height)


def wait_window(app, expected, timeout=10):
    deadline = time.time() + timeout
    rects = app.rects()
    while rects["window"] != expected and time.time() < deadline:
        time.sleep(0.05)
        rects = app.rects()
    equal(expected, rects["window"], "frame placement")
    return rects


def page_width_on_screen(app):
    image = app.capture(app.view())
    row = image.row(image.height // 2)
    return image.width, max(length for value, _, length in runs([p != GREY for p in row]) if value)


def start():
    reset_settings()
    app = Brisa(make_pdf("full.pdf", "--pages", "6", "--size", "612x792"))
    app.wait_title("full.pdf - 1/6 - Brisa")
    app.settle()
    return app


def test_f11_covers_the_screen_and_f11_restores():
    with start() as app:
        app.move(100, 50, 700, 800)
        before = wait_window(app, (100, 50, 700, 800))
        width, height = screen_size()
        app.key(F11)
        rects = wait_window(app, (0, 0, width, height))
        equal((width, height), rects["client"], "no caption or borders")
        equal((1, 0, 0, width, height), rects["BrisaView"], "the view fills the frame")
        app.settle()
        view_width, page = page_width_on_screen(app)
        equal(view_width - 16, page, "the pages fit the new width")
        equal("full.pdf - 1/6 - Brisa", app.title(), "the same page")
        app.key(F11)
        after = wait_window(app, before["window"])
        equal(before["client"], after["client"], "the client area as before")
        app.settle()
        view_width, page = page_width_on_screen(app)
        equal(view_width - 16, page, "the pages fit the old width again")


def test_esc_restores_once_the_search_box_is_closed():
    with start() as app:
        app.move(100, 50, 700, 800)
        before = wait_window(app, (100, 50, 700, 800))
        width, height = screen_size()
        app.key(CONTROL, ord("F"))
        app.key(F11)   # from the search box too
        wait_window(app, (0, 0, width, height))
        equal(1, app.rects()["Edit"][0], "the search strip keeps its state")
        app.key(ESCAPE)   # closes the search box only
        time.sleep(0.5)
        rects = wait_window(app, (0, 0, width, height))
        equal(0, rects["Edit"][0], "the search box closed")
        app.key(ESCAPE)
        wait_window(app, before["window"])
        app.key(ESCAPE)   # in a window, Esc does nothing more
        time.sleep(0.3)
        wait_window(app, before["window"])


if __name__ == "__main__":
    main(globals())
