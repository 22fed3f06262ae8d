"""The outline panel (F9): its titles with the top level unfolded, Enter on an
item of the third level, the selection that follows Page Down, F4, and F9
where there is no outline."""

import os
import subprocess
import time
import zipfile

from brisa import WORK, Brisa, check, driver, equal, main, read_dword, reset_settings
from test_start import make_pdf

F4, F9, DOWN, RIGHT, ENTER, ESCAPE, PAGE_DOWN = 0x73, 0x78, 0x28, 0x27, 0x0D, 0x1B, 0x22

# (level, page, title), pages from 1.
BOOKMARKS = [(1, 1, "Introduction"), (2, 2, "Background"), (1, 4, "Methods"), (2, 5, "Setup"),
             (3, 7, "Calibration"), (3, 8, "Measurement"), (2, 10, "Analysis"), (1, 11, "Results")]
PAGES = 12


def document():
    args = ["--pages", str(PAGES)]
    for level, page, title in BOOKMARKS:
        args += ["--bookmark", "%d:%d:%s" % (level, page, title)]
    return make_pdf("outline.pdf", *args)


def title(page):
    return "outline.pdf - %d/%d - Brisa" % (page, PAGES)


def panel(app):
    line = driver("child", app.window, "BrisaOutline", ok=False)
    return int(line) if line else None


def tree_items(app):
    """[(depth, selected, title)] of the unfolded items."""
    tree = driver("child", panel(app), "SysTreeView32")
    out = []
    for line in driver("tree", tree).splitlines():
        depth, selected, text = line.split(" ", 2)
        out.append((int(depth), selected == "1", text))
    return out


def selected(app):
    chosen = [text for _, chosen, text in tree_items(app) if chosen]
    return chosen[0] if chosen else None


def visible(app, class_name):
    entry = app.rects().get(class_name)
    return bool(entry and entry[0] and entry[3] > 0)


def open_outline(app):
    app.wait_title(title(1))
    app.key(F9)
    deadline = time.time() + 10
    while not (panel(app) and visible(app, "BrisaOutline")) and time.time() < deadline:
        time.sleep(0.05)
    check(visible(app, "BrisaOutline"), "F9 shows the outline panel")


def test_titles_enter_on_the_third_level_and_the_selection_following_page_down():
    reset_settings(thumbnails=True)
    with Brisa(document()) as app:
        thumbnails = app.rects()["BrisaThumbs"]
        open_outline(app)
        equal([(0, True, "Introduction"), (1, False, "Background"), (0, False, "Methods"), (1, False, "Setup"),
               (1, False, "Analysis"), (0, False, "Results")], tree_items(app), "the top level unfolded")
        equal(thumbnails[1:], app.rects()["BrisaOutline"][1:], "in the thumbnails' place, at their width")
        check(not visible(app, "BrisaThumbs"), "the thumbnails give way")
        equal(1, read_dword("ShowOutline"), "ShowOutline once toggled")
        for key in (DOWN, DOWN, DOWN, RIGHT, DOWN, ENTER):   # Setup, unfolded, its first item
            app.key(key)
        app.wait_title(title(7))
        equal("Calibration", selected(app), "the third level's item")
        app.key(ESCAPE)   # the view takes the keys again
        sections = {page: text for _, first, text in BOOKMARKS for page in range(first, PAGES + 1)}
        for _ in range(60):
            app.key(PAGE_DOWN)
            app.settle(0.2)
            page = int(app.title().split(" - ")[1].split("/")[0])
            equal(sections[page], selected(app), "the section of page %d" % page)
            if page == PAGES:
                break
        equal(title(PAGES), app.title(), "Page Down reached the end")
        app.key(F4)
        app.settle()
        check(visible(app, "BrisaThumbs") and not visible(app, "BrisaOutline"), "F4 brings the thumbnails back")
        equal(0, read_dword("ShowOutline"), "F4 hid the outline")


def test_f9_without_an_outline_changes_nothing():
    image = os.path.join(WORK, "outline-page.png")
    subprocess.run(["/usr/bin/convert", "-size", "300x450", "xc:blue", image], check=True)
    comic = os.path.join(WORK, "outline.cbz")
    with zipfile.ZipFile(comic, "w") as archive:
        archive.write(image, "1.png")
    for path, name in ((comic, "outline.cbz - 1/1 - Brisa"), (make_pdf("plain.pdf"), "plain.pdf - 1/1 - Brisa")):
        reset_settings()
        with Brisa(path) as app:
            app.wait_title(name)
            before = app.rects()
            app.key(F9)
            app.settle()
            equal(before, app.rects(), "F9 changed no window")
            check(panel(app) is None, "no outline panel")
            equal(None, read_dword("ShowOutline"), "nothing stored")


if __name__ == "__main__":
    main(globals())
