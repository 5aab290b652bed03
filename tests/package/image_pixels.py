#!/usr/bin/env python3
"""Checks a captured image of the demo sample window, decoded here with the
standard library only: 8-bit RGB/RGBA PNG, 1- to 8-bit palette PNG, or
24/32-bit BMP.

usage: image_pixels.py FILE png|bmp

The sample window is 320x200, four solid quadrants with a white caption in
the middle; every pixel away from the caption must have its quadrant's
exact colour.
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 320, 200
QUADRANTS = [(220, 40, 40), (40, 160, 60), (40, 80, 220), (240, 200, 40)]
CAPTION_ROWS = range(80, 120)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    pos, idat, header, seen_end, palette = 8, b"", None, False, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if zlib.crc32(kind + body) != crc:
            raise ValueError("bad CRC in %s" % kind)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            seen_end = True
        pos += 12 + length
    if not header or not seen_end:
        raise ValueError("PNG without header or end")
    width, height, depth, colour, _, _, interlace = header
    indexed = colour == 3 and depth in (1, 2, 4, 8) and palette
    if not (indexed or (depth == 8 and colour in (2, 6))) or interlace:
        raise ValueError("unexpected PNG format %r" % (header,))
    channels = 1 if indexed else 3 if colour == 2 else 4  # filters step by whole bytes, at least one
    raw = zlib.decompress(idat)
    stride = (width * depth + 7) // 8 if indexed else width * channels
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            line[i] = (line[i] + (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF
        if indexed:
            per_byte = 8 // depth
            rows.append([palette[(line[x // per_byte] >> (8 - depth * (x % per_byte + 1))) & ((1 << depth) - 1)]
                         for x in range(width)])
        else:
            rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def read_bmp(data):
    if data[:2] != b"BM":
        raise ValueError("no BMP signature")
    offset = struct.unpack("<I", data[10:14])[0]
    width, height, _, bits, compression = struct.unpack("<iiHHI", data[18:34])
    if bits not in (24, 32) or compression != 0:
        raise ValueError("unexpected BMP format: %d bits, compression %d" % (bits, compression))
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y  # bottom-up unless the height is negative
        start = offset + source * stride
        rows.append([tuple(reversed(data[start + x * step:start + x * step + 3])) for x in range(width)])
    return width, abs(height), rows


def main(path, kind):
    data = open(path, "rb").read()
    width, height, rows = read_png(data) if kind == "png" else read_bmp(data)
    if (width, height) != (WIDTH, HEIGHT):
        print("%s: %dx%d, expected %dx%d" % (path, width, height, WIDTH, HEIGHT))
        return 1
    wrong = 0
    for y in range(height):
        if y in CAPTION_ROWS:
            continue
        for x in range(width):
            expected = QUADRANTS[(1 if x >= width // 2 else 0) + (2 if y >= height // 2 else 0)]
            if rows[y][x] != expected:
                if wrong < 5:
                    print("%s: pixel (%d, %d) is %r, expected %r" % (path, x, y, rows[y][x], expected))
                wrong += 1
    if wrong:
        print("%s: %d pixels differ" % (path, wrong))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
