#include "d3d8/pixel_format.h"

#include <algorithm>
#include <cmath>

#include <stb/stb_dxt.h>

namespace d3dfmt {
namespace {

// Where a channel sits in an uncompressed pixel value.
struct Channel {
  uint8_t shift = 0;
  uint8_t bits = 0;  // 0: absent
};

struct Layout {
  D3DFORMAT format;
  UINT bytes;
  Channel a, r, g, b;
  Channel l;  // luminance, instead of r, g and b
  Channel x;  // unused bits, written as ones
};

constexpr Layout kLayouts[] = {
    {D3DFMT_A8R8G8B8, 4, {24, 8}, {16, 8}, {8, 8}, {0, 8}, {}, {}},
    {D3DFMT_X8R8G8B8, 4, {}, {16, 8}, {8, 8}, {0, 8}, {}, {24, 8}},
    {D3DFMT_R8G8B8, 3, {}, {16, 8}, {8, 8}, {0, 8}, {}, {}},
    {D3DFMT_R5G6B5, 2, {}, {11, 5}, {5, 6}, {0, 5}, {}, {}},
    {D3DFMT_X1R5G5B5, 2, {}, {10, 5}, {5, 5}, {0, 5}, {}, {15, 1}},
    {D3DFMT_A1R5G5B5, 2, {15, 1}, {10, 5}, {5, 5}, {0, 5}, {}, {}},
    {D3DFMT_A4R4G4B4, 2, {12, 4}, {8, 4}, {4, 4}, {0, 4}, {}, {}},
    {D3DFMT_X4R4G4B4, 2, {}, {8, 4}, {4, 4}, {0, 4}, {}, {12, 4}},
    {D3DFMT_R3G3B2, 1, {}, {5, 3}, {2, 3}, {0, 2}, {}, {}},
    {D3DFMT_A8, 1, {0, 8}, {}, {}, {}, {}, {}},
    {D3DFMT_A8R3G3B2, 2, {8, 8}, {5, 3}, {2, 3}, {0, 2}, {}, {}},
    {D3DFMT_L8, 1, {}, {}, {}, {}, {0, 8}, {}},
    {D3DFMT_A8L8, 2, {8, 8}, {}, {}, {}, {0, 8}, {}},
    {D3DFMT_A4L4, 1, {4, 4}, {}, {}, {}, {0, 4}, {}},
};

const Layout* FindLayout(D3DFORMAT format) {
  for (const Layout& layout : kLayouts)
    if (layout.format == format) return &layout;
  return nullptr;
}

// Formats kept in memory without conversion.
struct PlainFormat {
  D3DFORMAT format;
  UINT bits;
};
constexpr PlainFormat kPlainFormats[] = {
    {D3DFMT_P8, 8},         {D3DFMT_A8P8, 16},      {D3DFMT_V8U8, 16},     {D3DFMT_L6V5U5, 16},
    {D3DFMT_X8L8V8U8, 32},  {D3DFMT_Q8W8V8U8, 32},  {D3DFMT_V16U16, 32},   {D3DFMT_W11V11U10, 32},
    {D3DFMT_UYVY, 16},      {D3DFMT_YUY2, 16},
};

struct DepthLayout {
  D3DFORMAT format;
  UINT bytes;
  Channel depth;
  Channel stencil;
};
constexpr DepthLayout kDepthLayouts[] = {
    {D3DFMT_D16_LOCKABLE, 2, {0, 16}, {}}, {D3DFMT_D16, 2, {0, 16}, {}},
    {D3DFMT_D32, 4, {0, 32}, {}},          {D3DFMT_D15S1, 2, {1, 15}, {0, 1}},
    {D3DFMT_D24S8, 4, {8, 24}, {0, 8}},    {D3DFMT_D24X8, 4, {8, 24}, {}},
    {D3DFMT_D24X4S4, 4, {8, 24}, {0, 4}},
};

const DepthLayout* FindDepth(D3DFORMAT format) {
  for (const DepthLayout& layout : kDepthLayouts)
    if (layout.format == format) return &layout;
  return nullptr;
}

uint32_t Mask(UINT bits) { return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u); }

// n-bit field to 8 bits and back, rounding to nearest.
uint32_t Expand(uint32_t value, UINT bits) {
  if (bits == 8) return value;
  const uint32_t max = Mask(bits);
  return (value * 255u + max / 2u) / max;
}
uint32_t Reduce(uint32_t value8, UINT bits) {
  if (bits == 8) return value8;
  const uint32_t max = Mask(bits);
  return (value8 * max + 127u) / 255u;
}

uint32_t Luminance(uint32_t argb) {
  const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  return (r * 77u + g * 150u + b * 29u + 128u) >> 8;
}

uint32_t DecodeValue(const Layout& f, uint32_t v) {
  auto field = [&](Channel c) { return Expand((v >> c.shift) & Mask(c.bits), c.bits); };
  const uint32_t a = f.a.bits ? field(f.a) : 0xFFu;
  uint32_t r = 0, g = 0, b = 0;
  if (f.l.bits) {
    r = g = b = field(f.l);
  } else {
    if (f.r.bits) r = field(f.r);
    if (f.g.bits) g = field(f.g);
    if (f.b.bits) b = field(f.b);
  }
  return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t EncodeValue(const Layout& f, uint32_t argb) {
  auto put = [](Channel c, uint32_t value8) { return Reduce(value8, c.bits) << c.shift; };
  uint32_t v = 0;
  if (f.a.bits) v |= put(f.a, argb >> 24);
  if (f.l.bits) {
    v |= put(f.l, Luminance(argb));
  } else {
    if (f.r.bits) v |= put(f.r, (argb >> 16) & 0xFF);
    if (f.g.bits) v |= put(f.g, (argb >> 8) & 0xFF);
    if (f.b.bits) v |= put(f.b, argb & 0xFF);
  }
  if (f.x.bits) v |= Mask(f.x.bits) << f.x.shift;
  return v;
}

uint32_t Colour565(uint16_t c) {
  const uint32_t r = Expand((c >> 11) & 31, 5), g = Expand((c >> 5) & 63, 6), b = Expand(c & 31, 5);
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

uint32_t Mix(uint32_t c0, uint32_t c1, uint32_t w0, uint32_t w1) {
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t a = (c0 >> shift) & 0xFF, b = (c1 >> shift) & 0xFF;
    out |= ((a * w0 + b * w1 + (w0 + w1) / 2) / (w0 + w1)) << shift;
  }
  return out;
}

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The colour half of a block: 16 ARGB values (alpha 255, or 0 for the transparent entry).
void DecodeColourBlock(const uint8_t* block, bool allowTransparent, uint32_t out[16]) {
  const uint16_t c0 = Read16(block), c1 = Read16(block + 2);
  uint32_t palette[4];
  palette[0] = Colour565(c0);
  palette[1] = Colour565(c1);
  if (c0 > c1 || !allowTransparent) {
    palette[2] = Mix(palette[0], palette[1], 2, 1);
    palette[3] = Mix(palette[0], palette[1], 1, 2);
  } else {
    palette[2] = Mix(palette[0], palette[1], 1, 1);
    palette[3] = 0;
  }
  const uint32_t indices = static_cast<uint32_t>(block[4]) | (static_cast<uint32_t>(block[5]) << 8) |
                           (static_cast<uint32_t>(block[6]) << 16) |
                           (static_cast<uint32_t>(block[7]) << 24);
  for (int i = 0; i < 16; ++i) out[i] = palette[(indices >> (2 * i)) & 3];
}

void DecodeBlock(D3DFORMAT format, const uint8_t* block, uint32_t out[16]) {
  if (format == D3DFMT_DXT1) {
    DecodeColourBlock(block, true, out);
    return;
  }
  DecodeColourBlock(block + 8, false, out);
  uint32_t alpha[16];
  if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
    for (int i = 0; i < 16; ++i) {
      const uint32_t nibble = (block[i / 2] >> ((i & 1) * 4)) & 0xF;
      alpha[i] = nibble * 17u;
    }
  } else {
    const uint32_t a0 = block[0], a1 = block[1];
    uint32_t table[8] = {a0, a1, 0, 0, 0, 0, 0, 0};
    if (a0 > a1) {
      for (uint32_t k = 1; k <= 6; ++k) table[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
    } else {
      for (uint32_t k = 1; k <= 4; ++k) table[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
      table[6] = 0;
      table[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) alpha[i] = table[(bits >> (3 * i)) & 7];
  }
  for (int i = 0; i < 16; ++i) out[i] = (out[i] & 0x00FFFFFFu) | (alpha[i] << 24);
}

void EncodeBlock(D3DFORMAT format, const uint32_t argb[16], uint8_t* block) {
  unsigned char rgba[64];
  for (int i = 0; i < 16; ++i) {
    rgba[i * 4 + 0] = static_cast<unsigned char>(argb[i] >> 16);
    rgba[i * 4 + 1] = static_cast<unsigned char>(argb[i] >> 8);
    rgba[i * 4 + 2] = static_cast<unsigned char>(argb[i]);
    rgba[i * 4 + 3] = static_cast<unsigned char>(argb[i] >> 24);
  }
  if (format == D3DFMT_DXT1) {
    stb_compress_dxt_block(block, rgba, 0, STB_DXT_HIGHQUAL);
  } else if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
    for (int i = 0; i < 8; ++i) {
      const uint32_t lo = Reduce(argb[2 * i] >> 24, 4), hi = Reduce(argb[2 * i + 1] >> 24, 4);
      block[i] = static_cast<uint8_t>(lo | (hi << 4));
    }
    stb_compress_dxt_block(block + 8, rgba, 0, STB_DXT_HIGHQUAL);
  } else {
    stb_compress_dxt_block(block, rgba, 1, STB_DXT_HIGHQUAL);
  }
}

}  // namespace

bool IsCompressed(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ||
         format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
}

bool Describe(D3DFORMAT format, FormatInfo* info) {
  FormatInfo out;
  if (const Layout* layout = FindLayout(format)) {
    out.bitsPerPixel = layout->bytes * 8;
    out.alpha = layout->a.bits != 0;
    out.convertible = true;
  } else if (IsCompressed(format)) {
    out.blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
    out.alpha = true;
    out.convertible = true;
  } else if (const DepthLayout* depth = FindDepth(format)) {
    out.bitsPerPixel = depth->bytes * 8;
    out.depth = true;
    out.stencil = depth->stencil.bits != 0;
  } else {
    const PlainFormat* plain = nullptr;
    for (const PlainFormat& p : kPlainFormats)
      if (p.format == format) plain = &p;
    if (!plain) return false;
    out.bitsPerPixel = plain->bits;
  }
  if (info) *info = out;
  return true;
}

UINT Pitch(D3DFORMAT format, UINT width) {
  FormatInfo info;
  if (!Describe(format, &info)) return 0;
  if (info.blockBytes) return ((width + 3) / 4) * info.blockBytes;
  return width * (info.bitsPerPixel / 8);
}

UINT RowCount(D3DFORMAT format, UINT height) {
  return IsCompressed(format) ? (height + 3) / 4 : height;
}

size_t LevelSize(D3DFORMAT format, UINT width, UINT height) {
  return static_cast<size_t>(Pitch(format, width)) * RowCount(format, height);
}

void StorePixel(uint8_t* at, UINT bytes, uint32_t value) {
  for (UINT i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t LoadPixel(const uint8_t* at, UINT bytes) {
  uint32_t v = 0;
  for (UINT i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
  return v;
}

bool DecodeRect(D3DFORMAT format, const uint8_t* bits, int pitch, UINT width, UINT height,
                uint32_t* argb) {
  if (const Layout* layout = FindLayout(format)) {
    for (UINT y = 0; y < height; ++y) {
      const uint8_t* row = bits + static_cast<ptrdiff_t>(y) * pitch;
      for (UINT x = 0; x < width; ++x)
        argb[static_cast<size_t>(y) * width + x] = DecodeValue(*layout, LoadPixel(row + x * layout->bytes, layout->bytes));
    }
    return true;
  }
  if (!IsCompressed(format)) return false;
  const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
  for (UINT by = 0; by < (height + 3) / 4; ++by) {
    for (UINT bx = 0; bx < (width + 3) / 4; ++bx) {
      uint32_t texels[16];
      DecodeBlock(format, bits + static_cast<ptrdiff_t>(by) * pitch + bx * blockBytes, texels);
      for (UINT j = 0; j < 4; ++j)
        for (UINT i = 0; i < 4; ++i) {
          const UINT x = bx * 4 + i, y = by * 4 + j;
          if (x < width && y < height) argb[static_cast<size_t>(y) * width + x] = texels[j * 4 + i];
        }
    }
  }
  return true;
}

bool EncodeRect(D3DFORMAT format, uint8_t* bits, int pitch, UINT width, UINT height,
                const uint32_t* argb) {
  if (const Layout* layout = FindLayout(format)) {
    for (UINT y = 0; y < height; ++y) {
      uint8_t* row = bits + static_cast<ptrdiff_t>(y) * pitch;
      for (UINT x = 0; x < width; ++x)
        StorePixel(row + x * layout->bytes, layout->bytes, EncodeValue(*layout, argb[static_cast<size_t>(y) * width + x]));
    }
    return true;
  }
  if (!IsCompressed(format) || width == 0 || height == 0) return IsCompressed(format);
  const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
  for (UINT by = 0; by < (height + 3) / 4; ++by) {
    for (UINT bx = 0; bx < (width + 3) / 4; ++bx) {
      uint32_t texels[16];
      for (UINT j = 0; j < 4; ++j)
        for (UINT i = 0; i < 4; ++i) {
          const UINT x = std::min(bx * 4 + i, width - 1), y = std::min(by * 4 + j, height - 1);
          texels[j * 4 + i] = argb[static_cast<size_t>(y) * width + x];
        }
      EncodeBlock(format, texels, bits + static_cast<ptrdiff_t>(by) * pitch + bx * blockBytes);
    }
  }
  return true;
}

uint32_t EncodeColour(D3DFORMAT format, D3DCOLOR colour) {
  const Layout* layout = FindLayout(format);
  return layout ? EncodeValue(*layout, colour) : 0;
}

uint32_t EncodeDepthStencil(D3DFORMAT format, uint32_t old, float z, DWORD stencil, bool writeDepth,
                            bool writeStencil) {
  const DepthLayout* layout = FindDepth(format);
  if (!layout) return old;
  uint32_t v = old;
  if (writeDepth) {
    const double clamped = std::clamp(static_cast<double>(z), 0.0, 1.0);
    const uint32_t max = Mask(layout->depth.bits);
    const uint32_t d = static_cast<uint32_t>(std::llround(clamped * max));
    v = (v & ~(max << layout->depth.shift)) | (d << layout->depth.shift);
  }
  if (writeStencil && layout->stencil.bits) {
    const uint32_t max = Mask(layout->stencil.bits);
    v = (v & ~(max << layout->stencil.shift)) | ((stencil & max) << layout->stencil.shift);
  }
  return v;
}

float DecodeDepth(D3DFORMAT format, uint32_t pixel) {
  const DepthLayout* layout = FindDepth(format);
  if (!layout) return 0.0f;
  const uint32_t max = Mask(layout->depth.bits);
  return static_cast<float>(static_cast<double>((pixel >> layout->depth.shift) & max) / max);
}

DWORD DecodeStencil(D3DFORMAT format, uint32_t pixel) {
  const DepthLayout* layout = FindDepth(format);
  if (!layout || !layout->stencil.bits) return 0;
  return (pixel >> layout->stencil.shift) & Mask(layout->stencil.bits);
}

UINT FvfStride(DWORD fvf) {
  UINT size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: return 0;
  }
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_PSIZE) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (UINT i = 0; i < sets && i < 8; ++i) {
    switch ((fvf >> (16 + 2 * i)) & 3) {
      case D3DFVF_TEXTUREFORMAT1: size += 4; break;
      case D3DFVF_TEXTUREFORMAT2: size += 8; break;
      case D3DFVF_TEXTUREFORMAT3: size += 12; break;
      default: size += 16; break;
    }
  }
  return size;
}

UINT PrimitiveVertexCount(DWORD type, UINT count) {
  switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return count * 2;
    case D3DPT_LINESTRIP: return count ? count + 1 : 0;
    case D3DPT_TRIANGLELIST: return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count ? count + 2 : 0;
    default: return 0;
  }
}

}  // namespace d3dfmt
