"""The mouse on the page view, through the X server's own input: the wheel,
Ctrl+wheel, dragging, and clicking links (followed links are recorded by a
script that Wine runs as the browser and the mail program)."""

import os
import time

from brisa import WORK, Brisa, check, equal, main, registry, reset_settings, xdotool
from test_keys import PAGES, Geometry, expect_scroll, open_document, page_width_on_screen
from test_start import make_pdf

URL_LOG = os.path.join(WORK, "followed.log")


def record_followed_links():
    """Points Wine's browser and mail program at a script that logs the address."""
    script = os.path.join(WORK, "record-url.sh")
    with open(script, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' % URL_LOG)
    os.chmod(script, 0o755)
    for value in ("Browsers", "Mailers"):
        registry("add", r"HKCU\Software\Wine\WineBrowser", "/v", value, "/t", "REG_SZ", "/d", script, "/f")
    if os.path.exists(URL_LOG):
        os.remove(URL_LOG)


def followed(wait=5.0, expect_more_than=0):
    """The addresses recorded so far (they arrive asynchronously)."""
    deadline = time.time() + wait
    while True:
        lines = open(URL_LOG).read().split() if os.path.exists(URL_LOG) else []
        if len(lines) > expect_more_than or time.time() > deadline:
            return lines
        time.sleep(0.1)


def view_screen_origin(app):
    view = app.view()
    return view, app.origin(view)


def test_one_wheel_notch_scrolls_96_pixels():
    with open_document() as app:
        view, (x, y) = view_screen_origin(app)
        geometry = Geometry(app.capture(view))
        xdotool("mousemove", x + 200, y + 200)
        xdotool("click", "5")   # one notch toward the user
        expect_scroll(app, geometry, 96, "one notch down")
        xdotool("click", "5")
        xdotool("click", "5")
        expect_scroll(app, geometry, 3 * 96, "three notches down")
        xdotool("click", "4")
        expect_scroll(app, geometry, 2 * 96, "one notch up")


def test_ctrl_wheel_zooms_about_the_mouse():
    with open_document() as app:
        view, (x, y) = view_screen_origin(app)
        before = app.capture(view)
        geometry = Geometry(before)
        # The mouse over the right edge of the first page: that edge stays under it.
        mouse_x, mouse_y = 8 + geometry.page_width - 1, 100
        xdotool("mousemove", x + mouse_x, y + mouse_y)
        xdotool("keydown", "ctrl", "click", "4", "keyup", "ctrl")   # one notch away: zoom x 1.1
        app.settle()
        after = app.capture(view)
        row = after.row(mouse_y)
        right = max(i for i, p in enumerate(row) if p != (128, 128, 128))
        check(abs(right - mouse_x) <= 2, "the page's right edge stays under the mouse: %d, not %d" % (right, mouse_x))
        xdotool("keydown", "ctrl", "click", "5", "click", "5", "keyup", "ctrl")   # two notches back: / 1.1 twice
        app.settle()
        width = page_width_on_screen(app.capture(view), mouse_y)
        equal(int(600 * geometry.zoom / 1.1 + 0.5), width, "page width after zooming out")


def test_dragging_follows_the_mouse_and_stops_at_the_limits():
    with open_document() as app:
        view, (x, y) = view_screen_origin(app)
        geometry = Geometry(app.capture(view))
        xdotool("mousemove", x + 300, y + 500, "mousedown", "1")
        xdotool("mousemove", x + 300, y + 400)
        xdotool("mousemove", x + 300, y + 300)
        xdotool("mouseup", "1")
        expect_scroll(app, geometry, 200, "dragged up by 200")
        # Dragging down past the top stops at 0; back up picks up the same grabbed point.
        xdotool("mousemove", x + 300, y + 100, "mousedown", "1")
        xdotool("mousemove", x + 300, y + 600)
        xdotool("mousemove", x + 300, y + 250)
        xdotool("mouseup", "1")
        expect_scroll(app, geometry, 50, "dragged past the top and back: the grabbed point again")


LINKS = [
    ("https://example.org/page", True),
    ("HTTP://EXAMPLE.ORG/UPPER", True),
    ("mailto:Someone@Example.org", True),
    ("file:///etc/passwd", False),
    ("javascript:alert(1)", False),
    ("ftp://example.org/file", False),
]


def link_document():
    args = ["--pages", "2", "--size", "600x400"]
    for i, (uri, _) in enumerate(LINKS):
        args += ["--link", "1:%d,%d,%d,%d:%s" % (40 + 90 * i, 40, 120 + 90 * i, 80, uri)]
    args += ["--goto", "1:40,100,120,140:2"]
    return make_pdf("links.pdf", *args)


def test_clicks_follow_web_and_mail_links_only():
    reset_settings()
    record_followed_links()
    with Brisa(link_document()) as app:
        app.wait_title("links.pdf - 1/2 - Brisa")
        app.settle()
        view, (x, y) = view_screen_origin(app)
        zoom = (app.capture(view).width - 16) / 600

        def screen(px, py):   # a point in page points (origin bottom-left) to the screen
            return x + 8 + int(px * zoom), y + 8 + int((400 - py) * zoom)

        for i, _ in enumerate(LINKS):
            sx, sy = screen(80 + 90 * i, 60)
            xdotool("mousemove", sx, sy, "click", "1")
        sx, sy = screen(80, 120)   # the jump to page 2 does nothing either
        xdotool("mousemove", sx, sy, "click", "1")
        wanted = [uri for uri, follow in LINKS if follow]
        # Wine's browser launcher writes the scheme and host in lower case.
        got = followed(expect_more_than=len(wanted) - 1)
        equal(sorted(u.lower() for u in wanted), sorted(u.lower() for u in got), "followed addresses")
        check("http://example.org/UPPER" in got, "the path keeps its case: %r" % got)
        equal("links.pdf - 1/2 - Brisa", app.title(), "no jump inside the document")
        # A drag that starts on a link never follows it.
        sx, sy = screen(80, 60)
        xdotool("mousemove", sx, sy, "mousedown", "1", "mousemove", sx, sy + 30, "mouseup", "1")
        equal(len(wanted), len(followed(wait=1.5, expect_more_than=len(wanted))), "no link followed by a drag")


if __name__ == "__main__":
    main(globals())
