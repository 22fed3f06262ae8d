"""How the pages are shown: night mode (pixels of a page and of its miniature,
Ctrl+I and the stored value), fit page, wide comic pages alone in spreads."""

from brisa import GREY, WHITE, Brisa, check, driver, equal, main, read_dword, reset_settings, runs, set_dword, xdotool
from test_comics import COLOURS, cbz, image, near
from test_pagemode import scroll_to_next_title
from test_start import make_pdf
from test_mouse import followed, record_followed_links
from test_thumbs import Column, panel_of, wait_until

CONTROL, SHIFT, VK_ADD = 0x11, 0x10, 0x6B


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


def test_fit_page_shows_the_whole_page_and_keeps_the_title():
    reset_settings()
    path = make_pdf("tall.pdf", "--pages", "2", "--size", "300x600")
    with Brisa(path) as app:
        app.wait_title("tall.pdf - 1/2 - Brisa")
        app.settle()
        view = app.view()
        shot = app.capture(view)
        check(shot.at(shot.width // 2, shot.height - 3) == WHITE, "fit width: the page runs past the view's bottom")
        app.key(CONTROL, ord("2"))
        app.settle(0.8)
        equal("tall.pdf - 1/2 - Brisa", app.title(), "the page stays the current page")
        shot = app.capture(view)
        column = runs(shot.column(shot.width // 2))
        equal((GREY, GREY), (column[0][0], column[-1][0]), "the gaps above and below the page in view")
        gaps = [r for r in column[1:-1] if r[0] == GREY and r[2] > 2]
        check(not gaps, "one page in view, whole: %r" % (gaps,))

def colour_columns(shot, y, rgb):
    return [x for x in range(shot.width) if near(rgb, shot.at(x, y))]


def test_a_wide_comic_page_stands_alone_and_the_next_pages_keep_their_sides():
    reset_settings()
    set_dword("DoublePage", 1)
    set_dword("WidePagesAlone", 1)
    colours = dict(COLOURS)
    pages = ["red", "lime", "blue", "yellow", "magenta", "cyan"]
    entries = [("%d.png" % (n + 1), image(name + ("-wide.png" if name == "yellow" else ".png"), name,
                                          "900x450" if name == "yellow" else "300x450"))
               for n, name in enumerate(pages)]
    with Brisa(cbz("wide.cbz", entries)) as app:
        app.settle()
        view = app.view()
        shot = app.capture(view)   # the six pages, all in view
        rows = [y for y in range(shot.height) if colour_columns(shot, y, colours["yellow"])]
        check(rows, "the wide page in view")
        others = [c for c in pages if c != "yellow"]
        for y in rows[::10]:
            check(not any(colour_columns(shot, y, colours[c]) for c in others), "alone on its rows (y=%d)" % y)
        below = rows[-1] + 20
        left, right = colour_columns(shot, below, colours["magenta"]), colour_columns(shot, below, colours["cyan"])
        check(left and right and max(left) < min(right), "page 5 on the left, page 6 on the right")
        for _ in range(4):
            app.key(CONTROL, VK_ADD)
        app.settle()
        titles = [app.title()]
        while titles[-1] != "wide.cbz - 4/6 - Brisa" and len(titles) < 6:
            titles.append(scroll_to_next_title(app, view, titles[-1]))
        equal("wide.cbz - 4/6 - Brisa", titles[-1], "the wide page's row names its one page: %r" % (titles,))

def blue_word(shot):
    """The first page's box, and where the link's blue word is: as fractions of the box, and on the view."""
    xs = [x for x in range(shot.width) if shot.at(x, 20) != GREY]
    column = shot.column(xs[len(xs) // 2])
    top = next(y for y, p in enumerate(column) if p != GREY)
    box = (xs[0], top, xs[-1], column.index(GREY, top) - 1)
    blue = [(x, y) for y in range(box[1], box[3]) for x in range(box[0], box[2])
            if shot.at(x, y)[2] > 200 and max(shot.at(x, y)[:2]) < 60]   # not the text's colour fringes
    cx, cy = sum(x for x, _ in blue) // len(blue), sum(y for _, y in blue) // len(blue)
    return box, ((cx - box[0]) / (box[2] - box[0]), (cy - box[1]) / (box[3] - box[1])), (cx, cy)


def test_r_turns_the_pages_and_their_links_follow():
    reset_settings()
    record_followed_links()
    # Landscape pages, the link in the top-left corner of the first.
    path = make_pdf("turn.pdf", "--pages", "2", "--size", "400x300", "--link", "1:20,250,120,290:https://example.org/turned")
    with Brisa(path) as app:
        app.move(0, 0, 520, 860)
        app.wait_title("turn.pdf - 1/2 - Brisa")
        view = app.view()
        steps = [((), False, (0, .5, 0, .25)), ((ord("R"),), True, (.75, 1, 0, .5)),   # clockwise: top-right
                 ((SHIFT, ord("R")), False, (0, .5, 0, .25)), ((SHIFT, ord("R")), True, (0, .25, .5, 1))]
        for keys, portrait, (x0, x1, y0, y1) in steps:
            if keys:
                app.key(*keys)
            app.settle(0.8)
            box, (fx, fy), (cx, cy) = blue_word(app.capture(view))
            check(x0 <= fx <= x1 and y0 <= fy <= y1, "after %r the link at %.2f, %.2f" % (keys, fx, fy))
            equal(portrait, box[3] - box[1] > box[2] - box[0], "portrait after %r: %r" % (keys, box))
            equal("turn.pdf - 1/2 - Brisa", app.title(), "the page stays the current page")
        x, y = app.origin(view)
        xdotool("mousemove", x + cx, y + cy, "click", "1")
        equal(["https://example.org/turned"], followed(), "the link followed where it is shown")


if __name__ == "__main__":
    main(globals())
