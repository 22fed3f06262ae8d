"""Printing through the system's print dialog to a real spooler: a private CUPS
daemon with a cups-pdf printer, started and stopped here, whose PDF output is
read back with poppler's tools (pdfinfo, pdftoppm)."""

import glob
import os
import pwd
import shutil
import struct
import subprocess
import time
import zipfile
import zlib

from brisa import WINDOWS, Brisa, Image, WORK, check, driver, equal, main

CONTROL, SHIFT, ALT, TAB, RETURN, ESCAPE = 0x11, 0x10, 0x12, 0x09, 0x0D, 0x1B

# Document names are unique to this run: cups-pdf writes every job of a user,
# whichever spooler it came from, into that user's ~/PDF.
RUN = "brisa-print-%d" % os.getpid()
OUTPUT = os.path.join(pwd.getpwuid(os.getuid()).pw_dir, "PDF")
PPD = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"

# The printed sheets are rendered at this resolution for the checks.
CHECK_DPI = 40
# What the sheet may differ from the expected place, in pixels at CHECK_DPI.
TOLERANCE = 2

WHITE, FRAME = (255, 255, 255), (60, 60, 60)
RED, BLUE, GREEN = (230, 0, 0), (0, 0, 230), (0, 150, 0)

# Pages of the test document: width, height in points and the colour of the
# square in its top-left corner. Portrait, landscape, square.
PAGES = [(400, 600, RED), (600, 400, BLUE), (500, 500, GREEN)]


# ---- the spooler ---------------------------------------------------------------------------------

class Spooler:
    """A CUPS daemon of our own, on its own socket, with one cups-pdf printer named PDF."""

    def __init__(self):
        self.root = os.path.join(WORK, "cups")
        shutil.rmtree(self.root, ignore_errors=True)
        for folder in ("etc/ppd", "spool/tmp", "cache", "run", "log"):
            os.makedirs(os.path.join(self.root, folder))
        self.socket = os.path.join(self.root, "cups.sock")
        self.env = dict(os.environ, CUPS_SERVER=self.socket)
        self.write_configuration()
        self.log = open(os.path.join(self.root, "log", "cupsd.out"), "wb")
        conf = os.path.join(self.root, "etc")
        self.process = subprocess.Popen(["cupsd", "-f", "-c", conf + "/cupsd.conf", "-s", conf + "/cups-files.conf"],
                                        stdout=self.log, stderr=self.log)
        deadline = time.time() + 20
        while not self.answers() and time.time() < deadline:
            check(self.process.poll() is None, "cupsd exited: see %s" % self.root + "/log")
            time.sleep(0.1)
        check(self.answers(), "cupsd answers on its socket")
        self.run(["lpadmin", "-p", "PDF", "-E", "-v", "cups-pdf:/", "-P", PPD])
        self.run(["lpadmin", "-d", "PDF"])

    def write_configuration(self):
        r = self.root
        with open(r + "/etc/cups-files.conf", "w") as f:
            f.write("SystemGroup root\nServerRoot %s/etc\nRequestRoot %s/spool\nTempDir %s/spool/tmp\n"
                    "CacheDir %s/cache\nStateDir %s/run\nLogFileGroup root\nErrorLog %s/log/error_log\n"
                    "AccessLog %s/log/access_log\nPageLog %s/log/page_log\n" % ((r,) * 8))
        with open(r + "/etc/cupsd.conf", "w") as f:
            f.write("Listen %s\nWebInterface No\nBrowsing No\nLogLevel info\n"
                    "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                    "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n" % self.socket)
        # Wine names the job after the document, and CUPS types a job by the
        # extension of that name first: "x.pdf" would send PostScript through the
        # PDF filters and fail. The Linux build names its jobs so that this cannot
        # happen, and is tested against CUPS's own rules. The Windows build names
        # them as Windows programs do (on Windows the spooler never sees a name's
        # extension): under Wine it needs PostScript's signature to win.
        if WINDOWS:
            with open(r + "/etc/postscript.types", "w") as f:
                f.write("application/postscript priority(150) string(0,%!)\n")

    def run(self, command):
        result = subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=30)
        check(result.returncode == 0, "%s: %s" % (" ".join(command), result.stderr.strip()))
        return result.stdout

    def answers(self):
        if not os.path.exists(self.socket):
            return False
        return subprocess.run(["lpstat", "-r"], env=self.env, capture_output=True, timeout=10).returncode == 0

    def jobs(self, which="all"):
        """Ids of the printer's jobs (all, or not-completed)."""
        out = self.run(["lpstat", "-W", which, "-o", "PDF"])
        return sorted(int(line.split()[0].rsplit("-", 1)[1]) for line in out.splitlines() if line.startswith("PDF-"))

    def wait_for_new_job(self, known, timeout=60):
        """The id of the one job submitted since `known` was read, once the spooler has finished it."""
        deadline = time.time() + timeout
        new = []
        while time.time() < deadline:
            new = [j for j in self.jobs() if j not in known]
            if new:
                break
            time.sleep(0.2)
        equal(1, len(new), "new print jobs")
        while new[0] in self.jobs("not-completed") and time.time() < deadline:
            time.sleep(0.2)
        check(new[0] not in self.jobs("not-completed"), "job %d finished within %d s" % (new[0], timeout))
        return new[0]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


