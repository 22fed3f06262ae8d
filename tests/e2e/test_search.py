"""Searching text: the search box, Enter/Shift+Enter/F3, the highlight."""

import time

from brisa import Brisa, check, driver, equal, main, read_dword, reset_settings, xdotool
from test_start import make_pdf

ENTER, ESCAPE, F3, SHIFT, CONTROL, NEXT = 0x0D, 0x1B, 0x72, 0x10, 0x11, 0x22
TINTED_WHITE = (255, 242, 127)   # white blended half and half with (255, 230, 0)
PAGES = 5


def tinted_rows(image):
    """Rows of the view holding highlighted white."""
    rows = []
    for y in range(image.height):
        row = image.pixels[y * image.width * 3:(y + 1) * image.width * 3]
        if bytes(TINTED_WHITE) in row:
            rows.append(y)
    return rows


def open_search(app):
    app.key(CONTROL, ord("F"))
    deadline = time.time() + 5
    while app.rects()["Edit"][0] != 1 and time.time() < deadline:
        time.sleep(0.05)
    return int(driver("child", app.window, "Edit"))


def type_text(app, text):
    xdotool("type", "--delay", "30", text)
    app.settle(0.2)


def start():
    reset_settings()
    path = make_pdf("search.pdf", "--pages", str(PAGES), "--size", "600x500", "--words", "quokka")
    app = Brisa(path)
    app.wait_title("search.pdf - 1/%d - Brisa" % PAGES)
    app.settle()
    return app


def test_enter_walks_pages_and_wraps_both_ways():
    with start() as app:
        box = open_search(app)
        rects = app.rects()
        equal(1, rects["Edit"][0], "the box is visible")
        equal(36, rects["BrisaView"][2], "the view starts below the strip")
        type_text(app, "QUOKKA")   # case does not matter
        equal("QUOKKA", driver("text", box), "box text")
        titles = []
        for _ in range(PAGES + 1):
            app.key(ENTER)
            app.settle(0.25)
            titles.append(app.title())
        expected = ["search.pdf - %d/%d - Brisa" % (p, PAGES) for p in list(range(1, PAGES + 1)) + [1]]
        equal(expected, titles, "pages of the successive matches, wrapping to the first")
        app.key(SHIFT, ENTER)   # backward from the first: the last of the document
        app.wait_title("search.pdf - %d/%d - Brisa" % (PAGES, PAGES))


def test_highlight_colour_and_where_the_match_lands():
    with start() as app:
        open_search(app)
        type_text(app, "quokka")
        view = app.view()
        app.key(ENTER)
        app.settle()
        first = app.capture(view)
        rows = tinted_rows(first)
        check(rows, "the match is highlighted with white turned (255, 242, 127)")
        app.key(ENTER)   # page 2's match is below the view: it lands a third down
        app.wait_title("search.pdf - 2/%d - Brisa" % PAGES)
        app.settle()
        second = app.capture(view)
        rows = tinted_rows(second)
        check(rows, "highlight on page 2")
        third = second.height // 3
        check(third - 2 <= rows[0] <= third + 16, "match lands a third down: rows %d..%d, view %d"
              % (rows[0], rows[-1], second.height))


def test_escape_hides_the_box_and_the_highlight_and_f3_searches_again():
    with start() as app:
        open_search(app)
        type_text(app, "quokka")
        view = app.view()
        app.key(ENTER)
        app.settle()
        check(tinted_rows(app.capture(view)), "highlighted")
        app.key(ESCAPE)
        app.settle()
        equal(0, app.rects()["Edit"][0], "box hidden")
        equal(0, app.rects()["BrisaView"][2], "view back at the top")
        check(not tinted_rows(app.capture(view)), "no highlight once the box is hidden")
        app.key(F3)   # the box's text, although hidden
        app.settle()
        check(tinted_rows(app.capture(view)), "F3 found it again")
        equal(0, app.rects()["Edit"][0], "the box stays hidden")


def test_nothing_found_clears_the_highlight():
    with start() as app:
        box = open_search(app)
        type_text(app, "quokka")
        view = app.view()
        app.key(ENTER)
        app.settle()
        check(tinted_rows(app.capture(view)), "highlighted")
        app.key(CONTROL, ord("A"))
        type_text(app, "zebrafish")
        equal("zebrafish", driver("text", box), "Ctrl+A then typing replaced the text")
        app.key(ENTER)
        app.settle()
        check(not tinted_rows(app.capture(view)), "highlight cleared when nothing is found")


def test_keys_in_the_box():
    with start() as app:
        box = open_search(app)
        type_text(app, "dD")   # D in the box is a letter, not a page mode
        equal("dD", driver("text", box), "letters typed")
        equal(None, read_dword("DoublePage"), "no page mode change")
        app.key(NEXT)   # Page Down scrolls the document from the box
        app.wait_title("search.pdf - 2/%d - Brisa" % PAGES)
        app.key(ENTER)   # Enter leaves no character behind
        equal("dD", driver("text", box), "Enter is not inserted")



def bands(rows):
    """Runs of consecutive row numbers, as (first, last)."""
    out = []
    for y in rows:
        if out and y == out[-1][1] + 1:
            out[-1] = (out[-1][0], y)
        else:
            out.append((y, y))
    return out


def test_a_word_hyphenated_at_a_line_end_is_found_on_both_lines():
    reset_settings()
    path = make_pdf("hyphen.pdf", "--pages", "3", "--size", "600x500",
                    "--line", "the engine dis-", "--line", "covered a well-known bug")
    with Brisa(path) as app:
        app.wait_title("hyphen.pdf - 1/3 - Brisa")
        app.settle()
        box = open_search(app)
        type_text(app, "discovered")
        view = app.view()
        app.key(ENTER)
        app.settle()
        found = bands(tinted_rows(app.capture(view)))
        equal(2, len(found), "the highlight covers \"dis-\" and, a line below, \"covered\": rows %r" % found)
        app.key(ENTER)
        app.wait_title("hyphen.pdf - 2/3 - Brisa")
        app.key(CONTROL, ord("A"))
        type_text(app, "wellknown")   # that hyphen is inside its line: not removed
        equal("wellknown", driver("text", box), "box text")
        app.key(ENTER)
        app.settle()
        check(not tinted_rows(app.capture(view)), "nothing found for a hyphen inside a line")
        equal("hyphen.pdf - 2/3 - Brisa", app.title(), "the view stays")


if __name__ == "__main__":
    main(globals())
