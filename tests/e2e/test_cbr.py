"""RAR comics (CBR) as a user sees them: RAR 4 and RAR 5 archives, solid or
not, open with their pages in natural order; without unrar.dll beside the
program a CBR says so, and everything else still opens."""

import os
import shutil
import subprocess
import sys
import time

import brisa
from brisa import FRENCH, TOP, WORK, Brisa, check, driver, equal, main, message_box, reset_settings
from test_comics import COLOURS, CONVERT, centre_colour, near
from test_start import make_pdf

MAKERAR = os.path.join(TOP, "scripts", "makerar.py")
WM_VSCROLL, SB_PAGEDOWN = 0x115, 3
PLACEHOLDER = (221, 221, 221)   # a page that cannot be decoded
NO_UNRAR = {"en": "Cannot read RAR archives: unrar.dll is missing next to Brisa.exe.",
            "fr": "Lecture des archives RAR impossible : unrar.dll manque à côté de Brisa.exe."}

# Stored in this order; natural order is Page1, page2, page3, page10, page11. The
# BMPs are larger than the 64 KiB read at open time, the PNGs much smaller.
STORED = ["page10.png", "page2.bmp", "Page1.png", "page11.bmp", "page3.png"]
NATURAL = ["Page1.png", "page2.bmp", "page3.png", "page10.png", "page11.bmp"]


def picture(name, colour):
    """A flat 300 × 450 picture; BMPs uncompressed (405 KB)."""
    path = os.path.join(WORK, "rar-" + name)
    if not os.path.exists(path):
        kind = "BMP3:" if name.endswith(".bmp") else "PNG24:"
        subprocess.run([CONVERT, "-size", "300x450", "xc:" + colour, kind + path], check=True)
    return path


def cbr(name, entries, rar_format=5, solid=False, directories=(), volume_size=0):
    """entries: [(name in archive, file path)]. With a volume size the archive is
    split into name.part1.cbr, name.part2.cbr…"""
    path = os.path.join(WORK, name)
    command = [sys.executable, MAKERAR, "--format", str(rar_format)]
    if solid:
        command.append("--solid")
    if volume_size:
        command += ["--volume-size", str(volume_size)]
    for directory in directories:
        command += ["--dir", directory]
    command.append(path)
    command += ["%s=%s" % entry for entry in entries]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return path


def ordered_comic(name, rar_format, solid):
    entries = [(stored, picture("%s-%s" % (COLOURS[NATURAL.index(stored)][0], stored),
                                COLOURS[NATURAL.index(stored)][0]))
               for stored in STORED]
    return cbr(name, entries, rar_format, solid, directories=["cover.jpg"])


def check_pages_in_order(path, count=5):
    """Steps through every page, checking the title and the colour it shows."""
    name = os.path.basename(path)
    with Brisa(path) as app:
        app.wait_title("%s - 1/%d - Brisa" % (name, count))
        view = app.view()
        for page in range(count):
            wanted = "%s - %d/%d - Brisa" % (name, page + 1, count)
            for _ in range(10):   # a page is taller than the view: page down until it is current
                if app.title() == wanted:
                    break
                app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
                app.settle(0.15)
            app.wait_title(wanted)
            app.settle(0.3)
            colour = centre_colour(app, view)
            check(near(COLOURS[page][1], colour),
                  "%s page %d shows %r, expected %s" % (name, page + 1, colour, COLOURS[page][0]))


def test_rar5_pages_show_in_natural_order():
    reset_settings()
    check_pages_in_order(ordered_comic("rar5.cbr", 5, solid=False))


def test_solid_rar5_pages_show_in_natural_order():
    reset_settings()
    check_pages_in_order(ordered_comic("rar5-solid.cbr", 5, solid=True))


def test_rar4_pages_show_in_natural_order():
    reset_settings()
    check_pages_in_order(ordered_comic("rar4.cbr", 4, solid=False))


def test_solid_rar4_pages_show_in_natural_order():
    reset_settings()
    check_pages_in_order(ordered_comic("rar4-solid.cbr", 4, solid=True))


def test_volumes_are_read_together_and_a_missing_one_ends_the_comic():
    reset_settings()
    names = ["1.png", "2.bmp", "3.png", "4.bmp"]
    entries = [(n, picture("%s-%s" % (COLOURS[i][0], n), COLOURS[i][0])) for i, n in enumerate(names)]
    cbr("volumes.cbr", entries, volume_size=300000)   # 2.bmp and 4.bmp span volumes
    first = os.path.join(WORK, "volumes.part1.cbr")
    second = os.path.join(WORK, "volumes.part2.cbr")
    check(os.path.exists(second), "the archive was split")
    check_pages_in_order(first, 4)
    # Without the second volume: the image that continues into it is listed from
    # its beginning, in the first volume, but fails to decode (the library asks
    # for the missing volume and is refused); nothing after it can be reached.
    os.rename(second, second + ".away")
    try:
        with Brisa(first) as app:
            app.wait_title("volumes.part1.cbr - 1/2 - Brisa")
            view = app.view()
            app.settle(0.3)
            check(near(COLOURS[0][1], centre_colour(app, view)), "the first page still shows")
            for _ in range(10):
                if app.title() == "volumes.part1.cbr - 2/2 - Brisa":
                    break
                app.post_to(view, WM_VSCROLL, SB_PAGEDOWN)
                app.settle(0.15)
            app.wait_title("volumes.part1.cbr - 2/2 - Brisa")
            app.settle(0.3)
            equal(PLACEHOLDER, centre_colour(app, view), "the cut image is the placeholder")
    finally:
        os.rename(second + ".away", second)


