#!/usr/bin/env python3
"""Makes res/qel32.ico from res/icon_design.txt, the program's 32x32 design (k black, b blue,
w white): the 32 image as drawn, 16 by averaging each 2x2, 48 and 256 by repeating pixels (the
design is pixel art: a smooth scale would blur its edges), all in 32-bit colour; the 256 image
as PNG, as Windows stores it. Run it after changing the design: python3 tools/make_icon.py"""
import os
import struct
import zlib

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
COLOURS = {"k": (0, 0, 0, 255), "b": (0, 0, 255, 255), "w": (255, 255, 255, 255)}


def design():
    rows = [line.strip() for line in open(os.path.join(root, "res", "icon_design.txt"))]
    pixels = [[COLOURS[c] for c in row] for row in rows if row]
    assert len(pixels) == 32 and all(len(r) == 32 for r in pixels), "the design is 32x32"
    return pixels


def nearest(pixels, size):
    n = len(pixels)
    return [[pixels[y * n // size][x * n // size] for x in range(size)] for y in range(size)]


def average(pixels, size):
    f = len(pixels) // size
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            block = [pixels[y * f + j][x * f + i] for j in range(f) for i in range(f)]
            row.append(tuple(sum(p[c] for p in block) // len(block) for c in range(4)))
        out.append(row)
    return out


def bmp(pixels):
    """An icon image: BITMAPINFOHEADER (height doubled for the mask), BGRA bottom-up, and an
    AND mask of zeros (the alpha channel decides)."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + colour + bytes(mask_row * size)


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    base = design()
    images = [(16, bmp(average(base, 16))), (32, bmp(base)), (48, bmp(nearest(base, 48))),
              (256, png(nearest(base, 256)))]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                                 offset + len(data))
        data += image
    with open(os.path.join(root, "res", "qel32.ico"), "wb") as f:
        f.write(directory + data)


if __name__ == "__main__":
    main()
