#!/usr/bin/env python3
# Draws Brimvale's icon (a dark "B" on a gold rounded square) at 16, 32 and 48 pixels and writes
# them as one .ico file with 32-bit BGRA images. No libraries needed.
import struct
import sys

GOLD = (255, 204, 51)
DARK = (102, 68, 0)
EDGE = (178, 134, 0)

# A 7x9 "B" glyph, scaled to each size.
GLYPH = [
    "111110.",
    "11..111",
    "11...11",
    "11..111",
    "111111.",
    "11..111",
    "11...11",
    "11..111",
    "111110.",
]


def pixel(size, x, y):
    r = max(2, size // 8)  # corner radius
    inside = True
    for cx, cy in ((r, r), (size - 1 - r, r), (r, size - 1 - r), (size - 1 - r, size - 1 - r)):
        if (x < r and cx == r or x > size - 1 - r and cx != r) and \
           (y < r and cy == r or y > size - 1 - r and cy != r):
            if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
                inside = False
    if not inside:
        return (0, 0, 0, 0)
    border = x == 0 or y == 0 or x == size - 1 or y == size - 1
    gw, gh = len(GLYPH[0]), len(GLYPH)
    margin = size // 5
    span = size - 2 * margin
    gx = (x - margin) * gw // span if span > 0 else -1
    gy = (y - margin) * gh // span if span > 0 else -1
    if 0 <= gx < gw and 0 <= gy < gh and x >= margin and y >= margin and GLYPH[gy][gx] == "1":
        return DARK + (255,)
    return (EDGE if border else GOLD) + (255,)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            rows.append(struct.pack("BBBB", b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    return header + b"".join(rows) + b"\0" * (mask_row * size)


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Brimvale.ico")
