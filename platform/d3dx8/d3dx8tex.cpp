#include "d3dx8/d3dx8tex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "d3d8/pixel_format.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace {

std::atomic<uint64_t> g_decodes{0};

// The file a module path names below the resource root; "" with *error set when there is none.
// A path that leaves the root is bad data, not a missing file.
std::string ResourceFile(LPCSTR name, win32::PathMode mode, HRESULT* error) {
  const std::string path = win32::ResolvePath(win32::GetResourceRoot(), name, mode);
  if (path.empty()) *error = GetLastError() == ERROR_ACCESS_DENIED ? D3DXERR_INVALIDDATA : D3DXERR_FILENOTFOUND;
  return path;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A decoded image file: its format and the bytes of each level it holds, rows packed
// without padding.
struct Image {
  UINT width = 0;
  UINT height = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  std::vector<std::vector<uint8_t>> levels;
};

UINT LevelDim(UINT size, UINT level) { return std::max(1u, size >> level); }

// What a file may declare on this device: no side above the largest texture it makes, and no
// more pixels than the budget, so that the work of a load is known from the header alone.
struct Limits {
  uint64_t width = d3dx8::kMaxImageSide;
  uint64_t height = d3dx8::kMaxImageSide;

  explicit Limits(IDirect3DDevice8* device) {
    D3DCAPS8 caps{};
    if (SUCCEEDED(device->GetDeviceCaps(&caps))) {
      if (caps.MaxTextureWidth != 0) width = caps.MaxTextureWidth;
      if (caps.MaxTextureHeight != 0) height = caps.MaxTextureHeight;
    }
  }
  bool Allow(uint64_t w, uint64_t h) const {
    return w > 0 && h > 0 && w <= width && h <= height && w * h <= d3dx8::kMaxImagePixels;
  }
};

// DDS: "DDS ", a 124-byte header whose pixel format sits at byte 76 of the file, then the
// levels from the largest.
HRESULT ParseDds(const uint8_t* data, size_t size, const Limits& limits, Image* image) {
  constexpr size_t kHeader = 128;
  if (size < kHeader || std::memcmp(data, "DDS ", 4) != 0 || Le32(data + 4) != 124) return D3DXERR_INVALIDDATA;
  const uint32_t flags = Le32(data + 8);
  const UINT height = Le32(data + 12), width = Le32(data + 16);
  const uint32_t mipCount = Le32(data + 28);
  const uint32_t pfFlags = Le32(data + 80), fourCC = Le32(data + 84), bitCount = Le32(data + 88);
  const uint32_t rMask = Le32(data + 92), gMask = Le32(data + 96), bMask = Le32(data + 100),
                 aMask = Le32(data + 104);
  const uint32_t caps2 = Le32(data + 112);
  constexpr uint32_t kMipMapCount = 0x20000, kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCC = 0x4,
                     kRgb = 0x40, kLuminance = 0x20000, kCubeMap = 0x200, kVolume = 0x200000;
  if (!limits.Allow(width, height)) return D3DXERR_INVALIDDATA;
  if (caps2 & (kCubeMap | kVolume)) return D3DXERR_INVALIDDATA;

  D3DFORMAT format = D3DFMT_UNKNOWN;
  bool expand24 = false;  // 24-bit RGB files are widened to X8R8G8B8
  const bool hasAlpha = (pfFlags & kAlphaPixels) != 0;
  if (pfFlags & kFourCC) {
    format = static_cast<D3DFORMAT>(fourCC);
  } else if (pfFlags & kRgb) {
    if (bitCount == 32 && rMask == 0xFF0000 && gMask == 0xFF00 && bMask == 0xFF)
      format = hasAlpha && aMask == 0xFF000000u ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    else if (bitCount == 24 && rMask == 0xFF0000 && gMask == 0xFF00 && bMask == 0xFF)
      format = D3DFMT_R8G8B8, expand24 = true;
    else if (bitCount == 16 && rMask == 0xF800 && gMask == 0x7E0 && bMask == 0x1F)
      format = D3DFMT_R5G6B5;
    else if (bitCount == 16 && rMask == 0x7C00 && gMask == 0x3E0 && bMask == 0x1F)
      format = hasAlpha && aMask == 0x8000 ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    else if (bitCount == 16 && rMask == 0xF00 && gMask == 0xF0 && bMask == 0xF)
      format = hasAlpha && aMask == 0xF000 ? D3DFMT_A4R4G4B4 : D3DFMT_X4R4G4B4;
  } else if (pfFlags & kLuminance) {
    if (bitCount == 8 && rMask == 0xFF) format = D3DFMT_L8;
    else if (bitCount == 16 && rMask == 0xFF && hasAlpha && aMask == 0xFF00) format = D3DFMT_A8L8;
  } else if ((pfFlags & kAlphaOnly) && bitCount == 8 && aMask == 0xFF) {
    format = D3DFMT_A8;
  }
  d3dfmt::FormatInfo info;
  if (format == D3DFMT_UNKNOWN || !d3dfmt::Describe(format, &info) || !info.convertible)
    return D3DXERR_INVALIDDATA;

  g_decodes.fetch_add(1, std::memory_order_relaxed);
  const UINT levels = (flags & kMipMapCount) && mipCount > 0 ? mipCount : 1;
  image->width = width;
  image->height = height;
  image->format = expand24 ? D3DFMT_X8R8G8B8 : format;
  image->levels.clear();
  size_t offset = kHeader;
  for (UINT level = 0; level < levels; ++level) {
    const UINT w = LevelDim(width, level), h = LevelDim(height, level);
    const size_t bytes = d3dfmt::LevelSize(format, w, h);
    if (size - offset < bytes) {
      if (level == 0) return D3DXERR_INVALIDDATA;
      break;  // a short chain: the missing levels are filtered
    }
    std::vector<uint8_t> level_bytes(data + offset, data + offset + bytes);
    if (expand24) {
      std::vector<uint8_t> wide(static_cast<size_t>(w) * h * 4);
      for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
        wide[i * 4 + 0] = level_bytes[i * 3 + 0];
        wide[i * 4 + 1] = level_bytes[i * 3 + 1];
        wide[i * 4 + 2] = level_bytes[i * 3 + 2];
        wide[i * 4 + 3] = 0xFF;
      }
      level_bytes.swap(wide);
    }
    image->levels.push_back(std::move(level_bytes));
    offset += bytes;
    if (w == 1 && h == 1) break;
  }
  return S_OK;
}

