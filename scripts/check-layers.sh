#!/usr/bin/env bash
# Checks that the include arrows between the program's folders run down the
# floors docs/architecture.md draws: no folder includes app/ (the top floor),
# and at most 4 folder arrows run both ways (viewer/ with search/ and with
# thumbs/, neighbours on one floor). Prints the folder graph; exits non-zero
# and names the include lines at fault otherwise.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
python3 - "$top" <<'PY'
import os, re, sys
top = sys.argv[1]
MAX_BOTH_WAYS = 4
SKIP = {"build", "third_party", "tests", "bench", ".git", "node_modules"}
arrows = {}   # (from folder, to folder) -> include lines
for folder in sorted(os.listdir(top)):
    if folder in SKIP or not os.path.isdir(os.path.join(top, folder)):
        continue
    for where, dirs, files in os.walk(os.path.join(top, folder)):
        dirs[:] = [d for d in dirs if d not in SKIP]
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(where, name)
            text = open(path, errors="ignore").read()
            for header in re.findall(r'#include "([^"/]+)/[^"]+"', text):
                if header != folder:
                    line = "%s -> %s" % (os.path.relpath(path, top), header)
                    arrows.setdefault((folder, header), []).append(line)
graph = {}
for a, b in arrows:
    graph.setdefault(a, set()).add(b)
print("layers: folder graph")
for a in sorted(graph):
    print("  %s -> %s" % (a, " ".join(sorted(graph[a]))))
faults = []
for (a, b), lines in sorted(arrows.items()):
    if b == "app" and a != "app":
        faults += ["includes the top floor: " + l for l in lines]
both = sorted((a, b) for (a, b) in arrows if (b, a) in arrows)
if len(both) > MAX_BOTH_WAYS:
    for a, b in both:
        faults += ["both ways: " + l for l in arrows[(a, b)]]
print("layers: %d folder arrows run both ways (at most %d)" % (len(both), MAX_BOTH_WAYS))
for f in faults:
    print("layers: " + f)
sys.exit(1 if faults else 0)
PY
