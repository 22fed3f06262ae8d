"""The Linux install step (scripts/install.sh): the tree it puts under a
staging root that does not exist yet, its desktop entries, icons, software-centre
metadata and licences, a per-user install, an install that fails midway, the
installed launcher opening a document given by a relative path from another
folder, and the uninstall leaving nothing behind."""

import os
import pwd
import re
import shutil
import struct
import subprocess
import tempfile
import time

from brisa import TOP, WORK, check, equal, main
from launcher import Launcher, run

INSTALL = os.path.join(TOP, "scripts", "install.sh")
MIME_TYPES = {"application/pdf", "application/vnd.comicbook+zip", "application/vnd.comicbook-rar",
              "application/x-cbz", "application/x-cbr"}
ICON_SIZES = [16, 24, 32, 48, 256]
METAINFO = "share/metainfo/com.brisa_software.Brisa.metainfo.xml"


def about_components():
    """The components the About window lists, read from its table."""
    with open(os.path.join(TOP, "about", "about.cpp"), encoding="utf-8") as f:
        source = f.read()
    table = source[source.index("LICENCES[] = {"):]
    table = table[:table.index("};")]
    return re.findall(r'\{L"([^"]+)", L"[^"]+"\}', table)


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
    parent = tempfile.mkdtemp(prefix="brisa-stage-", dir=WORK)
    stage = os.path.join(parent, "fresh", "root")   # a staging root that does not exist yet
    result = install(stage)
    equal(0, result.returncode, "install: " + result.stderr[-400:])
    built_unrar = sorted(n for n in os.listdir(os.path.join(TOP, "build", "winelib")) if n.startswith("unrar.dll"))
    library = ["Brisa.exe.so", "brisa-keeper.exe.so", "brisa-session", "installed-files", "libbrisa-codecs.so",
               "libpdfium.so"]
    licences = [c + ".txt" for c in about_components() if built_unrar or not c.startswith("UnRAR")]
    expected = (["usr/local/bin/brisa", "usr/local/share/applications/brisa.desktop",
                 "etc/xdg/autostart/brisa-warm.desktop", "usr/local/" + METAINFO,
                 "usr/local/share/man/man1/brisa.1"] +
                ["usr/local/lib/brisa/" + n for n in library + built_unrar] +
                ["usr/local/lib/brisa/licences/" + n for n in licences] +
                ["usr/local/share/icons/hicolor/%dx%d/apps/brisa.png" % (s, s) for s in ICON_SIZES])
    equal(sorted(expected), [p for p in tree(stage) if not p.endswith("/")], "installed files")
    for name in licences:
        with open(os.path.join(stage, "usr/local/lib/brisa/licences", name), encoding="utf-8") as f:
            check("Copyright" in f.read(), "%s holds a licence text" % name)

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

    result = run("appstreamcli", "validate", "--strict", "--no-net", os.path.join(root, METAINFO))
    equal(0, result.returncode, "appstreamcli validate --strict: " + result.stdout[-400:])

    result = install(stage, "/usr/local", "--uninstall")
    equal(0, result.returncode, "uninstall: " + result.stderr[-400:])
    equal([], tree(stage), "what the uninstall left")
    shutil.rmtree(parent)


def test_per_user_install_puts_the_login_entry_in_the_users_autostart_folder():
    home = tempfile.mkdtemp(prefix="brisa-home-", dir=WORK)
    config = os.path.join(home, "config")
    user = Launcher(os.path.join(home, "data"), os.path.join(home, ".local", "bin", "brisa"))
    user.env.update(HOME=home, XDG_CONFIG_HOME=config)
    result = install("", os.path.join(home, ".local"), user=user)
    equal(0, result.returncode, "install: " + result.stderr[-400:])
    entry = os.path.join(config, "autostart", "brisa-warm.desktop")
    equal(os.path.join(home, ".local", "bin", "brisa") + " --warm", desktop_entry(entry).get("Exec"),
          "the login entry in the user's own autostart folder")
    # It is the same file `brisa --autostart off` hides, and `on` brings it back.
    equal(0, user.command("--autostart", "off").returncode, "--autostart off")
    equal("true", desktop_entry(entry).get("Hidden"), "hidden")
    equal(0, user.command("--autostart", "on").returncode, "--autostart on")
    check("Hidden" not in desktop_entry(entry) and "Exec" in desktop_entry(entry), "the entry is back")
    result = install("", os.path.join(home, ".local"), "--uninstall", user=user)
    equal(0, result.returncode, "uninstall: " + result.stderr[-400:])
    equal([], tree(home), "what the uninstall left in the home folder")
    shutil.rmtree(home)


