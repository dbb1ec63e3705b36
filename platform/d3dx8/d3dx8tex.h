// Texture functions of the Direct3D 8 extension library: loading a texture from an image
// file, rebuilding a mip chain and saving a surface as an image file. They work on any
// device, texture and surface through the interfaces alone.
//
// File names are the module's Windows-style paths, resolved under the process's resource
// root by win32::ResolvePath (win32/file_system.h). A name that leaves the root (a drive
// letter, a network name, ".." above it) fails with D3DXERR_INVALIDDATA, for reading and
// writing alike.
#pragma once
#include <cstdint>

#include "platform_api.h"
#include "d3d8/d3d8.h"
#include "win32/win32_types.h"

#ifndef D3DX_DEFAULT
#define D3DX_DEFAULT (static_cast<UINT>(-1))
#endif

#define D3DX_FILTER_NONE 0x00000001u
#define D3DX_FILTER_POINT 0x00000002u
#define D3DX_FILTER_LINEAR 0x00000003u
#define D3DX_FILTER_TRIANGLE 0x00000004u
#define D3DX_FILTER_BOX 0x00000005u
#define D3DX_FILTER_MIRROR_U 0x00010000u
#define D3DX_FILTER_MIRROR_V 0x00020000u
#define D3DX_FILTER_MIRROR_W 0x00040000u
#define D3DX_FILTER_MIRROR 0x00070000u
#define D3DX_FILTER_DITHER 0x00080000u

#define D3DXERR_INVALIDDATA (static_cast<HRESULT>(0x88760B59u))
// The file named does not exist.
#define D3DXERR_FILENOTFOUND (static_cast<HRESULT>(0x80070002u))

enum D3DXIMAGE_FILEFORMAT : DWORD {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
  D3DXIFF_FORCE_DWORD = 0x7fffffff
};

namespace d3dx8 {
// The largest image file the loaders read, and what an image may declare when the device does
// not say what it takes: sides up to 4096. Whatever the device takes, no image of more than
// 4096 x 4096 pixels is decoded.
inline constexpr uint64_t kMaxImageFileBytes = 128ull << 20;
inline constexpr uint64_t kMaxImageSide = 4096;
inline constexpr uint64_t kMaxImagePixels = kMaxImageSide * kMaxImageSide;

// How many image files the loaders below have gone on to decode in this process; a file refused
// from its header alone is not counted.
FOOTLIGHT_PLATFORM_API uint64_t ImagesDecoded();
}  // namespace d3dx8

// DDS (uncompressed and DXT1-5, with or without mip levels), TGA, BMP and PNG. The texture
// is made in the managed pool with a full mip chain; levels the file does not carry are
// box-filtered from the last one it does. A file whose header declares a side above the
// device's largest texture (D3DCAPS8 MaxTextureWidth and MaxTextureHeight) or more pixels than
// d3dx8::kMaxImagePixels is D3DXERR_INVALIDDATA before anything is decoded, and so is one
// that holds fewer pixel bytes than its header declares, or a PNG whose image data inflates to
// more bytes than its header implies. D3DXCreateTextureFromFileA reads
// only regular files of at most d3dx8::kMaxImageFileBytes (a folder, a device or a larger
// file is D3DXERR_INVALIDDATA).
FOOTLIGHT_PLATFORM_API HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice8* device, LPCSTR srcFile,
                                                          IDirect3DTexture8** texture);
// The same from a file image already in memory.
FOOTLIGHT_PLATFORM_API HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice8* device, LPCVOID srcData, UINT srcDataSize,
                                                                 IDirect3DTexture8** texture);
// Rebuilds every level below srcLevel (D3DX_DEFAULT: 0) from the one above it. filter
// D3DX_DEFAULT or any averaging filter uses a 2 x 2 box; D3DX_FILTER_POINT takes the top-left
// texel; D3DX_FILTER_NONE leaves the levels alone.
FOOTLIGHT_PLATFORM_API HRESULT D3DXFilterTexture(IDirect3DTexture8* texture, const PALETTEENTRY* palette, UINT srcLevel,
                                                 DWORD filter);
// Writes the surface (or srcRect of it) as BMP, TGA or PNG.
FOOTLIGHT_PLATFORM_API HRESULT D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat,
                                                      IDirect3DSurface8* srcSurface, const PALETTEENTRY* srcPalette,
                                                      const RECT* srcRect);
