"""wine-env.sh itself, in an environment of its own: it returns once the keeper holds
the desktop, so that no program started then starts the desktop with its output."""

import os
import subprocess

from brisa import BUILD, WORK, equal, main

# The desktop's standard error, then whether a program's output ended with it.
SCRIPT = """mkdir -p "$1" && ln -sf "$2"/driver.exe "$2"/driver.exe.so "$1"/ && source "$0" start "$1" >/dev/null
for p in $(pgrep -f 'explorer.exe /desktop'); do
  grep -qz "^WINEPREFIX=$1/wineprefix$" /proc/$p/environ && readlink /proc/$p/fd/2
done | sort -u
"$1/driver.exe" find NoSuchWindow 0 2>&1 | timeout 20 cat; echo "output ended: $?"
"$0" stop "$1"
"""


def test_a_program_started_at_once_finds_the_keepers_desktop():
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine-env.sh")
    result = subprocess.run(["bash", "-c", SCRIPT, script, os.path.join(WORK, "own-env"), BUILD],
                            capture_output=True, text=True, timeout=300)
    equal(["/dev/null", "output ended: 0"], result.stdout.split("\n")[:2], "the desktop's output, then the program's")


if __name__ == "__main__":
    main(globals())
