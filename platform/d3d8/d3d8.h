// The Direct3D 8 objects as this system uses them: reference-counted surfaces and textures
// and the device that makes them. The device itself lives with the host; the module and the
// extension functions see it only through these interfaces.
#pragma once
#include "d3d8/d3d8caps.h"
#include "d3d8/d3d8types.h"

class IDirect3DDevice8;

// A two-dimensional block of pixels: a back buffer, a render target, a depth buffer or one
// level of a texture. A texture level shares the reference count of its texture.
class IDirect3DSurface8 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  // rect null: the whole surface. The returned pointer addresses the rectangle's top-left
  // pixel (its top-left block for compressed formats); Pitch is the byte step of one row
  // (one row of blocks).
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;

 protected:
  virtual ~IDirect3DSurface8() = default;
};

class IDirect3DTexture8 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual DWORD GetLevelCount() = 0;
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  // The surface comes with a reference the caller releases.
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;

 protected:
  virtual ~IDirect3DTexture8() = default;
};

class IDirect3DDevice8 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS8* caps) = 0;
  // Returns the cursor's previous visibility.
  virtual BOOL ShowCursor(BOOL show) = 0;

  virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface) = 0;
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture8** texture) = 0;
  virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                     D3DMULTISAMPLE_TYPE multiSample, BOOL lockable,
                                     IDirect3DSurface8** surface) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample,
                                            IDirect3DSurface8** surface) = 0;
  // Copies rectangles between two surfaces of the same format. rects null: the whole source;
  // points null: each rectangle lands at its own position.
  virtual HRESULT CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count,
                            IDirect3DSurface8* destination, const POINT* points) = 0;

  // colour null keeps the present render target; depth null leaves no depth buffer bound.
  // The viewport becomes the whole new target.
  virtual HRESULT SetRenderTarget(IDirect3DSurface8* colour, IDirect3DSurface8* depth) = 0;
  virtual HRESULT GetRenderTarget(IDirect3DSurface8** surface) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface) = 0;

  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // Fills the viewport (or the given rectangles inside it) of the bound targets.
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                        DWORD stencil) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;

 protected:
  virtual ~IDirect3DDevice8() = default;
};