// BMP: the pixel rows, each padded to 4 bytes, must all be there before any is decoded, or the
// reader fills the missing ones with zeros. Only the uncompressed layouts are checked here: the
// reader refuses the run-length ones itself.
bool BmpComplete(const uint8_t* data, size_t size, const Limits& limits) {
  if (size < 26) return false;
  const uint64_t pixelsAt = Le32(data + 10);
  const uint32_t infoSize = Le32(data + 14);
  uint64_t width = 0, height = 0, bits = 0;
  uint32_t compression = 0;
  if (infoSize == 12) {
    width = Le16(data + 18);
    height = Le16(data + 20);
    bits = Le16(data + 24);
  } else {
    if (size < 34) return false;
    const int32_t w = static_cast<int32_t>(Le32(data + 18)), h = static_cast<int32_t>(Le32(data + 22));
    width = static_cast<uint64_t>(w < 0 ? -static_cast<int64_t>(w) : w);
    height = static_cast<uint64_t>(h < 0 ? -static_cast<int64_t>(h) : h);
    bits = Le16(data + 28);
    compression = Le32(data + 30);
  }
  if (!limits.Allow(width, height)) return false;
  // Only plain and bit-field pixels are read; the image reader takes any other compression value
  // for plain pixels too, so such a header would promise pixels the file never holds.
  if (compression != 0 && compression != 3) return false;
  const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  return pixelsAt + rowBytes * height <= size;
}

