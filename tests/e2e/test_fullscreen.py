"""Full screen (F11): the frame covers the monitor without caption or borders,
the pages are fitted to the new width, and F11 again or Esc (while the search
box is hidden) puts the frame back exactly where it was. Presentation (F5):
one page or spread at a time on black, turned by keys and mouse, and Esc puts
back the window, the panels and the place."""

import subprocess
import time

from brisa import GREY, Brisa, check, driver, equal, main, read_dword, reset_settings, runs, xdotool
from test_start import make_pdf

F11, ESCAPE, CONTROL, F4, F5, SHIFT = 0x7A, 0x1B, 0x11, 0x73, 0x74, 0x10
SPACE, PRIOR, NEXT, END, HOME, LEFT, UP, RIGHT, DOWN = range(0x20, 0x29)


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


def presented(app, width, height):
    """The box (left, top, right, bottom) of what is not black in the view, which fills the screen
    without scroll bars, its corners black; and the view's image."""
    image = app.capture(app.view())
    equal((width, height), (image.width, image.height), "the view fills the screen")
    equal({(0, 0, 0)}, {image.at(x, y) for x in (0, width - 1) for y in (0, height - 1)}, "a black surround")
    rows = [image.pixels[y * width * 3:(y + 1) * width * 3] for y in range(height)]
    lit = [y for y, row in enumerate(rows) if row.strip(b"\0")] or [0]
    left = min(len(rows[y]) - len(rows[y].lstrip(b"\0")) for y in lit) // 3
    return (left, lit[0], max(len(rows[y].rstrip(b"\0")) + 2 for y in lit) // 3, lit[-1] + 1), image


# Keys pressed together, or a mouse button as xdotool numbers it, and the page then shown.
TURNS = [((NEXT,), 2), ((SPACE,), 3), ((RIGHT,), 4), ((DOWN,), 5), ((END,), 6), ((NEXT,), 6), ((PRIOR,), 5),
         ((LEFT,), 4), ((UP,), 3), ((SHIFT, SPACE), 2), ((HOME,), 1), ((PRIOR,), 1), ("1", 2), ("5", 3), ("3", 2),
         ("4", 1)]


def test_f5_presents_one_page_at_a_time_and_esc_puts_everything_back():
    with start() as app:
        app.move(100, 50, 700, 800)
        wait_window(app, (100, 50, 700, 800))
        app.key(F4)
        app.key(DOWN)   # a place inside the first page
        app.key(CONTROL, ord("F"))
        app.settle(0.8)
        before, place = app.rects(), app.capture(app.view())
        app.key(F5)   # from the search box
        width, height = screen_size()
        rects = wait_window(app, (0, 0, width, height))
        equal((0, 0), (rects["Edit"][0], rects["BrisaThumbs"][0]), "the search strip and the thumbnails hidden")
        app.settle(0.8)
        left, top, right, bottom = presented(app, width, height)[0]
        equal((height - 16, 0, 0), (bottom - top, left + right - width, top + bottom - height), "fitted, centred")
        check(abs(right - left - (height - 16) * 612 / 792) <= 2, "one page wide: %r" % ((left, right),))
        x, y = app.origin(app.view())
        xdotool("mousemove", x + width // 2, y + height // 2)
        for keys, page in TURNS:
            xdotool("click", keys) if isinstance(keys, str) else app.key(*keys)
            app.wait_title("full.pdf - %d/6 - Brisa" % page)
        app.key(ESCAPE)
        equal(before, wait_window(app, before["window"]), "the frame, the view and both panels as before")
        app.settle(0.8)
        equal("full.pdf - 1/6 - Brisa", app.title(), "the same page")
        equal(place.pixels, app.capture(app.view()).pixels, "the same place and zoom, to the pixel")
        equal(0, read_dword("HideThumbs"), "nothing stored")


def test_a_spread_is_presented_whole_and_leaving_puts_back_the_place():
    with start() as app:
        app.key(ord("D"))
        app.settle(0.5)
        before, title, place = app.rects(), app.title(), app.capture(app.view())
        width, height = screen_size()
        app.key(F5)
        app.key(NEXT)
        app.wait_title("full.pdf - 2-3/6 - Brisa")
        app.settle(0.8)
        (left, _, right, _), image = presented(app, width, height)
        equal((8, width - 8), (left, right), "the spread fitted whole, centred")
        equal((0, 0, 0), image.at(width // 2, height // 2), "two pages, the gap between them in the middle")
        app.key(F5)
        wait_window(app, before["window"])
        app.settle(0.8)
        equal(title, app.title(), "the place left, not the page presented last")
        equal(place.pixels, app.capture(app.view()).pixels, "the same place, to the pixel")


def test_the_cursor_hides_after_two_seconds_still_and_comes_back_with_motion():
    with start() as app:
        x, y = app.origin(app.view())
        app.key(F5)
        for dx, wait, shown in [(40, 0.5, "1"), (40, 2.5, "0"), (80, 0.3, "1"), (80, 2.5, "0")]:
            xdotool("mousemove", x + dx, y + dx)
            app.settle(wait)
            equal(shown, driver("cursor"), "cursor shown after %.1f s still" % wait)
        app.key(ESCAPE)
        app.settle(0.5)
        equal("1", driver("cursor"), "back once the presentation ends")

if __name__ == "__main__":
    main(globals())
