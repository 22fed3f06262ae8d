#!/usr/bin/env python3
"""Launches through the Linux launcher (build/winelib/brisa), one after another,
as a user trying damaged files would: each launch opens a damaged file, its
message is answered with Enter, the window is closed with Ctrl+W, and the next
launch starts at once (every other one before the previous process has ended).
Prints, for every launch, the time from exec to the first visible window of
that process, and at the end the slowest launches; a launch with no window
within LIMIT seconds is reported with what the prefix's processes were doing,
and so is a keeper or desktop process that changed between two launches.

  python3 scripts/launch-loop.py [LAUNCHES]      (default 200; LIMIT=20)

With KILL_KEEPER=1 the keeper is killed before every launch, so that each one
restarts it and races the desktop's own closing (about a second after its last
user goes); that run has its own data folder, build/launch-loop-restart.

Runs on a virtual X server of its own, in a data folder of its own under
build/launch-loop (its own Wine prefix, server and keeper, stopped at the end).
Needs Xvfb and xdotool."""

import os
import signal
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(TOP, "build", "winelib")
PROGRAM = os.path.join(BUILD, "brisa")
KILL_KEEPER = os.environ.get("KILL_KEEPER") == "1"
WORK = os.path.join(TOP, "build", "launch-loop-restart" if KILL_KEEPER else "launch-loop")
LIMIT = float(os.environ.get("LIMIT", "20"))


