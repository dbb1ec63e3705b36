// The host's Direct3D 8 device: textures and surfaces kept in memory in their own pixel
// formats, a back buffer and a depth buffer, render-target switching, clears and copies.
// The memory copies are what callers see; a surface cache (the rasteriser's GL mirrors) may
// hold a newer copy, which every CPU read first brings back. Tests configure its size,
// capabilities and failures, and read its live resources per pool.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "d3d8/d3d8.h"

namespace host {

class Device;
class Surface;
class Texture;

// The device operations whose failure can be arranged.
enum class DeviceCall {
  CreateTexture,
  CreateRenderTarget,
  CreateDepthStencilSurface,
  GetBackBuffer,
  GetRenderTarget,
  GetDepthStencilSurface,
  SetRenderTarget,
  CopyRects,
  Clear,
  LockRect,  // any surface or texture lock
  Reset,
  kCount
};

struct DeviceConfig {
  UINT width = 800;
  UINT height = 600;
  D3DFORMAT backBufferFormat = D3DFMT_X8R8G8B8;
  D3DFORMAT depthFormat = D3DFMT_D24S8;  // D3DFMT_UNKNOWN: no depth buffer
  bool lockableBackBuffer = true;
};

// Which copy of a surface is newer: its memory or the cache's mirror.
enum class Freshness : int { Same, Cpu, Cache };

// A second copy of the device's surfaces kept elsewhere. Every call but Forget and
// OnDrawingThread comes from the drawing thread.
class SurfaceCache {
 public:
  virtual ~SurfaceCache() = default;
  virtual bool OnDrawingThread() const = 0;
  // Brings the memory of a cache-newer surface up to date.
  virtual void ReadBack(Surface* surface) = 0;
  // The surface (or every level of the texture) dies; any thread.
  virtual void Forget(Surface* surface) = 0;
  virtual void Forget(Texture* texture) = 0;
  // Clears the current targets in the cache; false leaves the clear to the memory copies.
  virtual bool Clear(const std::vector<RECT>& areas, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) = 0;
  // Copies `count` rectangles (checked, inside both surfaces) from `source` to `destination`,
  // of one format, in the cache, when the source's newer copy is there; the destination's
  // mirror then becomes the newer copy. False leaves the copy to the memory copies.
  virtual bool Copy(Surface* source, const RECT* rects, const POINT* points, UINT count, Surface* destination) = 0;
};

// Capabilities of a plain fixed-function card with version 1.4 pixel shaders.
D3DCAPS8 DefaultCaps();

class Surface final : public IDirect3DSurface8 {
 public:
  // IDirect3DSurface8
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8** device) override;
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;

  // Inspection
  UINT Width() const { return width_; }
  UINT Height() const { return height_; }
  D3DFORMAT Format() const { return format_; }
  D3DPOOL Pool() const { return pool_; }
  DWORD Usage() const { return usage_; }
  UINT Pitch() const { return pitch_; }
  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }
  size_t Size() const { return bits_.size(); }
  bool Locked() const { return locked_.load(); }
  Freshness Fresh() const { return static_cast<Freshness>(fresh_.load()); }
  void SetFresh(Freshness fresh) { fresh_.store(static_cast<int>(fresh)); }
  // Brings a cache-newer memory copy up to date (on the drawing thread); false when it could
  // not be, because the caller is on another thread.
  bool Sync() const;
  // The texture this surface is a level of, or null.
  Texture* Container() const { return container_; }
  // Own references of a stand-alone surface; a level answers its texture's count.
  ULONG RefCount() const;
  // The pixel at (x, y) as ARGB; 0 for formats without colour.
  uint32_t PixelArgb(UINT x, UINT y) const;
  // The raw pixel value at (x, y) of an uncompressed format.
  uint32_t PixelValue(UINT x, UINT y) const;
  float Depth(UINT x, UINT y) const;
  DWORD Stencil(UINT x, UINT y) const;

 private:
  friend class Device;
  friend class Texture;
  Surface(Device* device, Texture* container, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
          DWORD usage, bool lockable);
  ~Surface() override = default;
  bool Lockable() const;

  Device* device_;
  Texture* container_;
  UINT width_, height_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  DWORD usage_;
  bool lockable_;
  UINT pitch_;
  std::vector<uint8_t> bits_;
  std::atomic<ULONG> refs_{1};
  std::atomic<bool> locked_{false};
  std::atomic<bool> readOnlyLock_{false};
  // Memory starts newer, so a cache uploads a surface at its first use.
  std::atomic<int> fresh_{static_cast<int>(Freshness::Cpu)};
};

class Texture final : public IDirect3DTexture8 {
 public:
  // IDirect3DTexture8
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(IDirect3DDevice8** device) override;
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;

  // Inspection
  Surface* Level(UINT level) const { return level < levels_.size() ? levels_[level] : nullptr; }
  D3DFORMAT Format() const { return format_; }
  D3DPOOL Pool() const { return pool_; }
  DWORD Usage() const { return usage_; }
  ULONG RefCount() const { return refs_.load(); }

 private:
  friend class Device;
  Texture(Device* device, D3DFORMAT format, D3DPOOL pool, DWORD usage);
  ~Texture() override;

