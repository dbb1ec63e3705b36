#include "host/d3d_device.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "d3d8/pixel_format.h"

namespace host {
namespace {

bool IsPow2(UINT v) { return v && (v & (v - 1)) == 0; }

UINT FullChain(UINT width, UINT height) {
  UINT levels = 1;
  while (width > 1 || height > 1) {
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
    ++levels;
  }
  return levels;
}

// The part of `r` inside [0, w) x [0, h); empty when they do not meet.
RECT Intersect(RECT r, LONG w, LONG h) {
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, w);
  r.bottom = std::min<LONG>(r.bottom, h);
  return r;
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Little-endian pixels of 1 to 4 bytes, inline for the fill loops.
inline void Store(uint8_t* at, UINT bytes, uint32_t value) {
  for (UINT i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint32_t Load(const uint8_t* at, UINT bytes) {
  uint32_t v = 0;
  for (UINT i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
  return v;
}

// (old & keep) | set over whole rows of one pixel type; memcpy keeps the loads aligned-agnostic
// and lets the compiler vector the loop. Pixels are stored little-endian, as the host is.
static_assert(std::endian::native == std::endian::little, "pixels are stored little-endian");
template <typename Pixel>
void MaskRows(uint8_t* first, size_t pitch, size_t width, size_t rows, uint32_t keep, uint32_t set) {
  const Pixel k = static_cast<Pixel>(keep), v = static_cast<Pixel>(set);
  for (size_t y = 0; y < rows; ++y) {
    uint8_t* row = first + y * pitch;
    for (size_t x = 0; x < width; ++x) {
      Pixel p;
      std::memcpy(&p, row + x * sizeof(Pixel), sizeof p);
      p = static_cast<Pixel>((p & k) | v);
      std::memcpy(row + x * sizeof(Pixel), &p, sizeof p);
    }
  }
}

// Sets every pixel of `area` to (old & keep) | set. The value is encoded once: the first row is
// filled by doubling copies of its first pixel and, when no old bit survives, copied to the
// others; otherwise each pixel keeps its surviving bits under the mask.
void FillRows(Surface* surface, const RECT& area, UINT bytes, uint32_t keep, uint32_t set) {
  if (Empty(area) || bytes == 0 || bytes > 4) return;
  uint8_t* bits = surface->Bits();
  const size_t pitch = surface->Pitch();
  const size_t width = static_cast<size_t>(area.right - area.left);
  const size_t rowBytes = width * bytes;
  uint8_t* first = bits + static_cast<size_t>(area.top) * pitch + static_cast<size_t>(area.left) * bytes;
  if (keep != 0) {
    const size_t rows = static_cast<size_t>(area.bottom - area.top);
    if (bytes == 4) {
      MaskRows<uint32_t>(first, pitch, width, rows, keep, set);
    } else if (bytes == 2) {
      MaskRows<uint16_t>(first, pitch, width, rows, keep, set);
    } else {
      for (size_t y = 0; y < rows; ++y)
        for (size_t x = 0; x < width; ++x) {
          uint8_t* at = first + y * pitch + x * bytes;
          Store(at, bytes, (Load(at, bytes) & keep) | set);
        }
    }
    return;
  }
  Store(first, bytes, set);
  for (size_t done = bytes; done < rowBytes;) {
    const size_t n = std::min(done, rowBytes - done);
    std::memcpy(first + done, first, n);
    done += n;
  }
  for (LONG y = area.top + 1; y < area.bottom; ++y)
    std::memcpy(first + static_cast<size_t>(y - area.top) * pitch, first, rowBytes);
}

}  // namespace

D3DCAPS8 DefaultCaps() {
  D3DCAPS8 caps{};
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.CursorCaps = D3DCURSORCAPS_COLOR;
  caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                     D3DPTEXTURECAPS_MIPMAP;
  caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                           D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                            D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
  caps.MaxTextureWidth = 4096;
  caps.MaxTextureHeight = 4096;
  caps.MaxTextureRepeat = 8192;
  caps.MaxTextureAspectRatio = 4096;
  caps.MaxAnisotropy = 1;
  caps.MaxVertexW = 1e10f;
  caps.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCRSAT |
                     D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT | D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR;
  caps.FVFCaps = 8;  // texture coordinate sets
  caps.MaxTextureBlendStages = 8;
  caps.MaxSimultaneousTextures = 4;
  caps.MaxActiveLights = 8;
  caps.MaxUserClipPlanes = 6;
  caps.MaxVertexBlendMatrices = 4;
  caps.MaxPointSize = 64.0f;
  caps.MaxPrimitiveCount = 0xFFFFF;
  caps.MaxVertexIndex = 0xFFFFFF;
  caps.MaxStreams = 16;
  caps.MaxStreamStride = 255;
  caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
  caps.MaxVertexShaderConst = 96;
  caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
  caps.MaxPixelShaderValue = 8.0f;
  return caps;
}

// ---- Surface ----------------------------------------------------------------------------

Surface::Surface(Device* device, Texture* container, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                 DWORD usage, bool lockable)
    : device_(device),
      container_(container),
      width_(width),
      height_(height),
      format_(format),
      pool_(pool),
      usage_(usage),
      lockable_(lockable),
      pitch_(d3dfmt::Pitch(format, width)),
      bits_(d3dfmt::LevelSize(format, width, height), 0) {}

ULONG Surface::AddRef() {
  if (container_) return container_->AddRef();
  return ++refs_;
}

ULONG Surface::Release() {
  if (container_) return container_->Release();
  const ULONG left = --refs_;
  if (left == 0) {
    if (device_) device_->Forget(this);
    delete this;
  }
  return left;
}

ULONG Surface::RefCount() const { return container_ ? container_->RefCount() : refs_.load(); }

HRESULT Surface::GetDevice(IDirect3DDevice8** device) {
  if (!device || !device_) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->Size = static_cast<UINT>(bits_.size());
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = width_;
  desc->Height = height_;
  return D3D_OK;
}

bool Surface::Lockable() const {
  d3dfmt::FormatInfo info;
  d3dfmt::Describe(format_, &info);
  if (info.depth) return format_ == D3DFMT_D16_LOCKABLE;
  if (container_) return pool_ != D3DPOOL_DEFAULT || (usage_ & D3DUSAGE_DYNAMIC);
  return lockable_;
}

bool Surface::Sync() const {
  SurfaceCache* cache = device_ ? device_->Cache() : nullptr;
  if (!cache || Fresh() != Freshness::Cache) return true;
  if (!cache->OnDrawingThread()) return false;
  cache->ReadBack(const_cast<Surface*>(this));
  return true;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (!locked) return D3DERR_INVALIDCALL;
  if (device_) {
    const HRESULT hr = device_->Check(DeviceCall::LockRect);
    if (FAILED(hr)) return hr;
  }
  if (!Lockable()) return D3DERR_INVALIDCALL;
  RECT r{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > r.right || rect->bottom > r.bottom || Empty(*rect))
      return D3DERR_INVALIDCALL;
    if (d3dfmt::IsCompressed(format_)) {
      auto aligned = [](LONG v, LONG end) { return v % 4 == 0 || v == end; };
      if (rect->left % 4 || rect->top % 4 || !aligned(rect->right, r.right) || !aligned(rect->bottom, r.bottom))
        return D3DERR_INVALIDCALL;
    }
    r = *rect;
  }
  // Another thread (the video decoder) cannot have the drawing thread read a newer mirror back.
  if (!Sync()) return D3DERR_INVALIDCALL;
  bool expected = false;
  if (!locked_.compare_exchange_strong(expected, true)) return D3DERR_INVALIDCALL;
  readOnlyLock_.store((flags & D3DLOCK_READONLY) != 0);
  d3dfmt::FormatInfo info;
  d3dfmt::Describe(format_, &info);
  size_t offset;
  if (info.blockBytes)
    offset = static_cast<size_t>(r.top / 4) * pitch_ + static_cast<size_t>(r.left / 4) * info.blockBytes;
  else
    offset = static_cast<size_t>(r.top) * pitch_ + static_cast<size_t>(r.left) * (info.bitsPerPixel / 8);
  locked->Pitch = static_cast<INT>(pitch_);
  locked->pBits = bits_.data() + offset;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  // Marked before the lock is let go, so an upload never sees an unlocked, unmarked write.
  if (locked_.load() && !readOnlyLock_.load()) SetFresh(Freshness::Cpu);
  bool expected = true;
  return locked_.compare_exchange_strong(expected, false) ? D3D_OK : D3DERR_INVALIDCALL;
}

uint32_t Surface::PixelValue(UINT x, UINT y) const {
  d3dfmt::FormatInfo info;
  if (x >= width_ || y >= height_ || !d3dfmt::Describe(format_, &info) || info.blockBytes) return 0;
  Sync();
  const UINT bytes = info.bitsPerPixel / 8;
  return d3dfmt::LoadPixel(bits_.data() + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * bytes, bytes);
}

uint32_t Surface::PixelArgb(UINT x, UINT y) const {
  d3dfmt::FormatInfo info;
  if (x >= width_ || y >= height_ || !d3dfmt::Describe(format_, &info) || !info.convertible) return 0;
  Sync();
  uint32_t argb = 0;
  if (info.blockBytes) {
    uint32_t block[16];
    const uint8_t* at = bits_.data() + static_cast<size_t>(y / 4) * pitch_ + static_cast<size_t>(x / 4) * info.blockBytes;
    d3dfmt::DecodeRect(format_, at, static_cast<int>(pitch_), 4, 4, block);
    argb = block[(y % 4) * 4 + (x % 4)];
  } else {
    const UINT bytes = info.bitsPerPixel / 8;
    d3dfmt::DecodeRect(format_, bits_.data() + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * bytes,
                       static_cast<int>(pitch_), 1, 1, &argb);
  }
  return argb;
}

float Surface::Depth(UINT x, UINT y) const { return d3dfmt::DecodeDepth(format_, PixelValue(x, y)); }
DWORD Surface::Stencil(UINT x, UINT y) const { return d3dfmt::DecodeStencil(format_, PixelValue(x, y)); }

// ---- Texture ----------------------------------------------------------------------------

Texture::Texture(Device* device, D3DFORMAT format, D3DPOOL pool, DWORD usage)
    : device_(device), format_(format), pool_(pool), usage_(usage) {}

Texture::~Texture() {
  for (Surface* level : levels_) delete level;
}

ULONG Texture::AddRef() { return ++refs_; }

ULONG Texture::Release() {
  const ULONG left = --refs_;
  if (left == 0) {
    if (device_) device_->Forget(this);
    delete this;
  }
  return left;
}

HRESULT Texture::GetDevice(IDirect3DDevice8** device) {
  if (!device || !device_) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  return levels_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  AddRef();
  *surface = levels_[level];
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  return levels_[level]->UnlockRect();
}

// ---- Device -----------------------------------------------------------------------------

Device::Device(const DeviceConfig& config) : config_(config), caps_(DefaultCaps()) {
  MakeImplicitBuffers(config_.width, config_.height);
}

Device::~Device() {
  Bind(&renderTarget_, nullptr);
  Bind(&depthStencil_, nullptr);
  std::set<Texture*> textures;
  std::set<Surface*> surfaces;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    textures.swap(textures_);
    surfaces.swap(surfaces_);
  }
  // Whatever is still referenced outlives the device and no longer reports to it.
  for (Texture* texture : textures) {
    texture->device_ = nullptr;
    for (Surface* level : texture->levels_) level->device_ = nullptr;
  }
  for (Surface* surface : surfaces) surface->device_ = nullptr;
  for (Surface* implicit : {backBuffer_, autoDepth_}) {
    if (!implicit) continue;
    implicit->device_ = nullptr;
    implicit->Release();
  }
}

ULONG Device::AddRef() { return ++refs_; }
ULONG Device::Release() {
  const ULONG now = refs_.load();
  if (now <= 1) return 1;  // the host's own reference stays
  return --refs_;
}

HRESULT Device::Check(DeviceCall call) {
  const size_t index = static_cast<size_t>(call);
  ++calls_[index];
  std::lock_guard<std::mutex> lock(mutex_);
  Failure& f = failures_[index];
  if (f.times == 0) return D3D_OK;
  if (f.skip > 0) {
    --f.skip;
    return D3D_OK;
  }
  if (f.times > 0) --f.times;
  return f.result;
}

void Device::FailCall(DeviceCall call, HRESULT result, int times, int skip) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_[static_cast<size_t>(call)] = Failure{result, times, skip};
}

void Device::ClearFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.fill(Failure{});
}

