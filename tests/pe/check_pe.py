#!/usr/bin/env python3
"""Checks the Windows build's executable for what can be checked without Windows.

Usage: check_pe.py Brisa.exe pdfium.def

Reads the PE file itself (python3 standard library only) and checks, each on its own line:
  - a PE32+ image for x86-64, GUI subsystem;
  - its imports from pdfium.dll are exactly the names of the .def file's EXPORTS section;
  - icon group 1 holds 16, 24, 32, 48 and 256 px icons, each 32 bpp and stored as an RGBA PNG;
  - RT_RCDATA 2 is a 600 x 132 RGBA PNG (colour type 6);
  - the version information: the version of resources/version.h, VOS_NT_WINDOWS32, VFT_APP, the French string block
    040C04B0 with the product's strings, and the matching translation;
  - manifest 1: common controls 6.0.0.0, asInvoker without UI access, dpiAware true.
Prints PASS or FAIL with the reason for each, then "N passed, M failed". Exit status 0 when all pass.
"""
import re
import struct
import sys
from pathlib import Path
import xml.etree.ElementTree as ElementTree

IMAGE_FILE_MACHINE_AMD64 = 0x8664
PE32_PLUS_MAGIC = 0x20B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
IMPORT_DIRECTORY = 1
RESOURCE_DIRECTORY = 2

RT_ICON = 3
RT_RCDATA = 10
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

ICON_GROUP_ID = 1
ICON_SIZES = [16, 24, 32, 48, 256]
ABOUT_PICTURE_ID = 2
ABOUT_PICTURE_SIZE = (600, 132)
MANIFEST_ID = 1

VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD


def program_version():
    """(major, minor, patch) as resources/version.h, the one place the version is written, says."""
    text = (Path(__file__).resolve().parent.parent.parent / "resources" / "version.h").read_text(encoding="ascii")
    return tuple(int(re.search(rf"^#define BRISA_VERSION_{part}\s+(\d+)\s*$", text, re.M).group(1))
                 for part in ("MAJOR", "MINOR", "PATCH"))


MAJOR, MINOR, PATCH = program_version()
VERSION = f"{MAJOR}.{MINOR}.{PATCH}"
FIXED_VERSION = (MAJOR << 16 | MINOR, PATCH << 16)  # (MS, LS) words: major.minor and patch.0
VOS_NT_WINDOWS32 = 0x00040004
VFT_APP = 1
STRING_BLOCK = "040C04B0"  # French, code page 1200 (UTF-16)
TRANSLATION = (0x040C, 1200)
EXPECTED_STRINGS = {
    "FileDescription": "Brisa",
    "InternalName": "Brisa",
    "ProductName": "Brisa",
    "OriginalFilename": "Brisa.exe",
    "FileVersion": VERSION,
    "ProductVersion": VERSION,
}
COPYRIGHT_SIGN = "\u00a9"

COMMON_CONTROLS = {
    "type": "win32",
    "name": "Microsoft.Windows.Common-Controls",
    "version": "6.0.0.0",
    "publickeytoken": "6595b64144ccf1df",
}

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
PNG_RGBA = 6


class Malformed(Exception):
    """The file is not what it claims; the message says where."""


# --- Bounds-checked reading --------------------------------------------------------------------

def unpack(fmt, data, offset, what):
    """struct.unpack_from that names the structure when the data is too short."""
    size = struct.calcsize(fmt)
    if offset < 0 or offset > len(data) or len(data) - offset < size:
        raise Malformed(f"{what} at offset {offset} lies outside the data ({len(data)} bytes)")
    return struct.unpack_from(fmt, data, offset)


def read_c_string(data, offset, what):
    end = data.find(b"\0", offset)
    if offset < 0 or offset >= len(data) or end < 0:
        raise Malformed(f"{what} at offset {offset} is not a terminated string")
    return data[offset:end].decode("latin-1")


# --- PE headers and sections -------------------------------------------------------------------

