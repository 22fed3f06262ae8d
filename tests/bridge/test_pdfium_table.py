"""base/pdfium_table.py: the four files it makes from the one table agree with
each other and with the bridge's hand-written exports, and a table it cannot
read stops the build instead of producing half a list."""

import os
import re
import subprocess
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(TOP, "base", "pdfium_table.py")
TABLE = os.path.join(TOP, "base", "pdfium.table")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def generate(table, folder):
    paths = {kind: os.path.join(folder, kind) for kind in ("header", "def", "exports", "wrappers")}
    args = [sys.executable, TOOL, table]
    for kind, path in paths.items():
        args += ["--" + kind, path]
    result = subprocess.run(args, capture_output=True, text=True)
    texts = {}
    if result.returncode == 0:
        for kind, path in paths.items():
            with open(path) as f:
                texts[kind] = f.read()
    return result, texts


def the_real_table_agrees_everywhere(folder):
    result, out = generate(TABLE, folder)
    check(result.returncode == 0, "the table is read: " + result.stderr)
    if result.returncode:
        return
    header = out["header"]
    if "#ifdef" in header:
        header = header[:header.index("#ifdef")]
    declared = re.findall(r"\b(FPDF\w*)\(", header)
    imported = [line for line in out["def"].splitlines()[2:] if line]
    exported = re.findall(r"^@ cdecl (FPDF\w*)\(", out["exports"], re.M)
    check(declared == imported, "the .def lists what the header declares: %r vs %r" % (declared, imported))
    check(set(imported) < set(exported), "the bridge exports every name of the .def and more")
    check("FPDF_LoadDocument" in exported and "FPDF_LoadDocument" not in imported,
          "FPDF_LoadDocument is the bridge's only")
    with open(os.path.join(TOP, "tests", "bridge", "bridge.cpp")) as f:
        by_hand = f.read()
    for name in exported:
        generated = re.search(r"br_%s\([^)]*\) \{" % name, out["wrappers"])
        written = re.search(r"br_%s\(" % name, by_hand)
        check(bool(generated) != bool(written), "%s is forwarded exactly once (generated or by hand)" % name)
    error = re.search(r"unsigned int __cdecl br_FPDF_GetLastError\(void\)", out["wrappers"])
    fill = re.search(r"br_FPDFBitmap_FillRect\([^)]*unsigned int color\)", out["wrappers"])
    check(error and fill, "FPDF_DWORD crosses as 32 bits in both directions")
    check("@ cdecl FPDFLink_GetLinkAtPoint(ptr double double)" in out["exports"], "doubles cross as doubles")
    linux = out["header"].split("#ifdef __WINE__")[-1].split("#endif")[0]
    check("FPDF_SetSystemFontInfo(FPDF_SYSFONTINFO* fontInfo);" in linux,
          "a [linux] function is declared for the Linux build only")
    check(all("FPDF_SetSystemFontInfo" not in out[kind] for kind in ("def", "exports", "wrappers")),
          "a [linux] function is neither imported by the Windows build nor bridged")


def a_bad_table_is_refused(folder):
    good = "void FPDF_InitLibrary(void);\n"
    cases = {"unknown tag": good + "int FPDF_GetPageCount(FPDF_DOCUMENT document); [bridge only]\n",
             "listed twice": good + good,
             "not a declaration": good + "int FPDF_GetPageCount(FPDF_DOCUMENT document)\n",
             "unnamed parameter": "int FPDF_GetPageCount(FPDF_DOCUMENT);\n"}
    for what, text in cases.items():
        table = os.path.join(folder, "bad.table")
        with open(table, "w") as f:
            f.write(text)
        result, _ = generate(table, folder)
        check(result.returncode == 1 and "pdfium_table:" in result.stderr, "%s: refused with a message" % what)


with tempfile.TemporaryDirectory() as work:
    the_real_table_agrees_everywhere(work)
    a_bad_table_is_refused(work)
for failure in failures:
    print("FAIL", failure)
print("%d checks failed" % len(failures) if failures else "ok")
sys.exit(1 if failures else 0)
