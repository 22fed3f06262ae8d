"""The Windows installer, BrisaSetup.exe, run silently under Wine in a prefix of
its own: what it installs and registers (with the licence of each component the
About window lists), the installed program opening a comic and offering the
default-apps page for its own registration, an upgrade going over the earlier
install, and the silent uninstall taking all of it back except the user's
preferences.

The real pdfium.dll is not available here, so the installer carries a stand-in
built from our list of PDFium functions, each doing nothing: opening a comic
needs nothing of PDFium beyond its set-up and shut-down."""

import os
import pwd
import re
import shutil
import subprocess
import time

from brisa import BUILD, ENGLISH, DRIVER, TOP, WORK, Failure, check, driver, equal, main, registry, set_dword
from test_linux_install import about_components

MINGW = os.path.join(TOP, "build", "mingw")
WINDOWS_EXE = os.path.join(MINGW, "Brisa.exe")
PREFIX = os.path.join(BUILD, "installer-prefix")
STAGE = os.path.join(WORK, "installer")

SETTINGS = r"Software\Brisa"
CAPABILITIES = r"Software\Brisa\Capabilities"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Brisa"
USER = pwd.getpwuid(os.getuid()).pw_name   # the name Wine gives the profile folder
TYPES = {".pdf": "Brisa.pdf", ".cbz": "Brisa.cbz", ".cbr": "Brisa.cbr"}


def run(*args, **kwargs):
    return subprocess.run(list(args), stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300,
                          **kwargs)


def run_detached(*args):
    """For what leaves a Wine service or server behind: no pipe for it to hold open."""
    return subprocess.run(list(args), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=300).returncode


def stand_in_dll(name, exports):
    """A DLL exporting the given functions, each returning 0."""
    source = os.path.join(STAGE, name + ".c")
    listing = os.path.join(STAGE, name + ".def")
    with open(source, "w") as f:
        f.writelines("void* %s(void) { return 0; }\n" % e for e in exports)
    with open(listing, "w") as f:
        f.write("LIBRARY %s.dll\nEXPORTS\n%s\n" % (name, "\n".join(exports)))
    dll = os.path.join(STAGE, name + ".dll")
    result = run("x86_64-w64-mingw32-gcc", "-O2", "-shared", "-o", dll, source, listing)
    check(result.returncode == 0, "stand-in %s.dll built: %s" % (name, result.stderr[-300:]))
    return dll


def pdfium_exports():
    # The import list the build generates from base/pdfium.table.
    with open(os.path.join(BUILD, "generated", "pdfium.def")) as f:
        lines = [line.strip() for line in f]
    return [line for line in lines[lines.index("EXPORTS") + 1:] if line]


def build_installer(name, unrar=None):
    if not os.path.exists(WINDOWS_EXE):
        result = run("bash", os.path.join(TOP, "scripts", "build.sh"), "mingw")
        check(result.returncode == 0, "the Windows build: " + result.stderr[-400:])
    out = os.path.join(STAGE, name)
    args = ["bash", os.path.join(TOP, "scripts", "build-installer.sh"), "--exe", WINDOWS_EXE,
            "--pdfium", stand_in_dll("pdfium", pdfium_exports()), "--out", out]
    if unrar:
        args += ["--unrar", unrar]
    result = run(*args)
    check(result.returncode == 0, "makensis: " + result.stderr[-600:])
    return out