def test_an_install_that_fails_midway_can_still_be_uninstalled():
    stage = tempfile.mkdtemp(prefix="brisa-stage-", dir=WORK)
    # A file where the icons' folder should be: the install stops after the program is in place.
    os.makedirs(os.path.join(stage, "usr", "local", "share"))
    open(os.path.join(stage, "usr", "local", "share", "icons"), "w").close()
    result = install(stage)
    check(result.returncode != 0, "the install fails")
    check("--uninstall" in result.stderr, "and says how to take back what it placed: " + result.stderr[-300:])
    check(os.path.exists(os.path.join(stage, "usr", "local", "bin", "brisa")), "files were placed before it failed")
    result = install(stage, "/usr/local", "--uninstall")
    equal(0, result.returncode, "uninstall: " + result.stderr[-400:])
    equal(["usr/", "usr/local/", "usr/local/share/", "usr/local/share/icons"], tree(stage),
          "what the uninstall left: what was there before")
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


# Every package the program needs at run time; versions come from the libraries linked.
DEPENDS = {"libarchive13", "libc6", "libgcc-s1", "libgif7", "libjpeg62-turbo", "libjxr0", "libpng16-16",
           "libstdc++6", "libtiff6", "libwebp7", "libwebpdemux2", "zlib1g", "libavif15", "libheif1", "wine",
           "wine64", "libwine", "fonts-wine", "x11-utils", "x11-xserver-utils", "unar"}


def test_debian_package_holds_the_install_tree_depends_exactly_and_passes_lintian():
    result = run("bash", os.path.join(TOP, "scripts", "build-deb.sh"))
    equal(0, result.returncode, "build-deb.sh: " + result.stderr[-400:])
    package = result.stdout.strip()
    check(re.search(r"/brisa_\d+\.\d+\.\d+_amd64\.deb$", package), "the package's name: " + package)
    fields = run("dpkg-deb", "-f", package, "Package", "Depends").stdout
    depends = fields.split("Depends:", 1)[1].replace("\n", " ")
    names = {d.strip().split()[0] for d in depends.split(",")}
    equal(DEPENDS, names, "Depends")
    check(re.search(r"libpng16-16 \(>= [0-9]", depends) and re.search(r"wine64 \(>= 8", depends),
          "Depends carry versions: " + depends)

    contents = tempfile.mkdtemp(prefix="brisa-deb-", dir=WORK)
    equal(0, run("dpkg-deb", "-R", package, contents).returncode, "dpkg-deb -R")
    built_unrar = any(n.startswith("unrar.dll") for n in os.listdir(os.path.join(TOP, "build", "winelib")))
    files = tree(contents)
    for path in ["usr/bin/brisa", "usr/lib/brisa/Brisa.exe.so", "usr/lib/brisa/libpdfium.so",
                 "usr/share/applications/brisa.desktop", "usr/share/man/man1/brisa.1.gz", "usr/" + METAINFO,
                 "usr/share/icons/hicolor/256x256/apps/brisa.png", "etc/xdg/autostart/brisa-warm.desktop",
                 "usr/share/doc/brisa/copyright", "DEBIAN/prerm", "DEBIAN/conffiles"] + \
            ["usr/lib/brisa/licences/%s.txt" % c for c in about_components() if built_unrar or "UnRAR" not in c]:
        check(path in files, "the package holds " + path)
    check(not any("installed-files" in f for f in files), "no list of installed files: dpkg keeps its own")
    check(os.access(os.path.join(contents, "DEBIAN", "prerm"), os.X_OK), "prerm is executable")
    with open(os.path.join(contents, "usr", "share", "doc", "brisa", "copyright"), encoding="utf-8") as f:
        copyright = f.read()
    check(copyright.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"),
          "a machine-readable copyright file")
    named = set(re.findall(r"LicenseRef-[\w.-]+", " ".join(re.findall(r"^Files:.*\n(?:\S.*\n)*?License: (.*)",
                                                                       copyright, re.M))))
    paragraphs = set(re.findall(r"^License: (LicenseRef-[\w.-]+)\n ", copyright, re.M))
    check(named and named <= paragraphs, "each licence named has its text: %r" % (named - paragraphs))
    shutil.rmtree(contents)

    result = run("lintian", "--tag-display-limit", "0", package)
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    equal([], errors, "lintian errors")


