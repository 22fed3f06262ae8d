"""Back and forward through the places jumped from (Go to page, End): Alt+Left,
Alt+Right and the mouse's side buttons; ordinary scrolling records nothing."""

from brisa import Brisa, equal, main, reset_settings, xdotool
from test_goto import open_go_to, type_number
from test_start import make_pdf

ALT, LEFT, RIGHT, END, NEXT = 0x12, 0x25, 0x27, 0x23, 0x22


def test_alt_left_returns_to_the_place_and_alt_right_comes_back():
    reset_settings()
    with Brisa(make_pdf("places.pdf", "--pages", "40")) as app:
        app.wait_title("places.pdf - 1/40 - Brisa")
        for _ in range(3):
            app.key(NEXT)   # leaves the view part-way down a page
        left = app.wait_title_change("places.pdf - 1/40 - Brisa")
        app.settle()
        before = app.capture(app.view())
        type_number(open_go_to(app), 30)
        app.wait_title("places.pdf - 30/40 - Brisa")
        app.key(END)
        for key, expected in ((LEFT, 30), (LEFT, left), (LEFT, left), (RIGHT, 30), (RIGHT, 40), (RIGHT, 40)):
            app.key(ALT, key)
            app.settle()
            app.wait_title(expected if expected == left else "places.pdf - %d/40 - Brisa" % expected)
            if expected == left:
                equal(before.pixels, app.capture(app.view()).pixels, "back at the very place left")
        x, y = app.origin(app.view())
        xdotool("mousemove", x + 200, y + 200, "click", "8")   # the first side button: back
        app.wait_title("places.pdf - 30/40 - Brisa")
        xdotool("click", "9")
        app.wait_title("places.pdf - 40/40 - Brisa")


if __name__ == "__main__":
    main(globals())
