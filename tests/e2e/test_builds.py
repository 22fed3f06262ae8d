"""The Linux build and the Windows build (Brisa.exe under Wine, with the test
bridge beside it) side by side on the same documents: the same titles, the
same window and page geometry, the same PDF pixels, and sheets printed through
the real spooler in the same orientation and place.

Where the builds are meant to differ, each is held to its own behaviour:
comic pages are decoded by the Linux build's own codecs but by the Windows
Imaging Component in Brisa.exe, so comic pixels are compared by colour only
(both scale flat colours to the same values), and Wine's component has no WebP
codec, so Brisa.exe shows the placeholder where the Linux build shows the page."""

import os
import shutil
import subprocess

from brisa import (GREY, WORK, Brisa, check, equal, main, reset_settings)
import test_print
from test_comics import CONVERT, cbz, centre_colour, image, near
from test_start import make_pdf

BUILDS = ("linux", "windows")
PLACEHOLDER = (221, 221, 221)
WM_VSCROLL, SB_PAGEDOWN = 0x115, 3

# Pixels of a PDF page may differ by this much per channel between the builds.
# Both render with the same libpdfium.so into the same kind of bitmap, so none
# is allowed; a real pdfium.dll on Windows would need a tolerance for its fonts.
PIXEL_TOLERANCE = 0


def showing(path, flavour, title, pages_down=0):
    """(title, rects, view capture) of one build showing the document, after
    paging down `pages_down` times."""
    with Brisa(path, flavour=flavour) as app:
        app.wait_title(title)
        view = app.view()
        for _ in range(pages_down):
            app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
        app.settle(0.6)
        rects = app.rects()
        shot = app.capture(view)
        return app.title(), rects, shot


def differing_pixels(a, b, tolerance):
    if (a.width, a.height) != (b.width, b.height):
        return a.width * a.height
    if tolerance == 0:
        if a.pixels == b.pixels:
            return 0
    count = 0
    for i in range(0, len(a.pixels), 3):
        if any(abs(a.pixels[i + c] - b.pixels[i + c]) > tolerance for c in range(3)):
            count += 1
    return count


