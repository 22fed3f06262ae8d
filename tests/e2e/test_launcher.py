"""The warm launcher (build/winelib/brisa, the one scripts/run.sh uses; the
installed copy differs only in its library folder): a user's first start makes
the prefix and says so on screen, later starts reuse the server, the desktop
and the keeper of that prefix, a killed keeper or a damaged prefix is repaired
by the next start, prefixes keep separate keepers, --stop ends them, and the
login entry warms a prefix that exists, and the prefix takes the desktop's
resolution. Numbered: each builds on the state the one before left."""

import os
import re
import shutil
import subprocess
import time

from brisa import BUILD, TOP, WORK, check, equal, main
from launcher import App, Launcher, run

PROGRAM = os.path.join(BUILD, "brisa")
SAMPLE = os.path.join(TOP, "samples", "sample.pdf")
TITLE = "sample.pdf - 1/4 - Brisa"
NOTICE = "preparing its Windows environment"

first = Launcher(os.path.join(WORK, "launcher-user-1"), PROGRAM)
second = Launcher(os.path.join(WORK, "launcher-user-2"), PROGRAM)


def notice_windows(user):
    return user.pids_running("xmessage")


def open_and_watch_notice(user):
    """Opens the sample and returns whether a notice window showed while it started."""
    process = user.start(SAMPLE)
    seen = False
    deadline = time.time() + 120
    while user.keeper_pid() is None and process.poll() is None and time.time() < deadline:
        seen = seen or bool(notice_windows(user))
        time.sleep(0.05)
    return App(user, process), seen


def test_1_cold_first_start_says_so_and_a_start_after_a_pause_finds_everything_warm():
    for user in (first, second):
        user.remove()   # what an earlier run may have left running
    app, notice_seen = open_and_watch_notice(first)
    with app:
        app.wait_title(TITLE, timeout=20)
    check(notice_seen, "a notice window showed while the prefix was made")
    check(NOTICE in first.launcher_output(), "and the launcher said so: %r" % first.launcher_output())
    check(not notice_windows(first), "the notice is gone once the prefix is ready")
    servers, desktops, keeper = first.server_pids(), first.desktop_pids(), first.keeper_pid()
    equal(1, len(servers), "one server for the prefix")
    check(keeper is not None, "the keeper runs")

    time.sleep(5)   # longer than Debian's server and Wine's desktop would wait by themselves
    check(desktops and desktops == first.desktop_pids(), "the desktop stayed open with the window closed")
    before = first.launcher_output()
    with first.open(SAMPLE) as app:
        app.wait_title(TITLE)
        equal(servers, first.server_pids(), "the same server")
        equal(desktops, first.desktop_pids(), "the same desktop")
        equal(keeper, first.keeper_pid(), "the same keeper")
    equal(before, first.launcher_output(), "nothing to say on a warm start")


def test_2_a_killed_keeper_is_restored_by_the_next_start():
    servers = first.server_pids()
    killed = first.kill_keeper()
    with first.open(SAMPLE) as app:
        app.wait_title(TITLE)
    keeper = first.keeper_pid()
    check(keeper is not None and keeper != killed, "a new keeper, recorded in the prefix")
    equal(servers, first.server_pids(), "the persistent server outlived the keeper")


def test_3_two_prefixes_keep_separate_keepers():
    with second.open(SAMPLE) as app:
        app.wait_title(TITLE, timeout=20)
    one, two = first.keeper_pid(), second.keeper_pid()
    check(one and two and one != two, "each prefix has its keeper: %r %r" % (one, two))
    check(set(first.server_pids()).isdisjoint(second.server_pids()), "and its server")
    second.stop()
    equal({}, second.processes_after_stop(), "nothing runs in the stopped prefix")
    equal(one, first.keeper_pid(), "the other prefix's keeper is untouched")


def damage_and_reopen(damage):
    first.stop()
    equal({}, first.processes_after_stop(), "--stop ended everything in the prefix")
    damage(os.path.join(first.prefix, "system.reg"))
    app, notice_seen = open_and_watch_notice(first)
    with app:
        app.wait_title(TITLE, timeout=20)
    check(notice_seen, "the rebuild is announced")
    check(os.path.getsize(os.path.join(first.prefix, "system.reg")) > 262144, "a whole registry again")


