"""Page modes through the system menu: titles, stored settings, layout."""

from brisa import (GREY, WM_SYSCOMMAND, Brisa, equal, main, read_dword, reset_settings, runs, set_dword)
from test_start import make_pdf

IDM_DOUBLE_PAGE = 64
IDM_COVER_ALONE = 80
WM_VSCROLL = 0x0115
SB_LINEDOWN = 1


def twelve_pages():
    return make_pdf("twelve.pdf", "--pages", "12", "--size", "400x300")


def scroll_to_next_title(app, view, old):
    """Scrolls down line by line until the title names another page."""
    for _ in range(40):
        app.post_to(view, WM_VSCROLL, SB_LINEDOWN, 0)
        title = app.title()
        if title != old:
            return app.wait_title(title)
    return app.title()


def test_single_page_titles():
    reset_settings()
    with Brisa(twelve_pages()) as app:
        app.wait_title("twelve.pdf - 1/12 - Brisa")
        view = app.view()
        equal("twelve.pdf - 2/12 - Brisa", scroll_to_next_title(app, view, "twelve.pdf - 1/12 - Brisa"), "next page")


def test_two_page_titles_with_cover_alone():
    reset_settings()
    set_dword("DoublePage", 1)
    with Brisa(twelve_pages()) as app:
        app.wait_title("twelve.pdf - 1/12 - Brisa")   # the cover stands alone
        view = app.view()
        equal("twelve.pdf - 2-3/12 - Brisa", scroll_to_next_title(app, view, "twelve.pdf - 1/12 - Brisa"), "spread")


def test_two_page_titles_with_cover_paired():
    reset_settings()
    set_dword("DoublePage", 1)
    set_dword("CoverPaired", 1)
    with Brisa(twelve_pages()) as app:
        app.wait_title("twelve.pdf - 1-2/12 - Brisa")
        view = app.view()
        equal("twelve.pdf - 3-4/12 - Brisa", scroll_to_next_title(app, view, "twelve.pdf - 1-2/12 - Brisa"), "spread")


def test_menu_commands_switch_modes_and_store_both_values():
    reset_settings()
    with Brisa(twelve_pages()) as app:
        app.wait_title("twelve.pdf - 1/12 - Brisa")
        app.post(WM_SYSCOMMAND, IDM_DOUBLE_PAGE)
        app.settle()
        equal((1, 0), (read_dword("DoublePage"), read_dword("CoverPaired")), "after two-page view")
        app.post(WM_SYSCOMMAND, IDM_COVER_ALONE)   # pairs the cover
        app.wait_title("twelve.pdf - 1-2/12 - Brisa")
        equal((1, 1), (read_dword("DoublePage"), read_dword("CoverPaired")), "after cover paired")
        app.post(WM_SYSCOMMAND, IDM_DOUBLE_PAGE)
        app.wait_title("twelve.pdf - 1/12 - Brisa")
        equal((0, 1), (read_dword("DoublePage"), read_dword("CoverPaired")), "after single pages")
        # Cover alone while two-page view is off switches it on as well.
        app.post(WM_SYSCOMMAND, IDM_COVER_ALONE)
        app.settle()
        equal((1, 0), (read_dword("DoublePage"), read_dword("CoverPaired")), "after cover alone")


def test_spread_pages_meet_at_the_centre():
    reset_settings()
    set_dword("DoublePage", 1)
    set_dword("CoverPaired", 1)
    with Brisa(twelve_pages()) as app:
        app.wait_title("twelve.pdf - 1-2/12 - Brisa")
        app.settle()
        image = app.capture(app.view())
        row = runs(image.row(60))
        whites = [r for r in row if r[0] != GREY]
        # margin 8, left page, gap 8, right page, margin 8; both pages the same width.
        page_runs = [r for r in runs([p != GREY for p in image.row(60)]) if r[0]]
        equal(2, len(page_runs), "two pages in the row: %r" % whites[:4])
        (_, left_start, left_width), (_, right_start, right_width) = page_runs
        zoom = (image.width - 8 - 16) / 800
        layout_width = int(800 * zoom + 0.5) + 24
        page_width = int(400 * zoom + 0.5)
        equal((layout_width // 2 - page_width - 4, page_width), (left_start, left_width), "left page")
        equal((layout_width // 2 + 4, page_width), (right_start, right_width), "right page")


if __name__ == "__main__":
    main(globals())
