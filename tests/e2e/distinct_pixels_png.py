#!/usr/bin/python3
"""Writes a WxH PNG in which every pixel has its own colour: pixel n (row by row) is
(n >> 16, n >> 8 & 255, n & 255), plus an optional offset so that two pictures of one size can
differ everywhere. A picture compared with it shows any pixel that moved, was scaled or lost.

usage: distinct_pixels_png.py WxH OUT.png [OFFSET]
"""

import array
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def main():
    if len(sys.argv) not in (3, 4) or "x" not in sys.argv[1]:
        sys.exit(__doc__.split("\n\n", 1)[1].strip())
    width, height = (int(v) for v in sys.argv[1].split("x"))
    offset = int(sys.argv[3]) if len(sys.argv) == 4 else 0
    if width <= 0 or height <= 0 or offset < 0 or offset + width * height > 1 << 24:
        sys.exit("at most 16777216 pixels, each colour once")
    raw = bytearray()
    for y in range(height):
        first = offset + y * width
        # n * 256 + 255 in big-endian is (r, g, b, 255): the colours without a Python loop.
        words = array.array("I", range(first * 256 + 255, (first + width) * 256, 256))
        if sys.byteorder == "little":
            words.byteswap()
        rgba = words.tobytes()
        row = bytearray(width * 3)
        row[0::3] = rgba[0::4]
        row[1::3] = rgba[1::4]
        row[2::3] = rgba[2::4]
        raw += b"\0" + row
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 1))
    png += chunk(b"IEND", b"")
    with open(sys.argv[2], "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