def test_4_a_truncated_or_deleted_registry_is_rebuilt_and_the_document_opens():
    def truncate(path):
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) // 3)
    damage_and_reopen(truncate)
    damage_and_reopen(os.remove)


def test_5_a_half_made_prefix_is_rebuilt():
    first.stop()
    os.remove(os.path.join(first.prefix, ".brisa-ready"))   # as when creation was interrupted
    with first.open(SAMPLE) as app:
        app.wait_title(TITLE, timeout=20)
    check(os.path.exists(os.path.join(first.prefix, ".brisa-ready")), "the prefix is marked ready again")


def test_6_login_entry_is_valid_warms_an_existing_prefix_only_and_can_be_turned_off():
    entry = os.path.join(WORK, "brisa-warm.desktop")
    with open(os.path.join(TOP, "launcher", "brisa-warm.desktop.in")) as f:
        text = f.read().replace("@BRISA_BINDIR@", BUILD)
    with open(entry, "w") as f:
        f.write(text)
    result = run("desktop-file-validate", entry)
    equal((0, ""), (result.returncode, result.stdout + result.stderr), "desktop-file-validate")
    command = [line.split("=", 1)[1] for line in text.splitlines() if line.startswith("Exec=")][0].split()
    equal([PROGRAM, "--warm"], command, "the login command")

    first.stop()
    equal(0, first.command(*command[1:]).returncode, "brisa --warm")
    check(first.keeper_pid() is not None, "the keeper runs after the login command")
    check(not first.pids_running("Brisa.exe"), "and no window was opened")

    newcomer = Launcher(os.path.join(WORK, "launcher-user-3"), PROGRAM)
    equal(0, newcomer.command("--warm").returncode, "brisa --warm for a user who never opened Brisa")
    check(not os.path.exists(newcomer.prefix), "makes no prefix")

    override = os.path.join(first.env["XDG_CONFIG_HOME"], "autostart", "brisa-warm.desktop")
    equal(0, first.command("--autostart", "off").returncode, "--autostart off")
    result = run("desktop-file-validate", override)
    equal(0, result.returncode, "the override is valid: " + result.stdout)
    check("Hidden=true" in open(override).read(), "and hides the login entry")
    equal(0, first.command("--autostart", "on").returncode, "--autostart on")
    check(not os.path.exists(override), "the override is gone")
    newcomer.remove()


def program_that_outlives_its_server(user):
    """A service of the prefix that runs on when the server goes, as one still
    starting at that moment does (it reconnects to a new server)."""
    link = os.path.join(WORK, "winedevice.exe")
    if not os.path.lexists(link):
        os.symlink(shutil.which("sleep"), link)
    return subprocess.Popen([link, "600"], env=dict(os.environ, WINEPREFIX=user.prefix))


def test_7_stop_ends_the_keeper_and_the_server():
    keeper = first.keeper_pid()
    check(keeper is not None, "a keeper to stop")
    late = program_that_outlives_its_server(first)
    first.stop()
    check(not first.alive(keeper), "the keeper is gone")
    try:
        late.wait(timeout=1)
    except subprocess.TimeoutExpired:
        late.kill()
        check(False, "a program of the prefix outlived --stop")
    equal({}, first.processes(), "nothing runs in the prefix")
    first.remove()
    second.remove()


class Display:
    """A virtual X server of its own, reporting the given physical resolution."""

    def __init__(self, dpi):
        n = 150
        while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
            n += 1
        self.name = ":%d" % n
        # -noreset: the resources set with xrdb outlive the client that set them, as on a desktop.
        self.server = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "2400x2200x24", "-dpi", str(dpi),
                                        "-noreset", "-nolisten", "tcp"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not os.path.exists("/tmp/.X11-unix/X%d" % n):
            check(time.time() < deadline, "Xvfb %s started" % self.name)
            time.sleep(0.05)

    def resource(self, value):
        """Sets Xft.dpi, or removes it when value is None."""
        env = dict(os.environ, DISPLAY=self.name)
        if value is None:
            subprocess.run(["xrdb", "-remove"], env=env, input="Xft.dpi\n", text=True, check=True)
        else:
            subprocess.run(["xrdb", "-merge"], env=env, input="Xft.dpi: %s\n" % value, text=True, check=True)

    def close(self):
        self.server.terminate()
        self.server.wait()