SPOOLER = None


def printed_file(job):
    """The PDF cups-pdf wrote for our job, or None."""
    found = glob.glob(os.path.join(OUTPUT, RUN + "*-job_%d.pdf" % job))
    check(len(found) <= 1, "one output file per job: %r" % found)
    return found[0] if found else None


def clean_output():
    """Our files of earlier runs (other runs' recent files are left alone)."""
    old = time.time() - 600
    for path in glob.glob(os.path.join(OUTPUT, "brisa-print-*.pdf")):
        if path.startswith(os.path.join(OUTPUT, RUN)) or os.path.getmtime(path) < old:
            os.remove(path)


# ---- the document and its sheets -----------------------------------------------------------------

def make_document(name, pages, padding=0):
    """A PDF whose pages are white inside a dark 8-point frame along their edges, with
    a coloured square (a fifth of the shorter side) in the top-left corner; `padding`
    bytes of comment after each object spread the objects through the file."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>"]
    kids = " ".join("%d 0 R" % (3 + 2 * i) for i in range(len(pages)))
    objects.append(("<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, len(pages))).encode())
    for i, (w, h, marker) in enumerate(pages):
        objects.append(("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %g %g] /Contents %d 0 R >>"
                        % (w, h, 4 + 2 * i)).encode())
        m = min(w, h) / 5.0
        grey = "%.3f %.3f %.3f" % tuple(c / 255.0 for c in FRAME)
        colour = "%.3f %.3f %.3f" % tuple(c / 255.0 for c in marker)
        content = ("%s RG 8 w 4 4 %g %g re S %s rg 0 %g %g %g re f"
                   % (grey, w - 8, h - 8, colour, h - m, m, m)).encode()
        objects.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
    out = b"%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
        if padding:
            out += b"%" + b" " * padding + b"\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    path = os.path.join(WORK, name)
    with open(path, "wb") as f:
        f.write(out)
    return path


def png(width, height, marker):
    """An RGB PNG drawn like a page of make_document: white, a dark 8-pixel frame,
    a coloured square of a fifth of the shorter side in the top-left corner."""
    m = min(width, height) // 5
    rows = []
    for y in range(height):
        row = bytearray(b"\0")
        for x in range(width):
            if x < m and y < m:
                row += bytes(marker)
            elif x < 8 or y < 8 or x >= width - 8 or y >= height - 8:
                row += bytes(FRAME)
            else:
                row += bytes(WHITE)
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows)))
            + chunk(b"IEND", b""))


def make_comic(name, pages):
    path = os.path.join(WORK, name)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for number, (w, h, marker) in enumerate(pages, 1):
            archive.writestr("page%02d.png" % number, png(w, h, marker))
    return path


def sheet_count(path):
    out = subprocess.run(["pdfinfo", path], capture_output=True, text=True, timeout=30).stdout
    for line in out.splitlines():
        if line.startswith("Pages:"):
            return int(line.split()[1])
    return None


def sheet_image(path, number):
    """Sheet `number` (one-based) rendered at CHECK_DPI."""
    stem = os.path.join(WORK, "sheet-%d-%d" % (number, time.monotonic_ns()))
    subprocess.run(["pdftoppm", "-r", str(CHECK_DPI), "-f", str(number), "-l", str(number), "-singlefile",
                    path, stem], check=True, timeout=60)
    return Image(stem + ".ppm")


def bounding_box(image, test):
    """(left, top, right, bottom), inclusive, of the pixels that pass `test`, or None."""
    xs, ys = [], []
    for y in range(image.height):
        row = image.pixels[y * image.width * 3:(y + 1) * image.width * 3]
        for x in range(image.width):
            if test(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]):
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def near(colour, tolerance=70):
    return lambda r, g, b: abs(r - colour[0]) + abs(g - colour[1]) + abs(b - colour[2]) < tolerance


def expected_box(page_w, page_h, sheet_w, sheet_h):
    """Where the page must land on the sheet (x, y, w, h, turned): a quarter turn
    when exactly one of page and sheet is landscape (a square is portrait), fitted
    to touch two opposite edges, centred."""
    turned = (sheet_w > sheet_h) != (page_w > page_h)
    ex, ey = (page_h, page_w) if turned else (page_w, page_h)
    scale = min(sheet_w / ex, sheet_h / ey)
    w, h = ex * scale, ey * scale
    return (sheet_w - w) / 2, (sheet_h - h) / 2, w, h, turned


def check_sheet(image, page, what):
    """The page's frame fills the expected box and its corner square sits in the corner
    the rule says: top-left, or top-right when the page was turned clockwise."""
    page_w, page_h, marker = page
    x, y, w, h, turned = expected_box(page_w, page_h, image.width, image.height)
    box = bounding_box(image, lambda r, g, b: min(r, g, b) < 200)
    check(box is not None, "%s: something is printed" % what)
    want = (x, y, x + w - 1, y + h - 1)
    for got, expected, side in zip(box, want, ("left", "top", "right", "bottom")):
        check(abs(got - expected) <= TOLERANCE,
              "%s: %s edge at %d, expected %.1f (box %r, expected %r)" % (what, side, got, expected, box, want))
    square = bounding_box(image, near(marker))
    check(square is not None, "%s: the corner square keeps its colour %r" % (what, marker))
    side = min(page_w, page_h) / 5.0 * w / (page_h if turned else page_w)   # its side on the sheet
    centre = ((square[0] + square[2]) / 2.0, (square[1] + square[3]) / 2.0)
    corner = (x + w - side / 2, y + side / 2) if turned else (x + side / 2, y + side / 2)
    check(abs(centre[0] - corner[0]) <= 2 * TOLERANCE and abs(centre[1] - corner[1]) <= 2 * TOLERANCE,
          "%s: corner square centred at %r, expected %r (%s)" % (what, centre, corner,
                                                                 "top-right" if turned else "top-left"))


# ---- driving the program -------------------------------------------------------------------------

def open_document(pages, name, comic=False):
    if comic:
        path = make_comic(RUN + "-" + name + ".cbz", pages)
    else:
        path = make_document(RUN + "-" + name + ".pdf", pages)
    app = start(path)
    app.wait_title("%s - 1/%d - Brisa" % (os.path.basename(path), len(pages)))
    return app


def start(*args):
    """The program, seeing the test spooler (Wine's printing asks CUPS from the program's own process)."""
    saved = os.environ.get("CUPS_SERVER")
    os.environ["CUPS_SERVER"] = SPOOLER.socket
    try:
        return Brisa(*args)
    finally:
        if saved is None:
            del os.environ["CUPS_SERVER"]
        else:
            os.environ["CUPS_SERVER"] = saved


def print_dialog(timeout_ms=15000):
    line = driver("find", "#32770", timeout_ms, ok=False)
    check(line, "the print dialog opens (does Wine see the spooler's printer PDF?)")
    return int(line.split()[0])


def dialog_keys(dialog, *chords):
    """Each chord (a key or a tuple of keys pressed together) in turn, to the dialog."""
    for chord in chords:
        keys = chord if isinstance(chord, tuple) else (chord,)
        driver("key", dialog, *keys)


def type_range(dialog, first, last):
    """Pages first to last: Alt+G picks "Pages", Tab reaches "from", Tab again "to"."""
    dialog_keys(dialog, (ALT, ord("G")), TAB, *[ord(c) for c in str(first)])
    dialog_keys(dialog, TAB, *[ord(c) for c in str(last)])


def print_job(app, answer, shift=False):
    """Ctrl+P (with Shift if asked), the dialog answered by `answer`, and the finished job's id."""
    known = SPOOLER.jobs()
    app.key(CONTROL, SHIFT, ord("P")) if shift else app.key(CONTROL, ord("P"))
    dialog = print_dialog()
    answer(dialog)
    dialog_keys(dialog, RETURN)
    return SPOOLER.wait_for_new_job(known)