void Device::SetCaps(const D3DCAPS8& caps) { caps_ = caps; }

void Device::SetFormatSupported(D3DFORMAT format, bool supported) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (supported)
    unsupported_.erase(format);
  else
    unsupported_.insert(format);
}

void Device::SubstituteTextureFormat(D3DFORMAT asked, D3DFORMAT given) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (asked == given)
    substitutes_.erase(asked);
  else
    substitutes_[asked] = given;
}

bool Device::Supported(D3DFORMAT format) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return d3dfmt::Describe(format, nullptr) && unsupported_.count(format) == 0;
}

void Device::Forget(Texture* texture) {
  if (cache_) cache_->Forget(texture);
  std::lock_guard<std::mutex> lock(mutex_);
  textures_.erase(texture);
}

void Device::Forget(Surface* surface) {
  if (cache_) cache_->Forget(surface);
  std::lock_guard<std::mutex> lock(mutex_);
  surfaces_.erase(surface);
}

size_t Device::LiveTextures(D3DPOOL pool) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(textures_.begin(), textures_.end(),
                                           [pool](const Texture* t) { return t->pool_ == pool; }));
}

size_t Device::LiveSurfaces(D3DPOOL pool) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(surfaces_.begin(), surfaces_.end(),
                                           [pool](const Surface* s) { return s->pool_ == pool; }));
}

