#!/usr/bin/env python3
"""Writes a stored ZIP64 comic of large entries: each image followed by zeros up
to --entry-mib, which image decoders ignore after the image's end. The zeros are
left as holes, so a comic of several GiB costs little disk. Every size and
offset goes in the ZIP64 extra field and the ZIP64 end records, as archivers
write them past 4 GiB.
  make-bigzip.py OUT.cbz --entry-mib 128 --count 36 IMAGE...   (images cycled)"""
import argparse
import os
import struct
import zlib

MIB = 1 << 20


def crc_of(data, zeros):
    crc = zlib.crc32(data)
    block = bytes(MIB)
    while zeros:
        n = min(zeros, MIB)
        crc = zlib.crc32(block[:n], crc)
        zeros -= n
    return crc


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("images", nargs="+")
    parser.add_argument("--entry-mib", type=int, default=128)
    parser.add_argument("--count", type=int, default=36)
    args = parser.parse_args()
    images = [open(p, "rb").read() for p in args.images]
    size = args.entry_mib * MIB
    crcs = {}
    central = []
    with open(args.out, "wb") as f:
        for i in range(args.count):
            image = images[i % len(images)]
            if len(image) > size:
                raise SystemExit("an image is larger than an entry")
            key = i % len(images)
            if key not in crcs:
                crcs[key] = crc_of(image, size - len(image))
            name = ("page%05d.jpg" % (i + 1)).encode()
            offset = f.tell()
            extra = struct.pack("<HHQQ", 1, 16, size, size)
            f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0, 0x21, crcs[key], 0xFFFFFFFF, 0xFFFFFFFF,
                                len(name), len(extra)) + name + extra)
            f.write(image)
            f.seek(size - len(image), os.SEEK_CUR)   # a hole, read back as zeros
            extra = struct.pack("<HHQQQ", 1, 24, size, size, offset)
            central.append(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0, 0x21, crcs[key],
                                       0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra), 0, 0, 0, 0, 0xFFFFFFFF) +
                           name + extra)
        start = f.tell()
        for record in central:
            f.write(record)
        length = f.tell() - start
        end64 = f.tell()
        f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(central), len(central), length, start))
        f.write(struct.pack("<IIQI", 0x07064B50, 0, end64, 1))
        f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0))


if __name__ == "__main__":
    main()
