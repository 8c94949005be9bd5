#!/usr/bin/env python3
"""Draws the setup program's icon (a parcel with a down arrow) at 16, 24, 32
and 48 pixels, each in 16 and in 256 colours, and writes resources/setup.ico."""
import struct
import sys

PALETTE16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
             (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
             (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BROWN, DARK, LIGHT, ARROW = 3, 0, 11, 12  # indexes into the 16-colour palette


def draw(size):
    """Returns rows (top to bottom) of palette indexes or None for transparent."""
    pixels = [[None] * size for _ in range(size)]
    top, bottom = size // 4, size - 2
    left, right = 2, size - 3
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = y in (top, bottom) or x in (left, right)
            pixels[y][x] = DARK if edge else (LIGHT if y < top + size // 6 else BROWN)
    middle = size // 2
    shaft = max(1, size // 12)
    for y in range(1, size // 2):
        for x in range(middle - shaft, middle + shaft + 1):
            pixels[y][x] = ARROW
    head = size // 5
    for row in range(head):
        y = size // 2 + row
        for x in range(middle - head + row, middle + head - row + 1):
            pixels[y][x] = ARROW
    return pixels


def image(size, bits):
    pixels = draw(size)
    # The 256-colour images use the same sixteen colours; their colour table
    # says so (biClrUsed 16) instead of carrying 240 unused entries.
    palette = PALETTE16
    row_bytes = ((size * bits + 31) // 32) * 4
    mask_bytes = ((size + 31) // 32) * 4
    xor, mask = b"", b""
    for y in reversed(range(size)):
        row = bytearray(row_bytes)
        mask_row = bytearray(mask_bytes)
        for x in range(size):
            value = pixels[y][x]
            if value is None:
                mask_row[x // 8] |= 0x80 >> (x % 8)
                value = 0
            if bits == 8:
                row[x] = value
            else:
                row[x // 2] |= value << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        mask += bytes(mask_row)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, len(palette) if bits == 8 else 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + mask


def main(path):
    entries = [(size, bits) for size in (16, 24, 32, 48) for bits in (4, 8)]
    images = [image(size, bits) for size, bits in entries]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (size, bits), data in zip(entries, images):
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(path, "wb") as handle:
        handle.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/setup.ico")