size_t Device::LiveResources() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return textures_.size() + surfaces_.size();
}

Surface* Device::AsSurface(IDirect3DSurface8* surface) { return dynamic_cast<Surface*>(surface); }

void Device::Bind(Surface** slot, Surface* surface) {
  if (surface) surface->AddRef();
  if (*slot) (*slot)->Release();
  *slot = surface;
}

void Device::FullViewport() {
  viewport_ = D3DVIEWPORT8{0, 0, renderTarget_ ? renderTarget_->width_ : 0,
                           renderTarget_ ? renderTarget_->height_ : 0, 0.0f, 1.0f};
}

void Device::MakeImplicitBuffers(UINT width, UINT height) {
  backBuffer_ = new Surface(this, nullptr, width, height, config_.backBufferFormat, D3DPOOL_DEFAULT,
                            D3DUSAGE_RENDERTARGET, config_.lockableBackBuffer);
  autoDepth_ = nullptr;
  if (config_.depthFormat != D3DFMT_UNKNOWN)
    autoDepth_ = new Surface(this, nullptr, width, height, config_.depthFormat, D3DPOOL_DEFAULT,
                             D3DUSAGE_DEPTHSTENCIL, false);
  Bind(&renderTarget_, backBuffer_);
  Bind(&depthStencil_, autoDepth_);
  FullViewport();
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = caps_;
  return D3D_OK;
}