class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Malformed("no MZ signature: not a Windows executable")
        (pe_offset,) = unpack("<I", data, 0x3C, "e_lfanew")
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise Malformed("no PE signature")
        coff = pe_offset + 4
        self.machine, section_count, _, _, _, optional_size, _ = unpack("<HHIIIHH", data, coff, "COFF header")
        optional = coff + 20
        (self.magic,) = unpack("<H", data, optional, "optional header")
        if self.magic != PE32_PLUS_MAGIC:
            self.subsystem = None
            self.directories = []
        else:
            (self.subsystem,) = unpack("<H", data, optional + 68, "subsystem")
            (directory_count,) = unpack("<I", data, optional + 108, "NumberOfRvaAndSizes")
            directory_count = min(directory_count, 16, max(0, (optional_size - 112) // 8))
            self.directories = [unpack("<II", data, optional + 112 + 8 * i, "data directory")
                                for i in range(directory_count)]
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            _, virtual_size, rva, raw_size, raw_offset = unpack("<8sIIII", data, table + 40 * i, "section header")
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))

    def directory(self, index):
        """(rva, size) of a data directory, or (0, 0) when absent."""
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset_of(self, rva, what):
        """File offset of an RVA, which must lie in the raw data of a section."""
        for start, span, raw_offset, raw_size in self.sections:
            if start <= rva < start + span:
                delta = rva - start
                if delta >= raw_size:
                    raise Malformed(f"{what} (RVA {rva:#x}) lies in a section's uninitialised part")
                return raw_offset + delta
        raise Malformed(f"{what} (RVA {rva:#x}) lies in no section")

    def read(self, rva, size, what):
        offset = self.offset_of(rva, what)
        if size < 0 or offset > len(self.data) or len(self.data) - offset < size:
            raise Malformed(f"{what} (RVA {rva:#x}, {size} bytes) runs past the end of the file")
        return self.data[offset:offset + size]


# --- Imports -----------------------------------------------------------------------------------

def imported_names(image, dll):
    """The names imported from one DLL (case-insensitive match), or None when it is not imported.
    Imports by ordinal are returned as '#<ordinal>' so they show up as unexpected."""
    rva, size = image.directory(IMPORT_DIRECTORY)
    if rva == 0:
        return None
    names = None
    base = image.offset_of(rva, "import directory")
    for index in range(100000):  # the table ends with a zeroed descriptor
        lookup, _, _, name_rva, thunks = unpack("<IIIII", image.data, base + 20 * index, "import descriptor")
        if lookup == 0 and name_rva == 0 and thunks == 0:
            break
        dll_name = read_c_string(image.data, image.offset_of(name_rva, "import DLL name"), "import DLL name")
        if dll_name.lower() != dll.lower():
            continue
        names = [] if names is None else names
        table = image.offset_of(lookup or thunks, f"{dll} lookup table")
        for slot in range(100000):
            (entry,) = unpack("<Q", image.data, table + 8 * slot, f"{dll} lookup entry")
            if entry == 0:
                break
            if entry & (1 << 63):
                names.append(f"#{entry & 0xFFFF}")
            else:
                hint_name = image.offset_of(entry & 0x7FFFFFFF, f"{dll} hint/name")
                names.append(read_c_string(image.data, hint_name + 2, f"{dll} import name"))
    return names


def def_exports(text):
    """The exported names of a module-definition file: the first word of each line of its EXPORTS
    section, without '=internal' or '@ordinal', comments (';') ignored."""
    names = []
    in_exports = False
    for line in text.splitlines():
        line = line.split(";", 1)[0].strip()
        if not line:
            continue
        word = line.split()[0]
        if word.upper() in ("LIBRARY", "NAME", "DESCRIPTION", "STACKSIZE", "HEAPSIZE", "SECTIONS", "VERSION"):
            in_exports = False
            continue
        if word.upper() == "EXPORTS":
            in_exports = True
            rest = line[len(word):].split()
            if not rest:
                continue
            word = rest[0]
        if in_exports:
            names.append(word.split("=", 1)[0].split("@", 1)[0] or word)
    return names


# --- Resources ---------------------------------------------------------------------------------

def read_resources(image):
    """{(type, id): {language: bytes}} from the resource tree; ids given by name are strings."""
    rva, size = image.directory(RESOURCE_DIRECTORY)
    if rva == 0:
        return {}
    section = image.read(rva, size, "resource section")

    def entries(offset, what):
        _, _, _, _, named, numbered = unpack("<IIHHHH", section, offset, what)
        for i in range(named + numbered):
            key, target = unpack("<II", section, offset + 16 + 8 * i, what + " entry")
            if key & 0x80000000:
                (length,) = unpack("<H", section, key & 0x7FFFFFFF, "resource name")
                start = (key & 0x7FFFFFFF) + 2
                key = section[start:start + 2 * length].decode("utf-16-le", "replace")
            yield key, target

    resources = {}
    for kind, kind_target in entries(0, "resource type directory"):
        if not kind_target & 0x80000000:
            raise Malformed("resource type entry points to data, not to a directory")
        for name, name_target in entries(kind_target & 0x7FFFFFFF, "resource name directory"):
            if not name_target & 0x80000000:
                raise Malformed("resource name entry points to data, not to a directory")
            languages = {}
            for language, data_entry in entries(name_target & 0x7FFFFFFF, "resource language directory"):
                if data_entry & 0x80000000:
                    raise Malformed("resource language entry points to a directory, not to data")
                data_rva, data_size, _, _ = unpack("<IIII", section, data_entry, "resource data entry")
                languages[language] = image.read(data_rva, data_size, f"resource {kind}/{name}")
            resources[(kind, name)] = languages
    return resources


