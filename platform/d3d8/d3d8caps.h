// The device capability record and the capability bits this system reads or honours.
#pragma once
#include "d3d8/d3d8types.h"

enum D3DDEVTYPE : DWORD {
  D3DDEVTYPE_HAL = 1,
  D3DDEVTYPE_REF = 2,
  D3DDEVTYPE_SW = 3,
  D3DDEVTYPE_FORCE_DWORD = 0x7fffffff
};

struct D3DCAPS8 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD Caps3;
  DWORD PresentationIntervals;
  DWORD CursorCaps;
  DWORD DevCaps;
  DWORD PrimitiveMiscCaps;
  DWORD RasterCaps;
  DWORD ZCmpCaps;
  DWORD SrcBlendCaps;
  DWORD DestBlendCaps;
  DWORD AlphaCmpCaps;
  DWORD ShadeCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD CubeTextureFilterCaps;
  DWORD VolumeTextureFilterCaps;
  DWORD TextureAddressCaps;
  DWORD VolumeTextureAddressCaps;
  DWORD LineCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxVolumeExtent;
  DWORD MaxTextureRepeat;
  DWORD MaxTextureAspectRatio;
  DWORD MaxAnisotropy;
  float MaxVertexW;
  float GuardBandLeft;
  float GuardBandTop;
  float GuardBandRight;
  float GuardBandBottom;
  float ExtentsAdjust;
  DWORD StencilCaps;
  DWORD FVFCaps;
  DWORD TextureOpCaps;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD VertexProcessingCaps;
  DWORD MaxActiveLights;
  DWORD MaxUserClipPlanes;
  DWORD MaxVertexBlendMatrices;
  DWORD MaxVertexBlendMatrixIndex;
  float MaxPointSize;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
  DWORD VertexShaderVersion;
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
  float MaxPixelShaderValue;
};

// Shader version words: 0xFFFF (pixel) or 0xFFFE (vertex) above major.minor.
#define D3DPS_VERSION(major, minor) (0xFFFF0000u | ((major) << 8) | (minor))
#define D3DVS_VERSION(major, minor) (0xFFFE0000u | ((major) << 8) | (minor))
#define D3DSHADER_VERSION_MAJOR(version) (((version) >> 8) & 0xFFu)
#define D3DSHADER_VERSION_MINOR(version) (((version) >> 0) & 0xFFu)

// TextureCaps
#define D3DPTEXTURECAPS_PERSPECTIVE 0x00000001u
#define D3DPTEXTURECAPS_POW2 0x00000002u
#define D3DPTEXTURECAPS_ALPHA 0x00000004u
#define D3DPTEXTURECAPS_SQUAREONLY 0x00000020u
#define D3DPTEXTURECAPS_TEXREPEATNOTSCALEDBYSIZE 0x00000040u
#define D3DPTEXTURECAPS_ALPHAPALETTE 0x00000080u
#define D3DPTEXTURECAPS_NONPOW2CONDITIONAL 0x00000100u
#define D3DPTEXTURECAPS_PROJECTED 0x00000400u
#define D3DPTEXTURECAPS_CUBEMAP 0x00000800u
#define D3DPTEXTURECAPS_VOLUMEMAP 0x00002000u
#define D3DPTEXTURECAPS_MIPMAP 0x00004000u

// TextureAddressCaps
#define D3DPTADDRESSCAPS_WRAP 0x00000001u
#define D3DPTADDRESSCAPS_MIRROR 0x00000002u
#define D3DPTADDRESSCAPS_CLAMP 0x00000004u
#define D3DPTADDRESSCAPS_BORDER 0x00000008u
#define D3DPTADDRESSCAPS_INDEPENDENTUV 0x00000010u
#define D3DPTADDRESSCAPS_MIRRORONCE 0x00000020u

// TextureFilterCaps
#define D3DPTFILTERCAPS_MINFPOINT 0x00000100u
#define D3DPTFILTERCAPS_MINFLINEAR 0x00000200u
#define D3DPTFILTERCAPS_MIPFPOINT 0x00010000u
#define D3DPTFILTERCAPS_MIPFLINEAR 0x00020000u
#define D3DPTFILTERCAPS_MAGFPOINT 0x01000000u
#define D3DPTFILTERCAPS_MAGFLINEAR 0x02000000u

// StencilCaps
#define D3DSTENCILCAPS_KEEP 0x00000001u
#define D3DSTENCILCAPS_ZERO 0x00000002u
#define D3DSTENCILCAPS_REPLACE 0x00000004u
#define D3DSTENCILCAPS_INCRSAT 0x00000008u
#define D3DSTENCILCAPS_DECRSAT 0x00000010u
#define D3DSTENCILCAPS_INVERT 0x00000020u
#define D3DSTENCILCAPS_INCR 0x00000040u
#define D3DSTENCILCAPS_DECR 0x00000080u

// CursorCaps
#define D3DCURSORCAPS_COLOR 0x00000001u
#define D3DCURSORCAPS_LOWRES 0x00000002u
