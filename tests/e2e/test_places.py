"""Back and forward through the places jumped from (Go to page, End): Alt+Left,
Alt+Right and the mouse's side buttons; ordinary scrolling records nothing."""

from brisa import Brisa, equal, main, reset_settings, xdotool
from test_goto import open_go_to, type_number
from test_start import make_pdf

ALT, LEFT, RIGHT, END, NEXT = 0x12, 0x25, 0x27, 0x23, 0x22
PAGES = 40


def title(page):
    return "places.pdf - %d/%d - Brisa" % (page, PAGES)


def test_alt_left_returns_to_the_place_and_alt_right_comes_back():
    reset_settings()
    with Brisa(make_pdf("places.pdf", "--pages", str(PAGES))) as app:
        app.wait_title(title(1))
        for _ in range(3):
            app.key(NEXT)   # scrolling records nothing, and leaves the view part-way down a page
        left = app.wait_title_change(title(1))
        app.settle()
        view = app.view()
        before = app.capture(view)
        type_number(open_go_to(app), 30)
        app.wait_title(title(30))
        app.key(END)
        app.wait_title(title(PAGES))
        for keys, expected in (((ALT, LEFT), title(30)), ((ALT, LEFT), left), ((ALT, LEFT), left),
                               ((ALT, RIGHT), title(30)), ((ALT, RIGHT), title(PAGES)), ((ALT, RIGHT), title(PAGES))):
            app.key(*keys)
            app.settle()
            app.wait_title(expected)
            if keys == (ALT, LEFT) and expected == left:
                equal(before.pixels, app.capture(view).pixels, "back at the very place left")
        x, y = app.origin(view)
        xdotool("mousemove", x + 200, y + 200, "click", "8")   # the first side button: back
        app.wait_title(title(30))
        xdotool("click", "9")
        app.wait_title(title(PAGES))


if __name__ == "__main__":
    main(globals())