# ---- tests ---------------------------------------------------------------------------------------

def test_every_page_fitted_centred_and_turned_to_the_paper():
    with open_document(PAGES, "all") as app:
        started = time.time()
        job = print_job(app, lambda dialog: None)
        spooled = time.time() - started
        path = printed_file(job)
        check(path is not None, "cups-pdf wrote the job to %s" % OUTPUT)
        equal(len(PAGES), sheet_count(path), "sheets for All")
        for number, page in enumerate(PAGES, 1):
            image = sheet_image(path, number)
            check(image.width < image.height, "sheet %d is the printer's portrait A4" % number)
            check_sheet(image, page, "sheet %d" % number)
        print("     3 sheets printed and converted in %.1f s" % spooled)


def test_a_range_with_ctrl_shift_p_then_first_above_last_prints_an_empty_job():
    with open_document(PAGES, "range") as app:
        job = print_job(app, lambda dialog: type_range(dialog, 2, 3), shift=True)
        path = printed_file(job)
        check(path is not None, "cups-pdf wrote the range job")
        equal(2, sheet_count(path), "sheets for pages 2 to 3")
        check_sheet(sheet_image(path, 1), PAGES[1], "range sheet 1 (page 2)")
        check_sheet(sheet_image(path, 2), PAGES[2], "range sheet 2 (page 3)")

        # From 3 to 2: the dialog accepts it; the job is opened and closed with no
        # page in it (Ghostscript turns a document without pages into one blank sheet).
        job = print_job(app, lambda dialog: type_range(dialog, 3, 2))
        path = printed_file(job)
        for number in range(1, (sheet_count(path) if path else 0) + 1):
            check(bounding_box(sheet_image(path, number), lambda r, g, b: min(r, g, b) < 200) is None,
                  "sheet %d of the job for first > last is blank" % number)
        equal("%s-range.pdf - 1/3 - Brisa" % RUN, app.title(), "the program is still there")


