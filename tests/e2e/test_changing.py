"""Files that change under the open document: another program truncates or
rewrites the PDF or comic shown, and Brisa keeps going. Pages whose bytes are
gone show blank (PDF) or as the placeholder (comic); paging, search, printing and
opening another file still work."""

import os
import subprocess
import time

from brisa import check, driver, equal, main, reset_settings, xdotool
import test_print
from test_print import FRAME, RED, Spooler, make_comic, make_document, print_job, sheet_count, printed_file

CONTROL, ENTER, ESCAPE, HOME, END, NEXT = 0x11, 0x0D, 0x1B, 0x24, 0x23, 0x22
PAGES = [(400, 600, RED)] * 8
COMIC_PAGES = [(300, 450, RED)] * 30   # the last ones far from what is decoded ahead
PLACEHOLDER = (221, 221, 221)

# How the file changes while it is open: its new content from the old one and
# from a rebuilt document of half the pages (as a LaTeX run writes it).
CHANGES = [
    ("truncated to 0", lambda old, rebuilt: b""),
    ("truncated to half", lambda old, rebuilt: old[:len(old) // 2]),
    ("rewritten shorter", lambda old, rebuilt: rebuilt),
]


def change_in_place(path, change, rebuilt_path):
    """Rewrites the same file (same inode, as a build writing over it does)."""
    with open(path, "rb") as f:
        old = f.read()
    with open(rebuilt_path, "rb") as f:
        rebuilt = f.read()
    with open(path, "r+b") as f:
        f.truncate(0)
        f.write(change(old, rebuilt))


def colour_count(image, colour, tolerance=60):
    return sum(1 for y in range(0, image.height, 2) for x in range(0, image.width, 2)
               if sum(abs(a - b) for a, b in zip(image.at(x, y), colour)) < tolerance)


def open_other(app):
    other = make_document("changing-other.pdf", [(300, 300, RED)])
    windows_path = subprocess.run(["winepath", "-w", other], capture_output=True, text=True).stdout.strip()
    app.key(CONTROL, ord("O"))
    check(driver("find", "#32770", 10000, ok=False), "the open dialog shows")
    time.sleep(0.5)
    xdotool("type", "--delay", "10", windows_path)
    xdotool("key", "Return")
    app.wait_title("changing-other.pdf - 1/1 - Brisa")


def search(app, word):
    app.key(CONTROL, ord("F"))
    time.sleep(0.5)
    xdotool("type", "--delay", "20", word)
    app.key(ENTER)
    app.settle(1)
    app.key(ESCAPE)


def use_after_change(name, pages, comic, change):
    what = "%s %s" % ("comic" if comic else "PDF", change[0])
    reset_settings()
    # A PDF's last pages lie past the first megabyte, beyond what was read at open.
    make = make_comic if comic else (lambda name, pages: make_document(name, pages, padding=150000))
    path, rebuilt = make(name, pages), make("rebuilt-" + name, pages[:len(pages) // 2])
    app = test_print.start(path)
    with app:
        title = "%s - %%d/%d - Brisa" % (os.path.basename(path), len(pages))
        app.wait_title(title % 1)
        app.settle(1)
        change_in_place(path, change[1], rebuilt)
        app.key(NEXT)
        app.key(END)
        app.wait_title(title % len(pages))
        app.settle(1.5)
        if change[0].startswith("truncated"):
            shot = app.capture(app.view())
            if comic:
                check(colour_count(shot, PLACEHOLDER, 8) > 1000, "%s: the last page is the placeholder" % what)
            equal(0, colour_count(shot, RED) + colour_count(shot, FRAME, 30), what + ": nothing of the gone page drawn")
        app.key(HOME)
        app.wait_title(title % 1)
        if not comic:
            search(app, "quokka")
        job = print_job(app, lambda dialog: None)
        equal(len(pages), sheet_count(printed_file(job)), what + ": a sheet for every page, blank when gone")
        open_other(app)
        check(app.process.poll() is None, what + ": the program is alive")


def test_a_pdf_truncated_or_rewritten_while_open():
    for number, change in enumerate(CHANGES):
        use_after_change("%s-changing-%d.pdf" % (test_print.RUN, number), PAGES, False, change)


def test_a_comic_truncated_or_rewritten_while_open():
    for number, change in enumerate(CHANGES):
        use_after_change("%s-changing-%d.cbz" % (test_print.RUN, number), COMIC_PAGES, True, change)


def test_another_program_may_cut_an_open_pdf():
    reset_settings()
    path = make_document("changing-cut.pdf", PAGES)
    windows_path = subprocess.run(["winepath", "-w", path], capture_output=True, text=True).stdout.strip()
    with test_print.start(path) as app:
        app.wait_title("changing-cut.pdf - 1/%d - Brisa" % len(PAGES))
        check(driver("truncate", windows_path, 100, ok=False) is not None, "a Windows program cuts the open PDF")
        equal(100, os.path.getsize(path), "the file's new length")
        app.key(END)
        app.wait_title("changing-cut.pdf - %d/%d - Brisa" % (len(PAGES), len(PAGES)))


def run():
    os.makedirs(test_print.OUTPUT, exist_ok=True)
    test_print.clean_output()
    test_print.SPOOLER = Spooler()
    try:
        main(globals())
    finally:
        test_print.SPOOLER.stop()
        test_print.clean_output()


if __name__ == "__main__":
    run()
