#!/usr/bin/env python3
"""Packs PNG images into one .ico file, each entry kept as PNG.

ImageMagick's ICO writer stores the small sizes as BMP; we want every size as a 32-bit RGBA PNG,
which Windows Vista and later (and Wine) read directly.

Usage: make-ico.py OUT.ico IN.png...   (one PNG per size, 8-bit RGBA, at most 256 x 256)
"""
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
ICONDIR = struct.Struct("<HHH")          # reserved 0, type 1 (icon), count
ICONDIRENTRY = struct.Struct("<BBBBHHII")  # width, height, colours, reserved, planes, bit count, size, offset


def png_size(data, name):
    """Width and height of an 8-bit RGBA PNG, or exits naming what is wrong."""
    if data[:8] != PNG_SIGNATURE or data[12:16] != b"IHDR":
        sys.exit(f"make-ico: {name} is not a PNG")
    width, height, depth, colour_type = struct.unpack(">IIBB", data[16:26])
    if depth != 8 or colour_type != 6:
        sys.exit(f"make-ico: {name} is not 8-bit RGBA (depth {depth}, colour type {colour_type})")
    if not (1 <= width <= 256 and 1 <= height <= 256):
        sys.exit(f"make-ico: {name} is {width} x {height}, larger than an icon entry allows")
    return width, height


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []
    for name in argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        images.append((png_size(data, name), data))
    images.sort(key=lambda image: image[0])  # smallest first, as resource compilers list them

    header = ICONDIR.pack(0, 1, len(images))
    offset = ICONDIR.size + ICONDIRENTRY.size * len(images)
    entries = b""
    for (width, height), data in images:
        # 256 is written as 0 in the one-byte fields.
        entries += ICONDIRENTRY.pack(width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(argv[1], "wb") as f:
        f.write(header + entries + b"".join(data for _, data in images))


if __name__ == "__main__":
    main(sys.argv)