def test_pdf_pages_show_the_same_titles_geometry_and_pixels():
    reset_settings()
    path = make_pdf("both-builds.pdf", "--page", "612x792", "--page", "842x595", "--page", "300x300",
                    "--words", "Brisa")
    first = "both-builds.pdf - 1/3 - Brisa"
    for pages_down in (0, 2):
        seen = {flavour: showing(path, flavour, first, pages_down) for flavour in BUILDS}
        (linux_title, linux_rects, linux_shot), (windows_title, windows_rects, windows_shot) = \
            seen["linux"], seen["windows"]
        check(pages_down == 0 or linux_title != first, "paging down moved on from the first page")
        equal(linux_title, windows_title, "title after %d page-downs" % pages_down)
        equal(linux_rects, windows_rects, "window, client and child rectangles")
        check(any(p != GREY for p in linux_shot.row(linux_shot.height // 2)), "a page is painted")
        bad = differing_pixels(linux_shot, windows_shot, PIXEL_TOLERANCE)
        equal(0, bad, "pixels of the view that differ between the builds (%s)" % linux_title)


def formats_archive():
    """A CBZ of one blue page per type the Windows Imaging Component decodes, and a WebP page."""
    folder = os.path.join(WORK, "wic")
    os.makedirs(folder, exist_ok=True)
    source = os.path.join(folder, "src.png")
    subprocess.run([CONVERT, "-size", "96x128", "xc:rgb(0,0,255)", "PNG24:" + source], check=True)
    recipes = [("jpg", "-quality 95 JPEG:"), ("png", "PNG24:"), ("gif", "GIF:"), ("bmp", "BMP3:"),
               ("tif", "-type TrueColor TIFF:"), ("webp", "-quality 95 WEBP:")]
    entries = []
    for number, (extension, recipe) in enumerate(recipes, 1):
        out = os.path.join(folder, "page%d.%s" % (number, extension))
        options, prefix = recipe.rsplit(" ", 1) if " " in recipe else ("", recipe)
        subprocess.run([CONVERT, source] + options.split() + [prefix + out], check=True)
        entries.append((os.path.basename(out), out))
    return cbz("wic.cbz", entries), [e for e, _ in recipes]


def page_colours(path, flavour, count):
    """The colour in the middle of each page, paging down from the first."""
    colours = []
    name = os.path.basename(path)
    with Brisa(path, flavour=flavour) as app:
        app.wait_title("%s - 1/%d - Brisa" % (name, count))
        view = app.view()
        rects = app.rects()
        for page in range(count):
            wanted = "%s - %d/%d - Brisa" % (name, page + 1, count)
            for _ in range(10):
                if app.title() == wanted:
                    break
                app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
                app.settle(0.15)
            app.wait_title(wanted)
            app.settle(0.4)
            colours.append(centre_colour(app, view))
    return colours, rects


def test_comic_pages_each_build_with_its_own_decoders():
    reset_settings()
    path, types = formats_archive()
    linux, linux_rects = page_colours(path, "linux", len(types))
    windows, windows_rects = page_colours(path, "windows", len(types))
    equal(linux_rects, windows_rects, "geometry of the comic's window")
    for kind, on_linux, on_windows in zip(types, linux, windows):
        check(near((0, 0, 255), on_linux, 12), "Linux build, %s page shows %r" % (kind, on_linux))
        if kind == "webp":
            # No WebP codec in Wine's imaging component (nor on a Windows without the extension).
            equal(PLACEHOLDER, on_windows, "Brisa.exe, WebP page is the placeholder")
        else:
            check(near((0, 0, 255), on_windows, 12), "Brisa.exe, %s page shows %r" % (kind, on_windows))


def test_comic_of_a_photograph_has_the_same_geometry():
    reset_settings()
    # Not flat: scaled by two different filters, so only the page's place is compared.
    picture = os.path.join(WORK, "gradient.png")
    subprocess.run([CONVERT, "-size", "300x450", "gradient:red-blue", "PNG24:" + picture], check=True)
    path = cbz("gradient.cbz", [("1.png", picture), ("2.png", image("lime.png", "lime"))])
    boxes = {}
    for flavour in BUILDS:
        title, rects, shot = showing(path, flavour, "gradient.cbz - 1/2 - Brisa")
        row = shot.row(shot.height // 3)
        painted = [x for x, p in enumerate(row) if p != GREY]
        boxes[flavour] = (rects, painted[0], painted[-1])
    equal(boxes["linux"], boxes["windows"], "rectangles and the page's left and right edges")


# ---- printing ------------------------------------------------------------------------------------

def printed_sheets(flavour, path, pages):
    """The sheets one build prints of the document, rendered for the checks."""
    with Brisa(path, flavour=flavour) as app:
        app.wait_title("%s - 1/%d - Brisa" % (os.path.basename(path), pages))
        job = test_print.print_job(app, lambda dialog: None)
    out = test_print.printed_file(job)
    check(out is not None, "cups-pdf wrote the %s build's job" % flavour)
    equal(pages, test_print.sheet_count(out), "%s build's sheets" % flavour)
    return [test_print.sheet_image(out, n) for n in range(1, pages + 1)]


def sheet_layout(sheet, marker):
    """Orientation, the box of everything printed and the box of the corner square."""
    ink = test_print.bounding_box(sheet, lambda r, g, b: min(r, g, b) < 200)
    square = test_print.bounding_box(sheet, test_print.near(marker))
    return sheet.width < sheet.height, ink, square


def compare_prints(path, pages):
    linux = printed_sheets("linux", path, len(pages))
    windows = printed_sheets("windows", path, len(pages))
    for number, (page, a, b) in enumerate(zip(pages, linux, windows), 1):
        what = "sheet %d" % number
        test_print.check_sheet(b, page, "Brisa.exe " + what)   # the placement rule, for Brisa.exe itself
        portrait_a, ink_a, square_a = sheet_layout(a, page[2])
        portrait_b, ink_b, square_b = sheet_layout(b, page[2])
        equal(portrait_a, portrait_b, what + " orientation")
        for name, box_a, box_b in (("page", ink_a, ink_b), ("corner square", square_a, square_b)):
            check(box_a is not None and box_b is not None, "%s: %s printed by both builds" % (what, name))
            check(all(abs(p - q) <= test_print.TOLERANCE for p, q in zip(box_a, box_b)),
                  "%s: %s at %r by the Linux build, %r by Brisa.exe" % (what, name, box_a, box_b))


def test_both_builds_print_the_same_sheets():
    pages = [(400, 600, test_print.RED), (600, 400, test_print.BLUE)]   # portrait, landscape
    compare_prints(test_print.make_document(test_print.RUN + "-builds.pdf", pages), pages)
    comic = [(300, 450, test_print.RED), (450, 300, test_print.BLUE)]
    compare_prints(test_print.make_comic(test_print.RUN + "-builds.cbz", comic), comic)


def run():
    check(shutil.which("cupsd") and os.path.exists(test_print.PPD), "cups and printer-driver-cups-pdf are installed")
    os.makedirs(test_print.OUTPUT, exist_ok=True)
    test_print.clean_output()
    test_print.SPOOLER = test_print.Spooler()
    # Wine asks CUPS from the program's own process: every program started here sees our spooler.
    os.environ["CUPS_SERVER"] = test_print.SPOOLER.socket
    try:
        main(globals())
    finally:
        test_print.SPOOLER.stop()
        for path in os.listdir(test_print.OUTPUT):
            if path.startswith(test_print.RUN):
                os.remove(os.path.join(test_print.OUTPUT, path))


if __name__ == "__main__":
    run()
