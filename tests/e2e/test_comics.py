"""Comic archives (CBZ) as a user sees them: pages in natural order, enlarged
when shown larger than their images, two-page spreads, the placeholder of a
damaged page, the messages of archives that cannot be opened."""

import os
import subprocess
import time
import zipfile

from brisa import (BUILD, FRENCH, GREY, TOP, WINDOWS, WORK, Brisa, check, equal, main, message_box,
                   reset_settings, set_dword)

CONVERT = "/usr/bin/convert"   # Debian's ImageMagick (a stand-in may come first on PATH)
WM_VSCROLL, SB_PAGEDOWN = 0x115, 3

# Distinct, flat colours (ImageMagick names -> RGB) so that each page is recognisable on screen.
COLOURS = [("red", (255, 0, 0)), ("lime", (0, 255, 0)), ("blue", (0, 0, 255)), ("yellow", (255, 255, 0)),
           ("magenta", (255, 0, 255)), ("cyan", (0, 255, 255))]


def image(name, colour, size="300x450"):
    path = os.path.join(WORK, "img-" + name)
    if not os.path.exists(path):
        subprocess.run([CONVERT, "-size", size, "xc:" + colour, path], check=True)
    return path


def cbz(name, entries, deflate=False):
    """entries: [(name in archive, file path or bytes)]"""
    path = os.path.join(WORK, name)
    method = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED
    with zipfile.ZipFile(path, "w", method) as archive:
        for entry, source in entries:
            if isinstance(source, bytes):
                archive.writestr(entry, source)
            else:
                archive.write(source, entry)
    return path