def apt_get(*args, path=None):
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    if path:
        env["PATH"] = path
    return run("apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=300", *args, env=env)


def make_account():
    """An unprivileged account of the test's own: (name, uid, gid, home), or None and why not."""
    if os.geteuid() != 0 or not shutil.which("useradd"):
        return None, "making an account needs root and useradd"
    name = "brisa-t%d" % os.getpid()
    home = tempfile.mkdtemp(prefix="brisa-home-", dir=WORK)
    result = run("useradd", "--no-create-home", "--home-dir", home, "--shell", "/bin/sh", "--user-group", name)
    if result.returncode != 0:
        return None, "useradd: " + result.stderr.strip()
    entry = pwd.getpwnam(name)
    os.chown(home, entry.pw_uid, entry.pw_gid)
    return (name, entry.pw_uid, entry.pw_gid, home), None


def snapshot(folder):
    """Every file under folder with its mode and content."""
    out = {}
    for path in tree(folder):
        full = os.path.join(folder, path)
        content = None if path.endswith("/") else open(full, "rb").read()
        out[path] = (os.lstat(full).st_mode, content)
    return out


def disguise(account, trap, guarded, path):
    """What any account can set up against the removal: a setuid program run through a
    link named like the keeper (its /proc entry is root's, its environment the account's,
    naming this package and a prefix whose lock file and pid file point at root's things).
    Returns the disguised process and the root process its pid file names."""
    name, uid, gid, home = account
    os.chmod(trap, 0o755)
    shutil.copy("/bin/sleep", os.path.join(trap, "sleep"))
    os.chmod(os.path.join(trap, "sleep"), 0o4755)
    os.symlink("sleep", os.path.join(trap, "brisa-keeper.exe"))
    keeper_named = os.path.join(trap, "brisa-keeper.exe")
    victim = subprocess.Popen([keeper_named, "600"], env={"PATH": "/usr/bin:/bin"})
    prefix = os.path.join(home, "chosen", "wine")
    os.makedirs(prefix)
    with open(os.path.join(prefix, "brisa-keeper.pid"), "w") as f:
        f.write("%d\n" % victim.pid)
    os.symlink(os.path.join(guarded, "secret"), prefix + ".lock")
    for made in (os.path.dirname(prefix), prefix, prefix + ".lock", os.path.join(prefix, "brisa-keeper.pid")):
        os.lchown(made, uid, gid)
    disguised = subprocess.Popen([keeper_named, "600"], user=uid, group=gid, extra_groups=[],
                                 env={"PATH": path, "HOME": home, "WINEDLLPATH": "/usr/lib/brisa",
                                      "WINEPREFIX": prefix})
    deadline = time.time() + 5
    while time.time() < deadline:
        with open("/proc/%d/status" % disguised.pid) as f:
            uids = re.search(r"^Uid:\s+(\d+)\s+(\d+)", f.read(), re.M).groups()
        if uids == (str(uid), "0"):
            break
        time.sleep(0.05)
    equal((str(uid), "0"), uids, "the disguised process runs setuid root")
    equal("brisa-keeper.ex\n", open("/proc/%d/comm" % disguised.pid).read(), "under the keeper's name")
    return disguised, victim