BOOL Device::ShowCursor(BOOL show) {
  const BOOL before = cursorVisible_ ? TRUE : FALSE;
  cursorVisible_ = show != FALSE;
  return before;
}

HRESULT Device::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const HRESULT hr = Check(DeviceCall::GetBackBuffer);
  if (FAILED(hr)) return hr;
  if (index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
  backBuffer_->AddRef();
  *surface = backBuffer_;
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture8** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  const HRESULT hr = Check(DeviceCall::CreateTexture);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto substitute = substitutes_.find(format);
    if (substitute != substitutes_.end()) format = substitute->second;
  }
  d3dfmt::FormatInfo info;
  if (width == 0 || height == 0 || !Supported(format) || !d3dfmt::Describe(format, &info) || info.depth)
    return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SYSTEMMEM || (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) != 0) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && (pool != D3DPOOL_DEFAULT || d3dfmt::IsCompressed(format)))
    return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight) return D3DERR_INVALIDCALL;
  if ((caps_.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return D3DERR_INVALIDCALL;
  if ((caps_.TextureCaps & D3DPTEXTURECAPS_POW2) && (!IsPow2(width) || !IsPow2(height)) &&
      !((caps_.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && levels == 1))
    return D3DERR_INVALIDCALL;
  const UINT chain = FullChain(width, height);
  if (levels > chain) return D3DERR_INVALIDCALL;
  if (levels == 0) levels = (caps_.TextureCaps & D3DPTEXTURECAPS_MIPMAP) ? chain : 1;
  if (levels > 1 && !(caps_.TextureCaps & D3DPTEXTURECAPS_MIPMAP)) return D3DERR_INVALIDCALL;

  Texture* made = nullptr;
  try {
    made = new Texture(this, format, pool, usage);
    for (UINT i = 0; i < levels; ++i)
      made->levels_.push_back(new Surface(this, made, std::max(1u, width >> i), std::max(1u, height >> i), format,
                                          pool, usage, true));
  } catch (const std::bad_alloc&) {
    delete made;
    return E_OUTOFMEMORY;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    textures_.insert(made);
  }
  ++texturesCreated_;
  *texture = made;
  return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   BOOL lockable, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const HRESULT hr = Check(DeviceCall::CreateRenderTarget);
  if (FAILED(hr)) return hr;
  d3dfmt::FormatInfo info;
  if (width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE || !Supported(format) ||
      !d3dfmt::Describe(format, &info) || info.depth || info.blockBytes || !info.convertible)
    return D3DERR_INVALIDCALL;
  if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight) return D3DERR_INVALIDCALL;
  Surface* made = nullptr;
  try {
    made = new Surface(this, nullptr, width, height, format, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, lockable != FALSE);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    surfaces_.insert(made);
  }
  *surface = made;
  return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const HRESULT hr = Check(DeviceCall::CreateDepthStencilSurface);
  if (FAILED(hr)) return hr;
  d3dfmt::FormatInfo info;
  if (width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE || !Supported(format) ||
      !d3dfmt::Describe(format, &info) || !info.depth)
    return D3DERR_INVALIDCALL;
  if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight) return D3DERR_INVALIDCALL;
  Surface* made = nullptr;
  try {
    made = new Surface(this, nullptr, width, height, format, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    surfaces_.insert(made);
  }
  *surface = made;
  return D3D_OK;
}

HRESULT Device::CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count, IDirect3DSurface8* destination,
                          const POINT* points) {
  const HRESULT hr = Check(DeviceCall::CopyRects);
  if (FAILED(hr)) return hr;
  Surface* src = AsSurface(source);
  Surface* dst = AsSurface(destination);
  if (!src || !dst || src == dst || src->device_ != this || dst->device_ != this) return D3DERR_INVALIDCALL;
  d3dfmt::FormatInfo info;
  if (src->format_ != dst->format_ || !d3dfmt::Describe(src->format_, &info) || info.depth) return D3DERR_INVALIDCALL;
  if (src->Locked() || dst->Locked()) return D3DERR_INVALIDCALL;
  const RECT whole{0, 0, static_cast<LONG>(src->width_), static_cast<LONG>(src->height_)};
  const UINT n = rects ? count : 1;
  std::vector<RECT> from(n);
  std::vector<POINT> to(n);
  // Every rectangle is checked before anything is copied.
  for (UINT i = 0; i < n; ++i) {
    const RECT r = rects ? rects[i] : whole;
    const POINT p = points ? points[i] : POINT{r.left, r.top};
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    if (Empty(r) || r.left < 0 || r.top < 0 || r.right > whole.right || r.bottom > whole.bottom || p.x < 0 ||
        p.y < 0 || p.x + w > static_cast<LONG>(dst->width_) || p.y + h > static_cast<LONG>(dst->height_))
      return D3DERR_INVALIDCALL;
    if (info.blockBytes && (r.left % 4 || r.top % 4 || p.x % 4 || p.y % 4)) return D3DERR_INVALIDCALL;
    from[i] = r;
    to[i] = p;
  }
  // A source drawn in the cache is copied there, neither read back nor sent up again.
  if (cache_ && cache_->Copy(src, from.data(), to.data(), n, dst)) return D3D_OK;
  // The destination is read back too: the copy may cover only part of it.
  if (!src->Sync() || !dst->Sync()) return D3DERR_INVALIDCALL;
  for (UINT i = 0; i < n; ++i) {
    const RECT r = from[i];
    const POINT p = to[i];
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    if (info.blockBytes) {
      const size_t rowBytes = static_cast<size_t>((w + 3) / 4) * info.blockBytes;
      for (LONG row = 0; row < (h + 3) / 4; ++row)
        std::memcpy(dst->bits_.data() + static_cast<size_t>(p.y / 4 + row) * dst->pitch_ +
                        static_cast<size_t>(p.x / 4) * info.blockBytes,
                    src->bits_.data() + static_cast<size_t>(r.top / 4 + row) * src->pitch_ +
                        static_cast<size_t>(r.left / 4) * info.blockBytes,
                    rowBytes);
    } else {
      const size_t bytes = info.bitsPerPixel / 8;
      for (LONG row = 0; row < h; ++row)
        std::memcpy(dst->bits_.data() + static_cast<size_t>(p.y + row) * dst->pitch_ + p.x * bytes,
                    src->bits_.data() + static_cast<size_t>(r.top + row) * src->pitch_ + r.left * bytes,
                    static_cast<size_t>(w) * bytes);
    }
  }
  dst->SetFresh(Freshness::Cpu);
  return D3D_OK;
}

