"""The thumbnail panel as a user sees it: its width at 96 and 144 dpi, the
miniatures drawn in idle time (the pages' pictures, not white boxes), the
highlight that follows the view, clicks that go to a page, F4 and the system
menu with HideThumbs kept across starts, a process that goes idle when there
is nothing left to draw, and a window that answers keys while it draws; for
comics, the same panel filled by the decode worker."""

import os
import statistics
import time

from brisa import (WHITE, WM_SYSCOMMAND, Brisa, check, driver, equal, main, read_dword, reset_settings, set_dpi,
                   xdotool)
from test_comics import COLOURS, cbz, image, near
from test_start import make_pdf

BACKGROUND = (74, 77, 85)
HIGHLIGHT = (91, 132, 232)
NUMBER = (228, 231, 238)
IDM_THUMBNAILS = 48
WM_VSCROLL = 0x0115
SB_PAGEDOWN = 3
VK = {"F4": 0x73, "next": 0x22, "end": 0x23, "home": 0x24}


def s(length, dpi=96):
    """A 96-dpi length at the given resolution, rounded as MulDiv does."""
    return (length * dpi + 48) // 96


def miniature_size(width, height, dpi=96):
    aspect = height / width if width > 0 else 1.4
    band = s(96, dpi)
    h = int(band * aspect + 0.5)
    w = band
    if h > 2 * band:
        h = 2 * band
        w = int(2 * band / aspect + 0.5)
    return max(w, 1), max(h, 1)


class Column:
    """The panel's column for pages all of one size, at 96 dpi."""

    def __init__(self, count, width=612, height=792):
        self.count = count
        self.w, self.h = miniature_size(width, height)
        self.item = self.h + s(22) + s(6)
        self.height = s(12) + count * self.item + s(12)
        self.x = s(12) + (s(96) - self.w) // 2

    def top(self, page):
        """Content y of a page's miniature (pages from 0)."""
        return s(12) + page * self.item


def panel_of(app):
    return int(driver("child", app.window, "BrisaThumbs"))


def is_dark(pixel):
    return sum(pixel) < 3 * 160


def dark_pixels(image, column, page, scroll=0):
    """How many pixels of a page's miniature are clearly darker than paper."""
    top = column.top(page) - scroll
    count = 0
    for y in range(max(top, 0), min(top + column.h, image.height)):
        for x in range(column.x, column.x + column.w):
            count += is_dark(image.at(x, y))
    return count


def wait_until(condition, timeout=20.0, step=0.2):
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value or time.time() > deadline:
            return value
        time.sleep(step)