class UnreadableResources:
    """Stands for a resource tree that could not be read: every look-up fails with the reason,
    so only the resource checks fail."""

    def __init__(self, reason):
        self.reason = reason

    def get(self, key):
        raise Malformed(self.reason)


def one_resource(resources, kind, name, label):
    """The bytes of a resource (its first language), or raises naming what is missing."""
    languages = resources.get((kind, name))
    if not languages:
        raise Malformed(f"{label} is missing")
    return next(iter(languages.values()))


def png_header(data):
    """(width, height, bit depth, colour type) of a PNG, or None when the bytes are no PNG."""
    if data[:8] != PNG_SIGNATURE or len(data) < 26 or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">IIBB", data[16:26])


# --- Version information -----------------------------------------------------------------------

def version_node(data, offset, end, depth=0):
    """One VS_VERSIONINFO-style node: (key, value bytes, children, node end). Nodes three levels
    down (the strings, the translation) are leaves whose value runs to the node's end: compilers
    disagree on whether wValueLength counts the terminating NUL."""
    length, value_length, value_type = unpack("<HHH", data, offset, "version node")
    node_end = offset + length
    if length < 6 or node_end > end:
        raise Malformed(f"version node at {offset} has a bad length {length}")
    key_end = offset + 6
    while key_end + 1 < node_end and data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le", "replace")
    value_start = min(node_end, (key_end + 2 + 3) & ~3)
    if depth >= 3:
        return key, data[value_start:node_end], [], node_end
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value_end = min(node_end, value_start + value_bytes)
    children = []
    child = (value_end + 3) & ~3
    while child < node_end:
        child_key, child_value, grandchildren, child = version_node(data, child, node_end, depth + 1)
        children.append((child_key, child_value, grandchildren))
        child = (child + 3) & ~3
    return key, data[value_start:value_end], children, node_end


def version_text(value):
    return value.decode("utf-16-le", "replace").rstrip("\0")


def parse_version(data):
    key, fixed, children, _ = version_node(data, 0, len(data))
    if key != "VS_VERSION_INFO":
        raise Malformed(f"version resource key is {key!r}")
    if len(fixed) < 52:
        raise Malformed("version resource has no VS_FIXEDFILEINFO")
    return struct.unpack("<13I", fixed[:52]), children


# --- The checks --------------------------------------------------------------------------------
# Each returns None when it passes, else the reason it fails.

def check_machine(image, resources, expected_imports):
    if image.machine != IMAGE_FILE_MACHINE_AMD64:
        return f"machine is {image.machine:#06x}, expected x86-64 ({IMAGE_FILE_MACHINE_AMD64:#06x})"
    if image.magic != PE32_PLUS_MAGIC:
        return f"optional header magic is {image.magic:#x}, expected PE32+ ({PE32_PLUS_MAGIC:#x})"
    return None


def check_subsystem(image, resources, expected_imports):
    if image.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        return f"subsystem is {image.subsystem}, expected {IMAGE_SUBSYSTEM_WINDOWS_GUI} (Windows GUI)"
    return None


class UnreadableDef:
    def __init__(self, reason):
        self.reason = reason


def check_pdfium_imports(image, resources, expected_imports):
    if isinstance(expected_imports, UnreadableDef):
        return expected_imports.reason
    imported = imported_names(image, "pdfium.dll") or []
    extra = sorted(set(imported) - set(expected_imports))
    missing = sorted(set(expected_imports) - set(imported))
    problems = []
    if extra:
        problems.append("imported but not in the .def: " + ", ".join(extra))
    if missing:
        problems.append("in the .def but not imported: " + ", ".join(missing))
    if len(imported) != len(set(imported)):
        problems.append("some names are imported twice")
    return "; ".join(problems) or None


