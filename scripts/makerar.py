#!/usr/bin/env python3
"""Writes RAR 4 and RAR 5 archives whose entries are stored (not compressed).

Usage:
  makerar.py [--format 4|5] [--solid] [--dir NAME]... [--volume-size BYTES [--old-names]]
             [--nonsense SIZE] out.cbr [NAME=]path...

With --nonsense SIZE, the one file's bytes are written as if they were its
compressed data (RAR's normal method), unpacking to SIZE bytes: a valid header
in front of whatever data, as damaged or hostile archives have.

Each file is stored under its base name, or under NAME when given as NAME=path.
--dir adds a directory entry (before the files); it may be named like an image.
--volume-size splits the archive into volumes out.part1.cbr, out.part2.cbr...
(with --old-names, RAR 4 only: out.cbr, out.c00, out.c01...) holding about
that many data bytes each; entries are split across volumes.
The archive flags say solid when --solid is given; RAR 4 also flags each file
after the first as continuing the solid stream, as RAR does (RAR 5 leaves that
to the archive flag). Stored data is the same either way, but readers treat a
solid archive's entries as depending on earlier ones.

Also usable as a module: write_archive(path, entries, fmt, solid, volume_size),
entries being (name, bytes) pairs, bytes None for a directory.
"""
import argparse
import os
import struct
import sys
import zlib

# A fixed time keeps the output reproducible: 2020-01-01 00:00:00.
UNIX_TIME = 1577836800
DOS_TIME = ((2020 - 1980) << 25) | (1 << 21) | (1 << 16)

FILE_MODE = 0o100644
DIR_MODE = 0o040755


def crc32(data, start=0):
    return zlib.crc32(data, start) & 0xFFFFFFFF


# ---------------------------------------------------------------- RAR 4 ---
# Block layout: HEAD_CRC u16 (low half of the CRC32 of the rest of the header),
# HEAD_TYPE u8, HEAD_FLAGS u16, HEAD_SIZE u16, then the type's fields.
RAR4_MARKER = b"Rar!\x1a\x07\x00"
RAR4_MAIN, RAR4_FILE, RAR4_END = 0x73, 0x74, 0x7B
MHD_VOLUME, MHD_SOLID, MHD_NEWNUMBERING, MHD_FIRSTVOLUME = 0x0001, 0x0008, 0x0010, 0x0100
LHD_SPLIT_BEFORE, LHD_SPLIT_AFTER, LHD_SOLID = 0x01, 0x02, 0x10
LHD_DIRECTORY, LHD_LARGE, LHD_UNICODE, LONG_BLOCK = 0xE0, 0x100, 0x200, 0x8000
EARC_NEXT_VOLUME = 0x0001
RAR4_HOST_UNIX, RAR4_VERSION, RAR4_STORE = 3, 29, 0x30


def rar4_block(kind, flags, body):
    rest = struct.pack("<BHH", kind, flags, 7 + len(body)) + body
    return struct.pack("<H", crc32(rest) & 0xFFFF) + rest


def rar4_main(volume, first, solid, old_names=False):
    flags = MHD_SOLID if solid else 0
    if volume:
        flags |= MHD_VOLUME | (0 if old_names else MHD_NEWNUMBERING) | (MHD_FIRSTVOLUME if first else 0)
    return rar4_block(RAR4_MAIN, flags, struct.pack("<HI", 0, 0))


def rar4_file(piece, solid_entry, method=RAR4_STORE):
    name = piece.name.encode("utf-8")
    flags = LONG_BLOCK
    if name != piece.name.encode("ascii", "replace"):
        flags |= LHD_UNICODE      # UTF-8 without a zero byte: read as UTF-8
    if piece.directory:
        flags |= LHD_DIRECTORY
    if solid_entry:
        flags |= LHD_SOLID
    if piece.before:
        flags |= LHD_SPLIT_BEFORE
    if piece.after:
        flags |= LHD_SPLIT_AFTER
    packed, size = len(piece.data), piece.total
    large = packed > 0xFFFFFFFF or size > 0xFFFFFFFF
    if large:
        flags |= LHD_LARGE
    mode = DIR_MODE if piece.directory else FILE_MODE
    body = struct.pack("<IIBIIBBHI", packed & 0xFFFFFFFF, size & 0xFFFFFFFF, RAR4_HOST_UNIX,
                       piece.crc, DOS_TIME, RAR4_VERSION, method, len(name), mode)
    if large:
        body += struct.pack("<II", packed >> 32, size >> 32)
    return rar4_block(RAR4_FILE, flags, body + name) + piece.data