def test_debian_package_installs_opens_a_document_and_its_removal_stops_the_keeper():
    """An unprivileged account's keeper is stopped with that account's rights; a disguised
    process of the same account leads the removal to touch nothing outside its prefix."""
    status = run("dpkg-query", "-W", "-f", "${Status}", "brisa").stdout
    check("installed" not in status.split(), "no brisa package installed before the test: " + status)
    account, why_not = make_account()
    if account is None:
        print("skipped: the removal's keepers are other accounts' (%s)" % why_not)
        return
    name, uid, gid, home = account
    # A wineserver first on the PATH of both root and the account that notes who ran it.
    bin_folder, record = os.path.join(home, "bin"), os.path.join(home, "wineserver-runs")
    os.makedirs(bin_folder)
    with open(os.path.join(bin_folder, "wineserver"), "w") as f:
        f.write('#!/bin/sh\nid -u >>"%s"\nexec /usr/bin/wineserver "$@"\n' % record)
    os.chmod(os.path.join(bin_folder, "wineserver"), 0o755)
    open(record, "w").close()
    os.chown(record, uid, gid)
    path = bin_folder + ":" + os.environ["PATH"]
    guarded, trap = (tempfile.mkdtemp(prefix=p, dir=WORK) for p in ("brisa-root-", "brisa-trap-"))
    with open(os.path.join(guarded, "secret"), "w") as f:
        f.write("root's own\n")
    os.chmod(os.path.join(guarded, "secret"), 0o600)
    before = snapshot(guarded)

    result = run("bash", os.path.join(TOP, "scripts", "build-deb.sh"))
    equal(0, result.returncode, "build-deb.sh: " + result.stderr[-400:])
    package = result.stdout.strip()
    listed = []
    user = Launcher(os.path.join(home, "data"), "/usr/bin/brisa", account=(uid, gid))
    user.env.update(HOME=home, USER=name, LOGNAME=name, PATH=path)
    os.makedirs(user.data_home)
    os.chown(user.data_home, uid, gid)
    disguised = victim = keeper = None
    try:
        for attempt in ("install", "a second install"):
            result = apt_get("install", package)
            equal(0, result.returncode, "apt-get %s: %s" % (attempt, result.stderr[-400:]))
        listed = run("dpkg-query", "-L", "brisa").stdout.split("\n")
        with user.open(os.path.join(TOP, "samples", "sample.pdf")) as app:
            app.wait_title("sample.pdf - 1/4 - Brisa", timeout=20)
        keeper = user.keeper_pid()
        check(keeper is not None, "the keeper runs")
        disguised, victim = disguise(account, trap, guarded, path)
        open(record, "w").close()
    finally:
        result = apt_get("remove", "brisa", path=path)
    try:
        equal(0, result.returncode, "apt-get remove: " + result.stderr[-400:])
        equal(before, snapshot(guarded), "root's file the disguised prefix's lock pointed at")
        check(victim.poll() is None, "root's process the disguised prefix's pid file named lives")
        wait = time.time() + 10
        while user.alive(keeper) and time.time() < wait:
            time.sleep(0.1)
        check(not user.alive(keeper), "the removal stopped the keeper")
        check(not user.server_pids(), "and its server")
        runs = open(record).read().split()
        check(runs and set(runs) == {str(uid)}, "the stop ran as the keeper's account, never as root: %r" % runs)
        left = [p for p in listed if p.startswith("/usr/lib/brisa/") or p in ("/usr/bin/brisa",)]
        check(left and not any(os.path.exists(p) for p in left), "the program's files are gone")
        check(os.path.exists(os.path.join(user.prefix, "user.reg")), "the user's prefix and settings stay")
        # The login entry is a configuration file: it goes with a purge, as Debian's conffiles do.
        equal(0, apt_get("purge", "brisa").returncode, "apt-get purge")
        check(not os.path.exists("/etc/xdg/autostart/brisa-warm.desktop"), "the purge removed the login entry")
    finally:
        for process in (disguised, victim):
            if process:
                process.kill()
                process.wait()
        user.remove()
        run("userdel", name)
        for folder in (home, guarded, trap):
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(globals())
