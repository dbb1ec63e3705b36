#!/usr/bin/env python3
"""Writes the sample tree's small textures as uncompressed 32-bit TGA files (top-left origin).

Run from anywhere: python3 samples/make_textures.py. tests/scene/sample_textures_test.cpp checks
what it wrote.
"""
import math
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "resource", "textures")


def write_tga(relative, width, height, pixel):
    """pixel(x, y) -> (b, g, r, a), rows from the top."""
    path = os.path.join(ROOT, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28)
    body = bytearray()
    for y in range(height):
        for x in range(width):
            body += bytes(pixel(x, y))
    with open(path, "wb") as out:
        out.write(header + body)


def banner(x, y):
    # Four red and white bands across a 16 x 8 cloth.
    return (40, 40, 220, 255) if (y // 2) % 2 == 0 else (255, 255, 255, 255)


def detail(x, y):
    # A soft grey checker of 2-texel squares that the cloth's second stage multiplies in.
    return (160, 160, 160, 255) if ((x // 2) + (y // 2)) % 2 == 0 else (224, 224, 224, 255)


def spot(x, y):
    # A white disc fading to black at its rim: the light's footprint, 16 x 16.
    d = math.hypot(x - 7.5, y - 7.5) / 7.5
    v = max(0, min(255, int(round(255 * (1.0 - d)))))
    return (v, v, v, v)


write_tga("flag/banner.tga", 16, 8, banner)
write_tga("flag/banner_detail.tga", 8, 8, detail)
write_tga("light/spot.tga", 16, 16, spot)
# The shine a scene object projects on the ground under its head; the module names it at the
# resource root.
write_tga("../../shine001.tga", 16, 16, spot)
