"""The keyboard: navigation keys of the view, page modes, zoom keys, Ctrl+W.

Scroll positions are read from the screen: the pages are short and all the
same size, so the grey gaps between them give the scroll offset modulo the
page period, and the title gives the page."""

from brisa import GREY, Brisa, check, equal, main, read_dword, reset_settings, runs
from test_start import make_pdf

VK = {"space": 0x20, "prior": 0x21, "next": 0x22, "end": 0x23, "home": 0x24, "left": 0x25, "up": 0x26,
      "right": 0x27, "down": 0x28, "shift": 0x10, "control": 0x11, "D": 0x44, "W": 0x57, "0": 0x30, "1": 0x31,
      "add": 0x6B, "subtract": 0x6D, "oem_plus": 0xBB, "oem_minus": 0xBD, "numpad0": 0x60, "numpad1": 0x61}
LINE = 48       # line step at 96 dpi
PAGES = 12


class Geometry:
    """The fit-width layout of PAGES pages of 600 x 300 points in a view."""

    def __init__(self, image, width_points=600, zoom=None):
        self.view_width, self.view_height = image.width, image.height
        self.zoom = zoom if zoom else (self.view_width - 16) / width_points
        self.page_width = int(width_points * self.zoom + 0.5)
        self.page_height = int(300 * self.zoom + 0.5)
        self.period = self.page_height + 8
        self.layout_height = 8 + PAGES * self.period

    def clamp(self, y):
        return max(0, min(y, self.layout_height - self.view_height))


def scroll_phase(image, period, x=None):
    """scrollY modulo the page period, from the first whole grey gap in a column."""
    column = image.column(x if x is not None else image.width // 2)
    for value, start, length in runs(column):
        if value == GREY and length == 8 and start + 8 <= image.height and start > 0:
            return (-start) % period
    raise AssertionError("no gap between pages in sight")


def page_width_on_screen(image, y=None):
    """Width of the page crossing the given row (the widest non-grey run)."""
    row = image.row(y if y is not None else image.height // 2)
    return max(length for value, _, length in runs([p != GREY for p in row]) if value)


def document():
    return make_pdf("keys.pdf", "--pages", str(PAGES), "--size", "600x300")


def open_document():
    reset_settings()
    app = Brisa(document())
    app.wait_title("keys.pdf - 1/%d - Brisa" % PAGES)
    app.settle()
    return app


def expect_scroll(app, geometry, expected, what):
    app.settle(0.2)
    image = app.capture(app.view())
    equal(expected % geometry.period, scroll_phase(image, geometry.period), what + ": scroll offset")
    page = (expected + image.height // 3 - 8) // geometry.period + 1
    equal("keys.pdf - %d/%d - Brisa" % (max(1, min(page, PAGES)), PAGES), app.title(), what + ": title")


def test_navigation_keys_move_as_their_rows_say():
    with open_document() as app:
        geometry = Geometry(app.capture(app.view()))
        page = geometry.view_height - LINE
        y = 0
        for keys, move, what in [
            (["next"], page, "Page Down"),
            (["space"], page, "Space"),
            (["shift", "space"], -page, "Shift+Space"),
            (["shift", "next"], -page, "Shift+Page Down"),
            (["next"], page, "Page Down again"),
            (["shift", "prior"], -page, "Shift+Page Up"),
            (["down"], LINE, "Down"),
            (["down"], LINE, "Down again"),
            (["up"], -LINE, "Up"),
        ]:
            app.key(*[VK[k] for k in keys])
            y = geometry.clamp(y + move)
            expect_scroll(app, geometry, y, what)
        app.key(VK["end"])
        expect_scroll(app, geometry, geometry.clamp(geometry.layout_height), "End")
        before = app.capture(app.view()).pixels
        app.key(VK["space"])   # at the end, Space does nothing
        app.settle()
        check(before == app.capture(app.view()).pixels, "Space at the end changes nothing")
        app.key(VK["home"])
        expect_scroll(app, geometry, 0, "Home")


def test_d_and_shift_d_switch_modes_and_store_both_values():
    with open_document() as app:
        app.key(VK["control"], VK["D"])   # Ctrl+D does nothing
        app.settle()
        equal((None, None), (read_dword("DoublePage"), read_dword("CoverPaired")), "after Ctrl+D")
        # The pages are short: the row that crosses the line a third down the view is the current one.
        app.key(VK["D"])
        app.wait_title("keys.pdf - 2-3/%d - Brisa" % PAGES)   # the cover alone, then pages 2-3
        equal((1, 0), (read_dword("DoublePage"), read_dword("CoverPaired")), "after D")
        app.key(VK["shift"], VK["D"])
        app.wait_title("keys.pdf - 3-4/%d - Brisa" % PAGES)   # page 2 stays on top, now beside page 1
        equal((1, 1), (read_dword("DoublePage"), read_dword("CoverPaired")), "after Shift+D")
        app.key(VK["D"])
        app.wait_title("keys.pdf - 3/%d - Brisa" % PAGES)     # single pages, page 3 on top
        equal((0, 1), (read_dword("DoublePage"), read_dword("CoverPaired")), "after D again")


def test_zoom_keys_on_both_keyboards():
    with open_document() as app:
        view = app.view()
        fit = Geometry(app.capture(view))
        equal(fit.page_width, page_width_on_screen(app.capture(view)), "fit width")
        app.key(VK["control"], VK["1"])
        app.settle()
        equal(800, page_width_on_screen(app.capture(view)), "Ctrl+1: 600 points at 96/72")
        app.key(VK["control"], VK["0"])
        app.settle()
        equal(fit.page_width, page_width_on_screen(app.capture(view)), "Ctrl+0: fit width again")
        app.key(VK["control"], VK["numpad1"])
        app.settle()
        equal(800, page_width_on_screen(app.capture(view)), "Ctrl+keypad 1")
        zoom = 96 / 72
        for key, factor in [("oem_minus", 1 / 1.25), ("subtract", 1 / 1.25), ("oem_plus", 1.25), ("add", 1.25),
                            ("subtract", 1 / 1.25)]:
            app.key(VK["control"], VK[key])
            zoom *= factor
            app.settle()
            equal(int(600 * zoom + 0.5), page_width_on_screen(app.capture(view)), "Ctrl+" + key)
        app.key(VK["control"], VK["numpad0"])
        app.settle()
        equal(fit.page_width, page_width_on_screen(app.capture(view)), "Ctrl+keypad 0")


def test_ctrl_w_ends_the_program():
    with open_document() as app:
        app.key(VK["control"], VK["W"])
        equal(0, app.exit_code(), "exit code after Ctrl+W")


if __name__ == "__main__":
    main(globals())