  Device* device_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  DWORD usage_;
  std::vector<Surface*> levels_;
  std::atomic<ULONG> refs_{1};
};

class Device final : public IDirect3DDevice8 {
 public:
  explicit Device(const DeviceConfig& config = {});
  ~Device() override;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // IDirect3DDevice8. The host owns the device: its reference count is kept for the
  // callers' balance but never destroys it.
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
  BOOL ShowCursor(BOOL show) override;
  HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture8** texture) override;
  HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                             BOOL lockable, IDirect3DSurface8** surface) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                    D3DMULTISAMPLE_TYPE multiSample, IDirect3DSurface8** surface) override;
  HRESULT CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count, IDirect3DSurface8* destination,
                    const POINT* points) override;
  HRESULT SetRenderTarget(IDirect3DSurface8* colour, IDirect3DSurface8* depth) override;
  HRESULT GetRenderTarget(IDirect3DSurface8** surface) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                DWORD stencil) override;
  HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT8* viewport) override;

  // The cache of the surfaces (null: none); the device does not own it.
  void SetCache(SurfaceCache* cache) { cache_ = cache; }
  SurfaceCache* Cache() const { return cache_; }

  // Configuration
  void SetCaps(const D3DCAPS8& caps);
  const D3DCAPS8& Caps() const { return caps_; }
  // Texture and render-target formats the device refuses (all known formats by default).
  void SetFormatSupported(D3DFORMAT format, bool supported);
  // CreateTexture asked for `asked` makes a texture of `given` instead, as a card without the
  // asked format does (X8R8G8B8 as A1R5G5B5 for a 16-bit card); given == asked undoes it.
  void SubstituteTextureFormat(D3DFORMAT asked, D3DFORMAT given);
  // The next `times` calls (-1: every call) after `skip` successful ones fail with `result`.
  void FailCall(DeviceCall call, HRESULT result = E_FAIL, int times = 1, int skip = 0);
  void ClearFailures();

  // Device loss: Lose() puts the back buffer and the automatic depth buffer back as targets.
  // Reset() succeeds only when no default-pool resource and no outside reference to the back
  // or depth buffer is left; it then makes both buffers anew (0: keep that size).
  void Lose();
  HRESULT Reset(UINT width = 0, UINT height = 0);
  bool IsLost() const { return lost_; }
  // Why the last Reset failed ("" after a success).
  const std::string& ResetError() const { return resetError_; }

  // Inspection
  Surface* BackBuffer() const { return backBuffer_; }
  Surface* AutoDepth() const { return autoDepth_; }
  Surface* CurrentRenderTarget() const { return renderTarget_; }
  Surface* CurrentDepthStencil() const { return depthStencil_; }
  bool InScene() const { return inScene_; }
  bool CursorVisible() const { return cursorVisible_; }
  ULONG RefCount() const { return refs_.load(); }
  // Live textures and stand-alone surfaces (render targets, depth surfaces) per pool; the
  // back buffer and the automatic depth buffer are not counted.
  size_t LiveTextures(D3DPOOL pool) const;
  size_t LiveSurfaces(D3DPOOL pool) const;
  size_t LiveResources(D3DPOOL pool) const { return LiveTextures(pool) + LiveSurfaces(pool); }
  size_t LiveResources() const;
  size_t Calls(DeviceCall call) const { return calls_[static_cast<size_t>(call)].load(); }
  size_t TexturesCreated() const { return texturesCreated_.load(); }

  // Used by the resources.
  HRESULT Check(DeviceCall call);
  void Forget(Texture* texture);
  void Forget(Surface* surface);

 private:
  struct Failure {
    HRESULT result = S_OK;
    int times = 0;
    int skip = 0;
  };

  static Surface* AsSurface(IDirect3DSurface8* surface);
  bool Supported(D3DFORMAT format) const;
  void MakeImplicitBuffers(UINT width, UINT height);
  void Bind(Surface** slot, Surface* surface);
  void FullViewport();

  DeviceConfig config_;
  SurfaceCache* cache_ = nullptr;
  D3DCAPS8 caps_;
  std::set<D3DFORMAT> unsupported_;
  std::map<D3DFORMAT, D3DFORMAT> substitutes_;
  mutable std::mutex mutex_;  // resource sets, counters and failures
  std::set<Texture*> textures_;
  std::set<Surface*> surfaces_;
  std::array<Failure, static_cast<size_t>(DeviceCall::kCount)> failures_{};
  std::array<std::atomic<size_t>, static_cast<size_t>(DeviceCall::kCount)> calls_{};
  std::atomic<size_t> texturesCreated_{0};
  std::atomic<ULONG> refs_{1};

  Surface* backBuffer_ = nullptr;
  Surface* autoDepth_ = nullptr;
  Surface* renderTarget_ = nullptr;  // referenced
  Surface* depthStencil_ = nullptr;  // referenced
  D3DVIEWPORT8 viewport_{};
  bool inScene_ = false;
  bool cursorVisible_ = true;
  bool lost_ = false;
  std::string resetError_;
};

}  // namespace host