def process_cpu_ticks(app):
    """User and system CPU time of the program's process, in clock ticks."""
    with open("/proc/%d/stat" % app.process.pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def wait_for_idle(app, quiet=1.5, timeout=60.0):
    """True once the process's CPU time has stood still for `quiet` seconds."""
    deadline = time.time() + timeout
    last, since = process_cpu_ticks(app), time.time()
    while time.time() < deadline:
        time.sleep(0.25)
        now = process_cpu_ticks(app)
        if now != last:
            last, since = now, time.time()
        elif time.time() - since >= quiet:
            return True
    return False


def highlight_top(image, column):
    """The first row of the highlight beside the miniatures, or None."""
    x = column.x - 2
    for y in range(image.height):
        if image.at(x, y) == HIGHLIGHT:
            return y
    return None


def open_with_panel(name, *pdf_args):
    reset_settings(thumbnails=True)
    path = make_pdf(name, *pdf_args)
    app = Brisa(path)
    return app


def test_first_run_shows_the_panel_at_96_and_144_dpi():
    path = make_pdf("width.pdf", "--pages", "5")
    for dpi in (96, 144):
        reset_settings(thumbnails=True)   # no HideThumbs at all: a first run
        set_dpi(dpi)
        try:
            with Brisa(path) as app:
                app.wait_title("width.pdf - 1/5 - Brisa")
                app.settle()
                rects = app.rects()
                client_width, client_height = rects["client"]
                visible, x, y, width, height = rects["BrisaThumbs"]
                _, view_x, view_y, view_width, view_height = rects["BrisaView"]
                # The view's vertical bar is the system's scroll-bar width, as is the panel's.
                scroll_bar = view_width - app.capture(app.view()).width
                equal((1, 0, 0, client_height), (visible, x, y, height), "panel at %d dpi" % dpi)
                equal(s(96, dpi) + 2 * s(12, dpi) + scroll_bar, width, "panel width at %d dpi" % dpi)
                equal((width, 0, client_width - width, client_height), (view_x, view_y, view_width, view_height),
                      "the view takes the rest at %d dpi" % dpi)
                equal(None, read_dword("HideThumbs"), "nothing written by a start")
        finally:
            set_dpi(96)
    # Without a document there is no panel.
    reset_settings(thumbnails=True)
    with Brisa() as app:
        app.wait_title("Brisa")
        rects = app.rects()
        equal(0, rects["BrisaThumbs"][0], "no panel without a document")
        equal(rects["client"][0], rects["BrisaView"][3], "the view fills the frame")


def test_miniatures_are_the_pages_drawn_in_idle_time():
    column = Column(12)
    with open_with_panel("pictures.pdf", "--pages", "12") as app:
        app.wait_title("pictures.pdf - 1/12 - Brisa")
        panel = panel_of(app)
        image = wait_until(lambda: (lambda i: i if dark_pixels(i, column, 4) > 20 else None)(app.capture(panel)))
        check(image is not None, "the fifth miniature gets drawn")
        in_sight = [p for p in range(12) if column.top(p) < image.height]
        check(len(in_sight) >= 5, "several miniatures in sight: %r" % in_sight)
        for page in in_sight:
            area = column.w * min(column.h, image.height - column.top(page))
            dark = dark_pixels(image, column, page)
            check(20 < dark < area // 2, "miniature %d shows the page's text and border (%d dark pixels)" % (page + 1, dark))
        equal(BACKGROUND, image.at(2, 2), "panel background")
        equal(BACKGROUND, image.at(image.width - 1, column.top(1) - 1), "background at the right edge")
        # The current page's highlight: s(4) around its miniature, only there.
        top = column.top(0)
        equal(HIGHLIGHT, image.at(column.x - 2, top + 20), "highlight left of page 1")
        equal(HIGHLIGHT, image.at(column.x + column.w + 2, top + 20), "highlight right of page 1")
        equal(HIGHLIGHT, image.at(column.x + 20, top - 3), "highlight above page 1")
        equal(BACKGROUND, image.at(column.x - 2, column.top(1) + 20), "no highlight beside page 2")
        # The page number in its band, centred under the miniature.
        band = [(x, y) for y in range(top + column.h + s(4), top + column.h + s(4) + s(22))
                for x in range(image.width) if image.at(x, y) == NUMBER]
        check(band, "the page number is drawn")
        centre = (min(x for x, _ in band) + max(x for x, _ in band)) / 2
        check(abs(centre - image.width / 2) <= 3, "number centred: %.1f in %d" % (centre, image.width))


def test_page_that_cannot_be_loaded_is_a_white_box_with_its_number():
    path = make_pdf("broken.pdf", "--pages", "3")
    with open(path, "rb") as f:
        data = f.read()
    # The second entry of the page list names an object that does not exist.
    kids = data.index(b"/Kids [")
    second = data.index(b" R ", kids) + 3
    end = data.index(b" 0 R", second)
    data = data[:second] + b"99" + data[end:]
    with open(path, "wb") as f:
        f.write(data)
    column = Column(3)
    reset_settings(thumbnails=True)
    with Brisa(path) as app:
        app.wait_title("broken.pdf - 1/3 - Brisa")
        panel = panel_of(app)
        image = wait_until(lambda: (lambda i: i if dark_pixels(i, column, 2) > 20 else None)(app.capture(panel)))
        check(image is not None, "the third miniature gets drawn")
        check(dark_pixels(image, column, 0) > 20, "the first miniature is drawn")
        top = column.top(1)
        box = {image.at(x, y) for y in range(top, top + column.h) for x in range(column.x, column.x + column.w)}
        equal({WHITE}, box, "the unreadable page's miniature")
        label = [1 for y in range(top + column.h, top + column.h + s(26)) for x in range(image.width)
                 if image.at(x, y) == NUMBER]
        check(label, "its page number is drawn")


def expected_scroll(column, panel_height, scroll, highlighted, page):
    """Where the panel scrolls when the view's current page becomes `page`."""
    def clamp(p):
        return max(min(p, column.height - panel_height), 0)
    if page == highlighted:
        return scroll
    top = column.top(page)
    if top - s(6) < scroll:
        return clamp(top - s(12))
    if top + s(22) + column.h > scroll + panel_height:
        return clamp(top + s(22) + s(12) + column.h - panel_height)
    return scroll


def test_highlight_follows_the_view():
    count = 40
    column = Column(count)
    with open_with_panel("follow.pdf", "--pages", str(count)) as app:
        app.wait_title("follow.pdf - 1/%d - Brisa" % count)
        app.settle()
        panel = panel_of(app)
        panel_height = app.capture(panel).height
        scroll, highlighted, scrolled = 0, 0, 0
        moves = [VK["next"]] * 12 + [VK["end"], VK["home"], VK["next"], VK["next"]]
        for key in moves:
            app.key(key)
            app.settle(0.4)
            page = int(app.title().split(" - ")[1].split("/")[0]) - 1
            scroll = expected_scroll(column, panel_height, scroll, highlighted, page)
            highlighted = page
            scrolled = max(scrolled, scroll)
            image = app.capture(panel)
            equal(column.top(page) - scroll - s(4), highlight_top(image, column),
                  "highlight of page %d (panel scrolled to %d)" % (page + 1, scroll))
        check(scrolled > 0, "the panel scrolled to keep the highlight in sight")


def test_a_click_on_a_miniature_goes_to_its_page():
    count = 30
    column = Column(count)
    with open_with_panel("click.pdf", "--pages", str(count)) as app:
        app.wait_title("click.pdf - 1/%d - Brisa" % count)
        app.settle()
        panel = panel_of(app)
        x, y = app.origin(panel)
        xdotool("mousemove", x + 60, y + column.top(4) + 30, "click", "1")
        app.wait_title("click.pdf - 5/%d - Brisa" % count)
        app.settle()
        equal(column.top(4) - s(4), highlight_top(app.capture(panel), column), "the highlight moved to page 5")
        xdotool("mousemove", x + 5, y + column.top(2) - 3, "click", "1")   # the gap above page 3, at the far left
        app.wait_title("click.pdf - 3/%d - Brisa" % count)
        xdotool("mousemove", x + 60, y + 3, "click", "1")   # the top margin: nothing
        app.settle()
        equal("click.pdf - 3/%d - Brisa" % count, app.title(), "a click in the margin")
        # The keyboard is the view's again.
        app.key(VK["end"])
        app.wait_title("click.pdf - %d/%d - Brisa" % (count, count))


def test_f4_and_the_system_menu_toggle_the_panel_and_remember_it():
    path = make_pdf("toggle.pdf", "--pages", "4")
    reset_settings(thumbnails=True)

    def placement(app):
        rects = app.rects()
        return rects["BrisaThumbs"][0], rects["BrisaView"][1]

    with Brisa(path) as app:
        app.wait_title("toggle.pdf - 1/4 - Brisa")
        shown = placement(app)
        check(shown[0] == 1 and shown[1] > 0, "shown on a first run: %r" % (shown,))
        app.key(VK["F4"])
        app.settle()
        equal((0, 0), placement(app), "F4 hides the panel and the view takes its place")
        equal(1, read_dword("HideThumbs"), "HideThumbs after F4")
    with Brisa(path) as app:
        app.wait_title("toggle.pdf - 1/4 - Brisa")
        equal((0, 0), placement(app), "still hidden at the next start")
        app.post(WM_SYSCOMMAND, IDM_THUMBNAILS)
        app.settle()
        equal(shown, placement(app), "the menu shows it again")
        equal(0, read_dword("HideThumbs"), "HideThumbs after the menu")
        app.key(VK["F4"])
        app.key(VK["F4"])
        app.settle()
        equal(shown, placement(app), "twice F4: shown")
        equal(0, read_dword("HideThumbs"), "HideThumbs after twice F4")
    with Brisa(path) as app:
        app.wait_title("toggle.pdf - 1/4 - Brisa")
        equal(shown, placement(app), "shown at the next start")


def test_the_process_sleeps_once_drawn_and_while_hidden():
    count = 2000
    column = Column(count)
    with open_with_panel("idle.pdf", "--pages", str(count), "--lines", "40") as app:
        app.wait_title("idle.pdf - 1/%d - Brisa" % count)
        panel = panel_of(app)
        check(wait_for_idle(app), "the process goes idle once the miniatures in reach are drawn")
        check(dark_pixels(app.capture(panel), column, 0) > 20, "the first miniature was drawn")
        app.key(VK["F4"])   # hidden: the jump to the end asks for nothing
        app.key(VK["end"])
        app.wait_title("idle.pdf - %d/%d - Brisa" % (count, count))
        check(wait_for_idle(app, quiet=1.0, timeout=20), "idle after the jump")
        before = process_cpu_ticks(app)
        time.sleep(2)
        after = process_cpu_ticks(app)
        check(after - before <= 2, "no work while hidden: %d ticks in 2 s" % (after - before))
        app.key(VK["F4"])   # shown again: the miniatures at the end are drawn, then sleep
        last = count - 1
        image = wait_until(lambda: (lambda i: i if highlight_top(i, column) is not None and
                                    dark_pixels(i, column, last, column.height - i.height) > 20 else None)(
            app.capture(panel)))
        check(image is not None, "the last miniature is drawn once the panel shows again")
        check(wait_for_idle(app), "and then the process is idle again")


def key_delays(path, count):
    """Seconds from each key press to the title it brings, jumping between the ends."""
    delays = []
    name = os.path.basename(path)
    with Brisa(path) as app:
        app.wait_title("%s - 1/%d - Brisa" % (name, count))
        # Every jump puts a new stretch of miniatures to draw in front of the next key.
        for key, page in [(VK["end"], count), (VK["home"], 1)] * 8:
            start = time.time()
            app.key(key)
            app.wait_title("%s - %d/%d - Brisa" % (name, page, count), timeout=15)
            delays.append(time.time() - start)
        check(wait_for_idle(app), "idle once the panel caught up")
    return delays


def test_keys_take_effect_promptly_while_a_2000_page_pdf_draws():
    count = 2000
    path = make_pdf("busy.pdf", "--pages", str(count), "--lines", "60")
    reset_settings()   # the panel hidden: what the keys cost without it
    hidden = statistics.median(key_delays(path, count))
    reset_settings(thumbnails=True)
    delays = key_delays(path, count)
    shown = statistics.median(delays)
    # Most of each delay is the driver's own (finding the window, sending input, reading the title).
    print("     key to title: median %.2f s with the panel drawing, %.2f s without; longest %.2f s"
          % (shown, hidden, max(delays)))
    check(shown < 1.5 * hidden + 0.25, "median delay %.2f s with the panel, %.2f s without" % (shown, hidden))
    check(max(delays) < 4.0, "longest delay %.2f s" % max(delays))


# Comic pages of 300 x 450 pixels: miniatures of 96 x 144 at 96 dpi.
COMIC_PAGE = (300, 450)


def damaged_png():
    """A PNG whose header (and so its size) is intact but whose pixels are noise."""
    return open(image("thumb-yellow.png", "yellow"), "rb").read()[:33] + bytes(range(256)) * 4


def comic_pages(count, damaged=()):
    """[(name in archive, source)] cycling through the flat colours; the pages
    (from 0) in `damaged` cannot be decoded."""
    entries = []
    for page in range(count):
        name = COLOURS[page % len(COLOURS)][0]
        source = damaged_png() if page in damaged else image("thumb-%s.png" % name, name)
        entries.append(("page%02d.png" % (page + 1), source))
    return entries


def comic_colour(page, damaged=()):
    return None if page in damaged else COLOURS[page % len(COLOURS)][1]


def miniature_colours(image, column, page, scroll=0):
    """The set of colours inside a page's miniature (rows in sight only)."""
    top = column.top(page) - scroll
    return {image.at(x, y) for y in range(max(top, 0), min(top + column.h, image.height))
            for x in range(column.x, column.x + column.w)}


def miniature_matches(image, column, page, colour, scroll=0):
    """The miniature is the page's flat colour throughout, not a white box."""
    colours = miniature_colours(image, column, page, scroll)
    return bool(colours) and all(near(colour, c, 6) for c in colours)


def test_comic_miniatures_come_from_the_decode_worker():
    count, damaged = 7, (3,)
    column = Column(count, *COMIC_PAGE)
    path = cbz("thumbs.cbz", comic_pages(count, damaged))
    reset_settings(thumbnails=True)
    with Brisa(path) as app:
        app.wait_title("thumbs.cbz - 1/%d - Brisa" % count)
        app.move(0, 0, 900, 1400)   # the whole column in sight
        panel = panel_of(app)
        app.settle()
        check(app.capture(panel).height >= column.height, "the column fits the panel")

        def all_drawn():
            shot = app.capture(panel)
            ready = all(miniature_matches(shot, column, page, comic_colour(page, damaged))
                        for page in range(count) if page not in damaged)
            return shot if ready else None

        shot = wait_until(all_drawn)
        check(shot is not None, "every decodable miniature shows its page's colour")
        for page in damaged:
            equal({WHITE}, miniature_colours(shot, column, page), "the undecodable page's miniature")
            top = column.top(page) + column.h
            label = [1 for y in range(top, top + s(26)) for x in range(shot.width) if shot.at(x, y) == NUMBER]
            check(label, "the undecodable page keeps its number")
        equal(HIGHLIGHT, shot.at(column.x - 2, column.top(0) + 20), "page 1 highlighted")
        check(wait_for_idle(app), "the process sleeps once the worker has answered for every page")
        # A failed page is not asked for again: it stays white.
        equal({WHITE}, miniature_colours(app.capture(panel), column, damaged[0]), "still a white box")


def test_comic_highlight_follows_the_view_and_clicks_go_to_the_page():
    count = 18
    column = Column(count, *COMIC_PAGE)
    path = cbz("follow.cbz", comic_pages(count))
    reset_settings(thumbnails=True)
    with Brisa(path) as app:
        name = "follow.cbz - %d/" + str(count) + " - Brisa"
        app.wait_title(name % 1)
        app.settle()
        panel = panel_of(app)
        view = app.view()
        panel_height = app.capture(panel).height
        check(column.height > panel_height, "the column is taller than the panel")
        scroll, highlighted, scrolled = 0, 0, 0
        page = 0
        for _ in range(3 * count):   # page down to the end of the comic
            if page == count - 1:
                break
            app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
            app.settle(0.4)
            page = int(app.title().split(" - ")[1].split("/")[0]) - 1
            scroll = expected_scroll(column, panel_height, scroll, highlighted, page)
            highlighted = page
            scrolled = max(scrolled, scroll)
            shot = app.capture(panel)
            equal(column.top(page) - scroll - s(4), highlight_top(shot, column),
                  "highlight of page %d (panel scrolled to %d)" % (page + 1, scroll))
        equal(name % count, app.title(), "the view reached the last page")
        check(scrolled > 0, "the panel scrolled to keep the highlight in sight")
        # Near the end, the miniatures in sight are the worker's pictures of those pages.
        in_sight = [p for p in range(count) if column.top(p) >= scroll and
                    column.top(p) + column.h <= scroll + panel_height]
        check(in_sight, "whole miniatures in sight at the end")
        shot = wait_until(lambda: (lambda i: i if all(miniature_matches(i, column, p, comic_colour(p), scroll)
                                                      for p in in_sight) else None)(app.capture(panel)))
        check(shot is not None, "the miniatures near the end show pages %r in their colours" % in_sight)
        # A click on a miniature in sight goes to its page and moves the highlight there.
        target = in_sight[0]
        x, y = app.origin(panel)
        xdotool("mousemove", x + 60, y + column.top(target) - scroll + 30, "click", "1")
        app.wait_title(name % (target + 1))
        app.settle()
        scroll = expected_scroll(column, panel_height, scroll, highlighted, target)
        equal(column.top(target) - scroll - s(4), highlight_top(app.capture(panel), column),
              "the highlight moved to the clicked page")
        shown = app.capture(view).at(100, 100)
        check(near(comic_colour(target), shown), "the view shows the clicked page: %r" % (shown,))


if __name__ == "__main__":
    main(globals())