def check_icon_group(image, resources, expected_imports):
    group = one_resource(resources, RT_GROUP_ICON, ICON_GROUP_ID, "RT_GROUP_ICON 1")
    _, kind, count = unpack("<HHH", group, 0, "icon group header")
    if kind != 1:
        return f"icon group type is {kind}, expected 1 (icon)"
    sizes = []
    problems = []
    for i in range(count):
        width, height, _, _, _, bits, size, icon_id = unpack("<BBBBHHIH", group, 6 + 14 * i, "icon group entry")
        width, height = width or 256, height or 256
        sizes.append(width)
        label = f"{width}x{height} icon (RT_ICON {icon_id})"
        if width != height:
            problems.append(f"{label} is not square")
        if bits != 32:
            problems.append(f"{label} is {bits} bpp in the group, expected 32")
        languages = resources.get((RT_ICON, icon_id))
        if not languages:
            problems.append(f"{label} is missing")
            continue
        blob = next(iter(languages.values()))
        header = png_header(blob)
        if header is None:
            problems.append(f"{label} is not stored as PNG")
        elif header != (width, height, 8, PNG_RGBA):
            problems.append(f"{label} holds a PNG of {header[0]}x{header[1]}, depth {header[2]}, "
                            f"colour type {header[3]}; expected {width}x{height} 8-bit RGBA")
        if len(blob) != size:
            problems.append(f"{label} is {len(blob)} bytes, the group says {size}")
    if sorted(sizes) != ICON_SIZES:
        problems.insert(0, f"sizes are {sorted(sizes)}, expected {ICON_SIZES}")
    return "; ".join(problems) or None


def check_about_picture(image, resources, expected_imports):
    blob = one_resource(resources, RT_RCDATA, ABOUT_PICTURE_ID, "RT_RCDATA 2")
    header = png_header(blob)
    if header is None:
        return "RT_RCDATA 2 is not a PNG"
    width, height, depth, colour_type = header
    if (width, height) != ABOUT_PICTURE_SIZE:
        return f"RT_RCDATA 2 is {width}x{height}, expected {ABOUT_PICTURE_SIZE[0]}x{ABOUT_PICTURE_SIZE[1]}"
    if colour_type != PNG_RGBA:
        return f"RT_RCDATA 2 has PNG colour type {colour_type}, expected {PNG_RGBA} (RGBA)"
    return None


def version_resource(resources):
    return parse_version(one_resource(resources, RT_VERSION, 1, "RT_VERSION 1"))


