"""The Linux install step (scripts/install.sh): the tree it puts under a
staging root, its desktop entries and icons, the installed launcher opening a
document given by a relative path from another folder, and the uninstall
leaving nothing behind."""

import os
import shutil
import struct
import subprocess
import tempfile

from brisa import TOP, WORK, check, equal, main
from launcher import Launcher, run

INSTALL = os.path.join(TOP, "scripts", "install.sh")
MIME_TYPES = {"application/pdf", "application/vnd.comicbook+zip", "application/vnd.comicbook-rar",
              "application/x-cbz", "application/x-cbr"}
ICON_SIZES = [16, 24, 32, 48, 256]


def install(destdir="", prefix="/usr/local", *args, user=None):
    env = dict(user.env if user else os.environ, DESTDIR=destdir, PREFIX=prefix)
    return run("bash", INSTALL, *args, env=env)


def tree(root):
    """Every file and folder under root, relative, folders with a trailing slash."""
    out = []
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        out += [os.path.normpath(os.path.join(rel, d)) + "/" for d in dirs]
        out += [os.path.normpath(os.path.join(rel, f)) for f in files]
    return sorted(out)


def desktop_entry(path):
    fields = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                fields[key] = value
    return fields


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n", "%s is a PNG" % path)
    return struct.unpack(">II", head[16:24])


def runpath(path):
    out = run("readelf", "-d", path).stdout
    for line in out.splitlines():
        if "RUNPATH" in line or "RPATH" in line:
            return line.split("[", 1)[1].rstrip("]")
    return None


def test_staged_install_has_the_tree_entries_and_icons_and_uninstall_leaves_nothing():
    stage = tempfile.mkdtemp(prefix="brisa-stage-", dir=WORK)
    result = install(stage)
    equal(0, result.returncode, "install: " + result.stderr[-400:])
    built_unrar = sorted(n for n in os.listdir(os.path.join(TOP, "build", "winelib")) if n.startswith("unrar.dll"))
    library = ["Brisa.exe.so", "brisa-keeper.exe.so", "brisa-session", "installed-files", "libbrisa-codecs.so",
               "libpdfium.so"]
    expected = (["usr/local/bin/brisa", "usr/local/share/applications/brisa.desktop",
                 "etc/xdg/autostart/brisa-warm.desktop"] +
                ["usr/local/lib/brisa/" + n for n in library + built_unrar] +
                ["usr/local/share/icons/hicolor/%dx%d/apps/brisa.png" % (s, s) for s in ICON_SIZES])
    equal(sorted(expected), [p for p in tree(stage) if not p.endswith("/")], "installed files")

    root = os.path.join(stage, "usr", "local")
    entry = os.path.join(root, "share", "applications", "brisa.desktop")
    warm = os.path.join(stage, "etc", "xdg", "autostart", "brisa-warm.desktop")
    result = run("desktop-file-validate", entry, warm)
    equal((0, ""), (result.returncode, result.stdout + result.stderr), "desktop-file-validate")
    fields = desktop_entry(entry)
    equal(MIME_TYPES, set(filter(None, fields["MimeType"].split(";"))), "MIME types")
    equal("/usr/local/bin/brisa %f", fields["Exec"], "Exec")
    equal("brisa", fields["Icon"], "Icon")
    equal("/usr/local/bin/brisa --warm", desktop_entry(warm)["Exec"], "the autostart command")
    for size in ICON_SIZES:
        equal((size, size), png_size(os.path.join(root, "share", "icons", "hicolor", "%dx%d" % (size, size),
                                                  "apps", "brisa.png")), "icon size")
    launcher = open(os.path.join(root, "bin", "brisa")).read()
    check("libdir='/usr/local/lib/brisa'" in launcher, "the launcher points at the installed program")
    check(os.access(os.path.join(root, "bin", "brisa"), os.X_OK), "the launcher is executable")
    equal("$ORIGIN", runpath(os.path.join(root, "lib", "brisa", "Brisa.exe.so")),
          "the program finds libpdfium.so beside itself")

    result = install(stage, "/usr/local", "--uninstall")
    equal(0, result.returncode, "uninstall: " + result.stderr[-400:])
    equal([], tree(stage), "what the uninstall left")
    shutil.rmtree(stage)


def test_install_without_autostart_and_folders_that_were_there_stay():
    stage = tempfile.mkdtemp(prefix="brisa-stage-", dir=WORK)
    os.makedirs(os.path.join(stage, "usr", "local", "share", "applications"))
    with open(os.path.join(stage, "usr", "local", "share", "applications", "other.desktop"), "w") as f:
        f.write("[Desktop Entry]\n")
    equal(0, install(stage, "/usr/local", "--no-autostart").returncode, "install")
    check(not os.path.exists(os.path.join(stage, "etc")), "no autostart entry")
    equal(0, install(stage, "/usr/local", "--uninstall").returncode, "uninstall")
    equal(["usr/", "usr/local/", "usr/local/share/", "usr/local/share/applications/",
           "usr/local/share/applications/other.desktop"], tree(stage), "what was there before")
    check(install(stage, "/usr/local", "--uninstall").returncode != 0, "a second uninstall finds nothing")
    shutil.rmtree(stage)


def test_installed_launcher_opens_a_relative_path_from_another_folder_and_uninstall_stops_it():
    home = tempfile.mkdtemp(prefix="brisa-home-", dir=WORK)
    prefix = os.path.join(home, "opt")
    result = install("", prefix, "--no-autostart")
    equal(0, result.returncode, "install: " + result.stderr[-400:])
    folder = os.path.join(home, "papers")
    os.makedirs(folder)
    shutil.copy(os.path.join(TOP, "samples", "sample.pdf"), os.path.join(folder, "my file.pdf"))
    user = Launcher(os.path.join(home, "data"), os.path.join(prefix, "bin", "brisa"))
    with user.open("my file.pdf", cwd=folder) as app:
        app.wait_title("my file.pdf - 1/4 - Brisa", timeout=20)
    keeper = user.keeper_pid()
    check(keeper is not None, "the keeper runs after the first start")

    result = install("", prefix, "--uninstall", user=user)
    equal(0, result.returncode, "uninstall: " + result.stderr[-400:])
    check(not user.alive(keeper), "the uninstall stopped the keeper")
    check(not user.server_pids(), "and this prefix's server")
    equal([], tree(prefix), "what the uninstall left under the prefix")
    user.remove()


if __name__ == "__main__":
    main(globals())
