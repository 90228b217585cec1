"""Writes a zip archive that depends on nothing but its input files: entries
in the order given, one fixed time for all of them, fixed attributes, deflate
at level 9. Names are stored as Windows Explorer on a Chinese system reads
them (code page 936, no UTF-8 flag) and once more in UTF-8 in the Info-ZIP
Unicode path field, which other unpackers prefer.

Usage: make_zip.py OUT.zip EPOCH NAME=FILE|NAME/ ...
(a NAME ending in "/" is a folder entry; EPOCH is seconds since 1970, UTC)"""
import struct
import sys
import time
import zlib


def dos_time(epoch):
    t = time.gmtime(max(epoch, 315532800))  # zip times start in 1980
    return (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2), \
           ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday


def unicode_path_field(primary, utf8):
    body = struct.pack("<BI", 1, zlib.crc32(primary)) + utf8
    return struct.pack("<HH", 0x7075, len(body)) + body


def main(out, epoch, *entries):
    mtime, mdate = dos_time(int(epoch))
    archive = bytearray()
    central = bytearray()
    for entry in entries:
        name, _, path = entry.partition("=")
        folder = name.endswith("/")
        data = b"" if folder else open(path, "rb").read()
        primary = name.encode("cp936")
        utf8 = name.encode("utf-8")
        extra = unicode_path_field(primary, utf8) if primary != utf8 else b""
        if folder:
            method, packed = 0, b""
        else:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
            method, packed = 8, packer.compress(data) + packer.flush()
        crc = zlib.crc32(data)
        offset = len(archive)
        archive += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, mtime, mdate,
                               crc, len(packed), len(data), len(primary), len(extra))
        archive += primary + extra + packed
        # Made by: MS-DOS (0), version 2.0; attributes: folder or archive bit.
        attributes = 0x10 if folder else 0x20
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, mtime,
                               mdate, crc, len(packed), len(data), len(primary), len(extra),
                               0, 0, 0, attributes, offset)
        central += primary + extra
    start = len(archive)
    archive += central
    archive += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                           len(central), start, 0)
    with open(out, "wb") as f:
        f.write(archive)


if __name__ == "__main__":
    main(*sys.argv[1:])