def check_fixed_version(image, resources, expected_imports):
    fixed, _ = version_resource(resources)
    signature, _, file_ms, file_ls, product_ms, product_ls, _, _, os, file_type, _, _, _ = fixed
    problems = []
    if signature != VS_FIXEDFILEINFO_SIGNATURE:
        problems.append(f"VS_FIXEDFILEINFO signature is {signature:#x}")

    def dotted(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    if (file_ms, file_ls) != FIXED_VERSION:
        problems.append(f"file version is {dotted(file_ms, file_ls)}, expected {VERSION}.0")
    if (product_ms, product_ls) != FIXED_VERSION:
        problems.append(f"product version is {dotted(product_ms, product_ls)}, expected {VERSION}.0")
    if os != VOS_NT_WINDOWS32:
        problems.append(f"FILEOS is {os:#x}, expected VOS_NT_WINDOWS32 ({VOS_NT_WINDOWS32:#x})")
    if file_type != VFT_APP:
        problems.append(f"FILETYPE is {file_type}, expected VFT_APP ({VFT_APP})")
    return "; ".join(problems) or None


def check_version_strings(image, resources, expected_imports):
    _, children = version_resource(resources)
    tables = {}
    for key, _, blocks in children:
        if key == "StringFileInfo":
            for table_key, _, strings in blocks:
                tables[table_key.upper()] = {name: version_text(value) for name, value, _ in strings}
    if list(tables) != [STRING_BLOCK]:
        return f"string blocks are {sorted(tables)}, expected exactly [{STRING_BLOCK!r}]"
    strings = tables[STRING_BLOCK]
    problems = []
    for name, expected in EXPECTED_STRINGS.items():
        if strings.get(name) != expected:
            problems.append(f"{name} is {strings.get(name)!r}, expected {expected!r}")
    company = strings.get("CompanyName", "")
    copyright_line = strings.get("LegalCopyright", "")
    if not company:
        problems.append("CompanyName is missing or empty")
    if not copyright_line.startswith(COPYRIGHT_SIGN + " ") or company not in copyright_line:
        problems.append(f"LegalCopyright is {copyright_line!r}, expected '\u00a9 <year> {company}'")
    return "; ".join(problems) or None


def check_translation(image, resources, expected_imports):
    _, children = version_resource(resources)
    for key, _, entries in children:
        if key == "VarFileInfo":
            for name, value, _ in entries:
                if name == "Translation":
                    pairs = [struct.unpack_from("<HH", value, i) for i in range(0, len(value) - 3, 4)]
                    if pairs == [TRANSLATION]:
                        return None
                    return f"Translation is {pairs}, expected [{TRANSLATION}]"
    return "VarFileInfo\\Translation is missing"


def manifest_tree(resources):
    blob = one_resource(resources, RT_MANIFEST, MANIFEST_ID, "RT_MANIFEST 1")
    try:
        return ElementTree.fromstring(blob)
    except ElementTree.ParseError as error:
        raise Malformed(f"manifest 1 is not well-formed XML: {error}")


def elements(tree, local_name):
    """Elements with this name in any namespace."""
    return [e for e in tree.iter() if e.tag.rsplit("}", 1)[-1] == local_name]


def check_common_controls(image, resources, expected_imports):
    for dependent in elements(manifest_tree(resources), "dependentAssembly"):
        for identity in elements(dependent, "assemblyIdentity"):
            attributes = {k.lower(): v for k, v in identity.attrib.items()}
            if all(attributes.get(k, "").lower() == v.lower() for k, v in COMMON_CONTROLS.items()):
                if attributes.get("processorarchitecture") in ("*", "amd64"):
                    return None
                return f"common controls dependency has processorArchitecture " \
                       f"{attributes.get('processorarchitecture')!r}"
    return "no dependency on Microsoft.Windows.Common-Controls 6.0.0.0 (token 6595b64144ccf1df)"


def check_execution_level(image, resources, expected_imports):
    levels = elements(manifest_tree(resources), "requestedExecutionLevel")
    if len(levels) != 1:
        return f"{len(levels)} requestedExecutionLevel elements, expected 1"
    level, ui_access = levels[0].get("level"), levels[0].get("uiAccess", "false")
    if level != "asInvoker" or ui_access.lower() != "false":
        return f"execution level {level!r} with uiAccess {ui_access!r}, expected 'asInvoker' without UI access"
    return None


def check_dpi_aware(image, resources, expected_imports):
    values = [(e.text or "").strip().lower() for e in elements(manifest_tree(resources), "dpiAware")]
    if values != ["true"]:
        return f"dpiAware is {values}, expected ['true']"
    return None


CHECKS = [
    ("PE32+ image for x86-64", check_machine),
    ("Windows GUI subsystem", check_subsystem),
    ("imports from pdfium.dll match the .def", check_pdfium_imports),
    ("icon group 1: 16, 24, 32, 48, 256 px, 32-bit PNG", check_icon_group),
    ("RT_RCDATA 2: 600x132 RGBA PNG", check_about_picture),
    (f"version {VERSION}.0, VOS_NT_WINDOWS32, VFT_APP", check_fixed_version),
    ("version strings in block 040C04B0", check_version_strings),
    ("version translation French, code page 1200", check_translation),
    ("manifest: common controls 6.0.0.0", check_common_controls),
    ("manifest: asInvoker, no UI access", check_execution_level),
    ("manifest: dpiAware true", check_dpi_aware),
]


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    exe_path, def_path = argv[1], argv[2]
    image = resources = expected_imports = None
    load_error = None
    try:
        with open(def_path, encoding="utf-8") as f:
            expected_imports = def_exports(f.read())
    except (OSError, UnicodeDecodeError) as error:
        expected_imports = UnreadableDef(f"cannot read {def_path}: {error}")
    try:
        with open(exe_path, "rb") as f:
            image = PeImage(f.read())
    except OSError as error:
        load_error = f"cannot read {exe_path}: {error}"
    except Malformed as error:
        load_error = str(error)
    if image is not None:
        try:
            resources = read_resources(image)
        except Malformed as error:
            resources = UnreadableResources(str(error))

    passed = failed = 0
    for label, check in CHECKS:
        if load_error is not None:
            reason = load_error
        else:
            try:
                reason = check(image, resources, expected_imports)
            except Malformed as error:
                reason = str(error)
        if reason is None:
            passed += 1
            print(f"PASS  {label}")
        else:
            failed += 1
            print(f"FAIL  {label}: {reason}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
