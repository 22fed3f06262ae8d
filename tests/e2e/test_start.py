"""Starting Brisa: the empty view, command lines, window geometry, exit."""

import os
import subprocess

from brisa import (ENGLISH, FRENCH, GREY, TOP, WORK, WHITE, Brisa, check, equal, main, reset_settings,
                   runs, set_dpi)

MAKEPDF = os.path.join(TOP, "scripts", "makepdf.py")


def make_pdf(name, *args):
    path = os.path.join(WORK, name)
    subprocess.run(["python3", MAKEPDF, path] + list(args), check=True)
    return path


def text_box(image):
    """Bounding box (left, top, right, bottom) of the pixels that are not grey."""
    xs, ys = [], []
    for y in range(image.height):
        for x in range(0, image.width):
            if image.at(x, y) != GREY:
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def hint_box(language):
    reset_settings()
    with Brisa(language=language) as app:
        app.wait_title("Brisa")
        app.settle()
        view = app.view()
        image = app.capture(view)
        box = text_box(image)
        check(box is not None, "the hint is drawn")
        left, top, right, bottom = box
        # Centred (the text's advance is a little wider than its ink).
        check(abs((left + right) / 2 - image.width / 2) <= 12, "hint centred horizontally: %r in %d" % (box, image.width))
        check(abs((top + bottom) / 2 - image.height / 2) <= 4, "hint centred vertically: %r in %d" % (box, image.height))
        # Apart from the text the view is all grey.
        corners = [image.at(0, 0), image.at(image.width - 1, 0), image.at(0, image.height - 1)]
        equal([GREY] * 3, corners, "grey view")
        # Resizing keeps it centred: it moves by half the change of width.
        x, y, width, height = app.rects()["window"]
        app.move(x, y, width - 200, height - 100)
        app.settle()
        moved = app.capture(view)
        equal(image.width - 200, moved.width, "view width after resize")
        new_left, new_top, new_right, _ = text_box(moved)
        check(abs(new_left - (left - 100)) <= 1, "hint moved by half the width: %d -> %d" % (left, new_left))
        check(abs(new_top - (top - 50)) <= 1, "hint moved by half the height: %d -> %d" % (top, new_top))
        return right - left


def test_empty_view_shows_the_hint_in_both_languages():
    english = hint_box(ENGLISH)
    french = hint_box(FRENCH)
    # The French hint is the longer text: the language reached the painting.
    check(french > english + 20, "French hint (%d px) longer than English (%d px)" % (french, english))


def test_closing_exits_with_code_zero():
    with Brisa() as app:
        app.post(0x0010)   # WM_CLOSE
        equal(0, app.exit_code(), "exit code")


def test_quoted_path_with_trailing_arguments():
    folder = os.path.join(WORK, "with space")
    os.makedirs(folder, exist_ok=True)
    path = make_pdf(os.path.join("with space", "my doc.pdf"), "--pages", "3")
    # Wine quotes an argument that holds spaces: "…/my doc.pdf" --flag other
    with Brisa(path, "--flag", "other.pdf") as app:
        app.wait_title("my doc.pdf - 1/3 - Brisa")


def test_unquoted_path_with_spaces_is_taken_whole():
    make_pdf("two words.pdf", "--pages", "2")
    # Two arguments without spaces of their own reach the program unquoted.
    with Brisa(os.path.join(WORK, "two"), "words.pdf") as app:
        app.wait_title("two words.pdf - 1/2 - Brisa")


def test_start_geometry_at_144_dpi():
    reset_settings()
    set_dpi(144)
    try:
        with Brisa() as app:
            app.wait_title("Brisa")
            rects = app.rects()
            equal((1350, 1500), rects["window"][2:], "frame size")
            client_width = rects["client"][0]
            equal((0, 9, 9, client_width - 18, 36), rects["Edit"], "hidden search box (visible, x, y, w, h)")
            equal((1, 0, 0, client_width, rects["client"][1]), rects["BrisaView"], "view fills the client area")
    finally:
        set_dpi(96)


def test_fit_width_pages_from_x8_with_grey_around():
    reset_settings()
    path = make_pdf("fit.pdf", "--pages", "3", "--size", "600x300")
    with Brisa(path) as app:
        app.wait_title("fit.pdf - 1/3 - Brisa")
        app.settle()
        view = app.view()
        image = app.capture(view)
        # The vertical scroll bar takes the right edge; the view's width is what is left of it.
        rows = runs(image.row(200))
        equal(GREY, rows[0][0], "left margin colour")
        equal(8, rows[0][2], "left margin width")
        page_start = rows[1][1]
        equal(8, page_start, "page starts at x = 8")
        # The page ends 8 pixels before the scroll bar: find the last grey run before it.
        grey_runs = [r for r in rows if r[0] == GREY]
        right_margin = grey_runs[-1]
        equal(8, right_margin[2], "right margin width")
        view_width = right_margin[1] + right_margin[2]
        page_width = right_margin[1] - 8
        equal(view_width - 16, page_width, "page width = view width - 16")
        zoom = (view_width - 16) / 600
        column = runs(image.column(300))
        equal((GREY, 0, 8), column[0], "top margin")
        page_height = int(300 * zoom + 0.5)
        # White page (its thin border is drawn just inside the edge) then the 8-pixel gap.
        gap = [r for r in column if r[0] == GREY and r[1] > 8][0]
        equal(8 + page_height, gap[1], "first page height = round(300 x zoom)")
        equal(8, gap[2], "gap between pages")


def test_partly_visible_page_is_painted_at_its_offset():
    reset_settings()
    path = make_pdf("partly.pdf", "--pages", "3")
    with Brisa(path) as app:
        app.wait_title("partly.pdf - 1/3 - Brisa")
        app.settle()
        view = app.view()
        before = app.capture(view)
        for _ in range(5):
            app.post_to(view, 0x0115, 1, 0)   # WM_VSCROLL, SB_LINEDOWN: 5 x 48 pixels
        app.redraw(view)                      # a full repaint, not the scrolled pixels
        app.settle()
        after = app.capture(view)
        shift = 5 * 48
        same = sum(1 for y in range(0, before.height - shift, 7) if after.row(y)[:600] == before.row(y + shift)[:600])
        total = len(range(0, before.height - shift, 7))
        equal(total, same, "rows matching the unscrolled picture %d pixels lower" % shift)


def test_resize_keeps_the_page_in_the_title():
    reset_settings()
    path = make_pdf("resize.pdf", "--pages", "9")
    with Brisa(path) as app:
        app.wait_title("resize.pdf - 1/9 - Brisa")
        view = app.view()
        for _ in range(6):
            app.post_to(view, 0x0115, 3, 0)   # SB_PAGEDOWN
        title = app.wait_title_change("resize.pdf - 1/9 - Brisa")
        app.move(0, 0, 700, 900)
        app.settle()
        equal(title, app.title(), "title after resize")


if __name__ == "__main__":
    main(globals())
