"""One user of the Linux launcher (`brisa`): a data folder of their own (so a
Wine prefix of their own), the launcher started as a file manager would, and
what runs in that prefix read back from /proc."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

from brisa import DRIVER, check, equal

WM_CLOSE = 0x0010


def as_account(account):
    """subprocess arguments that run a command as account (uid, gid), or as ourselves for None."""
    return dict(user=account[0], group=account[1], extra_groups=[]) if account else {}


def run(*args, env=None, cwd=None, timeout=300, account=None):
    """A command whose children may outlive it: its output goes to files, so that
    no pipe of ours is left open to them."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        result = subprocess.run(list(args), env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=timeout, start_new_session=True, **as_account(account))
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(result.args, result.returncode, out.read(), err.read())


def environment_of(pid):
    try:
        with open("/proc/%d/environ" % pid, "rb") as f:
            pairs = f.read().split(b"\0")
    except OSError:
        return {}
    return dict(p.decode(errors="replace").split("=", 1) for p in pairs if b"=" in p)


def command_of(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


class App:
    def __init__(self, user, process):
        self.user = user
        self.process = process
        # The driver runs in the same prefix: not before the launcher has made it.
        deadline = time.time() + 120
        while user.keeper_pid() is None:
            check(time.time() < deadline and process.poll() is None,
                  "the launcher made its prefix ready: " + user.launcher_output()[-300:])
            time.sleep(0.1)
        self.window = int(user.driver("find", "Brisa", 30000).split()[0])

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def wait_title(self, expected, timeout=10):
        deadline = time.time() + timeout
        title = self.user.driver("title", self.window)
        while title != expected and time.time() < deadline:
            time.sleep(0.1)
            title = self.user.driver("title", self.window)
        equal(expected, title, "window title")

    def close(self):
        self.user.driver("post", self.window, WM_CLOSE, 0, 0, ok=False)
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Launcher:
    def __init__(self, data_home, program, account=None):
        """account: (uid, gid) of another account to run everything as, None for ours."""
        self.data_home = data_home
        self.program = program
        self.account = account
        self.prefix = os.path.join(data_home, "brisa", "wine")
        self.env = dict(os.environ, XDG_DATA_HOME=data_home, XDG_CONFIG_HOME=os.path.join(data_home, "config"),
                        WINEPREFIX=self.prefix, LC_ALL="en_US.UTF-8", LANG="en_US.UTF-8")
        self.stderr_path = os.path.join(data_home, "launcher-stderr.txt")

    def driver(self, *args, ok=True):
        # When the driver is the first program to need this prefix's desktop or
        # services, Wine starts them as its children and they outlive it.
        result = run(DRIVER, *[str(a) for a in args], env=self.env, timeout=60, account=self.account)
        check(result.returncode == 0 or not ok, "driver %s failed: %s" % (args, result.stderr[-300:]))
        return result.stdout.strip() if result.returncode == 0 else None

    def start(self, *args, cwd=None):
        """Starts the launcher without waiting for anything."""
        os.makedirs(self.data_home, exist_ok=True)
        stderr = open(self.stderr_path, "a")
        env = dict(self.env)
        env.pop("WINEPREFIX")   # the launcher chooses the prefix itself
        return subprocess.Popen([self.program] + list(args), env=env, cwd=cwd or self.data_home,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr,
                                **as_account(self.account))

    def open(self, *args, cwd=None):
        return App(self, self.start(*args, cwd=cwd))

    def command(self, *args):
        env = dict(self.env)
        env.pop("WINEPREFIX")
        return run(self.program, *args, env=env, account=self.account)

    def stop(self):
        result = self.command("--stop")
        equal(0, result.returncode, "brisa --stop: " + result.stderr[-300:])

    def processes(self):
        """{pid: command line} of every process running in this prefix."""
        out = {}
        for name in os.listdir("/proc"):
            if name.isdigit() and environment_of(int(name)).get("WINEPREFIX") == self.prefix:
                command = command_of(int(name))
                if command:   # a process that ended but was not reaped has none
                    out[int(name)] = command
        return out

    def processes_after_stop(self, timeout=10):
        """processes(), once the ones the server was killing have gone (their end is asynchronous)."""
        deadline = time.time() + timeout
        while self.processes() and time.time() < deadline:
            time.sleep(0.1)
        return self.processes()

    def pids_running(self, fragment):
        return sorted(pid for pid, command in self.processes().items() if fragment in command)

    def server_pids(self):
        return self.pids_running("wineserver")

    def desktop_pids(self):
        return self.pids_running("explorer.exe")

    def keeper_pid(self):
        """The pid recorded in the prefix, when that process lives."""
        try:
            with open(os.path.join(self.prefix, "brisa-keeper.pid")) as f:
                pid = int(f.read().strip())
        except (OSError, ValueError):
            return None
        return pid if self.alive(pid) else None

    @staticmethod
    def alive(pid):
        """A keeper process that runs (a dead one may linger unreaped where init does not reap)."""
        try:
            with open("/proc/%d/stat" % pid) as f:
                stat = f.read()
        except (OSError, TypeError):
            return False
        return stat.startswith("%d (brisa-keeper.ex) " % pid) and stat.split(") ", 1)[1][:1] in "RSD"

    def kill_keeper(self):
        pid = self.keeper_pid()
        check(pid is not None, "a keeper to kill")
        os.kill(pid, signal.SIGKILL)
        deadline = time.time() + 10
        while self.alive(pid) and time.time() < deadline:
            time.sleep(0.05)
        check(not self.alive(pid), "the keeper died")
        return pid

    def launcher_output(self):
        try:
            with open(self.stderr_path) as f:
                return f.read()
        except OSError:
            return ""

    def remove(self):
        if os.path.isdir(self.prefix) and os.path.exists(self.program):
            self.command("--stop")
        # Whatever an interrupted earlier run left in a prefix of this name.
        for pid in self.processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        shutil.rmtree(self.data_home, ignore_errors=True)
