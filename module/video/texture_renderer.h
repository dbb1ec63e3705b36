// The module's video renderer filter: RGB24 frames from the streaming thread are copied into
// the one of two textures that is not current, which then becomes current under the frame
// lock. The scene draws the current texture while it holds the frame lock, so the texture
// being drawn is never the one being written.
#pragma once
#include "d3d8/d3d8.h"
#include "dshow/renderer.h"
#include "win32/win32.h"

class IRenderer;

inline constexpr CLSID CLSID_TextureRenderer = {0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

class CTextureRenderer : public CBaseVideoRenderer {
 public:
  // No name and, as the video manager makes it, no owner; *result is S_OK.
  CTextureRenderer(IUnknown* owner, HRESULT* result);
  ~CTextureRenderer() override;

  // Sizes from the VideoInfo block, two managed X8R8G8B8 textures of the side that holds the
  // larger of width and height (256, 512 or 1024); a video larger than 1024 either way, or
  // smaller than 1, is refused with VFW_E_TYPE_NOT_ACCEPTED.
  HRESULT SetMediaType(const CMediaType* type) override;
  // Copies the frame's rows in stored order into the texture that is not current, then
  // makes it current.
  HRESULT DoRenderSample(IMediaSample* sample) override;
  // RGB24 video with a whole VideoInfo block only.
  HRESULT CheckMediaType(const CMediaType* type) override;

  // Read by the video manager: the current texture (under the frame lock), the lock, and
  // the share of the texture the picture covers.
  int32_t videoWidth = 0;
  int32_t videoHeight = 0;
  uint32_t sourcePitch = 0;
  IDirect3DTexture8* currentTexture = nullptr;
  IDirect3DTexture8* textureA = nullptr;
  IDirect3DTexture8* textureB = nullptr;
  CRITICAL_SECTION frameLock;
  float uExtent = 0.0f;
  float vExtent = 0.0f;
  IRenderer* renderer = nullptr;
  D3DFORMAT textureFormat = D3DFMT_UNKNOWN;

 private:
  HRESULT MakeTexture(UINT side, IDirect3DTexture8** texture);
};
