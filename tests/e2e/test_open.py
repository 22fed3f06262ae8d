"""Opening documents from the command line: what opens, and the exact message
of each failure in both languages."""

import os
import subprocess
import time

from brisa import ENGLISH, FRENCH, TOP, WORK, Brisa, check, driver, equal, main, message_box, reset_settings, xdotool
from test_start import make_pdf

CANNOT_OPEN = {"en": "Cannot open this file.", "fr": "Impossible d'ouvrir ce fichier."}
PASSWORD = {"en": "Password-protected document.", "fr": "Document protégé par mot de passe."}
NO_IMAGE = {"en": "This archive contains no image.", "fr": "Cette archive ne contient aucune image."}
DAMAGED = {"en": "Unreadable or damaged archive.", "fr": "Archive illisible ou endommagée."}
LANGUAGES = {"en": ENGLISH, "fr": FRENCH}
TINY_NONSENSE = os.path.join(TOP, "tests", "fuzz", "corpus", "unrar", "rar4-tiny-nonsense.seed")


def write(name, data):
    path = os.path.join(WORK, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def rar_nonsense(name, fmt):
    path = os.path.join(WORK, name)
    noise = write("noise.jpg", bytes((i * 7919 + 13) % 251 for i in range(4096)))
    subprocess.run(["python3", os.path.join(TOP, "scripts", "makerar.py"), "--format", str(fmt), "--nonsense",
                    "1000000", path, noise], check=True, stdout=subprocess.DEVNULL)
    return path


def failing_documents():
    """(path, message table) for every way an open fails."""
    source = make_pdf("source.pdf", "--pages", "2")
    locked = os.path.join(WORK, "locked.pdf")
    subprocess.run(["qpdf", "--encrypt", "secret", "owner", "256", "--", source, locked], check=True)
    folder = os.path.join(WORK, "a folder")
    os.makedirs(folder, exist_ok=True)
    archive = os.path.join(WORK, "pages.cbz")
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-q", "-j", archive, source], check=True)
    return [
        (os.path.join(WORK, "does-not-exist.pdf"), CANNOT_OPEN),
        (folder, CANNOT_OPEN),
        (write("empty.pdf", b""), CANNOT_OPEN),
        (write("damaged.pdf", b"%PDF-1.7\n1 0 obj << /Type /Catalog >>\n%%EOF garbage"), CANNOT_OPEN),
        (write("rar.cbr", b"Rar!\x1a\x07\x00" + b"\x00" * 64), DAMAGED),   # the missing-library case: test_cbr
        (archive, NO_IMAGE),
        # One 4-byte "image" whose data is nonsense: too small to be one, never decompressed.
        (write("tiny-nonsense.cbr", open(TINY_NONSENSE, "rb").read()), NO_IMAGE),
        # Nonsense behind a RAR 5 or RAR 4 header declaring 1 MB: the decoder fails it.
        (rar_nonsense("nonsense5.cbr", 5), NO_IMAGE),
        (rar_nonsense("nonsense4.cbr", 4), NO_IMAGE),
        (locked, PASSWORD),
    ]


def check_failures(language):
    reset_settings()
    for path, texts in failing_documents():
        with Brisa(path, language=LANGUAGES[language], wait=False) as app:
            caption, text, icon = message_box()
            equal(("Brisa", texts[language], "error"), (caption, text, icon), os.path.basename(path))
            app.find()
            # The program stays open with the empty view.
            app.wait_title("Brisa")


def test_each_failure_has_its_english_message():
    check_failures("en")


def test_each_failure_has_its_french_message():
    check_failures("fr")


def test_content_decides_not_the_name():
    reset_settings()
    source = make_pdf("content.pdf", "--pages", "4")
    disguised = write("comic.cbr", open(source, "rb").read())
    with Brisa(disguised) as app:
        app.wait_title("comic.cbr - 1/4 - Brisa")


def test_pdf_encrypted_without_user_password_opens():
    reset_settings()
    source = make_pdf("open-source.pdf", "--pages", "3")
    owner_only = os.path.join(WORK, "owner-only.pdf")
    subprocess.run(["qpdf", "--encrypt", "", "owner", "256", "--", source, owner_only], check=True)
    with Brisa(owner_only) as app:
        app.wait_title("owner-only.pdf - 1/3 - Brisa")
        check(app.process.poll() is None, "still running")


def test_open_dialog_opens_the_chosen_file():
    reset_settings()
    path = make_pdf("chosen.pdf", "--pages", "3")
    windows_path = subprocess.run(["winepath", "-w", path], capture_output=True, text=True).stdout.strip()
    with Brisa() as app:
        app.wait_title("Brisa")
        app.key(0x11, ord("O"))
        dialog = driver("find", "#32770", 10000)
        check(dialog, "the open dialog shows")
        time.sleep(0.5)
        xdotool("type", "--delay", "10", windows_path)
        xdotool("key", "Return")
        app.wait_title("chosen.pdf - 1/3 - Brisa")


if __name__ == "__main__":
    main(globals())
