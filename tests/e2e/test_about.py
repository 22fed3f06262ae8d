"""The About window and the default-reader question, as a user meets them:
the window in front of a frame that takes no input, the ways to close it, the
check box, the links followed in the browser, the question after the window
closes, the window-menu entry, and the window's look against reviewed pictures.

Followed addresses are caught by pointing Wine's browser at a logger script;
"ms-settings:" addresses reach the same logger through a protocol handler
registered in the test prefix. Set BRISA_BLESS=1 to rewrite the reference
pictures from the current program (then look at them before committing)."""

import os
import struct
import time
import zlib

from brisa import (ENGLISH, FRENCH, TOP, WM_SYSCOMMAND, WORK, Brisa, Failure, check, driver, equal, main, read_dword,
                   registry, reset_settings, set_dword, xdotool)

HERE = os.path.dirname(os.path.abspath(__file__))
REFERENCE = os.path.join(HERE, "reference")
PICTURE = os.path.join(TOP, "resources", "about.png")

IDM_DEFAULT_READER = 32
WM_KEYDOWN = 0x0100
BM_GETCHECK = 0x00F0
VK_SHIFT, VK_RETURN, VK_ESCAPE, VK_F1 = 0x10, 0x0D, 0x1B, 0x70
IDYES, IDNO = 6, 7

PUBLISHER_URL = "https://www.brisa-software.example/"
TORVANE_URL = "https://torvane.example/"
CAPABILITIES = r"Software\Brisa\Capabilities"

LINK = (30, 58, 138)
SEPARATOR = (221, 225, 235)
PANEL = (247, 247, 248)

QUESTION = {
    "en": "Brisa is not your default PDF reader.\n\nWindows does not let an application make itself the default. "
          "Open Brisa's page in Settings? Just click \".pdf\" there and choose Brisa.\n\nNo: do not ask again. "
          "The window menu (right-click the title bar) still offers it.",
    "fr": "Brisa n'est pas votre lecteur PDF par d\u00e9faut.\n\nWindows ne laisse pas une application se "
          "d\u00e9signer elle-m\u00eame. Ouvrir la page de Brisa dans les param\u00e8tres ? Il suffira d'y cliquer "
          "sur \u00ab .pdf \u00bb puis de choisir Brisa.\n\nNon : ne plus demander. Le menu de la fen\u00eatre "
          "(clic droit sur la barre de titre) le propose toujours.",
}


# --- PNG files (8-bit RGB or RGBA, not interlaced), for the reference pictures -----------------