def test_comic_pages_are_stretched_onto_the_sheet_and_turned():
    pages = [(300, 450, RED), (450, 300, BLUE)]   # image pixels
    with open_document(pages, "comic", comic=True) as app:
        job = print_job(app, lambda dialog: None)
        path = printed_file(job)
        check(path is not None, "cups-pdf wrote the comic job")
        equal(2, sheet_count(path), "sheets for the comic")
        for number, page in enumerate(pages, 1):
            check_sheet(sheet_image(path, number), page, "comic sheet %d" % number)


def test_cancel_prints_nothing_and_without_a_document_there_is_no_dialog():
    with open_document(PAGES[:1], "cancel") as app:
        known = SPOOLER.jobs()
        app.key(CONTROL, ord("P"))
        dialog_keys(print_dialog(), ESCAPE)
        time.sleep(1.5)
        equal(known, SPOOLER.jobs(), "jobs after a cancelled dialog")
        equal("0", driver("count", "#32770"), "dialogs left open")
        # The next Ctrl+P opens a fresh dialog: nothing was left half-done.
        job = print_job(app, lambda dialog: None)
        equal(1, sheet_count(printed_file(job)), "sheets after a cancel")

    with start() as app:
        app.wait_title("Brisa")
        app.key(CONTROL, ord("P"))
        check(driver("nomsgbox", 1500, ok=False) is not None, "no print dialog without a document")


def run():
    global SPOOLER
    check(shutil.which("cupsd") and os.path.exists(PPD), "cups and printer-driver-cups-pdf are installed")
    os.makedirs(OUTPUT, exist_ok=True)
    clean_output()
    SPOOLER = Spooler()
    try:
        main(globals())
    finally:
        SPOOLER.stop()
        for path in glob.glob(os.path.join(OUTPUT, RUN + "*")):
            os.remove(path)


if __name__ == "__main__":
    run()
