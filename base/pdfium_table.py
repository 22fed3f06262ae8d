#!/usr/bin/env python3
"""Turns base/pdfium.table into the files that must agree with it:

  --header FILE    the function declarations base/pdfium.h includes
  --def FILE       the .def of Brisa.exe's import library (the names the program calls)
  --exports FILE   the test bridge's Winelib export list, a .spec file (every name
                   but the Linux build's own)
  --wrappers FILE  the bridge's generated wrappers: Windows calling convention
                   outside, the Linux library's inside

A file is rewritten only when its text changes, so that a reconfigure does not
rebuild everything. Exits 1 with a message on a line it cannot read."""

import re
import sys

DECLARATION = re.compile(r"^(?P<result>[\w\s\*]+?)\s*\b(?P<name>FPDF\w*)\((?P<params>[^()]*)\);(?P<tags>.*)$")
TAGS = {"[bridge]": "bridge_only", "[by hand]": "by_hand", "[linux]": "linux_only"}

# The one Windows/Linux difference a generated wrapper handles: `unsigned long`
# is 32 bits in the PE and 64 in the .so, so the Windows side takes 32 bits and
# widens them (or narrows a result).
WINDOWS_TYPES = {"FPDF_DWORD": "unsigned int"}
EXPORT_SCALARS = {"double": "double", "size_t": "int64", "int": "long", "FPDF_BOOL": "long", "FPDF_DWORD": "long"}


class Function:
    def __init__(self, result, name, params, comments, tags):
        self.result, self.name, self.params = result, name, params
        self.comments = comments
        self.bridge_only, self.by_hand, self.linux_only = "[bridge]" in tags, "[by hand]" in tags, "[linux]" in tags

    def declaration(self):
        return "%s %s(%s);" % (self.result, self.name, ", ".join(t + " " + n for t, n in self.params) or "void")


def split_param(text, where):
    match = re.match(r"^(.*?[\s\*])(\w+)$", text.strip())
    if not match:
        raise ValueError("%s: cannot read parameter %r" % (where, text))
    return re.sub(r"\s+", " ", match.group(1).strip()).replace(" *", "*"), match.group(2)


def parse(path):
    functions, comments = [], []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            where = "%s:%d" % (path, number)
            if not line.strip() or line.startswith("#"):
                if not line.strip():
                    comments.append("")
                continue
            if line.startswith("//"):
                comments.append(line)
                continue
            match = DECLARATION.match(line.strip())
            if not match:
                raise ValueError("%s: not a declaration: %r" % (where, line))
            tags = match.group("tags").split("]")
            tags = [t.strip() + "]" for t in tags if t.strip()]
            unknown = [t for t in tags if t not in TAGS]
            if unknown:
                raise ValueError("%s: unknown tag %s" % (where, " ".join(unknown)))
            params = match.group("params").strip()
            params = [] if params in ("", "void") else [split_param(p, where) for p in params.split(",")]
            if any(f.name == match.group("name") for f in functions):
                raise ValueError("%s: %s is listed twice" % (where, match.group("name")))
            functions.append(Function(match.group("result").strip(), match.group("name"), params, comments, tags))
            comments = []
    return functions


def windows_type(text):
    return WINDOWS_TYPES.get(text, text)


def export_type(text):
    if "*" in text or text.startswith("FPDF_") and text not in EXPORT_SCALARS:
        return "ptr"   # handles and strings are pointers
    return EXPORT_SCALARS.get(text, "long")


def header(functions):
    out = ["// Generated from base/pdfium.table by base/pdfium_table.py: edit the table.",
           "// The PDFium functions Brisa calls; base/pdfium.h declares their types.", ""]
    for f in functions:
        if f.bridge_only or f.linux_only:
            continue
        while f.comments and not f.comments[0] and out[-1] == "":
            f.comments.pop(0)
        out += f.comments
        out.append(f.declaration())
    linux = [f.declaration() for f in functions if f.linux_only]
    if linux:
        out += ["", "#ifdef __WINE__   // the Linux library's, called by the Linux build only"] + linux + ["#endif"]
    extra = [f.declaration() for f in functions if f.bridge_only]
    if extra:
        out += ["", "#ifdef BRISA_PDFIUM_BRIDGE   // only the test bridge calls these"] + extra + ["#endif"]
    return "\n".join(out) + "\n"


def def_file(functions):
    return "LIBRARY pdfium.dll\nEXPORTS\n" + "".join(f.name + "\n" for f in functions
                                                    if not f.bridge_only and not f.linux_only)


def exports(functions):
    out = ["# Generated from base/pdfium.table: every export of the test bridge, Windows convention."]
    for f in functions:
        if f.linux_only:
            continue
        out.append("@ cdecl %s(%s) br_%s" % (f.name, " ".join(export_type(t) for t, _ in f.params), f.name))
    return "\n".join(out) + "\n"


def wrappers(functions):
    out = ["// Generated from base/pdfium.table by base/pdfium_table.py: the bridge's forwarding",
           "// exports. Outside, the Windows calling convention and 32-bit FPDF_DWORD; inside,",
           "// the Linux library's own declarations.",
           '#include "tests/bridge/bridge.h"', ""]
    for f in functions:
        if f.linux_only:
            continue
        params = ", ".join(windows_type(t) + " " + n for t, n in f.params) or "void"
        signature = 'extern "C" %s __cdecl br_%s(%s)' % (windows_type(f.result), f.name, params)
        if f.by_hand:
            out.append(signature + ";   // tests/bridge/bridge.cpp")
            continue
        call = "%s(%s)" % (f.name, ", ".join(n for _, n in f.params))
        out.append(signature + " {")
        if f.result == "void":
            out.append("  %s;" % call)
        elif windows_type(f.result) != f.result:
            out.append("  return (%s)%s;" % (windows_type(f.result), call))
        else:
            out.append("  return %s;" % call)
        out.append("}")
    return "\n".join(out) + "\n"


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    if len(argv) < 2 or len(argv) % 2:
        print(__doc__, file=sys.stderr)
        return 2
    makers = {"--header": header, "--def": def_file, "--exports": exports, "--wrappers": wrappers}
    try:
        functions = parse(argv[1])
    except (OSError, ValueError) as error:
        print("pdfium_table: %s" % error, file=sys.stderr)
        return 1
    for option, path in zip(argv[2::2], argv[3::2]):
        if option not in makers:
            print("pdfium_table: unknown option %s" % option, file=sys.stderr)
            return 2
        write_if_changed(path, makers[option](functions))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
