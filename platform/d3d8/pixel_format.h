// Pixel formats in memory: sizes and pitches, and conversion of rectangles of pixels to and
// from 32-bit ARGB colours. Shared by the host's device and the texture extension functions.
#pragma once
#include "platform_api.h"
#include <cstddef>
#include <cstdint>

#include "d3d8/d3d8types.h"

namespace d3dfmt {

struct FormatInfo {
  UINT bitsPerPixel = 0;  // 0 for block-compressed formats
  UINT blockBytes = 0;    // bytes of one 4 x 4 block; 0 for uncompressed formats
  bool depth = false;     // a depth (and stencil) format
  bool stencil = false;   // carries stencil bits
  bool alpha = false;     // colour format with an alpha channel
  bool convertible = false;  // DecodeRect / EncodeRect handle it
};

// False for formats this system keeps no memory layout for.
FOOTLIGHT_PLATFORM_API bool Describe(D3DFORMAT format, FormatInfo* info);
FOOTLIGHT_PLATFORM_API bool IsCompressed(D3DFORMAT format);
// Byte step of one row of pixels (one row of blocks for compressed formats).
FOOTLIGHT_PLATFORM_API UINT Pitch(D3DFORMAT format, UINT width);
// Number of pixel rows (block rows) a level of this height holds.
FOOTLIGHT_PLATFORM_API UINT RowCount(D3DFORMAT format, UINT height);
FOOTLIGHT_PLATFORM_API size_t LevelSize(D3DFORMAT format, UINT width, UINT height);

// Reads a width x height rectangle whose top-left pixel (block) is at `bits` into ARGB
// colours, row by row. Formats without alpha read as opaque; luminance fills red, green and
// blue. False when the format cannot be converted.
FOOTLIGHT_PLATFORM_API bool DecodeRect(D3DFORMAT format, const uint8_t* bits, int pitch, UINT width, UINT height,
                                       uint32_t* argb);
// The reverse; luminance formats take a weighted mean of red, green and blue. Compressed
// blocks that the rectangle covers only in part are filled from its nearest pixels.
FOOTLIGHT_PLATFORM_API bool EncodeRect(D3DFORMAT format, uint8_t* bits, int pitch, UINT width, UINT height,
                                       const uint32_t* argb);

// One pixel of an uncompressed colour format, in its bytes' little-endian value.
FOOTLIGHT_PLATFORM_API uint32_t EncodeColour(D3DFORMAT format, D3DCOLOR colour);
// Writes a pixel value of `bytes` bytes, least significant byte first.
FOOTLIGHT_PLATFORM_API void StorePixel(uint8_t* at, UINT bytes, uint32_t value);
FOOTLIGHT_PLATFORM_API uint32_t LoadPixel(const uint8_t* at, UINT bytes);

// Depth-stencil pixels: the depth field from z in [0, 1], the stencil bits from `stencil`.
// `writeDepth` / `writeStencil` choose which fields change; the others keep their bits.
FOOTLIGHT_PLATFORM_API uint32_t EncodeDepthStencil(D3DFORMAT format, uint32_t old, float z, DWORD stencil, bool writeDepth,
                                                   bool writeStencil);
// The depth of a depth pixel in [0, 1] and its stencil bits.
FOOTLIGHT_PLATFORM_API float DecodeDepth(D3DFORMAT format, uint32_t pixel);
FOOTLIGHT_PLATFORM_API DWORD DecodeStencil(D3DFORMAT format, uint32_t pixel);

// Bytes of one vertex of a flexible vertex format; 0 when it names no position.
FOOTLIGHT_PLATFORM_API UINT FvfStride(DWORD fvf);
// Vertices (or indices) that `count` primitives of this type use; 0 for an unknown type.
FOOTLIGHT_PLATFORM_API UINT PrimitiveVertexCount(DWORD type, UINT count);

}  // namespace d3dfmt
