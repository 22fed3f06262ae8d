#!/usr/bin/env python3
"""Writes the seed corpora of the comic fuzz targets:
tests/fuzz/corpus/zip/ (small CBZ-like archives) and tests/fuzz/corpus/sniff/
(image headers of every sniffed format). Deterministic: the same files every run.
Usage: scripts/make-comics-corpus.py [repository root]"""
import io
import os
import struct
import sys
import zipfile
import zlib

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
STAMP = (2020, 1, 1, 0, 0, 0)


def png(w, h):
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    chunk = struct.pack(">I", 13) + b"IHDR" + ihdr
    return b"\x89PNG\r\n\x1a\n" + chunk + struct.pack(">I", zlib.crc32(b"IHDR" + ihdr))


def gif(w, h):
    return b"GIF89a" + struct.pack("<HHBBB", w, h, 0, 0, 0) + b";"


def bmp(w, h):
    return b"BM" + struct.pack("<IIII iiHH", 70, 0, 54, 40, w, h, 1, 24) + bytes(24)


def riff(chunk, payload):
    body = chunk + struct.pack("<I", len(payload)) + payload
    return b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WEBP" + body


def vp8x(w, h):
    return riff(b"VP8X", b"\x10\0\0\0" + (w - 1).to_bytes(3, "little") + (h - 1).to_bytes(3, "little"))


def vp8l(w, h):
    return riff(b"VP8L", b"\x2f" + struct.pack("<I", (w - 1) | (h - 1) << 14) + bytes(4))


def vp8(w, h):
    return riff(b"VP8 ", b"\x10\x02\x00\x9d\x01\x2a" + struct.pack("<HH", w, h) + bytes(4))


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg(w, h, sof=0xC0, padding=0):
    frame = segment(sof, struct.pack(">BHHB", 8, h, w, 1) + b"\x01\x11\x00")
    return (b"\xff\xd8" + segment(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0") + segment(0xFE, b"c" * padding) +
            segment(0xC4, bytes(20)) + b"\xff\xff\xff\xd0" + frame + b"\xff\xd9")


def zip_bytes(members, comment=b"", force_zip64=False):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        archive.comment = comment
        for name, data, method in members:
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = method
            with archive.open(info, "w", force_zip64=force_zip64) as entry:
                entry.write(data)
    return out.getvalue()


def raw_zip(members):
    """Stored members whose name bytes and general purpose flags are given as is."""
    local, central = b"", b""
    for name, data, flags in members:
        crc = zlib.crc32(data)
        central += struct.pack("<4sHHHHHHIIIHHHHHII", b"PK\x01\x02", 20, 20, flags, 0, 0, 0x5021, crc,
                               len(data), len(data), len(name), 0, 0, 0, 0, 0, len(local)) + name
        local += struct.pack("<4sHHHHHIIIHH", b"PK\x03\x04", 20, flags, 0, 0, 0x5021, crc,
                             len(data), len(data), len(name), 0) + name + data
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, len(members), len(members), len(central),
                      len(local), 0)
    return local + central + end


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    stored, deflated = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
    pages = [("p%d.png" % i, png(100 + i, 150), stored) for i in (10, 2, 1)]
    zips = {
        "stored.cbz": zip_bytes(pages),
        "deflated.cbz": zip_bytes([("a/01.jpg", jpeg(64, 80) + bytes(500), deflated),
                                   ("a/02.gif", gif(5, 7), deflated), ("notes.txt", b"hello" * 40, deflated)]),
        "zip64.cbz": zip_bytes([("x.webp", vp8x(300, 200), stored), ("y.bmp", bmp(9, -9), deflated)],
                               force_zip64=True),
        "comment.cbz": zip_bytes([("c.png", png(3, 4), stored)], comment=b"PK\x05\x06 comment" * 20),
        "names.cbz": zip_bytes([("\u00e9t\u00e9/1.jpg", jpeg(8, 8, 0xC2), stored),
                                ("__MACOSX/._1.jpg", b"x", stored), (".hidden.png", png(1, 1), stored)]),
        "encrypted.cbz": raw_zip([(b"e.jpg", jpeg(2, 2), 1), (b"f.png", png(2, 2), 0)]),
        "cp437.cbz": raw_zip([(b"caf\x82.png", png(6, 6), 0), (b"\xc3\xa9\x01.gif", gif(1, 1), 0x800)]),
        "empty.cbz": b"PK\x05\x06" + bytes(18),
    }
    for name, data in zips.items():
        write(os.path.join(ROOT, "tests/fuzz/corpus/zip"), name, data)

    images = {
        "png": png(640, 480), "gif": gif(320, 200), "bmp": bmp(800, -600),
        "vp8x.webp": vp8x(3000, 2000), "vp8l.webp": vp8l(1024, 768), "vp8.webp": vp8(400, 300),
        "baseline.jpg": jpeg(1600, 2400), "progressive.jpg": jpeg(31, 17, 0xC2),
        "comment.jpg": jpeg(7, 9, 0xC1, padding=3000),
    }
    for name, data in images.items():
        write(os.path.join(ROOT, "tests/fuzz/corpus/sniff"), name, data)


if __name__ == "__main__":
    main()
