"""Page modes through the system menu: titles, stored settings, layout."""

from brisa import (GREY, WM_SYSCOMMAND, Brisa, equal, main, read_dword, reset_settings, runs, set_dword)
from test_start import make_pdf

IDM_DOUBLE_PAGE = 64
IDM_COVER_ALONE = 80
IDM_RIGHT_TO_LEFT = 112
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



def page_runs(image, y):
    """(start, width) of each page crossing row y of the view, left to right."""
    return [(start, width) for value, start, width in runs([p != GREY for p in image.row(y)]) if value]


def manga_rows(app):
    """The pages seen in the three rows of manga.pdf, and where a left or right page of a width would be."""
    image = app.capture(app.view())
    zoom = (image.width - 8 - 16) / 800
    centre = (int(800 * zoom + 0.5) + 24) // 2
    row_height = int(300 * zoom + 0.5) + 8
    width = {points: int(points * zoom + 0.5) for points in (200, 300, 400)}
    seen = [page_runs(image, 8 + row * row_height + 20) for row in range(3)]
    return (seen, lambda points: (centre - width[points] - 4, width[points]),
            lambda points: (centre + 4, width[points]))


def test_right_to_left_mirrors_each_spread():
    """Each page is known by its width: the cover 400 points, page 2 300, page 3 400, page 4 200.
    Rows with the cover alone: the cover, pages 2-3, page 4."""
    reset_settings()
    set_dword("DoublePage", 1)
    path = make_pdf("manga.pdf", "--page", "400x300", "--page", "300x300", "--page", "400x300", "--page", "200x300")
    with Brisa(path) as app:
        app.wait_title("manga.pdf - 1/4 - Brisa")
        app.settle()
        seen, left, right = manga_rows(app)
        equal([[right(400)], [left(300), right(400)], [left(200)]], seen, "left to right")
        app.post(WM_SYSCOMMAND, IDM_RIGHT_TO_LEFT)
        app.settle()
        seen, left, right = manga_rows(app)
        equal([[left(400)], [left(400), right(300)], [right(200)]], seen, "right to left: each row mirrored")
        equal(1, read_dword("RightToLeft"), "stored")
        equal("manga.pdf - 1/4 - Brisa", app.title(), "title")
    with Brisa(path) as app:   # the stored value applies from the start
        app.wait_title("manga.pdf - 1/4 - Brisa")
        app.settle()
        seen, left, right = manga_rows(app)
        equal([[left(400)], [left(400), right(300)], [right(200)]], seen, "right to left after a restart")


if __name__ == "__main__":
    main(globals())
