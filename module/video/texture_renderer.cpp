#include "video/texture_renderer.h"

#include <cstdlib>
#include <cstring>

#include "frame/module_globals.h"
#include "frame/renderer.h"

namespace {

void ReleaseTexture(IDirect3DTexture8*& texture) {
  if (texture) texture->Release();
  texture = nullptr;
}

}  // namespace

CTextureRenderer::CTextureRenderer(IUnknown* owner, HRESULT* result)
    : CBaseVideoRenderer(CLSID_TextureRenderer, nullptr, owner, result) {
  if (result) *result = S_OK;
  renderer = g_pHost ? static_cast<IRenderer*>(g_pHost->GetService("dx8render")) : nullptr;
  InitializeCriticalSection(&frameLock);
}

CTextureRenderer::~CTextureRenderer() {
  ReleaseTexture(textureA);
  ReleaseTexture(textureB);
  currentTexture = nullptr;
  DeleteCriticalSection(&frameLock);
}

HRESULT CTextureRenderer::CheckMediaType(const CMediaType* type) {
  if (!(*type->FormatType() == FORMAT_VideoInfo)) return E_INVALIDARG;
  if (!(*type->Type() == MEDIATYPE_Video)) return E_FAIL;
  if (!(*type->Subtype() == MEDIASUBTYPE_RGB24)) return E_FAIL;
  // The block is read as a VIDEOINFOHEADER: anything shorter would be read past its end.
  if (!type->Format() || type->FormatLength() < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  return S_OK;
}

HRESULT CTextureRenderer::MakeTexture(UINT side, IDirect3DTexture8** texture) {
  return renderer->CreateTexture(side, side, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, texture);
}

HRESULT CTextureRenderer::SetMediaType(const CMediaType* type) {
  if (!type->Format() || type->FormatLength() < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  if (!renderer) return E_FAIL;
  VIDEOINFOHEADER info;
  std::memcpy(&info, type->Format(), sizeof info);
  const int64_t width = info.bmiHeader.biWidth;
  const int64_t height = std::llabs(static_cast<int64_t>(info.bmiHeader.biHeight));
  if (width < 1 || height < 1) return VFW_E_TYPE_NOT_ACCEPTED;
  // The side holds the larger of the two sizes, so no row or column falls outside.
  const int64_t larger = std::max(width, height);
  UINT side = 0;
  float scale = 0.0f;
  if (larger <= 256) {
    side = 256;
    scale = 0.00390625f;
  } else if (larger <= 512) {
    side = 512;
    scale = 0.001953125f;
  } else if (larger <= 1024) {
    side = 1024;
    scale = 0.0009765625f;
  } else {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  videoWidth = static_cast<int32_t>(width);
  videoHeight = static_cast<int32_t>(height);
  sourcePitch = static_cast<uint32_t>(3 * width + 3) & ~3u;
  uExtent = static_cast<float>(videoWidth) * scale;
  vExtent = static_cast<float>(videoHeight) * scale;

  // The scene may be about to draw the current texture: it goes before either is released.
  EnterCriticalSection(&frameLock);
  currentTexture = nullptr;
  LeaveCriticalSection(&frameLock);

  ReleaseTexture(textureA);
  HRESULT hr = MakeTexture(side, &textureA);
  if (FAILED(hr)) return hr;
  ReleaseTexture(textureB);
  hr = MakeTexture(side, &textureB);
  if (FAILED(hr)) return hr;
  D3DSURFACE_DESC desc{};
  hr = textureA->GetLevelDesc(0, &desc);
  if (FAILED(hr)) return hr;
  textureFormat = desc.Format;
  return textureFormat == D3DFMT_X8R8G8B8 || textureFormat == D3DFMT_A1R5G5B5 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTextureRenderer::DoRenderSample(IMediaSample* sample) {
  if (!textureA || !textureB) return E_FAIL;
  BYTE* source = nullptr;
  if (FAILED(sample->GetPointer(&source)) || !source) return E_FAIL;
  // A short frame would be read past its end.
  if (static_cast<uint64_t>(std::max<LONG>(0, sample->GetActualDataLength())) <
      static_cast<uint64_t>(sourcePitch) * static_cast<uint32_t>(videoHeight))
    return E_FAIL;
  // Only this thread changes the current texture while frames flow, so it reads it unlocked.
  IDirect3DTexture8* target = currentTexture == textureA ? textureB : textureA;
  const RECT rect{0, 0, videoWidth, videoHeight};
  D3DLOCKED_RECT locked{};
  if (FAILED(target->LockRect(0, &locked, &rect, 0))) return E_FAIL;
  auto* row = static_cast<BYTE*>(locked.pBits);
  for (int32_t r = 0; r < videoHeight; ++r, source += sourcePitch, row += locked.Pitch) {
    const BYTE* pixel = source;
    if (textureFormat == D3DFMT_X8R8G8B8) {
      for (int32_t x = 0; x < videoWidth; ++x, pixel += 3) {
        const uint32_t value = pixel[0] | pixel[1] << 8 | static_cast<uint32_t>(pixel[2]) << 16;
        std::memcpy(row + 4 * x, &value, 4);
      }
    } else {
      for (int32_t x = 0; x < videoWidth; ++x, pixel += 3) {
        const uint16_t value =
            static_cast<uint16_t>(0x8000 | (pixel[2] >> 3) << 10 | (pixel[1] >> 3) << 5 | (pixel[0] >> 3));
        std::memcpy(row + 2 * x, &value, 2);
      }
    }
  }
  if (FAILED(target->UnlockRect(0))) return E_FAIL;
  EnterCriticalSection(&frameLock);
  currentTexture = currentTexture != textureA ? textureA : textureB;
  LeaveCriticalSection(&frameLock);
  return S_OK;
}
