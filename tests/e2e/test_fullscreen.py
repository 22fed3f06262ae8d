"""Full screen (F11): the frame covers the monitor without caption or borders,
the pages are fitted to the new width, and F11 again or Esc (while the search
box is hidden) puts the frame back exactly where it was. Presentation (F5):
one page or spread at a time on black, turned by keys and mouse, and Esc puts
back the window, the panels and the place."""

import subprocess
import time

from brisa import GREY, Brisa, check, driver, equal, main, read_dword, reset_settings, runs, set_dword, xdotool
from test_start import make_pdf

F11, ESCAPE, CONTROL = 0x7A, 0x1B, 0x11
F5, SHIFT, SPACE, PRIOR, NEXT, END, HOME, LEFT, UP, RIGHT, DOWN = 0x74, 0x10, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, \
    0x26, 0x27, 0x28


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


def lit_box(image):
    """(left, top, right, bottom), exclusive, of the pixels that are not black; None when all are."""
    stride = image.width * 3
    rows = [image.pixels[y * stride:(y + 1) * stride] for y in range(image.height)]
    lit = [y for y, row in enumerate(rows) if row.strip(b"\0")]
    if not lit:
        return None
    left = min(len(rows[y]) - len(rows[y].lstrip(b"\0")) for y in lit) // 3
    right = max(len(rows[y].rstrip(b"\0")) + 2 for y in lit) // 3
    return left, lit[0], right, lit[-1] + 1


def presented(app, width, height, centred=True):
    """The lit box of the screen-filling view on black, checked to be centred unless told."""
    image = app.capture(app.view())
    equal((width, height), (image.width, image.height), "the view fills the screen, without scroll bars")
    equal([(0, 0, 0)] * 4, [image.at(0, 0), image.at(width - 1, 0), image.at(0, height - 1),
                            image.at(width - 1, height - 1)], "a black surround")
    box = lit_box(image)
    check(box is not None, "pages in view")
    check(not centred or abs(box[0] - (width - box[2])) <= 1 and abs(box[1] - (height - box[3])) <= 1,
          "the pages centred: %r" % (box,))
    return image, box


def slides(name, size="612x792"):
    path = make_pdf(name, "--pages", "6", "--size", size)
    app = Brisa(path)
    app.wait_title("%s - 1/6 - Brisa" % name)
    return app


# Each step: keys pressed together or a mouse button (xdotool's numbers), and the page then shown.
TURNS = [((NEXT,), 2), ((SPACE,), 3), ((RIGHT,), 4), ((DOWN,), 5), ((END,), 6), ((NEXT,), 6), ((PRIOR,), 5),
         ((LEFT,), 4), ((UP,), 3), ((SHIFT, SPACE), 2), ((HOME,), 1), ((PRIOR,), 1), ("1", 2), ("5", 3), ("3", 2),
         ("4", 1)]


def test_f5_presents_one_page_at_a_time_and_esc_puts_everything_back():
    reset_settings(thumbnails=True)
    with slides("slides.pdf") as app:
        app.move(100, 50, 700, 800)
        before = wait_window(app, (100, 50, 700, 800))
        app.key(DOWN)
        app.key(DOWN)   # a place inside the first page
        app.key(CONTROL, ord("F"))
        app.settle(0.8)
        view = app.view()
        before = app.rects()
        place = app.capture(view)
        app.key(F5)   # from the search box
        width, height = screen_size()
        rects = wait_window(app, (0, 0, width, height))
        equal((0, 0), (rects["Edit"][0], rects["BrisaThumbs"][0]), "the search strip and the thumbnails hidden")
        app.settle(0.8)
        _, box = presented(app, width, height)
        page_height = height - 16
        equal(page_height, box[3] - box[1], "one page, fitted whole")
        check(abs(box[2] - box[0] - page_height * 612 / 792) <= 2, "one page wide: %r" % (box,))
        x, y = app.origin(view)
        xdotool("mousemove", x + width // 2, y + height // 2)
        for keys, page in TURNS:
            if isinstance(keys, str):
                xdotool("click", keys)
            else:
                app.key(*keys)
            app.wait_title("slides.pdf - %d/6 - Brisa" % page)
        app.settle(0.5)
        equal(box, presented(app, width, height)[1], "page 1 as at first")
        app.key(ESCAPE)
        after = wait_window(app, before["window"])
        equal(before, after, "the frame, the view, the search strip and the thumbnails as before")
        app.settle(0.8)
        equal("slides.pdf - 1/6 - Brisa", app.title(), "the same page")
        equal(place.pixels, app.capture(view).pixels, "the same place and zoom, to the pixel")
        equal(None, read_dword("HideThumbs"), "nothing stored")


def test_a_spread_is_presented_whole_and_leaving_keeps_the_page_reached():
    reset_settings()
    set_dword("DoublePage", 1)
    with slides("spreads.pdf") as app:
        app.move(100, 50, 900, 700)
        before = wait_window(app, (100, 50, 900, 700))
        app.settle()
        width, height = screen_size()
        app.key(F5)
        wait_window(app, (0, 0, width, height))
        app.settle(0.8)
        _, cover = presented(app, width, height, centred=False)
        check(cover[0] > width // 2 and cover[2] == width - 8, "the cover alone right of the middle: %r" % (cover,))
        app.key(NEXT)
        app.wait_title("spreads.pdf - 2-3/6 - Brisa")
        app.settle(0.8)
        image, box = presented(app, width, height)
        equal(width - 16, box[2] - box[0], "the spread fitted whole, as wide as the screen allows")
        spine = [image.at(width // 2 + dx, height // 2) for dx in (-3, 0, 3)]
        equal([(0, 0, 0)] * 3, spine, "two pages, the black gap between them in the middle")
        app.key(ESCAPE)
        wait_window(app, before["window"])
        app.settle(0.8)
        equal("spreads.pdf - 2-3/6 - Brisa", app.title(), "the page reached stays the current one")
        equal(GREY, app.capture(app.view()).at(20, 3), "its top at the top of the view")
        app.key(F11)
        app.key(F5)
        app.key(F5)   # F5 leaves too, back to full screen as it was
        app.settle(0.8)
        wait_window(app, (0, 0, width, height))
        check(app.capture(app.view()).at(0, 0) != (0, 0, 0), "the view out of presentation")


def cursor_shown():
    return driver("cursor") == "1"


def test_the_cursor_hides_after_two_seconds_still_and_comes_back_with_motion():
    reset_settings()
    with slides("cursor.pdf") as app:
        view = app.view()
        x, y = app.origin(view)
        xdotool("mousemove", x + 100, y + 100)
        app.key(F5)
        xdotool("mousemove", x + 140, y + 140)
        app.settle(0.5)
        check(cursor_shown(), "shown while it moved lately")
        app.settle(2.5)
        check(not cursor_shown(), "hidden after two seconds without motion")
        xdotool("mousemove", x + 180, y + 180)
        app.settle(0.3)
        check(cursor_shown(), "back with motion")
        app.settle(2.5)
        app.key(ESCAPE)
        app.settle(0.5)
        check(cursor_shown(), "back once the presentation ends")


if __name__ == "__main__":
    main(globals())