def rar4_end(more):
    return rar4_block(RAR4_END, 0x4000 | (EARC_NEXT_VOLUME if more else 0), b"")


def rar4_volume(pieces, index, count, solid, old_names=False):
    out = [RAR4_MARKER, rar4_main(count > 1, index == 0, solid, old_names)]
    for piece in pieces:
        # As RAR itself does: in a solid archive every file after the first is
        # flagged as continuing the solid stream.
        out.append(rar4_file(piece, solid and piece.follows_file))
    out.append(rar4_end(index + 1 < count))
    return b"".join(out)


# ---------------------------------------------------------------- RAR 5 ---
# Block layout: CRC32 u32 of what follows it, header size vint, type vint,
# header flags vint, [data size vint], the type's fields; then the data.
RAR5_SIGNATURE = b"Rar!\x1a\x07\x01\x00"
RAR5_MAIN, RAR5_FILE, RAR5_END = 1, 2, 5
HFL_DATA, HFL_SPLIT_BEFORE, HFL_SPLIT_AFTER = 0x0002, 0x0008, 0x0010
MAIN_VOLUME, MAIN_VOLUME_NUMBER, MAIN_SOLID = 0x0001, 0x0002, 0x0004
FILE_DIRECTORY, FILE_TIME, FILE_CRC = 0x0001, 0x0002, 0x0004
COMPRESSION_SOLID = 0x0040
END_NOT_LAST = 0x0001
RAR5_HOST_UNIX = 1


def vint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def rar5_block(kind, flags, fields, data_size=None):
    head = vint(kind) + vint(flags)
    if data_size is not None:
        head += vint(data_size)
    head += fields
    sized = vint(len(head)) + head
    return struct.pack("<I", crc32(sized)) + sized


def rar5_main(volume, index, solid):
    flags = MAIN_SOLID if solid else 0
    fields = b""
    if volume:
        flags |= MAIN_VOLUME
        if index > 0:
            flags |= MAIN_VOLUME_NUMBER
            fields = vint(index)
    return rar5_block(RAR5_MAIN, 0, vint(flags) + fields)


def rar5_file(piece, solid_entry, method=0):
    name = piece.name.encode("utf-8")
    head_flags = HFL_DATA
    if piece.before:
        head_flags |= HFL_SPLIT_BEFORE
    if piece.after:
        head_flags |= HFL_SPLIT_AFTER
    file_flags = FILE_TIME | FILE_CRC | (FILE_DIRECTORY if piece.directory else 0)
    compression = (COMPRESSION_SOLID if solid_entry else 0) | method << 7   # version 0, method 0: store
    mode = DIR_MODE if piece.directory else FILE_MODE
    fields = (vint(file_flags) + vint(piece.total) + vint(mode) + struct.pack("<II", UNIX_TIME, piece.crc)
              + vint(compression) + vint(RAR5_HOST_UNIX) + vint(len(name)) + name)
    return rar5_block(RAR5_FILE, head_flags, fields, len(piece.data)) + piece.data


def rar5_end(more):
    return rar5_block(RAR5_END, 0, vint(END_NOT_LAST if more else 0))


def rar5_volume(pieces, index, count, solid, old_names=False):
    out = [RAR5_SIGNATURE, rar5_main(count > 1, index, solid)]
    for piece in pieces:
        # As for RAR 4, only the archive says solid: libarchive 3.6.2 refuses a
        # RAR 5 file flagged solid when the entries before it were stored.
        out.append(rar5_file(piece, False))
    out.append(rar5_end(index + 1 < count))
    return b"".join(out)


# ------------------------------------------------------------- volumes ---
class Piece:
    """The part of one entry that lies in one volume."""

    def __init__(self, ordinal, name, directory, data, total, before, after, crc, follows_file):
        self.ordinal, self.name, self.directory = ordinal, name, directory
        self.follows_file = follows_file   # a file entry came before: its data continues a solid stream
        self.data, self.total, self.before, self.after, self.crc = data, total, before, after, crc


# libarchive 3.6.2 fails with "Header CRC error" when a split RAR 5 entry's
# last part lies alone in a volume of a few dozen bytes; 1 KiB parts read fine.
MIN_TAIL = 1024


