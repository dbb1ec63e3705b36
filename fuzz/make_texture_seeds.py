#!/usr/bin/env python3
"""Writes the texture fuzz target's seeds into fuzz/corpus/texture/: tiny images of each
layout the loader takes (DDS uncompressed with mips, 24-bit, luminance and DXT1; TGA plain
and run-length; BMP; PNG colour with alpha and grey), and hostile ones it must refuse: sides
above the device's largest texture, more pixels than the budget (16-bit included), a BMP short
by its row padding. Run again only to remake them."""
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


def png_of(width, height, depth, colour_type, raw, cut=None, level=-1):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    data = zlib.compress(raw, level)[:cut]
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)) +
            chunk(b"IDAT", data) + chunk(b"IEND", b""))


def png(width, height, colour_type, channels, rows):
    assert all(len(row) == width * channels for row in rows)
    return png_of(width, height, 8, colour_type, b"".join(b"\0" + bytes(row) for row in rows))


def zero_png(width, height, depth, colour_type, channels, cut=None):
    """All-zero pixels, whole unless cut after `cut` bytes of image data."""
    row = 1 + (width * channels * depth + 7) // 8
    return png_of(width, height, depth, colour_type, bytes(row * (height if cut is None else 64)), cut, 9)


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
        # Sides above the 4096 the device takes, whole files of each format.
        "png_side_above_the_device.png": zero_png(4097, 1, 8, 0, 1),
        "dds_side_above_the_device.dds": dds(1, 4097, 1, DDPF_LUMINANCE, b"\0\0\0\0", 8, (0xFF, 0, 0, 0), bytes(4097)),
        "tga_side_above_the_device.tga": bytes([0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0]) + struct.pack("<HH", 4097, 1) +
                                         bytes([8, 0x20]) + bytes(4097),
        # 8192 x 2049 grey, whole: more pixels than the budget in 16 KB.
        "png_above_the_pixel_budget.png": zero_png(8192, 2049, 8, 0, 1),
        # 16384 x 16384 at 16 bits a sample: 2 GB decoded; the image data is cut.
        "png_16_bit_beyond_any_buffer.png": zero_png(16384, 16384, 16, 6, 4, cut=64),
        # 1 x 4 at 24 bits: 12 pixel bytes where the padded rows need 16.
        "bmp_short_by_its_row_padding.bmp": b"BM" + struct.pack("<IHHI", 54 + 12, 0, 0, 54) +
                                            struct.pack("<IiiHHIIiiII", 40, 1, 4, 1, 24, 0, 12, 2835, 2835, 0, 0) +
                                            bytes(12),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
