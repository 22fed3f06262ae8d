"""Resume where I left off: off by default (every document opens at page 1 and
nothing is kept), on through the window menu across launches, and a file
changed since opens at page 1."""

import os

from brisa import WM_SYSCOMMAND, Brisa, check, driver, equal, main, read_dword, registry, reset_settings
from test_start import make_pdf

IDM_RESUME_POSITION = 96
CONTROL, ENTER = 0x11, 0x0D
PAGES = 40
RECENT = r"HKCU\Software\Brisa\Recent"


def title(page):
    return "resume.pdf - %d/%d - Brisa" % (page, PAGES)


def document():
    return make_pdf("resume.pdf", "--pages", str(PAGES), "--size", "612x792")


def go_to(app, page):
    app.key(CONTROL, ord("G"))
    window = int(driver("find", "BrisaGoToPage", 10000).split()[0])
    for digit in str(page):
        driver("key", window, ord(digit))
    driver("key", window, ENTER)
    app.wait_title(title(page))


def recent_entries():
    """The lines of the values under Recent (none when the key is absent)."""
    result = registry("query", RECENT)
    if result.returncode != 0:
        return []
    return [line for line in result.stdout.replace("\r", "").splitlines() if "REG_" in line]


def launch_at(path, page):
    """A launch, its first title checked; the view's pixels for comparison."""
    app = Brisa(path)
    app.wait_title(title(page))
    app.settle()
    return app


def test_off_by_default_opens_at_the_first_page():
    reset_settings()
    path = document()
    with launch_at(path, 1) as app:
        go_to(app, 23)
    equal([], recent_entries(), "nothing kept")
    with launch_at(path, 1):
        pass
    equal(None, read_dword("ResumePosition"), "the setting is not written")


def test_on_resumes_across_launches_and_off_again():
    reset_settings()
    path = document()
    with launch_at(path, 1) as app:
        app.post(WM_SYSCOMMAND, IDM_RESUME_POSITION)
        go_to(app, 23)
        view = app.capture(app.view())
    equal(1, read_dword("ResumePosition"), "the menu item wrote the setting")
    entries = recent_entries()
    equal(1, len(entries), "one entry: %r" % entries)
    check("\\resume.pdf" in entries[0].lower() and "REG_BINARY" in entries[0],
          "a binary value named by the full path: %r" % entries[0])
    with launch_at(path, 23) as app:
        equal(view.pixels, app.capture(app.view()).pixels, "the same view as when the program ended")
        go_to(app, 31)
        app.post(WM_SYSCOMMAND, IDM_RESUME_POSITION)   # off again: nothing written at the end
    equal(0, read_dword("ResumePosition"), "the menu item turned it off")
    with launch_at(path, 1):
        pass


def test_a_changed_file_opens_at_the_first_page():
    reset_settings()
    path = document()
    with launch_at(path, 1) as app:
        app.post(WM_SYSCOMMAND, IDM_RESUME_POSITION)
        go_to(app, 12)
    stat = os.stat(path)
    os.utime(path, (stat.st_atime, stat.st_mtime + 60))   # same size, written since
    with launch_at(path, 1) as app:
        go_to(app, 5)
    with launch_at(path, 5):   # the entry was replaced
        pass
    with open(path, "ab") as f:
        f.write(b"\n% appended\n")   # another size, still a valid document
    with launch_at(path, 1):
        pass


if __name__ == "__main__":
    main(globals())