def program_without_unrar():
    """The command that starts a copy of the program's folder without unrar.dll."""
    folder = os.path.join(WORK, "no-unrar")
    os.makedirs(folder, exist_ok=True)
    program = brisa.COMMAND[-1]
    for name in ("Brisa.exe", "Brisa.exe.so", "libpdfium.so", "libbrisa-codecs.so", "pdfium.dll"):
        source = os.path.join(os.path.dirname(program), name)
        if os.path.exists(source):
            shutil.copy2(source, os.path.join(folder, name))
    check(not os.path.exists(os.path.join(folder, "unrar.dll")), "the copy has no unrar.dll")
    return brisa.COMMAND[:-1] + [os.path.join(folder, os.path.basename(program))]


def test_without_unrar_a_cbr_says_so_and_a_pdf_still_opens():
    reset_settings()
    comic = cbr("needs-unrar.cbr", [("1.png", picture("red-1.png", "red"))])
    document = make_pdf("without-unrar.pdf", "--pages", "3")
    saved = brisa.COMMAND
    brisa.COMMAND = program_without_unrar()
    try:
        for language, environment in (("en", brisa.ENGLISH), ("fr", FRENCH)):
            with Brisa(comic, language=environment, wait=False) as app:
                equal(("Brisa", NO_UNRAR[language], "error"), message_box(), "CBR without unrar.dll")
                app.find()
                app.wait_title("Brisa")
        with Brisa(document) as app:
            app.wait_title("without-unrar.pdf - 1/3 - Brisa")
    finally:
        brisa.COMMAND = saved
    # The build's own folder, with its library, still reads the same archive.
    with Brisa(comic) as app:
        app.wait_title("needs-unrar.cbr - 1/1 - Brisa")


def huge_solid_comic():
    """A solid RAR 4 comic of 12 stored 48 MB bitmaps: unpacking it at open takes
    seconds. The bitmap is written directly: a 4000 × 4000 grey BMP."""
    path = os.path.join(WORK, "huge-solid.cbr")
    if os.path.exists(path):
        return path
    side = 4000
    pixels = side * side * 3
    bitmap = os.path.join(WORK, "huge.bmp")
    with open(bitmap, "wb") as out:
        out.write(b"BM" + (54 + pixels).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little"))
        out.write((40).to_bytes(4, "little") + side.to_bytes(4, "little") + side.to_bytes(4, "little")
                  + (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24))
        out.write(b"\x80" * pixels)
    cbr("huge-solid.cbr", [("%02d.bmp" % i, bitmap) for i in range(12)], rar_format=4, solid=True)
    os.remove(bitmap)
    return path


def unar_runs():
    return subprocess.run(["pgrep", "-x", "unar"], capture_output=True).returncode == 0


def answer_time(app):
    """Seconds a message sent to the window waits for its answer."""
    started = time.time()
    driver("send", app.window, 0, 0, 0)   # WM_NULL
    return time.time() - started


def test_a_long_solid_open_answers_and_stops_at_esc_or_ctrl_w():
    reset_settings()
    comic = huge_solid_comic()
    VK_CONTROL, VK_ESCAPE = 0x11, 0x1B
    # Esc: the open stops, nothing is shown and nothing is said.
    with Brisa(comic) as app:
        app.settle(0.5)
        waited = answer_time(app)
        check(waited < 1.5, "the window answered in %.1f s while the archive unpacks" % waited)
        equal("Brisa", app.title(), "title while the archive unpacks")
        app.key(VK_ESCAPE)
        answer_time(app)
        check(driver("nomsgbox", 1000, ok=False) is not None, "no message box after Esc")
        equal("Brisa", app.title(), "title after Esc")
        check(app.process.poll() is None, "still running after Esc")
    # Ctrl+W: the program ends at once, its unpacking helper with it.
    with Brisa(comic) as app:
        app.settle(0.5)
        app.key(VK_CONTROL, ord("W"))
        started = time.time()
        app.exit_code(timeout=10)
        ended = time.time() - started
        check(ended < 2, "ended %.1f s after Ctrl+W" % ended)
        check(not unar_runs(), "no unar left running")


if __name__ == "__main__":
    main(globals())