def read_png(path):
    """(width, height, channels, rows of bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s is a PNG" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    check(depth == 8 and colour in (2, 6) and interlace == 0, "%s: 8-bit RGB(A), not interlaced" % path)
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def write_png(path, width, height, rgb):
    rows = b"".join(b"\x00" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


# --- Helpers ------------------------------------------------------------------------------------

def about_window(timeout_ms=20000):
    line = driver("find", "BrisaAbout", timeout_ms, ok=False)
    return int(line.split()[0]) if line else None


def about_count():
    return int(driver("count", "BrisaAbout"))


def state(window):
    """(enabled, owner, foreground window)."""
    enabled, owner, foreground = driver("state", window).split()
    return enabled == "1", int(owner), int(foreground)


def wait_for(condition, what, timeout=5):
    deadline = time.time() + timeout
    while not condition():
        if time.time() > deadline:
            raise Failure("timed out waiting: " + what)
        time.sleep(0.05)


def buttons(about):
    """Client rectangles (x, y, w, h) of the check box and of Close, in creation order."""
    found = [tuple(map(int, line.split()[3:7])) for line in driver("rects", about).splitlines()
             if line.startswith("child Button")]
    equal(2, len(found), "buttons of the About window")
    return found


def click(window, x, y):
    """A real mouse click at a client point of a window."""
    ox, oy = map(int, driver("origin", window).split())
    xdotool("mousemove", "--sync", ox + x, oy + y)
    xdotool("click", "1")


def click_close_box(window):
    """Wine draws the caption here (no window manager): its close box is in the top-right corner."""
    x, y, width, _ = map(int, driver("rects", window).splitlines()[0].split()[1:5])
    xdotool("mousemove", "--sync", x + width - 12, y + 12)
    xdotool("click", "1")


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


class Links:
    """Wine's browser replaced by a logger: every followed address lands in a file."""

    def __init__(self):
        self.log = os.path.join(WORK, "followed.log")
        script = os.path.join(WORK, "browser.sh")
        with open(script, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' % self.log)
        os.chmod(script, 0o755)
        registry("add", r"HKCU\Software\Wine\WineBrowser", "/v", "Browsers", "/t", "REG_SZ", "/d", script, "/f")
        # The settings page's scheme has no handler in Wine: hand it to the browser, hence the logger.
        registry("add", r"HKCR\ms-settings", "/v", "URL Protocol", "/d", "", "/f")
        registry("add", r"HKCR\ms-settings\shell\open\command", "/ve", "/d",
                 r'C:\windows\system32\winebrowser.exe "%1"', "/f")
        self.clear()

    def clear(self):
        if os.path.exists(self.log):
            os.remove(self.log)

    def lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().split()

    def wait(self, count, timeout=8):
        """The followed addresses once there are `count` of them."""
        wait_for(lambda: len(self.lines()) >= count, "%d followed address(es), got %r" % (count, self.lines()),
                 timeout)
        return self.lines()


def register(hive="HKCU"):
    registry("add", hive + "\\" + CAPABILITIES, "/v", "ApplicationName", "/t", "REG_SZ", "/d", "Brisa", "/f")


def unregister():
    registry("delete", r"HKCU\Software\Brisa\Capabilities", "/f")
    registry("delete", r"HKLM\Software\Brisa", "/f")


def question(answer, timeout_ms=8000):
    """(caption, text, icon) of the question, answered with the given button."""
    line = driver("msgbox", timeout_ms, answer, ok=False)
    check(line is not None, "a message box appeared")
    caption, text, icon = line.split("|")
    return caption, text.replace("\r", ""), icon


def no_question(wait_ms=1500):
    check(driver("nomsgbox", wait_ms, ok=False) is not None, "no message box")


# --- Pictures -----------------------------------------------------------------------------------

def separator_rows(image, x=30):
    return [y for y in range(image.height) if image.at(x, y) == SEPARATOR]


def picture_rect(image):
    """Where the picture is drawn: in the panel that follows the fourth separator (96 dpi)."""
    rows = separator_rows(image)
    equal(5, len(rows), "separators (rows %r)" % rows)
    left = 24 + (500 - 284) // 2 + 12
    return left, rows[3] + 9 + 10, 260, 57


def expected_picture():
    """The resource picture over the panel colour, box-averaged down to 260 x 57 (as rows of RGB)."""
    width, height, channels, rows = read_png(PICTURE)
    out = []
    for ty in range(57):
        y0, y1 = ty * height // 57, (ty + 1) * height // 57
        line = []
        for tx in range(260):
            x0, x1 = tx * width // 260, (tx + 1) * width // 260
            total, n = [0, 0, 0], 0
            for y in range(y0, y1):
                for x in range(x0, x1):
                    p = rows[y][x * channels:(x + 1) * channels]
                    a = p[3] if channels == 4 else 255
                    for c in range(3):
                        total[c] += (p[c] * a + PANEL[c] * (255 - a)) / 255
                    n += 1
            line.append(tuple(t / n for t in total))
        out.append(line)
    return out


def differing(image, reference_rows, tolerance=48):
    """Pixels of a capture that differ from a reference (rows of RGB bytes) by more than the tolerance."""
    count = 0
    for y in range(image.height):
        ref = reference_rows[y]
        got = image.pixels[y * image.width * 3:(y + 1) * image.width * 3]
        for i in range(0, len(got), 3):
            if max(abs(got[i] - ref[i]), abs(got[i + 1] - ref[i + 1]), abs(got[i + 2] - ref[i + 2])) > tolerance:
                count += 1
    return count


def compare_with_reference(image, name):
    """Tolerant to anti-aliasing: a few pixels may differ a lot, most not at all."""
    path = os.path.join(REFERENCE, name)
    if os.environ.get("BRISA_BLESS"):
        os.makedirs(REFERENCE, exist_ok=True)
        write_png(path, image.width, image.height, image.pixels)
        return
    width, height, channels, rows = read_png(path)
    actual = os.path.join(WORK, "actual-" + name)
    write_png(actual, image.width, image.height, image.pixels)
    equal((width, height), (image.width, image.height), "size of the About window's client area (see %s)" % actual)
    if channels == 4:
        rows = [bytes(b for i, b in enumerate(row) if i % 4 != 3) for row in rows]
    bad = differing(image, rows)
    limit = image.width * image.height // 400   # 0.25 %
    check(bad <= limit, "%d pixels differ from %s (at most %d); the capture is %s" % (bad, path, limit, actual))


def capture_about(language, **environment):
    reset_settings(about_on_startup=True)
    env = dict(language)
    env.update(environment)
    with Brisa(language=env) as app:
        about = about_window()
        check(about is not None, "the About window opens at the first start")
        time.sleep(0.4)
        driver("redraw", about)
        time.sleep(0.2)
        return app.capture(about)


# --- Tests --------------------------------------------------------------------------------------

def test_first_start_shows_it_in_front_and_every_way_of_closing_frees_the_frame():
    reset_settings(about_on_startup=True)
    with Brisa() as app:
        about = about_window()
        check(about is not None, "the About window opens at the first start")
        equal("About Brisa", driver("title", about), "title")
        enabled, owner, foreground = state(about)
        equal(app.window, owner, "owner of the About window")
        equal(about, foreground, "the About window is in front")
        check(not state(app.window)[0], "the frame is disabled while the About window is open")

        # F1 reaching the frame while the window is open only brings it forward.
        driver("key", app.window, VK_SHIFT)   # puts the frame in front; Shift alone does nothing
        wait_for(lambda: state(about)[2] == app.window, "the frame in front")
        app.post_to(app.view(), WM_KEYDOWN, VK_F1, 0)
        wait_for(lambda: state(about)[2] == about, "the About window brought forward by F1")
        equal(1, about_count(), "About windows after a second F1")

        closings = [
            ("the Close button", lambda w: click(w, *centre(buttons(w)[1]))),
            ("Enter", lambda w: driver("key", w, VK_RETURN)),
            ("Esc", lambda w: driver("key", w, VK_ESCAPE)),
            ("the caption's close box", click_close_box),
        ]
        for name, close in closings:
            close(about)
            wait_for(lambda: about_count() == 0, "closing by " + name)
            check(state(app.window)[0], "the frame takes input again after closing by " + name)
            wait_for(lambda: state(app.window)[2] == app.window, "the frame in front after closing by " + name)
            app.key(VK_F1)
            about = about_window(5000)
            check(about is not None, "F1 opens the About window again (after %s)" % name)
            check(not state(app.window)[0], "the frame is disabled again")


def test_ticked_box_keeps_it_closed_at_the_next_start_and_f1_shows_it_ticked():
    reset_settings(about_on_startup=True)
    with Brisa() as app:
        about = about_window()
        box = buttons(about)[0]
        click(about, box[0] + 8, box[1] + box[3] // 2)
        wait_for(lambda: read_dword("HideAboutOnStartup") == 1, "HideAboutOnStartup = 1 after the click")
        equal(1, int(driver("send", driver("child", about, "Button"), BM_GETCHECK, 0, 0)), "box ticked")
        driver("key", about, VK_ESCAPE)
        wait_for(lambda: about_count() == 0, "the About window closes")
    with Brisa() as app:
        app.wait_title("Brisa")
        check(about_window(1500) is None, "no About window at the next start")
        app.key(VK_F1)
        about = about_window(5000)
        check(about is not None, "F1 opens it")
        equal(1, int(driver("send", driver("child", about, "Button"), BM_GETCHECK, 0, 0)), "the box shows ticked")


def test_links_are_followed_only_from_their_text():
    links = Links()
    reset_settings(about_on_startup=True)
    with Brisa() as app:
        about = about_window()
        time.sleep(0.3)
        image = app.capture(about)
        # Rows holding the link colour: the product name first, then the two links.
        rows = [y for y in range(image.height) if LINK in image.row(y)]
        groups = []
        for y in rows:
            if groups and y - groups[-1][-1] <= 8:
                groups[-1].append(y)
            else:
                groups.append([y])
        equal(3, len(groups), "text lines in the link colour")

        def spot(group):
            xs = [x for y in group for x in range(image.width) if image.at(x, y) == LINK]
            return (min(xs) + max(xs)) // 2, (group[0] + group[-1]) // 2

        title, publisher, torvane = map(spot, groups)
        click(about, *title)                              # same colour, but not a link
        click(about, 30, separator_rows(image)[1] + 30)   # the warning text
        click(about, *publisher)
        equal([PUBLISHER_URL], links.wait(1), "followed from the publisher's link")
        click(about, *torvane)
        equal([PUBLISHER_URL, TORVANE_URL], links.wait(2), "followed from Torvane's link")
        time.sleep(1)
        equal(2, len(links.lines()), "nothing else was followed")


def test_question_waits_for_the_about_window_and_no_is_remembered():
    reset_settings(about_on_startup=True)
    register()
    try:
        with Brisa() as app:
            about = about_window()
            no_question(1500)
            driver("key", about, VK_ESCAPE)
            caption, text, icon = question(IDNO)
            equal(("Brisa", QUESTION["en"], "question"), (caption, text, icon), "the question")
            wait_for(lambda: read_dword("NeverAskDefault") == 1, "NeverAskDefault = 1 after No")
            # Once per run: another About window closing brings no second question.
            set_dword("NeverAskDefault", 0)
            app.key(VK_F1)
            about = about_window(5000)
            driver("key", about, VK_ESCAPE)
            no_question(1500)
        set_dword("NeverAskDefault", 1)
        with Brisa() as app:
            app.wait_title("Brisa")
            no_question(2000)
    finally:
        unregister()


def test_question_comes_at_once_without_the_about_window_and_yes_opens_the_page():
    links = Links()
    reset_settings()
    register()
    try:
        with Brisa(language=FRENCH) as app:
            caption, text, icon = question(IDYES)
            equal(("Brisa", QUESTION["fr"], "question"), (caption, text, icon), "the question in French")
            equal(["ms-settings:defaultapps?registeredAppUser=Brisa"], links.wait(1), "page opened on Yes")
            equal(None, read_dword("NeverAskDefault"), "Yes does not silence the question")
    finally:
        unregister()


def test_window_menu_opens_the_general_or_the_registered_page():
    links = Links()
    reset_settings()
    with Brisa() as app:
        no_question(1500)   # not registered: never asked
        app.post(WM_SYSCOMMAND, IDM_DEFAULT_READER, 0)
        equal(["ms-settings:defaultapps"], links.wait(1), "without a registration")
        register("HKLM")
        try:
            app.post(WM_SYSCOMMAND, IDM_DEFAULT_READER, 0)
            equal("ms-settings:defaultapps?registeredAppMachine=Brisa", links.wait(2)[1],
                  "registered for the machine")
        finally:
            unregister()


def test_about_window_looks_as_reviewed_and_shows_the_picture():
    english = capture_about(ENGLISH)
    compare_with_reference(english, "about-en.png")
    compare_with_reference(capture_about(FRENCH), "about-fr.png")

    # The picture: the resource scaled into the panel.
    left, top, width, height = picture_rect(english)
    expected = expected_picture()
    error = sum(abs(english.at(left + x, top + y)[c] - expected[y][x][c])
                for y in range(height) for x in range(width) for c in range(3)) / (width * height * 3)
    check(error < 14, "picture drawn from the resource (mean difference %.1f)" % error)

    # Without GDI+ there is no picture: the panel stays plain, nothing else moves.
    overrides = os.environ.get("WINEDLLOVERRIDES", "")
    bare = capture_about(ENGLISH, WINEDLLOVERRIDES=(overrides + ";" if overrides else "") + "gdiplus=d")
    equal((english.width, english.height), (bare.width, bare.height), "size without the picture")
    outside = inside = 0
    for y in range(bare.height):
        for x in range(bare.width):
            within = left <= x < left + width and top <= y < top + height
            if within:
                inside += bare.at(x, y) != PANEL
            else:
                outside += bare.at(x, y) != english.at(x, y)
    equal(0, inside, "pixels of the empty panel that are not the panel colour")
    equal(0, outside, "pixels outside the picture that changed")


if __name__ == "__main__":
    main(globals())