// TGA: an uncompressed image must hold every pixel, and a run-length one must not run out
// before its last pixel (the reader would make the rest up from zeros).
bool TgaComplete(const uint8_t* data, size_t size, const Limits& limits) {
  if (size < 18) return false;
  const uint8_t idLength = data[0], mapType = data[1], type = data[2];
  const uint64_t mapLength = Le16(data + 5), mapBits = data[7];
  const uint64_t width = Le16(data + 12), height = Le16(data + 14), bits = data[16];
  if (!limits.Allow(width, height)) return false;
  const uint64_t pixelBytes = bits == 15 ? 2 : (bits + 7) / 8;
  if (pixelBytes == 0) return false;
  uint64_t at = 18 + idLength + (mapType == 1 ? mapLength * (((mapBits == 15 ? 16 : mapBits) + 7) / 8) : 0);
  const uint64_t pixels = width * height;
  if (type < 8) return at + pixels * pixelBytes <= size;
  for (uint64_t done = 0; done < pixels;) {
    if (at >= size) return false;
    const uint8_t packet = data[at++];
    const uint64_t count = (packet & 0x7Fu) + 1;
    at += (packet & 0x80u) ? pixelBytes : count * pixelBytes;
    if (at > size) return false;
    done += count;
  }
  return true;
}