def split_into_volumes(entries, volume_size):
    """Lists the pieces of each volume. A part of a split entry carries the CRC
    of its own bytes, the last part the CRC of the whole entry."""
    volumes, current, room = [], [], volume_size
    files_before = 0
    for ordinal, (name, data) in enumerate(entries):
        directory = data is None
        data = data or b""
        whole_crc = crc32(data)
        offset = 0
        while True:
            take = len(data) - offset if not volume_size else min(len(data) - offset, max(room, 0))
            if 0 < len(data) - offset - take < MIN_TAIL:
                take = max(len(data) - offset - MIN_TAIL, 0)   # libarchive stumbles on a tiny last part
                if take == 0 and not current:
                    take = len(data) - offset                      # a volume never stays empty
            if volume_size and take == 0 and offset < len(data):
                volumes.append(current)
                current, room = [], volume_size
                continue
            part = data[offset:offset + take]
            last = offset + take == len(data)
            crc = whole_crc if last else crc32(part)
            current.append(Piece(ordinal, name, directory, part, len(data), offset > 0, not last, crc,
                                 files_before > 0 and not directory))
            offset += take
            room -= take
            if last:
                break
        files_before += 0 if directory else 1
    volumes.append(current)
    return volumes


def volume_names(path, count, old_names=False):
    if count == 1:
        return [path]
    stem, ext = os.path.splitext(path)
    if old_names:   # x.rar, x.r00, x.r01 ...: the extension's first letter, then two digits
        if count > 101:
            raise ValueError("old volume names stop at 101 volumes")
        letter = ext[1:2] or "r"
        return [path] + ["%s.%s%02d" % (stem, letter, i) for i in range(count - 1)]
    width = len(str(count))
    return ["%s.part%0*d%s" % (stem, width, i + 1, ext) for i in range(count)]


def write_archive(path, entries, fmt=5, solid=False, volume_size=0, old_names=False):
    """Writes the archive (or its volumes) and returns the paths written.
    old_names (RAR 4 only): volumes named x.rar, x.r00... instead of x.partN.rar."""
    if old_names and fmt == 5:
        raise ValueError("RAR 5 volumes are always named partN")
    volumes = split_into_volumes(entries, volume_size)
    names = volume_names(path, len(volumes), old_names)
    make = rar5_volume if fmt == 5 else rar4_volume
    for index, (name, pieces) in enumerate(zip(names, volumes)):
        with open(name, "wb") as out:
            out.write(make(pieces, index, len(volumes), solid, old_names))
    return names


# The "normal" compression method of each format.
RAR4_NORMAL, RAR5_NORMAL = 0x33, 3


def write_nonsense(path, fmt, name, declared, data):
    """One entry whose valid header says it was compressed from `declared`
    bytes into `data`, which may be anything: a damaged or hostile file."""
    piece = Piece(0, name, False, data, declared, False, False, crc32(data), False)
    if fmt == 5:
        body = rar5_main(False, 0, False) + rar5_file(piece, False, RAR5_NORMAL) + rar5_end(False)
        out = RAR5_SIGNATURE + body
    else:
        out = RAR4_MARKER + rar4_main(False, True, False) + rar4_file(piece, False, RAR4_NORMAL) + rar4_end(False)
    with open(path, "wb") as f:
        f.write(out)
    return [path]


def parse_file_argument(argument):
    name, sep, path = argument.partition("=")
    if not sep:
        return os.path.basename(argument), argument
    return name, path


def main(argv):
    parser = argparse.ArgumentParser(description="Write a RAR archive with stored entries.")
    parser.add_argument("--format", type=int, choices=(4, 5), default=5)
    parser.add_argument("--solid", action="store_true")
    parser.add_argument("--dir", action="append", default=[], metavar="NAME")
    parser.add_argument("--volume-size", type=int, default=0, metavar="BYTES")
    parser.add_argument("--old-names", action="store_true",
                        help="RAR 4 volumes named out.cbr, out.c00, out.c01... (default out.part1.cbr...)")
    parser.add_argument("--nonsense", type=int, metavar="SIZE",
                        help="one file, its bytes written as compressed data said to unpack to SIZE bytes")
    parser.add_argument("out")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args(argv)
    entries = [(name, None) for name in args.dir]
    for argument in args.files:
        name, path = parse_file_argument(argument)
        with open(path, "rb") as source:
            entries.append((name, source.read()))
    if not entries:
        parser.error("nothing to store")
    if args.old_names and args.format == 5:
        parser.error("--old-names is for RAR 4 only")
    if args.nonsense is not None:
        if len(entries) != 1 or entries[0][1] is None:
            parser.error("--nonsense takes one file")
        write_nonsense(args.out, args.format, entries[0][0], args.nonsense, entries[0][1])
        return 0
    written = write_archive(args.out, entries, args.format, args.solid, args.volume_size, args.old_names)
    if len(written) > 1:
        print("\n".join(written))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
