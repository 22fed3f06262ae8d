"""How the pages are shown: night mode (pixels of a page and of its miniature,
Ctrl+I and the stored value), fit page, wide comic pages alone in spreads."""

from brisa import GREY, WHITE, Brisa, check, driver, equal, main, read_dword, reset_settings, set_dword
from test_start import make_pdf
from test_thumbs import Column, panel_of, wait_until

CONTROL = 0x11


def luma(pixel):
    r, g, b = pixel
    return 0.299 * r + 0.587 * g + 0.114 * b


def page_pixels(image, left, top, right, bottom):
    return [image.at(x, y) for y in range(top, bottom) for x in range(left, right)]


def test_night_mode_darkens_paper_and_lightens_text_in_view_and_miniature():
    reset_settings(thumbnails=True)
    path = make_pdf("night.pdf", "--pages", "2", "--size", "400x300", "--link", "1:40,40,200,80:http://example.org/")
    with Brisa(path) as app:
        app.wait_title("night.pdf - 1/2 - Brisa")
        app.settle()
        view = app.view()
        day = app.capture(view)
        equal(WHITE, day.at(20, 20), "paper by day")
        app.key(CONTROL, ord("I"))
        app.settle(0.8)
        equal(1, read_dword("NightMode"), "Ctrl+I stored night mode")
        night = app.capture(view)
        paper = night.at(20, 20)
        check(luma(paper) < 50, "paper is dark at night: %r" % (paper,))
        background = night.at(2, night.height - 3)
        check(background != GREY and luma(background) < luma(paper), "the gaps darker than paper: %r" % (background,))
        # The heading's text: the darkest pixels by day are among the lightest at night.
        box = page_pixels(day, 8, 8, day.width // 2, 60)
        darkest = min(range(len(box)), key=lambda i: luma(box[i]))
        check(luma(box[darkest]) < 60, "text by day")
        check(luma(page_pixels(night, 8, 8, day.width // 2, 60)[darkest]) > 180, "text light at night")
        # The link's blue word stays blue.
        blues = [p for p in page_pixels(night, 8, 8, night.width - 8, night.height // 2) if p[2] > p[0] + 60]
        check(len(blues) > 10, "blue pixels of the link at night: %d" % len(blues))
        panel = panel_of(app)
        column = Column(2, 400, 300)
        dark_miniature = wait_until(lambda: luma(app.capture(panel).at(column.x + 4, column.top(0) + 4)) < 60)
        check(dark_miniature, "the miniature's paper is dark")
        app.key(CONTROL, ord("I"))
        app.settle(0.8)
        equal(0, read_dword("NightMode"), "off again")
        equal(WHITE, app.capture(view).at(20, 20), "paper white again")
        check(wait_until(lambda: app.capture(panel).at(column.x + 4, column.top(0) + 4) == WHITE),
              "the miniature white again")


if __name__ == "__main__":
    main(globals())