// A file the image reader took as a TGA: no other format it reads starts with a colour map
// kind of 0 or 1 and a TGA image kind, and the sides must be the ones it reported.
bool LooksLikeTga(const uint8_t* data, size_t size, int w, int h) {
  if (size < 18 || data[1] > 1) return false;
  const uint8_t type = data[2];
  const bool tgaType = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  return tgaType && Le16(data + 12) == static_cast<uint32_t>(w) && Le16(data + 14) == static_cast<uint32_t>(h);
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsPng(const uint8_t* data, size_t size) {
  return size >= 8 && std::equal(kPngSignature, kPngSignature + 8, data);
}

bool IsBmp(const uint8_t* data, size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

// The image reader knows more formats than the loader takes; anything but PNG, BMP and TGA
// never reaches it.
bool IsPngBmpOrTga(const uint8_t* data, size_t size) {
  if (IsPng(data, size) || IsBmp(data, size)) return true;
  if (size < 18 || data[1] > 1) return false;
  const uint8_t type = data[2];
  return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// A PNG's header chunk must come first, of a depth and colour kind there are, and declare
// sides the device takes: the reader sizes its buffers from it (at two bytes a sample for a
// 16-bit image) before it inflates a byte.
bool PngHeaderAllowed(const uint8_t* data, size_t size, const Limits& limits) {
  if (size < 8 + 8 + 13 || Be32(data + 8) != 13 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
  const uint8_t depth = data[24], colour = data[25];
  const bool depthKnown = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
  const bool colourKnown = colour == 0 || colour == 2 || colour == 3 || colour == 4 || colour == 6;
  return depthKnown && colourKnown && limits.Allow(Be32(data + 16), Be32(data + 20));
}

// Every PNG chunk up to the end marker must lie inside the file: the image reader grows its
// buffer to a chunk's stated length before it looks for the bytes, so a few bytes claiming a
// chunk of gigabytes would cost gigabytes.
bool PngChunksInside(const uint8_t* data, size_t size) {
  size_t at = 8;
  while (size - at >= 8) {
    const uint32_t length = Be32(data + at);
    if (length > size - at - 8 || size - at - 8 - length < 4) return false;  // body and CRC
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
    at += 12 + static_cast<size_t>(length);
  }
  return true;
}

// The bytes a PNG's image data must inflate to: per row a filter byte and the row's samples,
// over the seven passes of an interlaced image. The header has been checked.
uint64_t PngDataBytes(const uint8_t* data) {
  const uint64_t width = Be32(data + 16), height = Be32(data + 20), depth = data[24];
  const uint8_t colour = data[25];
  const uint64_t bits = depth * (colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1);
  auto passBytes = [bits](uint64_t w, uint64_t h) { return w == 0 || h == 0 ? 0 : h * (1 + (w * bits + 7) / 8); };
  if (data[28] == 0) return passBytes(width, height);
  constexpr uint64_t x0[7] = {0, 4, 0, 2, 0, 1, 0}, y0[7] = {0, 0, 4, 0, 2, 0, 1};
  constexpr uint64_t dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
  uint64_t total = 0;
  for (int pass = 0; pass < 7; ++pass)
    total += passBytes(width > x0[pass] ? (width - x0[pass] + dx[pass] - 1) / dx[pass] : 0,
                       height > y0[pass] ? (height - y0[pass] + dy[pass] - 1) / dy[pass] : 0);
  return total;
}

// A PNG's image data must not inflate past what its header implies: the image reader grows its
// buffer to whatever the data inflates to, so a few megabytes declaring one pixel could cost
// gigabytes. The data is inflated once into a buffer of that size, which the reader would need
// anyway, and refused when it runs over. The chunks have been checked to lie inside the file.
bool PngDataFits(const uint8_t* data, size_t size) {
  std::vector<std::pair<const uint8_t*, size_t>> pieces;
  bool zlibHeader = true;  // a "CgBI" file's data is a bare deflate stream
  for (size_t at = 8; size - at >= 12;) {
    const size_t length = Be32(data + at);
    const uint8_t* kind = data + at + 4;
    if (std::memcmp(kind, "IDAT", 4) == 0 && length > 0) pieces.emplace_back(kind + 4, length);
    if (std::memcmp(kind, "CgBI", 4) == 0) zlibHeader = false;
    if (std::memcmp(kind, "IEND", 4) == 0) break;
    at += 12 + length;
  }
  if (pieces.empty()) return false;
  std::vector<uint8_t> joined;
  if (pieces.size() > 1)
    for (const auto& [bytes, length] : pieces) joined.insert(joined.end(), bytes, bytes + length);
  const uint8_t* stream = pieces.size() > 1 ? joined.data() : pieces[0].first;
  const size_t streamSize = pieces.size() > 1 ? joined.size() : pieces[0].second;
  const uint64_t expected = PngDataBytes(data);
  if (expected == 0 || expected > INT_MAX || streamSize > INT_MAX) return false;
  const std::unique_ptr<char[]> inflated(new (std::nothrow) char[expected]);
  if (!inflated) return false;
  const auto* in = reinterpret_cast<const char*>(stream);
  const int out = zlibHeader ? stbi_zlib_decode_buffer(inflated.get(), static_cast<int>(expected), in,
                                                       static_cast<int>(streamSize))
                             : stbi_zlib_decode_noheader_buffer(inflated.get(), static_cast<int>(expected), in,
                                                                static_cast<int>(streamSize));
  return out >= 0;
}

// PNG, TGA and BMP through the image reader: grey images become L8, grey with alpha A8L8,
// colour X8R8G8B8 and colour with alpha A8R8G8B8. The sides come from the header and are
// checked against the device, and so is the length of BMP and TGA pixel data, before anything
// is decoded.
HRESULT ParseOther(const uint8_t* data, size_t size, const Limits& limits, Image* image) {
  if (size > 0x7FFFFFFF || !IsPngBmpOrTga(data, size)) return D3DXERR_INVALIDDATA;
  const bool png = IsPng(data, size), bmp = IsBmp(data, size);
  if (png && !(PngHeaderAllowed(data, size, limits) && PngChunksInside(data, size))) return D3DXERR_INVALIDDATA;
  if (bmp && !BmpComplete(data, size, limits)) return D3DXERR_INVALIDDATA;
  int w = 0, h = 0, comp = 0;
  if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &comp)) return D3DXERR_INVALIDDATA;
  if (!limits.Allow(static_cast<uint64_t>(std::max(w, 0)), static_cast<uint64_t>(std::max(h, 0))))
    return D3DXERR_INVALIDDATA;
  if (!png && !bmp && LooksLikeTga(data, size, w, h) && !TgaComplete(data, size, limits)) return D3DXERR_INVALIDDATA;
  g_decodes.fetch_add(1, std::memory_order_relaxed);
  if (png && !PngDataFits(data, size)) return D3DXERR_INVALIDDATA;
  int got = 0;
  stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &got, comp);
  if (!pixels || w <= 0 || h <= 0) {
    if (pixels) stbi_image_free(pixels);
    return D3DXERR_INVALIDDATA;
  }
  const D3DFORMAT format = comp == 1 ? D3DFMT_L8 : comp == 2 ? D3DFMT_A8L8 : comp == 3 ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
  image->width = static_cast<UINT>(w);
  image->height = static_cast<UINT>(h);
  image->format = format;
  image->levels.assign(1, std::vector<uint8_t>(d3dfmt::LevelSize(format, image->width, image->height)));
  // Row by row, so that no second whole copy of the image is held.
  const size_t pitch = d3dfmt::Pitch(format, image->width);
  std::vector<uint32_t> argb(image->width);
  for (UINT y = 0; y < image->height; ++y) {
    const stbi_uc* row = pixels + static_cast<size_t>(y) * image->width * comp;
    for (UINT x = 0; x < image->width; ++x) {
      const stbi_uc* p = row + static_cast<size_t>(x) * comp;
      uint32_t a = 0xFF, r, g, b;
      switch (comp) {
        case 1: r = g = b = p[0]; break;
        case 2: r = g = b = p[0], a = p[1]; break;
        case 3: r = p[0], g = p[1], b = p[2]; break;
        default: r = p[0], g = p[1], b = p[2], a = p[3]; break;
      }
      argb[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    d3dfmt::EncodeRect(format, image->levels[0].data() + y * pitch, static_cast<int>(pitch), image->width, 1,
                       argb.data());
  }
  stbi_image_free(pixels);
  return S_OK;
}

std::vector<uint32_t> DecodeLevel(const Image& image, UINT level) {
  const UINT w = LevelDim(image.width, level), h = LevelDim(image.height, level);
  std::vector<uint32_t> argb(static_cast<size_t>(w) * h);
  d3dfmt::DecodeRect(image.format, image.levels[level].data(), static_cast<int>(d3dfmt::Pitch(image.format, w)),
                     w, h, argb.data());
  return argb;
}

// Nearest-texel resampling, used only when the device cannot take the file's size.
std::vector<uint32_t> Resample(const std::vector<uint32_t>& src, UINT sw, UINT sh, UINT dw, UINT dh) {
  std::vector<uint32_t> out(static_cast<size_t>(dw) * dh);
  for (UINT y = 0; y < dh; ++y)
    for (UINT x = 0; x < dw; ++x) {
      const UINT sx = static_cast<UINT>((static_cast<uint64_t>(x) * sw) / dw);
      const UINT sy = static_cast<UINT>((static_cast<uint64_t>(y) * sh) / dh);
      out[static_cast<size_t>(y) * dw + x] = src[static_cast<size_t>(sy) * sw + sx];
    }
  return out;
}

UINT NextPow2(UINT v) {
  UINT p = 1;
  while (p < v && p < 0x80000000u) p <<= 1;
  return p;
}

HRESULT WriteLevel(IDirect3DTexture8* texture, UINT level, D3DFORMAT format, UINT w, UINT h,
                   const uint8_t* raw, const uint32_t* argb) {
  D3DLOCKED_RECT locked{};
  HRESULT hr = texture->LockRect(level, &locked, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (raw) {
    const size_t rowBytes = d3dfmt::Pitch(format, w);
    for (UINT row = 0; row < d3dfmt::RowCount(format, h); ++row)
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(row) * locked.Pitch,
                  raw + row * rowBytes, rowBytes);
  } else {
    d3dfmt::EncodeRect(format, static_cast<uint8_t*>(locked.pBits), locked.Pitch, w, h, argb);
  }
  return texture->UnlockRect(level);
}

HRESULT CreateFromImage(IDirect3DDevice8* device, Image& image, IDirect3DTexture8** out) {
  D3DCAPS8 caps{};
  if (FAILED(device->GetDeviceCaps(&caps))) std::memset(&caps, 0, sizeof caps);
  UINT w = image.width, h = image.height;
  if (caps.TextureCaps & D3DPTEXTURECAPS_POW2) w = NextPow2(w), h = NextPow2(h);
  if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);
  if (caps.MaxTextureWidth) w = std::min<UINT>(w, caps.MaxTextureWidth);
  if (caps.MaxTextureHeight) h = std::min<UINT>(h, caps.MaxTextureHeight);

  IDirect3DTexture8* texture = nullptr;
  D3DFORMAT format = image.format;
  HRESULT hr = device->CreateTexture(w, h, 0, 0, format, D3DPOOL_MANAGED, &texture);
  if (FAILED(hr) && format != D3DFMT_A8R8G8B8) {
    format = D3DFMT_A8R8G8B8;
    hr = device->CreateTexture(w, h, 0, 0, format, D3DPOOL_MANAGED, &texture);
  }
  if (FAILED(hr)) return hr;

  // The file's own levels go in unchanged when nothing about them changes.
  const bool asStored = format == image.format && w == image.width && h == image.height;
  const UINT count = texture->GetLevelCount();
  UINT written = 0;
  if (asStored) {
    for (; written < count && written < image.levels.size(); ++written) {
      hr = WriteLevel(texture, written, format, LevelDim(w, written), LevelDim(h, written),
                      image.levels[written].data(), nullptr);
      if (FAILED(hr)) break;
    }
  } else {
    std::vector<uint32_t> argb = DecodeLevel(image, 0);
    if (w != image.width || h != image.height) argb = Resample(argb, image.width, image.height, w, h);
    hr = WriteLevel(texture, 0, format, w, h, nullptr, argb.data());
    written = 1;
  }
  if (SUCCEEDED(hr) && written < count) hr = D3DXFilterTexture(texture, nullptr, written - 1, D3DX_FILTER_BOX);
  if (FAILED(hr)) {
    texture->Release();
    return hr;
  }
  *out = texture;
  return S_OK;
}

std::vector<uint32_t> BoxDown(const std::vector<uint32_t>& src, UINT sw, UINT sh, UINT dw, UINT dh,
                              bool point) {
  std::vector<uint32_t> out(static_cast<size_t>(dw) * dh);
  for (UINT y = 0; y < dh; ++y) {
    for (UINT x = 0; x < dw; ++x) {
      const UINT x0 = std::min(2 * x, sw - 1), x1 = std::min(2 * x + 1, sw - 1);
      const UINT y0 = std::min(2 * y, sh - 1), y1 = std::min(2 * y + 1, sh - 1);
      const uint32_t a = src[static_cast<size_t>(y0) * sw + x0];
      if (point) {
        out[static_cast<size_t>(y) * dw + x] = a;
        continue;
      }
      const uint32_t b = src[static_cast<size_t>(y0) * sw + x1], c = src[static_cast<size_t>(y1) * sw + x0],
                     d = src[static_cast<size_t>(y1) * sw + x1];
      uint32_t v = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) + ((c >> shift) & 0xFF) +
                             ((d >> shift) & 0xFF);
        v |= ((sum + 2) / 4) << shift;
      }
      out[static_cast<size_t>(y) * dw + x] = v;
    }
  }
  return out;
}