def damaged_files():
    """A few kinds of file that open with the damaged-file message."""
    os.makedirs(WORK, exist_ok=True)
    subprocess.run(["python3", os.path.join(TOP, "scripts", "makepdf.py"), os.path.join(WORK, "whole.pdf"),
                    "--pages", "4"], check=True)
    with open(os.path.join(WORK, "whole.pdf"), "rb") as f:
        whole = f.read()
    contents = {
        "cut.pdf": whole[:len(whole) // 2],
        "junk.pdf": b"%PDF-1.7\n" + bytes(range(256)) * 8,
        "empty.cbz": b"",
        "cut.cbz": b"PK\003\004 this archive ends here",
        "junk.cbr": b"Rar!\x1a\x07\x00" + b"\xff" * 300,
    }
    paths = []
    for name, data in contents.items():
        path = os.path.join(WORK, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths


def visible_windows(env, pid):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return result.stdout.split()


def key(env, *keys):
    subprocess.run(["xdotool", "key", "--clearmodifiers"] + list(keys), env=env, stderr=subprocess.DEVNULL)


def prefix_processes(prefix):
    """'pid state wchan command' of every process running in the prefix."""
    lines = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                if ("WINEPREFIX=" + prefix).encode() not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % name, "rb") as f:
                command = f.read().replace(b"\0", b" ").decode(errors="replace")
            with open("/proc/%s/stat" % name) as f:
                state = f.read().split(") ", 1)[1][:1]
            with open("/proc/%s/wchan" % name) as f:
                wchan = f.read()
        except OSError:
            continue
        lines.append("%s %s %s %s" % (name, state, wchan, command[:100]))
    return lines


def keeper_and_desktop(prefix):
    """The pids of the prefix's keeper and of its desktop process."""
    keeper, desktop = None, None
    for line in prefix_processes(prefix):
        pid, _, _, command = line.split(" ", 3)
        keeper = pid if "brisa-keeper" in command else keeper
        desktop = pid if "explorer.exe" in command else desktop
    return keeper, desktop


def kill_keeper(prefix):
    try:
        with open(os.path.join(prefix, "brisa-keeper.pid")) as f:
            os.kill(int(f.read().strip()), signal.SIGKILL)
    except (OSError, ValueError):
        pass


def closes(env, process, launch, prefix):
    """Whether the process ended within 10 s of its Ctrl+W; if not, says how it
    stood (its window still shown: the key went elsewhere) and ends it."""
    try:
        process.wait(timeout=10)
        return True
    except subprocess.TimeoutExpired:
        pass
    print("launch %d: not ended 10 s after Ctrl+W, %d windows shown" % (
        launch, len(visible_windows(env, process.pid))), flush=True)
    for line in prefix_processes(prefix):
        print("   ", line, flush=True)
    process.kill()
    process.wait()
    return False


def main():
    launches = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    files = damaged_files()
    n = 90
    while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
        n += 1
    display = ":%d" % n
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1600x1200x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    data = os.path.join(WORK, "data")
    env = dict(os.environ, DISPLAY=display, XDG_DATA_HOME=data, XDG_CONFIG_HOME=os.path.join(WORK, "config"),
               LC_ALL="en_US.UTF-8", LANG="en_US.UTF-8", WINEDEBUG="-all")
    env.pop("WINEPREFIX", None)
    prefix = os.path.join(data, "brisa", "wine")
    for _ in range(100):
        if os.path.exists("/tmp/.X11-unix/X%d" % n):
            break
        time.sleep(0.05)
    times, slow, unclosed = [], [], 0
    last_holders, changes = None, 0   # a keeper or desktop that went away between launches
    previous = None
    try:
        # The session start makes the prefix and the keeper; the About window and the default
        # question are then turned off, as a user would have done.
        subprocess.run([os.path.join(BUILD, "brisa-session"), "--start"], env=env, check=False)
        wine = dict(env, WINEPREFIX=prefix)
        for name in ("HideAboutOnStartup", "NeverAskDefault"):
            subprocess.run(["/usr/lib/wine/wine64", "reg", "add", "HKCU\\Software\\Brisa", "/v", name, "/t",
                            "REG_DWORD", "/d", "1", "/f"], env=wine, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for launch in range(launches):
            path = files[launch % len(files)]
            if KILL_KEEPER:
                kill_keeper(prefix)
            holders = keeper_and_desktop(prefix)
            if holders != last_holders and not KILL_KEEPER:
                print("launch %d: keeper and desktop %s (before: %s)" % (launch, holders, last_holders), flush=True)
                changes += last_holders is not None
                last_holders = holders
            start = time.monotonic()
            process = subprocess.Popen([PROGRAM, path], env=env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shown = None
            while time.monotonic() - start < LIMIT + 10:
                if visible_windows(env, process.pid):
                    shown = time.monotonic() - start
                    break
                time.sleep(0.02)
            if previous is not None and not closes(env, previous, launch - 1, prefix):
                unclosed += 1
            if shown is None or shown > LIMIT:
                slow.append((launch, os.path.basename(path), shown))
                print("launch %d (%s): no window after %.1f s" % (launch, os.path.basename(path),
                                                                   time.monotonic() - start), flush=True)
                for line in prefix_processes(prefix):
                    print("   ", line, flush=True)
            if shown is not None:
                times.append(shown)
            # The message box over the window, answered; then Ctrl+W.
            deadline = time.monotonic() + 10
            while len(visible_windows(env, process.pid)) < 2 and time.monotonic() < deadline:
                time.sleep(0.02)
            key(env, "Return")
            deadline = time.monotonic() + 10
            while len(visible_windows(env, process.pid)) > 1 and time.monotonic() < deadline:
                time.sleep(0.02)
            key(env, "ctrl+w")
            if launch % 2:
                if not closes(env, process, launch, prefix):
                    unclosed += 1
                previous = None
            else:
                previous = process   # the next launch starts while this one ends
            if launch % 20 == 19:
                print("%d launches, median %.0f ms, slowest %.0f ms" % (
                    launch + 1, 1000 * sorted(times)[len(times) // 2], 1000 * max(times)), flush=True)
        if previous is not None and not closes(env, previous, launches - 1, prefix):
            unclosed += 1
    finally:
        subprocess.run([PROGRAM, "--stop"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xvfb.terminate()
        xvfb.wait()
    times.sort()
    print("%d launches: window after median %.0f ms, 95th %.0f ms, slowest %s ms; %d over %.0f s; "
          "%d not closed by Ctrl+W; %s" % (
              launches, 1000 * times[len(times) // 2], 1000 * times[int(len(times) * .95)],
              ", ".join("%.0f" % (1000 * t) for t in times[-5:]), len(slow), LIMIT, unclosed,
              "the keeper killed before each launch" if KILL_KEEPER else
              "keeper or desktop replaced %d times" % changes))
    return 1 if slow else 0


if __name__ == "__main__":
    sys.exit(main())