HRESULT Device::SetRenderTarget(IDirect3DSurface8* colour, IDirect3DSurface8* depth) {
  const HRESULT hr = Check(DeviceCall::SetRenderTarget);
  if (FAILED(hr)) return hr;
  Surface* target = colour ? AsSurface(colour) : renderTarget_;
  Surface* zs = depth ? AsSurface(depth) : nullptr;
  if (!target || target->device_ != this || !(target->usage_ & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
  if (depth) {
    if (!zs || zs->device_ != this || !(zs->usage_ & D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    if (zs->width_ < target->width_ || zs->height_ < target->height_) return D3DERR_INVALIDCALL;
  }
  Bind(&renderTarget_, target);
  Bind(&depthStencil_, zs);
  FullViewport();
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const HRESULT hr = Check(DeviceCall::GetRenderTarget);
  if (FAILED(hr)) return hr;
  renderTarget_->AddRef();
  *surface = renderTarget_;
  return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const HRESULT hr = Check(DeviceCall::GetDepthStencilSurface);
  if (FAILED(hr)) return hr;
  if (!depthStencil_) return D3DERR_NOTFOUND;
  depthStencil_->AddRef();
  *surface = depthStencil_;
  return D3D_OK;
}

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  const HRESULT hr = Check(DeviceCall::Clear);
  if (FAILED(hr)) return hr;
  const DWORD known = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
  if (flags == 0 || (flags & ~known) || (count && !rects)) return D3DERR_INVALIDCALL;
  d3dfmt::FormatInfo depthInfo;
  if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) {
    if (!depthStencil_ || !d3dfmt::Describe(depthStencil_->format_, &depthInfo)) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !depthInfo.stencil) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
  }
  d3dfmt::FormatInfo targetInfo;
  d3dfmt::Describe(renderTarget_->format_, &targetInfo);
  if ((flags & D3DCLEAR_TARGET) && (!targetInfo.convertible || targetInfo.blockBytes)) return D3DERR_INVALIDCALL;

  const RECT view = Intersect(RECT{static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
                                   static_cast<LONG>(viewport_.X + viewport_.Width),
                                   static_cast<LONG>(viewport_.Y + viewport_.Height)},
                              static_cast<LONG>(renderTarget_->width_), static_cast<LONG>(renderTarget_->height_));
  std::vector<RECT> areas;
  if (count == 0) {
    areas.push_back(view);
  } else {
    for (DWORD i = 0; i < count; ++i) {
      RECT r{std::max(rects[i].x1, view.left), std::max(rects[i].y1, view.top), std::min(rects[i].x2, view.right),
             std::min(rects[i].y2, view.bottom)};
      areas.push_back(r);
    }
  }
  if (cache_ && cache_->Clear(areas, flags, colour, z, stencil)) return D3D_OK;
  if (flags & D3DCLEAR_TARGET) {
    if (!renderTarget_->Sync()) return D3DERR_INVALIDCALL;
    renderTarget_->SetFresh(Freshness::Cpu);
  }
  if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) {
    if (!depthStencil_->Sync()) return D3DERR_INVALIDCALL;
    depthStencil_->SetFresh(Freshness::Cpu);
  }
  const uint32_t pixel = d3dfmt::EncodeColour(renderTarget_->format_, colour);
  // The depth-stencil value is encoded once: bits that come out the same from an old pixel of
  // all zeros and of all ones are written, the others survive.
  uint32_t depthKeep = 0, depthSet = 0;
  if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) {
    const bool writeDepth = (flags & D3DCLEAR_ZBUFFER) != 0, writeStencil = (flags & D3DCLEAR_STENCIL) != 0;
    const uint32_t fromZeros = d3dfmt::EncodeDepthStencil(depthStencil_->format_, 0, z, stencil, writeDepth, writeStencil);
    const uint32_t fromOnes =
        d3dfmt::EncodeDepthStencil(depthStencil_->format_, 0xFFFFFFFFu, z, stencil, writeDepth, writeStencil);
    depthKeep = fromZeros ^ fromOnes;
    depthSet = fromZeros & ~depthKeep;
    if (depthInfo.bitsPerPixel < 32) depthKeep &= (1u << depthInfo.bitsPerPixel) - 1u;
  }
  for (const RECT& area : areas) {
    if (Empty(area)) continue;
    if (flags & D3DCLEAR_TARGET) FillRows(renderTarget_, area, targetInfo.bitsPerPixel / 8, 0, pixel);
    if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) {
      const RECT d = Intersect(area, static_cast<LONG>(depthStencil_->width_), static_cast<LONG>(depthStencil_->height_));
      FillRows(depthStencil_, d, depthInfo.bitsPerPixel / 8, depthKeep, depthSet);
    }
  }
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* viewport) {
  if (!viewport || viewport->Width == 0 || viewport->Height == 0) return D3DERR_INVALIDCALL;
  const uint64_t right = static_cast<uint64_t>(viewport->X) + viewport->Width;
  const uint64_t bottom = static_cast<uint64_t>(viewport->Y) + viewport->Height;
  if (right > renderTarget_->width_ || bottom > renderTarget_->height_) return D3DERR_INVALIDCALL;
  if (!(viewport->MinZ >= 0.0f && viewport->MinZ <= 1.0f && viewport->MaxZ >= 0.0f && viewport->MaxZ <= 1.0f))
    return D3DERR_INVALIDCALL;
  viewport_ = *viewport;
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

void Device::Lose() {
  lost_ = true;
  inScene_ = false;
  Bind(&renderTarget_, backBuffer_);
  Bind(&depthStencil_, autoDepth_);
  FullViewport();
}

HRESULT Device::Reset(UINT width, UINT height) {
  resetError_.clear();
  const HRESULT hr = Check(DeviceCall::Reset);
  if (FAILED(hr)) {
    resetError_ = "reset refused";
    return hr;
  }
  // The present targets go back to the device's own buffers first.
  Bind(&renderTarget_, backBuffer_);
  Bind(&depthStencil_, autoDepth_);
  const size_t live = LiveResources(D3DPOOL_DEFAULT);
  if (live) {
    resetError_ = std::to_string(live) + " default-pool resource(s) still alive";
    return D3DERR_INVALIDCALL;
  }
  // Our own reference plus the binding: anything above is held outside.
  if (backBuffer_->refs_.load() > 2 || (autoDepth_ && autoDepth_->refs_.load() > 2)) {
    resetError_ = "the back buffer or the depth buffer is still referenced";
    return D3DERR_INVALIDCALL;
  }
  Bind(&renderTarget_, nullptr);
  Bind(&depthStencil_, nullptr);
  backBuffer_->Release();
  if (autoDepth_) autoDepth_->Release();
  if (width) config_.width = width;
  if (height) config_.height = height;
  MakeImplicitBuffers(config_.width, config_.height);
  inScene_ = false;
  lost_ = false;
  return D3D_OK;
}

}  // namespace host
