#!/usr/bin/env python3
"""Writes the sample backdrop samples/resource/textures/backdrop.tga: bright shapes on a dark
ground, 200 x 150, 24-bit, uncompressed, rows from the top. The tests check its shapes."""
import os
import struct

W, H = 200, 150
GROUND = (0, 0, 0)  # black, so the glow leaves it as it is


def colour(x, y):
    if 40 <= x < 70 and 40 <= y < 70:
        return (255, 255, 255)  # white square
    if (x - 130) ** 2 + (y - 55) ** 2 < 20 ** 2:
        return (255, 220, 60)  # yellow disc
    if 30 <= x < 170 and 110 <= y < 118:
        return (60, 230, 255)  # cyan bar
    return GROUND


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    path = os.path.join(root, "samples", "resource", "textures", "backdrop.tga")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, W, H, 24, 0x20)
    rows = bytearray()
    for y in range(H):
        for x in range(W):
            r, g, b = colour(x, y)
            rows += bytes((b, g, r))
    with open(path, "wb") as out:
        out.write(header + bytes(rows))


if __name__ == "__main__":
    main()