HRESULT ReadLevel(IDirect3DTexture8* texture, UINT level, std::vector<uint32_t>* argb, D3DSURFACE_DESC* desc) {
  HRESULT hr = texture->GetLevelDesc(level, desc);
  if (FAILED(hr)) return hr;
  d3dfmt::FormatInfo info;
  if (!d3dfmt::Describe(desc->Format, &info) || !info.convertible) return D3DERR_INVALIDCALL;
  D3DLOCKED_RECT locked{};
  hr = texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY);
  if (FAILED(hr)) return hr;
  argb->assign(static_cast<size_t>(desc->Width) * desc->Height, 0);
  d3dfmt::DecodeRect(desc->Format, static_cast<const uint8_t*>(locked.pBits), locked.Pitch, desc->Width,
                     desc->Height, argb->data());
  return texture->UnlockRect(level);
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

}  // namespace

uint64_t d3dx8::ImagesDecoded() { return g_decodes.load(std::memory_order_relaxed); }

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice8* device, LPCVOID srcData, UINT srcDataSize,
                                          IDirect3DTexture8** texture) {
  if (!device || !srcData || srcDataSize == 0 || !texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  const auto* data = static_cast<const uint8_t*>(srcData);
  const Limits limits(device);
  Image image;
  const HRESULT hr = srcDataSize >= 4 && std::memcmp(data, "DDS ", 4) == 0
                         ? ParseDds(data, srcDataSize, limits, &image)
                         : ParseOther(data, srcDataSize, limits, &image);
  if (FAILED(hr)) return hr;
  return CreateFromImage(device, image, texture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* device, LPCSTR srcFile, IDirect3DTexture8** texture) {
  if (!device || !srcFile || !texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  HRESULT error = S_OK;
  const std::string path = ResourceFile(srcFile, win32::PathMode::Read, &error);
  if (path.empty()) return error;
  std::vector<uint8_t> bytes;
  switch (win32::ReadRegularFile(path, d3dx8::kMaxImageFileBytes, &bytes)) {
    case win32::FileRead::Read: break;
    case win32::FileRead::NotAFile:
    case win32::FileRead::TooLarge: return D3DXERR_INVALIDDATA;
    default: return D3DXERR_FILENOTFOUND;
  }
  if (bytes.empty()) return D3DXERR_INVALIDDATA;
  return D3DXCreateTextureFromFileInMemory(device, bytes.data(), static_cast<UINT>(bytes.size()), texture);
}

HRESULT D3DXFilterTexture(IDirect3DTexture8* texture, const PALETTEENTRY* palette, UINT srcLevel, DWORD filter) {
  (void)palette;  // no palettized format is kept
  if (!texture) return D3DERR_INVALIDCALL;
  const UINT count = texture->GetLevelCount();
  const UINT source = srcLevel == D3DX_DEFAULT ? 0 : srcLevel;
  if (source >= count) return D3DERR_INVALIDCALL;
  const DWORD kind = filter == D3DX_DEFAULT ? D3DX_FILTER_BOX : (filter & 0xFFFF);
  if (kind < D3DX_FILTER_NONE || kind > D3DX_FILTER_BOX) return D3DERR_INVALIDCALL;
  if (kind == D3DX_FILTER_NONE || source + 1 == count) return S_OK;

  std::vector<uint32_t> above;
  D3DSURFACE_DESC desc{};
  HRESULT hr = ReadLevel(texture, source, &above, &desc);
  if (FAILED(hr)) return hr;
  UINT w = desc.Width, h = desc.Height;
  for (UINT level = source + 1; level < count; ++level) {
    D3DSURFACE_DESC below{};
    hr = texture->GetLevelDesc(level, &below);
    if (FAILED(hr)) return hr;
    std::vector<uint32_t> next = BoxDown(above, w, h, below.Width, below.Height, kind == D3DX_FILTER_POINT);
    D3DLOCKED_RECT locked{};
    hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    d3dfmt::EncodeRect(below.Format, static_cast<uint8_t*>(locked.pBits), locked.Pitch, below.Width,
                       below.Height, next.data());
    hr = texture->UnlockRect(level);
    if (FAILED(hr)) return hr;
    above.swap(next);
    w = below.Width;
    h = below.Height;
  }
  return S_OK;
}

HRESULT D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface8* srcSurface,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect) {
  (void)srcPalette;
  if (!destFile || !*destFile || !srcSurface) return D3DERR_INVALIDCALL;
  if (destFormat != D3DXIFF_BMP && destFormat != D3DXIFF_DIB && destFormat != D3DXIFF_TGA &&
      destFormat != D3DXIFF_PNG)
    return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{};
  HRESULT hr = srcSurface->GetDesc(&desc);
  if (FAILED(hr)) return hr;
  d3dfmt::FormatInfo info;
  if (!d3dfmt::Describe(desc.Format, &info) || !info.convertible) return D3DERR_INVALIDCALL;
  RECT rect{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
  if (srcRect) {
    if (srcRect->left < 0 || srcRect->top < 0 || srcRect->right > rect.right || srcRect->bottom > rect.bottom ||
        srcRect->left >= srcRect->right || srcRect->top >= srcRect->bottom)
      return D3DERR_INVALIDCALL;
    rect = *srcRect;
  }

  std::vector<uint32_t> argb(static_cast<size_t>(desc.Width) * desc.Height);
  D3DLOCKED_RECT locked{};
  hr = srcSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  if (FAILED(hr)) return hr;
  d3dfmt::DecodeRect(desc.Format, static_cast<const uint8_t*>(locked.pBits), locked.Pitch, desc.Width,
                     desc.Height, argb.data());
  hr = srcSurface->UnlockRect();
  if (FAILED(hr)) return hr;

  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  const int comp = desc.Format == D3DFMT_L8 ? 1 : desc.Format == D3DFMT_A8L8 ? 2 : info.alpha ? 4 : 3;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * comp);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = argb[static_cast<size_t>(y + rect.top) * desc.Width + (x + rect.left)];
      uint8_t* p = &pixels[(static_cast<size_t>(y) * w + x) * comp];
      const uint8_t a = static_cast<uint8_t>(c >> 24), r = static_cast<uint8_t>(c >> 16),
                    g = static_cast<uint8_t>(c >> 8), b = static_cast<uint8_t>(c);
      switch (comp) {
        case 1: p[0] = r; break;
        case 2: p[0] = r, p[1] = a; break;
        case 3: p[0] = r, p[1] = g, p[2] = b; break;
        default: p[0] = r, p[1] = g, p[2] = b, p[3] = a; break;
      }
    }
  }

  std::vector<uint8_t> file;
  int ok = 0;
  switch (destFormat) {
    case D3DXIFF_PNG: ok = stbi_write_png_to_func(AppendBytes, &file, w, h, comp, pixels.data(), w * comp); break;
    case D3DXIFF_TGA: ok = stbi_write_tga_to_func(AppendBytes, &file, w, h, comp, pixels.data()); break;
    default: ok = stbi_write_bmp_to_func(AppendBytes, &file, w, h, comp, pixels.data()); break;
  }
  if (!ok) return E_FAIL;
  HRESULT error = S_OK;
  const std::string path = ResourceFile(destFile, win32::PathMode::Write, &error);
  if (path.empty()) return error == D3DXERR_INVALIDDATA ? error : E_FAIL;
  // Only into a regular file, and never waiting: a pipe or a device in the tree would hold the
  // save or swallow it.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return E_FAIL;
  struct stat st {};
  bool written = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) == 0;
  for (size_t done = 0; written && done < file.size();) {
    const ssize_t n = write(fd, file.data() + done, file.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  const bool closed = close(fd) == 0;
  return written && closed ? S_OK : E_FAIL;
}
