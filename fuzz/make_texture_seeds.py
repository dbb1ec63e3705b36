#!/usr/bin/env python3
"""Writes the texture fuzz target's seeds into fuzz/corpus/texture/: tiny images of each
layout the loader takes (DDS uncompressed with mips, 24-bit, luminance and DXT1; TGA plain
and run-length; BMP; PNG colour with alpha and grey). Run again only to remake them."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "texture")

DDSD_MIPMAPCOUNT = 0x20000
DDPF_ALPHAPIXELS, DDPF_FOURCC, DDPF_RGB, DDPF_LUMINANCE = 0x1, 0x4, 0x40, 0x20000


def dds(width, height, mips, pf_flags, fourcc, bits, masks, payload):
    header = struct.pack("<4sIIIIIII", b"DDS ", 124, 0x1007 | (DDSD_MIPMAPCOUNT if mips > 1 else 0),
                         height, width, 0, 0, mips)
    header += b"\0" * 44
    header += struct.pack("<II4sIIIII", 32, pf_flags, fourcc, bits, *masks)
    header += struct.pack("<IIIII", 0x1000, 0, 0, 0, 0)
    assert len(header) == 128
    return header + payload


def png(width, height, colour_type, channels, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    assert all(len(row) == width * channels for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {
        "argb_mips.dds": dds(4, 2, 3, DDPF_RGB | DDPF_ALPHAPIXELS, b"\0\0\0\0", 32,
                             (0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                             bytes(range(32)) + bytes(range(100, 108)) + b"\x10\x20\x30\x40"),
        "rgb24.dds": dds(2, 2, 1, DDPF_RGB, b"\0\0\0\0", 24, (0xFF0000, 0xFF00, 0xFF, 0), bytes(range(12))),
        "luminance.dds": dds(2, 2, 1, DDPF_LUMINANCE, b"\0\0\0\0", 8, (0xFF, 0, 0, 0), b"\x00\x40\x80\xFF"),
        "dxt1.dds": dds(4, 4, 1, DDPF_FOURCC, b"DXT1", 0, (0, 0, 0, 0),
                        struct.pack("<HHI", 0xF800, 0x001F, 0x1B1B1B1B)),
        # 2 x 2, 32 bits, top-left origin: blue, green, red, alpha per pixel.
        "bgra.tga": bytes([0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28]) +
                    bytes([0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0x80, 0, 0, 0xFF, 0x40, 0x20, 0x20, 0x20, 0]),
        # 3 x 1, 24 bits, run-length: a run of two red pixels, then one raw blue pixel.
        "rle.tga": bytes([0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 1, 0, 24, 0x20]) +
                   bytes([0x81, 0, 0, 0xFF, 0x00, 0xFF, 0, 0]),
        # 2 x 2, 24 bits, bottom-up rows padded to four bytes.
        "rgb.bmp": b"BM" + struct.pack("<IHHI", 54 + 16, 0, 0, 54) +
                   struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 16, 2835, 2835, 0, 0) +
                   bytes([0, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0]),
        "rgba.png": png(3, 2, 6, 4, [[255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0],
                                     [10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120]]),
        "grey.png": png(2, 2, 0, 1, [[0, 85], [170, 255]]),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