def centre_colour(app, view):
    shot = app.capture(view)
    return shot.at(shot.width // 2, shot.height // 3)


def near(expected, actual, tolerance=3):
    return all(abs(a - b) <= tolerance for a, b in zip(expected, actual))


def test_pages_show_in_natural_order():
    reset_settings()
    # Stored in the archive in this order; natural order is 1, 2, 3, 10, 11.
    names = ["page10.png", "page2.png", "Page1.png", "page11.png", "page3.png"]
    order = {"Page1.png": 0, "page2.png": 1, "page3.png": 2, "page10.png": 3, "page11.png": 4}
    path = cbz("order.cbz", [(n, image("%s.png" % COLOURS[order[n]][0], COLOURS[order[n]][0])) for n in names],
               deflate=True)
    with Brisa(path) as app:
        app.wait_title("order.cbz - 1/5 - Brisa")
        view = app.view()
        seen = []
        for page in range(5):
            wanted = "order.cbz - %d/5 - Brisa" % (page + 1)
            for _ in range(10):   # a page is taller than the view: page down until it is current
                if app.title() == wanted:
                    break
                app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
                app.settle(0.15)
            app.wait_title(wanted)
            app.settle(0.3)
            seen.append(centre_colour(app, view))
        for page, colour in enumerate(seen):
            check(near(COLOURS[page][1], colour), "page %d shows %r, expected %s" % (page + 1, colour, COLOURS[page][0]))


def test_small_images_are_enlarged_to_the_page():
    reset_settings()
    path = cbz("small.cbz", [("a.png", image("small-blue.png", "blue", "40x60")),
                             ("b.png", image("small-red.png", "red", "40x60"))])
    with Brisa(path) as app:
        app.wait_title("small.cbz - 1/2 - Brisa")
        app.settle(0.5)
        shot = app.capture(app.view())
        row = [shot.at(x, 200) for x in range(shot.width)]
        blue = [x for x, p in enumerate(row) if near((0, 0, 255), p)]
        equal(8, blue[0], "page starts at the margin")
        equal(shot.width - 16, len(blue), "the 40-pixel image fills the fitted page width")


def test_two_page_spreads_and_a_damaged_page_placeholder():
    reset_settings()
    set_dword("DoublePage", 1)
    # A PNG whose header is intact (its size is known) but whose pixels are noise.
    broken = open(image("yellow.png", "yellow"), "rb").read()[:33] + bytes(range(256)) * 4
    path = cbz("spread.cbz", [("1.png", image("red.png", "red")), ("2.png", broken),
                              ("3.png", image("blue.png", "blue"))])
    with Brisa(path) as app:
        app.wait_title("spread.cbz - 1/3 - Brisa")
        view = app.view()
        app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
        app.wait_title("spread.cbz - 2-3/3 - Brisa")
        app.settle(0.5)
        shot = app.capture(view)
        y = shot.height // 2
        left, right = shot.at(shot.width // 4, y), shot.at(3 * shot.width // 4, y)
        equal((221, 221, 221), left, "the damaged page is the 0xDD placeholder")
        check(near((0, 0, 255), right), "its neighbour shows: %r" % (right,))


def test_archives_that_cannot_open_say_why_in_both_languages():
    reset_settings()
    no_image = cbz("text.cbz", [("readme.txt", b"no pictures here"), ("notes.md", b"# notes")])
    damaged = os.path.join(WORK, "damaged.cbz")
    good = open(cbz("good.cbz", [("1.png", image("red.png", "red"))]), "rb").read()
    with open(damaged, "wb") as f:
        f.write(good[:-30])   # the end of the directory is gone
    cases = [(no_image, "This archive contains no image.", "Cette archive ne contient aucune image."),
             (damaged, "Unreadable or damaged archive.", "Archive illisible ou endommagée.")]
    for path, english, french in cases:
        for expected, language in ((english, None), (french, FRENCH)):
            kwargs = {"language": language} if language else {}
            with Brisa(path, wait=False, **kwargs) as app:
                equal(("Brisa", expected, "error"), message_box(), os.path.basename(path))
                app.find()
                app.wait_title("Brisa")


def test_password_protected_images():
    reset_settings()
    source = image("red.png", "red")
    path = os.path.join(WORK, "locked.cbz")
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["zip", "-q", "-j", "-P", "secret", path, source], check=True)
    with Brisa(path, wait=False) as app:
        equal(("Brisa", "Password-protected document.", "error"), message_box(), "encrypted images")
        app.find()


# Every page type, each made by a Debian encoder from one flat-coloured picture.
FORMATS = [
    ("jpg", "{c} src.png -quality 95 out"), ("jpeg", "{c} src.png -quality 95 JPEG:out"),
    ("jpe", "{c} src.png JPEG:out"), ("jfif", "{c} src.png JPEG:out"), ("png", "{c} src.png PNG24:out"),
    ("gif", "{c} src.png GIF:out"), ("bmp", "{c} src.png BMP3:out"), ("webp", "{c} src.png -quality 95 WEBP:out"),
    ("tif", "{c} src.png -type TrueColor TIFF:out"), ("tiff", "{c} src.png -type TrueColor TIFF:out"),
    ("avif", "avifenc --min 0 --max 10 src.png out"), ("heic", "heif-enc -q 95 src.png -o out"),
    ("heif", "heif-enc -q 95 src.png -o out"),
    ("jxr", "{c} src.png -type TrueColor BMP3:jxr.bmp && JxrEncApp -i jxr.bmp -o out -c 0 -q 1"),
    ("wdp", "{c} src.png -type TrueColor BMP3:jxr.bmp && JxrEncApp -i jxr.bmp -o out -c 0 -q 1"),
]


# What Brisa.exe decodes through the Windows Imaging Component under Wine (JPEG XR
# is one of its own codecs, as on Windows); WebP, AVIF and HEIF show the
# placeholder there, as on a Windows without those optional codecs.
WIC_TYPES = {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "bmp", "tif", "tiff", "jxr", "wdp"}
PLACEHOLDER = (221, 221, 221)


def expected_page(extension):
    """(colour, tolerance) a page of this type shows in the build under test."""
    if WINDOWS and extension not in WIC_TYPES:
        return PLACEHOLDER, 0
    return (0, 0, 255), 12


def test_all_fifteen_image_types_open():
    reset_settings()
    folder = os.path.join(WORK, "formats")
    os.makedirs(folder, exist_ok=True)
    subprocess.run([CONVERT, "-size", "96x128", "xc:rgb(0,0,255)", "PNG24:" + os.path.join(folder, "src.png")],
                   check=True)
    entries = []
    for index, (extension, recipe) in enumerate(FORMATS):
        out = "page%02d.%s" % (index + 1, extension)
        command = recipe.format(c=CONVERT).replace("out", out)
        subprocess.run(command, shell=True, cwd=folder, check=True, capture_output=True)
        entries.append((out, os.path.join(folder, out)))
    path = cbz("formats.cbz", entries)
    with Brisa(path) as app:
        app.wait_title("formats.cbz - 1/15 - Brisa")
        view = app.view()
        seen = []
        for page in range(15):
            wanted = "formats.cbz - %d/15 - Brisa" % (page + 1)
            for _ in range(10):
                if app.title() == wanted:
                    break
                app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
                app.settle(0.1)
            app.wait_title(wanted)
            app.settle(0.3)
            seen.append(centre_colour(app, view))
    wrong = []
    for (extension, _), colour in zip(FORMATS, seen):
        expected, tolerance = expected_page(extension)
        if not near(expected, colour, tolerance):
            wrong.append("%s page shows %r, expected %r" % (extension, colour, expected))
    check(not wrong, "; ".join(wrong))


def test_search_is_refused_for_a_comic():
    reset_settings()
    path = cbz("nosearch.cbz", [("1.png", image("red.png", "red"))])
    with Brisa(path) as app:
        app.wait_title("nosearch.cbz - 1/1 - Brisa")
        app.key(0x11, ord("F"))
        equal(("Brisa", "A comic is made of images only: there is no text to search.", "information"),
              message_box(), "Ctrl+F on a comic")
        time.sleep(0.3)
        equal(0, app.rects()["Edit"][0], "the search box stays hidden")


def mapped_libraries():
    """Base names of the Linux libraries mapped into the program's process."""
    program = os.path.join(BUILD, "Brisa.exe.so")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/maps" % pid) as f:
                maps = f.read()
        except OSError:
            continue
        if program in maps:   # one program runs at a time in these tests
            return {os.path.basename(line.split()[-1]) for line in maps.splitlines() if ".so" in line}
    check(False, "the program's process is found")


def test_image_codecs_load_with_the_first_comic_only():
    if WINDOWS:
        return   # the Windows build decodes through WIC: no codec library of ours
    reset_settings()
    pdf = os.path.join(WORK, "codecs.pdf")
    subprocess.run(["python3", os.path.join(TOP, "scripts", "makepdf.py"), "--pages", "2", pdf], check=True)
    with Brisa(pdf) as app:
        app.wait_title("codecs.pdf - 1/2 - Brisa")
        loaded = mapped_libraries()
        check("libpdfium.so" in loaded, "PDFium is loaded")
        check(not any(name.startswith(("libbrisa-codecs", "libjpeg", "libtiff", "libwebp", "libgif", "libjxr"))
                      for name in loaded), "no image codec is loaded for a PDF: %s" % sorted(loaded))
    path = cbz("codecs.cbz", [("1.jpg", image("codecs.jpg", "blue"))])
    with Brisa(path) as app:
        app.wait_title("codecs.cbz - 1/1 - Brisa")
        check(near((0, 0, 255), centre_colour(app, app.view()), 8), "the page is decoded")
        loaded = mapped_libraries()
        check("libbrisa-codecs.so" in loaded and any(n.startswith("libjpeg.so") for n in loaded), "the codecs are loaded: %s" % sorted(loaded))


if __name__ == "__main__":
    main(globals())
