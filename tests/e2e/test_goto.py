"""Go to page (Ctrl+G): the window, a jump to the middle and to the end of a
2,000-page document, numbers out of range, Esc, and Ctrl+G from the search box."""

import time

from brisa import GREY, Brisa, check, driver, equal, main, reset_settings, runs
from test_start import make_pdf

CONTROL, ENTER, ESCAPE = 0x11, 0x0D, 0x1B
PAGES = 2000


def document():
    return make_pdf("goto.pdf", "--pages", str(PAGES), "--size", "612x792")


def title(page):
    return "goto.pdf - %d/%d - Brisa" % (page, PAGES)


def go_to_window(timeout_ms=10000):
    line = driver("find", "BrisaGoToPage", timeout_ms, ok=False)
    return int(line.split()[0]) if line else None


def open_go_to(app):
    app.key(CONTROL, ord("G"))
    window = go_to_window()
    check(window is not None, "Ctrl+G opens the Go to page window")
    return window


def number_box(window):
    return int(driver("child", window, "Edit"))


def type_number(window, number):
    """Types over the selected number and presses Enter."""
    for digit in str(number):
        driver("key", window, ord(digit))
    driver("key", window, ENTER)


def page_top_on_screen(app):
    """Rows of grey above the first page in the view's middle column."""
    column = app.capture(app.view()).column(400)
    value, _, length = runs(column)[0]
    equal(GREY, value, "the view starts in the gap above the page")
    return length


def window_count():
    return int(driver("count", "BrisaGoToPage"))


def test_jumps_to_the_middle_and_to_the_last_page():
    reset_settings()
    with Brisa(document()) as app:
        app.wait_title(title(1))
        window = open_go_to(app)
        equal("1", driver("text", number_box(window)), "the current page is offered")
        equal("0", driver("state", app.window).split()[0], "the frame is disabled")
        type_number(window, 1000)
        app.wait_title(title(1000))
        equal(0, window_count(), "the window closed")
        app.settle()
        equal(8, page_top_on_screen(app), "the page's top under the margin at the top of the view")
        window = open_go_to(app)
        equal("1000", driver("text", number_box(window)), "the current page is offered")
        type_number(window, PAGES)
        app.wait_title(title(PAGES))
        app.settle()
        equal(8, page_top_on_screen(app), "the last page's top at the top of the view")


def test_a_number_out_of_range_keeps_the_window():
    reset_settings()
    with Brisa(document()) as app:
        app.wait_title(title(1))
        window = open_go_to(app)
        for wrong in (PAGES + 1, 0):
            type_number(window, wrong)
            time.sleep(0.5)
            equal(1, window_count(), "the window stays after %d" % wrong)
            equal(str(wrong), driver("text", number_box(window)), "the number stays")
            equal(title(1), app.title(), "no jump for %d" % wrong)
        type_number(window, 7)   # typing replaces the selected text
        app.wait_title(title(7))
        window = open_go_to(app)
        driver("key", window, ESCAPE)
        deadline = time.time() + 5
        while window_count() and time.time() < deadline:
            time.sleep(0.05)
        equal(0, window_count(), "Esc closes the window")
        equal("1", driver("state", app.window).split()[0], "the frame is enabled again")
        equal(title(7), app.title(), "Esc does not jump")


def test_ctrl_g_from_the_search_box_and_without_a_document():
    reset_settings()
    with Brisa(document()) as app:
        app.wait_title(title(1))
        app.key(CONTROL, ord("F"))
        box = int(driver("child", app.window, "Edit"))
        window = open_go_to(app)
        type_number(window, 42)
        app.wait_title(title(42))
        equal("", driver("text", box), "nothing typed into the search box")
    with Brisa() as app:
        app.key(CONTROL, ord("G"))
        check(go_to_window(1500) is None, "no Go to page window without a document")


if __name__ == "__main__":
    main(globals())
