#!/usr/bin/env python3
"""Packs rendered icon sizes into one .ico.

usage: make_ico.py OUT.ico SMALLEST.png ... LARGEST.png

Every input must be an 8-bit RGBA PNG. Images of 256 pixels go in as PNG unchanged; smaller ones
are stored as 32-bit uncompressed bitmaps with their alpha channel and an AND mask derived from
it, which is what older shells draw when they ignore alpha. Entries keep the order of the
arguments.
"""

import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def read_png(path):
    """(width, height, raw PNG bytes, rows of RGBA bytes top-down)."""
    data = open(path, "rb").read()
    if not data.startswith(PNG_SIGNATURE):
        sys.exit(f"{path}: not a PNG")
    pos, header, idat = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos : pos + 8])
        body = data[pos + 8 : pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        sys.exit(f"{path}: no IHDR")
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        sys.exit(f"{path}: must be 8-bit RGBA, not interlaced")
    return width, height, data, unfilter(zlib.decompress(idat), width * 4, height)


def unfilter(raw, stride, height):
    rows, prior = [], bytearray(stride)
    for y in range(height):
        at = y * (stride + 1)
        kind, row = raw[at], bytearray(raw[at + 1 : at + 1 + stride])
        for i in range(stride):
            left = row[i - 4] if i >= 4 else 0
            up = prior[i]
            up_left = prior[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else up_left
                row[i] = (row[i] + pred) & 0xFF
            elif kind != 0:
                sys.exit(f"unknown PNG filter {kind}")
        rows.append(bytes(row))
        prior = row
    return rows


def bitmap(width, height, rows):
    """A 32-bit DIB as icons store it: double height, bottom-up BGRA, then the AND mask."""
    mask_stride = ((width + 31) // 32) * 4
    pixels, mask = bytearray(), bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(width):
            r, g, b, a = row[4 * x : 4 * x + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack(
        "<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0
    )
    return header + pixels + mask


def main(out, inputs):
    images = []
    for path in inputs:
        width, height, raw, rows = read_png(path)
        if width != height or not 1 <= width <= 256:
            sys.exit(f"{path}: icon images are square, 1 to 256 pixels")
        body = raw if width == 256 else bitmap(width, height, rows)
        images.append((width, body))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        # A size of 256 is written as 0 in the one-byte fields.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    with open(out, "wb") as f:
        f.write(directory)
        for _, body in images:
            f.write(body)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