def fresh_prefix():
    """A new prefix with a persistent server of its own and its desktop held open."""
    os.environ["WINEPREFIX"] = PREFIX
    run_detached("wineserver", "-k")
    shutil.rmtree(PREFIX, ignore_errors=True)
    os.makedirs(PREFIX)
    run_detached("wineserver", "-p")
    run_detached("wineboot", "-i")
    return subprocess.Popen([DRIVER, "keep"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def unix_path(windows_path):
    # winepath has been seen to print nothing once, in a long run, just after an
    # install for every user: asked again, it answers.
    for _ in range(10):
        result = run("winepath", "-u", windows_path)
        if result.stdout.strip():
            return result.stdout.strip()
        time.sleep(0.5)
    raise Failure("winepath -u %s: exit %d, %r" % (windows_path, result.returncode, result.stderr[-300:]))


def windows_path(path):
    return run("winepath", "-w", path).stdout.strip()


def values(key):
    """{name: (type, data)} of one registry key, or None when it does not exist."""
    result = registry("query", key)
    if result.returncode != 0:
        return None
    out = {}
    for line in result.stdout.replace("\r", "").splitlines():
        if not line.startswith("    "):
            continue
        parts = line.strip().split("    ")
        if len(parts) >= 2:
            out[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
    return out


def wait_for(condition, what, timeout=30):
    deadline = time.time() + timeout
    while not condition():
        check(time.time() < deadline, what)
        time.sleep(0.2)


def make_comic():
    path = os.path.join(STAGE, "three pages.cbz")
    pages = []
    for i, colour in enumerate(["rgb(200,40,40)", "rgb(40,200,40)", "rgb(40,40,200)"]):
        page = os.path.join(STAGE, "page%d.png" % (i + 1))
        subprocess.run(["convert", "-size", "300x400", "xc:" + colour, page], check=True)
        pages.append(page)
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["zip", "-q", "-j", path] + pages, check=True)
    return path


def open_with_association(comic, hive):
    """Starts the command registered for CBZ files, as Explorer would, and returns its window."""
    progid = values(hive + r"\Software\Classes\.cbz\OpenWithProgids")
    check(progid is not None and "Brisa.cbz" in progid, "Brisa.cbz is offered for .cbz files")
    command = values(hive + r"\Software\Classes\Brisa.cbz\shell\open\command")["(Default)"][1]
    check(command.endswith(' "%1"'), "the open command passes the document: %r" % command)
    program = command[:-len(' "%1"')].strip('"')
    process = subprocess.Popen(["wine", program, windows_path(comic)], env=dict(os.environ, **ENGLISH),
                               stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = int(driver("find", "Brisa", 20000).split()[0])
    return process, window


def wait_title(window, expected, timeout=15):
    deadline = time.time() + timeout
    title = driver("title", window)
    while title != expected and time.time() < deadline:
        time.sleep(0.1)
        title = driver("title", window)
    equal(expected, title, "title of the installed program")


def close(process, window):
    driver("post", window, 0x0010, 0, 0, ok=False)
    try:
        process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        process.kill()


def check_registration(hive, folder):
    exe = folder + "\\Brisa.exe"
    capabilities = values(hive + "\\" + CAPABILITIES)
    check(capabilities is not None, "%s\\%s exists" % (hive, CAPABILITIES))
    equal(("REG_SZ", "Brisa"), capabilities.get("ApplicationName"), "ApplicationName, a string")
    equal(("REG_SZ", exe + ",0"), capabilities.get("ApplicationIcon"), "ApplicationIcon")
    associations = values(hive + "\\" + CAPABILITIES + r"\FileAssociations")
    equal({e: ("REG_SZ", p) for e, p in TYPES.items()}, associations, "FileAssociations")
    equal(("REG_SZ", CAPABILITIES), values(hive + r"\Software\RegisteredApplications").get("Brisa"),
          "RegisteredApplications")
    for extension, progid in TYPES.items():
        base = hive + r"\Software\Classes" + "\\" + progid
        equal(("REG_SZ", '"%s" "%%1"' % exe), values(base + r"\shell\open\command").get("(Default)"),
              progid + " open command")
        equal(("REG_SZ", exe + ",0"), values(base + r"\DefaultIcon").get("(Default)"), progid + " icon")
        check(progid in (values(hive + r"\Software\Classes" + "\\" + extension + r"\OpenWithProgids") or {}),
              "%s lists %s" % (extension, progid))
    uninstall = values(hive + "\\" + UNINSTALL)
    equal(("REG_SZ", folder), uninstall.get("InstallLocation"), "InstallLocation")
    equal(("REG_SZ", '"%s\\Uninstall.exe" /S' % folder), uninstall.get("QuietUninstallString"),
          "QuietUninstallString")
    equal(("REG_SZ", "Brisa Software"), uninstall.get("Publisher"), "Publisher, as in the program's resources")


def check_unregistered(hive):
    check(values(hive + "\\" + CAPABILITIES) is None, "%s\\%s is gone" % (hive, CAPABILITIES))
    check("Brisa" not in (values(hive + r"\Software\RegisteredApplications") or {}), "RegisteredApplications")
    check(values(hive + "\\" + UNINSTALL) is None, "the uninstall entry is gone")
    for extension, progid in TYPES.items():
        check(values(hive + r"\Software\Classes" + "\\" + progid) is None, progid + " is gone")
        check(progid not in (values(hive + r"\Software\Classes" + "\\" + extension + r"\OpenWithProgids") or {}),
              "%s no longer lists %s" % (extension, progid))
    check(values(hive + r"\Software\Classes\Applications\Brisa.exe") is None, "Applications\\Brisa.exe is gone")


def prepare_prompt():
    """A first run's question: no About window in front, no earlier No; followed pages logged."""
    from test_about import Links
    set_dword("HideAboutOnStartup", 1)
    registry("delete", "HKCU\\" + SETTINGS, "/v", "NeverAskDefault", "/f")
    return Links()


def check_prompt_sees(links, scope):
    """The installed program asks once, and its Yes opens the settings page at this registration."""
    from test_about import IDYES, question
    caption, text, _ = question(IDYES)
    equal("Brisa", caption, "the question's caption")
    check(text.startswith("Brisa is not your default PDF reader."), "the default-reader question: %r" % text)
    equal(["ms-settings:defaultapps?%s=Brisa" % scope], links.wait(1), "the page opened")


def stand_in_unrar():
    """unrar.dll with the licence text that comes beside it."""
    dll = stand_in_dll("unrar", ["RAROpenArchiveEx"])
    with open(os.path.join(STAGE, "license.txt"), "w") as f:
        f.write("UnRAR - free utility for RAR archives\nCopyright (c) stand-in\n")
    return dll


def check_files(folder_unix, with_unrar):
    files = sorted(os.listdir(folder_unix))
    expected = ["Brisa.exe", "Uninstall.exe", "licences", "pdfium.dll"] + (["unrar.dll"] if with_unrar else [])
    equal(sorted(expected), files, "installed files")
    components = [c for c in about_components() if with_unrar or not c.startswith("UnRAR")]
    equal(sorted(c + ".txt" for c in components), sorted(os.listdir(os.path.join(folder_unix, "licences"))),
          "a licence for each component the About window lists")


def install_check_and_uninstall(installer, switch, hive, folder, start_menu, with_unrar):
    equal(0, run_detached("wine", installer, "/S", switch), "silent install exit code")
    folder_unix = unix_path(folder)
    check_files(folder_unix, with_unrar)
    check(os.path.exists(unix_path(start_menu + r"\Brisa.lnk")), "the Start-menu shortcut exists")
    check_registration(hive, folder)

    comic = make_comic()
    links = prepare_prompt()
    process, window = open_with_association(comic, hive)
    wait_title(window, "three pages.cbz - 1/3 - Brisa")
    check_prompt_sees(links, "registeredAppUser" if hive == "HKCU" else "registeredAppMachine")
    close(process, window)

    set_dword("DoublePage", 1)   # a preference of the user's, which must outlive the program
    equal(0, run_detached("wine", folder + "\\Uninstall.exe", "/S"), "silent uninstall exit code")
    # The uninstaller runs from a copy of itself and returns at once.
    wait_for(lambda: not os.path.exists(folder_unix), "the program's folder is removed")
    wait_for(lambda: values(hive + "\\" + UNINSTALL) is None, "the uninstall entry is removed")
    check(not os.path.exists(unix_path(start_menu + r"\Brisa.lnk")), "the shortcut is removed")
    check_unregistered(hive)
    preferences = values("HKCU\\" + SETTINGS)
    check(preferences is not None and preferences.get("DoublePage") == ("REG_DWORD", "0x1"),
          "HKCU\\Software\\Brisa keeps the preferences: %r" % preferences)
    if hive == "HKLM":
        check(values(r"HKLM\Software\Brisa") is None, "HKLM\\Software\\Brisa is removed")


def test_current_user_install_registers_opens_a_comic_and_uninstalls_cleanly():
    installer = build_installer("BrisaSetup-user.exe")
    # Started as the user, without elevation: only an install for every user asks for it.
    with open(installer, "rb") as f:
        levels = set(re.findall(rb'requestedExecutionLevel level="(\w+)"', f.read()))
    equal({b"asInvoker"}, levels, "the installer's requested execution level")
    install_check_and_uninstall(installer, "/CurrentUser", "HKCU", r"C:\users\%s\AppData\Local\Programs\Brisa" % USER,
                                r"C:\users\%s\AppData\Roaming\Microsoft\Windows\Start Menu\Programs" % USER,
                                with_unrar=False)


def test_all_users_install_with_unrar_registers_for_the_machine_and_uninstalls_cleanly():
    installer = build_installer("BrisaSetup-machine.exe", unrar=stand_in_unrar())
    install_check_and_uninstall(installer, "/AllUsers", "HKLM", r"C:\Program Files\Brisa",
                                r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs", with_unrar=True)


def test_an_upgrade_installs_over_the_earlier_per_user_install_in_its_folder():
    installer = build_installer("BrisaSetup-user.exe")
    folder = r"C:\users\%s\AppData\Local\BrisaElsewhere" % USER
    equal(0, run_detached("wine", installer, "/S", "/D=" + folder), "first install")
    # The next version, run without a mode or a folder, as an update does.
    equal(0, run_detached("wine", installer, "/S"), "upgrade")
    default = unix_path(r"C:\users\%s\AppData\Local\Programs\Brisa" % USER)
    check(not os.path.exists(default), "nothing installed beside the earlier install")
    check_files(unix_path(folder), with_unrar=False)
    check_registration("HKCU", folder)
    check(values("HKLM\\" + UNINSTALL) is None, "no second uninstall entry for the machine")
    check("Brisa" not in (values(r"HKLM\Software\RegisteredApplications") or {}), "nor registration")
    set_dword("DoublePage", 1)
    equal(0, run_detached("wine", folder + "\\Uninstall.exe", "/S"), "silent uninstall exit code")
    wait_for(lambda: not os.path.exists(unix_path(folder)), "the program's folder is removed")
    wait_for(lambda: values("HKCU\\" + UNINSTALL) is None, "the uninstall entry is removed")
    check_unregistered("HKCU")
    equal({"DoublePage": ("REG_DWORD", "0x1")}, {k: v for k, v in (values("HKCU\\" + SETTINGS) or {}).items()
                                                 if k == "DoublePage"}, "the preferences stay")


def test_installer_refuses_to_build_without_pdfium():
    result = run("bash", os.path.join(TOP, "scripts", "build-installer.sh"), "--exe", WINDOWS_EXE,
                 "--out", os.path.join(STAGE, "none.exe"))
    check(result.returncode != 0 and "pdfium" in result.stderr, "no installer without pdfium.dll")
    check(not os.path.exists(os.path.join(STAGE, "none.exe")), "nothing written")


if __name__ == "__main__":
    os.makedirs(STAGE, exist_ok=True)
    keeper = fresh_prefix()
    try:
        main(globals())
    finally:
        keeper.kill()
        run_detached("wineserver", "-k")
        shutil.rmtree(PREFIX, ignore_errors=True)