def user_dpi(user):
    """LogPixels as the prefix's user registry holds it (read with the server stopped)."""
    with open(os.path.join(user.prefix, "user.reg"), encoding="utf-8", errors="replace") as f:
        text = f.read()
    section = text[text.index("[Control Panel\\\\Desktop]"):]
    section = section[:section.index("\n[")]
    found = re.search(r'"LogPixels"=dword:([0-9a-f]{8})', section)
    return int(found.group(1), 16) if found else None


def dpi_after_login(user, display, resource):
    display.resource(resource)
    equal(0, user.command("--warm").returncode, "brisa --warm")
    user.stop()
    return user_dpi(user)


def test_8_the_prefix_takes_the_desktops_resolution_and_the_window_scales_with_it():
    user = Launcher(os.path.join(WORK, "launcher-user-dpi"), PROGRAM)
    high = Display(192)
    implausible = Display(1000)
    try:
        user.env["DISPLAY"] = high.name
        # A first start at 144 dpi (the X resource): the window is 900 x 1000 scaled.
        high.resource("144")
        with user.open(SAMPLE) as app:
            app.wait_title(TITLE, timeout=30)
            window = user.driver("rects", app.window).splitlines()[0].split()
            equal((1350, 1500), (int(window[3]), int(window[4])), "the start window at 144 dpi")
        user.stop()
        equal(144, user_dpi(user), "dpi from Xft.dpi 144")
        # Then the screen's physical resolution, when the resource is missing or malformed.
        for resource, expected in [("120.0", 120), (None, 192), ("abc", 192), ("0", 192), ("10000", 192)]:
            equal(expected, dpi_after_login(user, high, resource), "dpi for Xft.dpi %r on a 192-dpi screen" % resource)
        # Neither: 96.
        user.env["DISPLAY"] = implausible.name
        equal(96, dpi_after_login(user, implausible, None), "dpi on a screen claiming 1000 dpi")
    finally:
        user.remove()
        high.close()
        implausible.close()


def test_9_a_launch_while_a_new_keeper_has_no_window_yet_waits_for_it():
    """The fast path takes a keeper only once its mark says its window is up: before,
    the launch goes through brisa-session, which waits for it."""
    folder = os.path.join(WORK, "launcher-fast-path")
    libdir, data = os.path.join(folder, "lib"), os.path.join(folder, "data")
    prefix = os.path.join(data, "brisa", "wine")
    os.makedirs(libdir)
    os.makedirs(prefix)
    with open(os.path.join(TOP, "launcher", "brisa.in")) as f:
        launcher = f.read().replace("@BRISA_LIBDIR@", libdir)
    record = os.path.join(folder, "session-calls")
    scripts = {"brisa": launcher, "brisa-session": '#!/bin/sh\necho "$@" >>"%s"\nexit 1\n' % record}
    for name, text in scripts.items():
        with open(os.path.join(libdir, name), "w") as f:
            f.write(text)
        os.chmod(os.path.join(libdir, name), 0o755)
    os.symlink("/bin/sleep", os.path.join(folder, "brisa-keeper.exe"))   # a keeper by its kernel name
    keeper = subprocess.Popen([os.path.join(folder, "brisa-keeper.exe"), "60"])
    try:
        with open(os.path.join(prefix, "brisa-keeper.pid"), "w") as f:
            f.write("%d\n" % keeper.pid)
        if os.geteuid() == 0:
            os.chown(prefix, 65534, 65534)   # Wine, if started, stops at once in a prefix not ours
        result = run(os.path.join(libdir, "brisa"), SAMPLE, env=dict(os.environ, XDG_DATA_HOME=data), timeout=60)
        calls = open(record).read() if os.path.exists(record) else ""
        equal(("--start\n", 1), (calls, result.returncode), "the launch waited in brisa-session")
    finally:
        keeper.kill()
        keeper.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(globals())
