#include "host/renderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

#include "d3d8/pixel_format.h"
#include "d3dx8/d3dx8tex.h"
#include "host/d3d_names.h"
#include "host/file_bytes.h"
#include "win32/file_system.h"

namespace host {
namespace {

constexpr size_t kMaxLogLines = 10000;

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

D3DVECTOR Sub(const D3DVECTOR& a, const D3DVECTOR& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3DVECTOR Cross(const D3DVECTOR& a, const D3DVECTOR& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3DVECTOR Normalize(const D3DVECTOR& v) {
  const float length = std::sqrt(Dot(v, v));
  if (!(length > 0.0f)) return {0.0f, 0.0f, 0.0f};
  return {v.x / length, v.y / length, v.z / length};
}

// The left-handed look-at view matrix.
D3DMATRIX LookAtLH(const D3DVECTOR& eye, const D3DVECTOR& at, const D3DVECTOR& up) {
  const D3DVECTOR z = Normalize(Sub(at, eye));
  const D3DVECTOR x = Normalize(Cross(up, z));
  const D3DVECTOR y = Cross(z, x);
  D3DMATRIX m = Identity();
  m._11 = x.x, m._12 = y.x, m._13 = z.x;
  m._21 = x.y, m._22 = y.y, m._23 = z.y;
  m._31 = x.z, m._32 = y.z, m._33 = z.z;
  m._41 = -Dot(x, eye), m._42 = -Dot(y, eye), m._43 = -Dot(z, eye);
  return m;
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string Utf8(const wchar_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u32string Utf32(const wchar_t* text, size_t length) {
  std::u32string out;
  for (size_t i = 0; i < length; ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    out += static_cast<char32_t>(c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c);
  }
  return out;
}

// The UTF-8 of a recorded text back as code points; a broken sequence is U+FFFD.
std::u32string Utf32(const std::string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    out += static_cast<char32_t>(ok ? c : 0xFFFD);
    i += ok ? static_cast<size_t>(extra) + 1 : 1;
  }
  return out;
}

bool ValidPrimitive(DWORD type) { return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN; }

}  // namespace

// ---- DrawRecord -----------------------------------------------------------------------

const uint8_t* DrawRecord::Vertex(UINT index) const {
  const uint64_t vertex = static_cast<uint64_t>(baseVertex) + index;
  if (vertex < firstVertex || vertex - firstVertex >= vertexCount || stride == 0) return nullptr;
  const size_t at = static_cast<size_t>(vertex - firstVertex) * stride;
  return at + stride <= vertices.size() ? vertices.data() + at : nullptr;
}

float DrawRecord::VertexFloat(UINT index, UINT offset) const {
  const uint8_t* v = Vertex(index);
  if (!v || offset + 4 > stride) return 0.0f;
  float f;
  std::memcpy(&f, v + offset, sizeof f);
  return f;
}

uint32_t DrawRecord::VertexDword(UINT index, UINT offset) const {
  const uint8_t* v = Vertex(index);
  if (!v || offset + 4 > stride) return 0;
  return d3dfmt::LoadPixel(v + offset, 4);
}

DrawnVertices VerticesOf(const DrawRecord& record) {
  return DrawnVertices{record.firstVertex, record.vertexCount, static_cast<INT>(record.baseVertex)};
}

StageBinding SaveStage(IRenderer* renderer, DWORD stage) {
  StageBinding binding;
  binding.saved = true;
  if (auto* own = dynamic_cast<Renderer*>(renderer)) {
    binding.handle = own->StageTextureHandle(stage);
    binding.texture = own->StageTexture(stage);
    if (binding.texture != nullptr) binding.texture->AddRef();
  }
  return binding;
}

void RestoreStage(IRenderer* renderer, DWORD stage, StageBinding& binding) {
  if (!binding.saved) return;
  if (binding.handle >= 0)
    renderer->SetTexture(stage, binding.handle);
  else if (binding.texture != nullptr)
    renderer->SetBaseTexture(stage, binding.texture);
  else
    renderer->SetTexture(stage, -1);
  if (binding.texture != nullptr) binding.texture->Release();
  binding = StageBinding{};
}

// ---- Construction -------------------------------------------------------------------------

Renderer::Renderer(const RendererConfig& config) : device_(config.device), config_(config) {
  DWORD* rs = renderStates_.data();
  rs[D3DRS_ZENABLE] = config.device.depthFormat != D3DFMT_UNKNOWN ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRS_ZWRITEENABLE] = TRUE;
  rs[D3DRS_LASTPIXEL] = TRUE;
  // The standing state: the device's defaults but for what the module counts on without
  // setting it, alpha-tested and alpha-blended, unlit draws. ALPHAFUNC is GREATEREQUAL, as
  // under ALWAYS the alpha references the module sets (1, 224) would cut nothing.
  rs[D3DRS_ALPHATESTENABLE] = TRUE;
  rs[D3DRS_ALPHAREF] = 1;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_GREATEREQUAL;
  rs[D3DRS_ALPHABLENDENABLE] = TRUE;
  rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
  rs[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_FOGSTART] = FloatBits(0.0f);
  rs[D3DRS_FOGEND] = FloatBits(1.0f);
  rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILMASK] = 0xFFFFFFFFu;
  rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
  rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  rs[D3DRS_CLIPPING] = TRUE;
  rs[D3DRS_LIGHTING] = FALSE;
  rs[D3DRS_COLORVERTEX] = TRUE;
  rs[D3DRS_LOCALVIEWER] = TRUE;
  rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
  rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
  rs[D3DRS_POINTSIZE_MIN] = FloatBits(0.0f);
  rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
  rs[D3DRS_POINTSCALE_B] = FloatBits(0.0f);
  rs[D3DRS_POINTSCALE_C] = FloatBits(0.0f);
  rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
  rs[D3DRS_PATCHSEGMENTS] = FloatBits(1.0f);
  rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
  rs[D3DRS_COLORWRITEENABLE] = 0x0000000Fu;
  rs[D3DRS_TWEENFACTOR] = FloatBits(0.0f);
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  rs[D3DRS_POSITIONORDER] = D3DORDER_CUBIC;
  rs[D3DRS_NORMALORDER] = D3DORDER_LINEAR;

  for (DWORD s = 0; s < kRendererStages; ++s) {
    auto& st = stageStates_[s];
    st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    st[D3DTSS_TEXCOORDINDEX] = s;
    st[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
    st[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    st[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    st[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    st[D3DTSS_MAXANISOTROPY] = 1;
    st[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    st[D3DTSS_COLORARG0] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    st[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  }

  view_ = projection_ = Identity();
  textureTransforms_.fill(Identity());
  worlds_.fill(Identity());
  stageHandles_.fill(-1);
  stageTextures_.fill(nullptr);
  MakeDynamicBuffer();
  SetRasterizing(config.rasterize);
}

Renderer::~Renderer() {
  device_.SetCache(nullptr);
  for (IDirect3DTexture8*& texture : stageTextures_) {
    if (texture) texture->Release();
    texture = nullptr;
  }
  for (auto& entry : textures_) entry.second.texture->Release();
  textures_.clear();
}

// ---- Helpers ------------------------------------------------------------------------------

bool Renderer::Fails(RendererCall call) {
  int& left = failures_[static_cast<size_t>(call)];
  if (left == 0) return false;
  if (left > 0) --left;
  return true;
}

void Renderer::FailCall(RendererCall call, int times) { failures_[static_cast<size_t>(call)] = times; }
void Renderer::FailTexture(const std::string& name) { failingTextures_.insert(NameKey(name)); }
void Renderer::FailEffect(const std::string& name) { failingEffects_.insert(NameKey(name)); }
void Renderer::ClearFailures() {
  failures_.fill(0);
  failingTextures_.clear();
  failingEffects_.clear();
}

void Renderer::Warn(std::string text) {
  if (log_.size() < kMaxLogLines) log_.push_back(std::move(text));
}

std::string Renderer::NameKey(const std::string& name) {
  // A file name folds as the resolver finds files: "a\.\B.tga" and "A/b.TGA" are one texture.
  // A name it refuses never loads, and keeps its own spelling.
  std::string key = name;
  if (std::vector<std::string> parts; win32::PathComponents(name.c_str(), &parts)) {
    key.clear();
    for (const std::string& part : parts) key += (key.empty() ? "" : "/") + part;
  }
  for (char& c : key) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '\\') c = '/';
  }
  return key;
}

void Renderer::LogCall(RendererLogEntry entry) {
  if (!recording_) return;
  entry.tick = ticks_;
  callLog_.Add(entry);
}

std::vector<RendererLogEntry> Renderer::CallsOfTick(uint64_t tick) const {
  std::vector<RendererLogEntry> out;
  for (const RendererLogEntry& e : callLog_.All())
    if (e.tick == tick) out.push_back(e);
  return out;
}

std::string RendererLogEntry::Text() const {
  char line[512];
  switch (kind) {
    case Kind::State:
      std::snprintf(line, sizeof line, "%s = %u", RenderStateName(a).c_str(), b);
      break;
    case Kind::Stage:
      std::snprintf(line, sizeof line, "stage %u %s = 0x%x", a, StageStateName(b).c_str(), c);
      break;
    case Kind::Transform: {
      int n = std::snprintf(line, sizeof line, "%s", TransformName(a).c_str());
      for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4 && n < static_cast<int>(sizeof line); ++k)
          n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %g", matrix.m[r][k]);
      break;
    }
    case Kind::Texture:
      std::snprintf(line, sizeof line, "texture %u = %d", a, texture);
      break;
    case Kind::BaseTexture:
      std::snprintf(line, sizeof line, "texture %u = a texture object%s", a, texture == 0 ? " (none)" : "");
      break;
    case Kind::ClipPlane:
      std::snprintf(line, sizeof line, "clip plane %u = %g %g %g %g", a, values[0], values[1], values[2], values[3]);
      break;
    case Kind::Constant:
      std::snprintf(line, sizeof line, "vertex constants c%u x %u, c%u = %g %g %g %g", a, b, a, values[0], values[1],
                    values[2], values[3]);
      break;
    case Kind::Clear:
      std::snprintf(line, sizeof line, "clear flags 0x%x", a);
      break;
    case Kind::Draw:
      std::snprintf(line, sizeof line, "draw slot %u, %u primitives, vertex buffer %d", a, b, texture);
      break;
  }
  return std::string(line) + (accepted ? "" : " (refused)");
}

void Renderer::ClearRecords() {
  callLog_.Clear();
  draws_.Clear();
  texts_.Clear();
  clears_.Clear();
  log_.clear();
}

void Renderer::BeginFrame() {
  // The frame that ended is drawn before the next begins: one wait a frame bounds the work queued.
  if (rasterizer_) rasterizer_->Finish();
  draws_.BeginFrame();
  texts_.BeginFrame();
  clears_.BeginFrame();
  stateCalls_.BeginFrame();
  callLog_.BeginFrame();
}

// ---- Transforms -----------------------------------------------------------------------

D3DMATRIX* Renderer::TransformSlot(DWORD type) {
  if (type == D3DTS_VIEW) return &view_;
  if (type == D3DTS_PROJECTION) return &projection_;
  if (type >= D3DTS_TEXTURE0 && type <= D3DTS_TEXTURE7) return &textureTransforms_[type - D3DTS_TEXTURE0];
  if (type >= 256 && type < 512) return &worlds_[type - 256];
  return nullptr;
}

HRESULT Renderer::SetTransform(DWORD type, const D3DMATRIX* matrix) {
  D3DMATRIX* slot = TransformSlot(type);
  RendererLogEntry entry{RendererLogEntry::Kind::Transform};
  entry.a = type;
  if (matrix) entry.matrix = *matrix;
  if (!slot || !matrix) {
    entry.accepted = false;
    LogCall(entry);
    Warn("SetTransform: refused transform type " + std::to_string(type));
    return D3DERR_INVALIDCALL;
  }
  LogCall(entry);
  *slot = *matrix;
  StateChanged();
  return D3D_OK;
}

HRESULT Renderer::GetTransform(DWORD type, D3DMATRIX* matrix) {
  D3DMATRIX* slot = TransformSlot(type);
  if (!slot || !matrix) return D3DERR_INVALIDCALL;
  *matrix = *slot;
  return D3D_OK;
}

HRESULT Renderer::PushTransform(DWORD type) {
  D3DMATRIX* slot = TransformSlot(type);
  if (!slot) return D3DERR_INVALIDCALL;
  transformStacks_[type].push_back(*slot);
  return D3D_OK;
}

HRESULT Renderer::PopTransform(DWORD type) {
  D3DMATRIX* slot = TransformSlot(type);
  auto it = transformStacks_.find(type);
  if (!slot || it == transformStacks_.end() || it->second.empty()) {
    Warn("PopTransform: nothing pushed for transform type " + std::to_string(type));
    return D3DERR_INVALIDCALL;
  }
  *slot = it->second.back();
  it->second.pop_back();
  StateChanged();
  return D3D_OK;
}

size_t Renderer::TransformDepth(DWORD type) const {
  auto it = transformStacks_.find(type);
  return it == transformStacks_.end() ? 0 : it->second.size();
}

void Renderer::SetLookAt(const D3DVECTOR* eye, const D3DVECTOR* at, const D3DVECTOR* up) {
  if (!eye || !at || !up) return;
  ++lookAtCalls_;
  lookAt_.eye = *eye;
  lookAt_.at = *at;
  lookAt_.up = *up;
  lookAt_.view = LookAtLH(*eye, *at, *up);
  lookAt_.set = true;
  view_ = lookAt_.view;
  StateChanged();
}

void Renderer::GetLookAt(D3DVECTOR* eye, D3DVECTOR* at, D3DVECTOR* up) {
  D3DVECTOR e, a, u;
  if (lookAt_.set && SameMatrix(lookAt_.view, view_)) {
    e = lookAt_.eye, a = lookAt_.at, u = lookAt_.up;
  } else {
    // The view was set some other way: its axes and its eye, one unit of sight ahead.
    const D3DVECTOR x{view_._11, view_._21, view_._31}, y{view_._12, view_._22, view_._32},
        z{view_._13, view_._23, view_._33};
    e = {-(view_._41 * x.x + view_._42 * y.x + view_._43 * z.x), -(view_._41 * x.y + view_._42 * y.y + view_._43 * z.y),
         -(view_._41 * x.z + view_._42 * y.z + view_._43 * z.z)};
    a = {e.x + z.x, e.y + z.y, e.z + z.z};
    u = y;
  }
  if (eye) *eye = e;
  if (at) *at = a;
  if (up) *up = u;
}

// ---- States ---------------------------------------------------------------------------------

HRESULT Renderer::SetRenderState(DWORD state, DWORD value) {
  if (state >= kRendererRenderStates) {
    Warn("SetRenderState: unknown state " + std::to_string(state));
    return D3DERR_INVALIDCALL;
  }
  renderStates_[state] = value;
  StateChanged();
  stateCalls_.Add({state, value});
  LogCall(RendererLogEntry{RendererLogEntry::Kind::State, 0, state, value});
  return D3D_OK;
}

DWORD Renderer::GetRenderState(DWORD state) { return state < kRendererRenderStates ? renderStates_[state] : 0; }

HRESULT Renderer::SetTextureStageState(DWORD stage, DWORD type, DWORD value) {
  if (stage >= kRendererStages || type == 0 || type >= kRendererStageStates) {
    Warn("SetTextureStageState: refused stage " + std::to_string(stage) + " type " + std::to_string(type));
    return D3DERR_INVALIDCALL;
  }
  LogCall(RendererLogEntry{RendererLogEntry::Kind::Stage, 0, stage, type, value});
  stageStates_[stage][type] = value;
  StateChanged();
  return D3D_OK;
}

DWORD Renderer::GetTextureStageState(DWORD stage, DWORD type) {
  return stage < kRendererStages && type < kRendererStageStates ? stageStates_[stage][type] : 0;
}

HRESULT Renderer::SetVertexShader(DWORD fvf) {
  vertexShader_ = fvf;
  StateChanged();
  return D3D_OK;
}

HRESULT Renderer::SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) {
  if (!data || reg > kRendererVertexConstants || count > kRendererVertexConstants - reg) return D3DERR_INVALIDCALL;
  RendererLogEntry entry{RendererLogEntry::Kind::Constant, 0, reg, count};
  if (count > 0) std::memcpy(entry.values, data, sizeof entry.values);
  LogCall(entry);
  std::memcpy(&vertexConstants_[reg * 4], data, static_cast<size_t>(count) * 4 * sizeof(float));
  StateChanged();
  return D3D_OK;
}

HRESULT Renderer::SetPixelShaderConstant(DWORD reg, const void* data, DWORD count) {
  if (!data || reg > kRendererPixelConstants || count > kRendererPixelConstants - reg) return D3DERR_INVALIDCALL;
  std::memcpy(&pixelConstants_[reg * 4], data, static_cast<size_t>(count) * 4 * sizeof(float));
  StateChanged();
  return D3D_OK;
}

const float* Renderer::VertexConstant(DWORD reg) const {
  return reg < kRendererVertexConstants ? &vertexConstants_[reg * 4] : nullptr;
}
const float* Renderer::PixelConstant(DWORD reg) const {
  return reg < kRendererPixelConstants ? &pixelConstants_[reg * 4] : nullptr;
}

HRESULT Renderer::SetClipPlane(DWORD index, const float* plane) {
  if (!plane || index >= std::min<DWORD>(kRendererClipPlanes, device_.Caps().MaxUserClipPlanes))
    return D3DERR_INVALIDCALL;
  RendererLogEntry entry{RendererLogEntry::Kind::ClipPlane, 0, index};
  std::copy(plane, plane + 4, entry.values);
  LogCall(entry);
  std::copy(plane, plane + 4, clipPlanes_[index].begin());
  return D3D_OK;
}

const float* Renderer::ClipPlane(DWORD index) const {
  return index < kRendererClipPlanes ? clipPlanes_[index].data() : nullptr;
}

// ---- Lights ---------------------------------------------------------------------------------

HRESULT Renderer::SetLight(DWORD index, const D3DLIGHT8* light) {
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
  if (light->Type != D3DLIGHT_POINT && Dot(light->Direction, light->Direction) == 0.0f) return D3DERR_INVALIDCALL;
  lights_[index].light = *light;
  StateChanged();
  return D3D_OK;
}

HRESULT Renderer::LightEnable(DWORD index, BOOL enable) {
  auto it = lights_.find(index);
  if (it == lights_.end()) {
    // A light enabled before it was set is a white directional light along +z.
    LightSlot slot;
    slot.light.Type = D3DLIGHT_DIRECTIONAL;
    slot.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    slot.light.Direction = {0.0f, 0.0f, 1.0f};
    it = lights_.emplace(index, slot).first;
  }
  if (enable && !it->second.enabled) {
    size_t on = 0;
    for (const auto& entry : lights_) on += entry.second.enabled ? 1 : 0;
    if (on >= device_.Caps().MaxActiveLights) {
      Warn("LightEnable: more lights than the device can enable");
      return D3DERR_INVALIDCALL;
    }
  }
  it->second.enabled = enable != FALSE;
  StateChanged();
  return D3D_OK;
}

const D3DLIGHT8* Renderer::Light(DWORD index) const {
  auto it = lights_.find(index);
  return it == lights_.end() ? nullptr : &it->second.light;
}

bool Renderer::LightEnabled(DWORD index) const {
  auto it = lights_.find(index);
  return it != lights_.end() && it->second.enabled;
}

// ---- Textures -------------------------------------------------------------------------------

int Renderer::LoadTexture(const char* fileName, DWORD flags) {
  (void)flags;
  if (!fileName || !*fileName) return -1;
  const std::string key = NameKey(fileName);
  if (Fails(RendererCall::LoadTexture) || failingTextures_.count(key)) {
    Warn(std::string("LoadTexture: refused ") + fileName);
    return -1;
  }
  auto known = textureByName_.find(key);
  if (known != textureByName_.end()) {
    ++textures_[known->second].loads;
    ++textureLoads_;
    return known->second;
  }
  const std::string path = win32::ResolvePath(win32::GetResourceRoot(), fileName, win32::PathMode::Read);
  std::vector<uint8_t> bytes;
  if (path.empty()) {
    Warn(std::string("LoadTexture: no file ") + fileName + " under the resource root");
    return -1;
  }
  std::string error;
  if (!ReadFileBytes(path, "texture", d3dx8::kMaxImageFileBytes, &bytes, &error) || bytes.empty()) {
    Warn("LoadTexture: " + (error.empty() ? std::string("empty texture file ") + path : error) + " (" + fileName + ")");
    return -1;
  }
  IDirect3DTexture8* texture = nullptr;
  const HRESULT hr =
      D3DXCreateTextureFromFileInMemory(&device_, bytes.data(), static_cast<UINT>(bytes.size()), &texture);
  if (FAILED(hr) || !texture) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
    Warn(std::string("LoadTexture: cannot decode ") + fileName + " (" + code + ")");
    return -1;
  }
  const int handle = nextTexture_++;
  textures_[handle] = LoadedTexture{texture, fileName, 1};
  textureByName_[key] = handle;
  ++textureLoads_;
  return handle;
}

void Renderer::ReleaseTexture(int texture) {
  auto it = textures_.find(texture);
  if (it == textures_.end()) {
    if (texture >= 0) Warn("ReleaseTexture: unknown texture handle " + std::to_string(texture));
    return;
  }
  if (--it->second.loads > 0) return;
  textureByName_.erase(NameKey(it->second.name));
  it->second.texture->Release();
  textures_.erase(it);
}

IDirect3DTexture8* Renderer::GetTextureObject(int texture) {
  auto it = textures_.find(texture);
  return it == textures_.end() ? nullptr : it->second.texture;
}

std::string Renderer::TextureName(int texture) const {
  auto it = textures_.find(texture);
  return it == textures_.end() ? std::string() : it->second.name;
}

HRESULT Renderer::SetTexture(DWORD stage, int texture) {
  if (stage >= kRendererStages) return D3DERR_INVALIDCALL;
  RendererLogEntry entry{RendererLogEntry::Kind::Texture, 0, stage};
  entry.texture = texture < 0 ? -1 : texture;
  IDirect3DTexture8* object = nullptr;
  HRESULT hr = D3D_OK;
  if (texture >= 0) {
    object = GetTextureObject(texture);
    if (!object) {
      Warn("SetTexture: unknown texture handle " + std::to_string(texture));
      hr = D3DERR_INVALIDCALL;
      texture = -1;
    }
  } else {
    texture = -1;
  }
  entry.accepted = hr == D3D_OK;
  LogCall(entry);
  if (object) object->AddRef();
  if (stageTextures_[stage]) stageTextures_[stage]->Release();
  stageTextures_[stage] = object;
  stageHandles_[stage] = texture;
  StateChanged();
  return hr;
}

HRESULT Renderer::SetBaseTexture(DWORD stage, IDirect3DTexture8* texture) {
  if (stage >= kRendererStages) return D3DERR_INVALIDCALL;
  RendererLogEntry entry{RendererLogEntry::Kind::BaseTexture, 0, stage};
  entry.texture = texture != nullptr ? 1 : 0;
  LogCall(entry);
  if (texture) texture->AddRef();
  if (stageTextures_[stage]) stageTextures_[stage]->Release();
  stageTextures_[stage] = texture;
  stageHandles_[stage] = -1;
  for (const auto& entry : textures_)
    if (entry.second.texture == texture) stageHandles_[stage] = entry.first;
  StateChanged();
  return D3D_OK;
}

int Renderer::StageTextureHandle(DWORD stage) const { return stage < kRendererStages ? stageHandles_[stage] : -1; }
IDirect3DTexture8* Renderer::StageTexture(DWORD stage) const {
  return stage < kRendererStages ? stageTextures_[stage] : nullptr;
}

HRESULT Renderer::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture8** texture) {
  if (Fails(RendererCall::CreateTexture)) {
    if (texture != nullptr) *texture = nullptr;
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  return device_.CreateTexture(width, height, levels, usage, format, pool, texture);
}

HRESULT Renderer::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample, IDirect3DSurface8** surface) {
  return device_.CreateDepthStencilSurface(width, height, format, multiSample, surface);
}

HRESULT Renderer::GetSurfaceLevel(IDirect3DTexture8* texture, UINT level, IDirect3DSurface8** surface) {
  if (surface) *surface = nullptr;
  if (!texture || !surface) return D3DERR_INVALIDCALL;
  return texture->GetSurfaceLevel(level, surface);
}

HRESULT Renderer::CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count, IDirect3DSurface8* destination,
                            const POINT* points) {
  return device_.CopyRects(source, rects, count, destination, points);
}

// ---- Buffers --------------------------------------------------------------------------------

int Renderer::CreateVertexBuffer(DWORD fvf, UINT bytes, DWORD usage, DWORD pool) {
  if (Fails(RendererCall::CreateVertexBuffer) || bytes == 0 || pool > D3DPOOL_SYSTEMMEM) {
    Warn("CreateVertexBuffer: refused " + std::to_string(bytes) + " bytes");
    return -1;
  }
  Buffer buffer;
  buffer.fvf = fvf;
  buffer.usage = usage;
  buffer.pool = pool;
  return AddBuffer(std::move(buffer), bytes, "CreateVertexBuffer");
}

int Renderer::CreateIndexBuffer(UINT bytes, DWORD usage, DWORD pool, DWORD format) {
  if (Fails(RendererCall::CreateIndexBuffer) || bytes == 0 || pool > D3DPOOL_SYSTEMMEM ||
      (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
    Warn("CreateIndexBuffer: refused " + std::to_string(bytes) + " bytes, format " + std::to_string(format));
    return -1;
  }
  Buffer buffer;
  buffer.index = true;
  buffer.format = format;
  buffer.usage = usage;
  buffer.pool = pool;
  return AddBuffer(std::move(buffer), bytes, "CreateIndexBuffer");
}

int Renderer::AddBuffer(Buffer buffer, UINT bytes, const char* operation) {
  try {
    buffer.bytes.assign(bytes, 0);
  } catch (const std::bad_alloc&) {
    Warn(std::string(operation) + ": out of memory");
    return -1;
  }
  const int handle = nextBuffer_++;
  buffers_.emplace(handle, std::move(buffer));
  return handle;
}

Renderer::Buffer* Renderer::FindBuffer(int handle, bool index) {
  auto it = buffers_.find(handle);
  if (it == buffers_.end() || it->second.index != index) return nullptr;
  return &it->second;
}

void* Renderer::LockBuffer(int handle, bool index, UINT offset, UINT size) {
  const char* what = index ? "LockIndexBuffer" : "LockVertexBuffer";
  Buffer* buffer = FindBuffer(handle, index);
  if (!buffer) {
    Warn(std::string(what) + ": unknown buffer " + std::to_string(handle));
    return nullptr;
  }
  if (Fails(index ? RendererCall::LockIndexBuffer : RendererCall::LockVertexBuffer)) return nullptr;
  const size_t total = buffer->bytes.size();
  if (offset > total || (size == 0 && offset == total)) {
    Warn(std::string(what) + ": offset " + std::to_string(offset) + " beyond the buffer");
    return nullptr;
  }
  const size_t length = size == 0 ? total - offset : size;
  if (length > total - offset) {
    Warn(std::string(what) + ": " + std::to_string(offset) + " + " + std::to_string(length) + " bytes beyond " +
         std::to_string(total));
    return nullptr;
  }
  ++buffer->locks;
  return buffer->bytes.data() + offset;
}

HRESULT Renderer::UnlockBuffer(int handle, bool index) {
  Buffer* buffer = FindBuffer(handle, index);
  if (!buffer || buffer->locks == 0) {
    Warn(std::string(index ? "UnlockIndexBuffer" : "UnlockVertexBuffer") + ": buffer " + std::to_string(handle) +
         " is not locked");
    return D3DERR_INVALIDCALL;
  }
  --buffer->locks;
  return D3D_OK;
}

void Renderer::ReleaseBuffer(int handle, bool index) {
  Buffer* buffer = FindBuffer(handle, index);
  if (!buffer || buffer->own) {
    if (handle >= 0)
      Warn(std::string(index ? "ReleaseIndexBuffer" : "ReleaseVertexBuffer") + ": unknown buffer " +
           std::to_string(handle));
    return;
  }
  buffers_.erase(handle);
}

void* Renderer::LockVertexBuffer(int buffer, UINT offset, UINT size, DWORD flags) {
  (void)flags;
  return LockBuffer(buffer, false, offset, size);
}
HRESULT Renderer::UnlockVertexBuffer(int buffer) { return UnlockBuffer(buffer, false); }
void* Renderer::LockIndexBuffer(int buffer, UINT offset, UINT size, DWORD flags) {
  (void)flags;
  return LockBuffer(buffer, true, offset, size);
}
HRESULT Renderer::UnlockIndexBuffer(int buffer) { return UnlockBuffer(buffer, true); }
void Renderer::ReleaseVertexBuffer(int buffer) { ReleaseBuffer(buffer, false); }
void Renderer::ReleaseIndexBuffer(int buffer) { ReleaseBuffer(buffer, true); }

void Renderer::MakeDynamicBuffer() {
  if (dynamicBuffer_ >= 0 || config_.dynamicBufferBytes == 0) return;
  Buffer buffer;
  buffer.usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
  buffer.pool = D3DPOOL_DEFAULT;
  buffer.own = true;
  buffer.bytes.assign(config_.dynamicBufferBytes, 0);
  dynamicBuffer_ = nextBuffer_++;
  dynamicCursor_ = 0;
  buffers_.emplace(dynamicBuffer_, std::move(buffer));
}

void Renderer::DropDynamicBuffer() {
  if (dynamicBuffer_ < 0) return;
  buffers_.erase(dynamicBuffer_);
  dynamicBuffer_ = -1;
  dynamicCursor_ = 0;
}

void* Renderer::LockDynamicVertices(DWORD fvf, UINT stride, UINT count, int* buffer, UINT* firstVertex) {
  if (buffer) *buffer = dynamicBuffer_;
  if (firstVertex) *firstVertex = 0;
  Buffer* ring = FindBuffer(dynamicBuffer_, false);
  if (!ring || Fails(RendererCall::LockDynamicVertices) || stride == 0 || count == 0) return nullptr;
  const uint64_t need = static_cast<uint64_t>(stride) * count;
  const uint64_t capacity = ring->bytes.size();
  if (need > capacity) {
    Warn("LockDynamicVertices: " + std::to_string(count) + " vertices do not fit");
    return nullptr;
  }
  // Vertices start on a multiple of the stride; what does not fit behind the cursor starts
  // the buffer over.
  uint64_t start = (static_cast<uint64_t>(dynamicCursor_) + stride - 1) / stride * stride;
  if (start + need > capacity) start = 0;
  dynamicCursor_ = static_cast<UINT>(start + need);
  ring->fvf = fvf;
  ++ring->locks;
  if (firstVertex) *firstVertex = static_cast<UINT>(start / stride);
  return ring->bytes.data() + start;
}

void Renderer::UnlockDynamicVertices(int buffer) {
  if (buffer != dynamicBuffer_ || buffer < 0) {
    Warn("UnlockDynamicVertices: not the dynamic buffer: " + std::to_string(buffer));
    return;
  }
  UnlockBuffer(buffer, false);
}

size_t Renderer::LiveVertexBuffers() const {
  return static_cast<size_t>(std::count_if(buffers_.begin(), buffers_.end(), [](const auto& entry) {
    return !entry.second.index && !entry.second.own;
  }));
}

size_t Renderer::LiveIndexBuffers() const {
  return static_cast<size_t>(
      std::count_if(buffers_.begin(), buffers_.end(), [](const auto& entry) { return entry.second.index; }));
}

size_t Renderer::LiveResources(D3DPOOL pool) const {
  size_t n = device_.LiveResources(pool);
  for (const auto& entry : buffers_)
    if (!entry.second.own && entry.second.pool == static_cast<DWORD>(pool)) ++n;
  return n;
}

// ---- Effects and fonts -----------------------------------------------------------------------

int Renderer::GetEffect(const char* technique) {
  if (!technique || !*technique) return -1;
  if (failingEffects_.count(NameKey(technique))) {
    Warn(std::string("GetEffect: no technique ") + technique);
    return -1;
  }
  auto it = effects_.find(technique);
  if (it != effects_.end()) return it->second;
  const int handle = static_cast<int>(effectNames_.size());
  effectNames_.push_back(technique);
  effectTechniques_.push_back(TechniqueOf(technique));
  effects_.emplace(technique, handle);
  return handle;
}

std::string Renderer::EffectName(int effect) const {
  return effect >= 0 && static_cast<size_t>(effect) < effectNames_.size() ? effectNames_[effect] : std::string();
}

int Renderer::GetFont(const char* name) {
  if (!name || !*name) return -1;
  auto it = fonts_.find(name);
  if (it != fonts_.end()) return it->second;
  const int handle = static_cast<int>(fontNames_.size());
  fontNames_.push_back(name);
  fonts_.emplace(name, handle);
  return handle;
}

std::string Renderer::FontName(int font) const {
  return font >= 0 && static_cast<size_t>(font) < fontNames_.size() ? fontNames_[font] : std::string();
}

FontFace* Renderer::Face(int font) {
  if (facesTried_.insert(font).second) {
    // DrawText names no font: it writes in the sans face the module's own names come to.
    const std::string family = font >= 0 ? FontName(font) : std::string("sans-serif");
    std::string error;
    std::unique_ptr<FontFace> face = FontFace::Open(family, config_.fontHeight, &error);
    if (!face) Warn("font " + family + ": " + error + "; its texts are measured, not drawn");
    faces_[font] = std::move(face);
  }
  return faces_[font].get();
}

int Renderer::GetTextWidth(const wchar_t* text, int font, int length, DWORD flags) {
  (void)flags;
  if (!text || font < 0 || static_cast<size_t>(font) >= fontNames_.size()) return 0;
  const size_t whole = std::wcslen(text);
  const size_t n = length < 0 ? whole : std::min(whole, static_cast<size_t>(length));
  FontFace* face = Face(font);
  if (!face) return static_cast<int>(n * config_.fontCharWidth);
  return face->Width(Utf32(text, n));
}

void Renderer::DrawTextRecord(const TextRecord& text) {
  ++rasterCounts_.texts;
  if (!Rasterizing()) return;
  FontFace* face = Face(text.font);
  if (!face) return;
  if (rasterizer_->DrawCoverage(face->Render(Utf32(text.text)), text.x, text.y, text.colour)) ++rasterCounts_.textsDrawn;
}

void Renderer::DrawFontText(int font, D3DCOLOR colour, int x, int y, float z, const wchar_t* text) {
  if (!text) return;
  if (font < 0 || static_cast<size_t>(font) >= fontNames_.size()) {
    Warn("DrawFontText: unknown font " + std::to_string(font));
    return;
  }
  TextRecord record{x, y, z, font, colour, Utf8(text, std::wcslen(text)), ticks_};
  DrawTextRecord(record);
  texts_.Add(std::move(record));
}

void Renderer::DrawText(int x, int y, const char* format, ...) {
  if (!format) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
  }
  va_end(args);
  TextRecord record{x, y, 0.0f, -1, 0xFFFFFFFFu, std::move(text), ticks_};
  DrawTextRecord(record);
  texts_.Add(std::move(record));
}

// ---- Draws ------------------------------------------------------------------------------------

void Renderer::Snapshot(RenderSnapshot* s) const {
  s->world = worlds_[0];
  s->view = view_;
  s->projection = projection_;
  s->textureTransform = textureTransforms_;
  s->textureHandle = stageHandles_;
  for (DWORD i = 0; i < kRendererStages; ++i) s->texture[i] = stageTextures_[i];
  s->renderState = renderStates_;
  s->stageState = stageStates_;
  s->vertexShader = vertexShader_;
  s->vertexConstants = vertexConstants_;
  s->pixelConstants = pixelConstants_;
  for (DWORD i = 0; i < kRendererSnapshotLights; ++i) {
    auto it = lights_.find(i);
    s->lightEnabled[i] = it != lights_.end() && it->second.enabled;
    s->light[i] = it != lights_.end() ? it->second.light : D3DLIGHT8{};
  }
  s->lightingMode = lightingMode_;
  const_cast<Device&>(device_).GetViewport(&s->viewport);
  s->renderTarget = device_.CurrentRenderTarget();
}

std::shared_ptr<const RenderSnapshot> Renderer::CurrentSnapshot() {
  // The viewport and the target are the device's, which the module may also set directly.
  D3DVIEWPORT8 viewport{};
  device_.GetViewport(&viewport);
  const IDirect3DSurface8* target = device_.CurrentRenderTarget();
  const bool sameDevice = snapshot_ && snapshot_->renderTarget == target && snapshot_->viewport.X == viewport.X &&
                          snapshot_->viewport.Y == viewport.Y && snapshot_->viewport.Width == viewport.Width &&
                          snapshot_->viewport.Height == viewport.Height && snapshot_->viewport.MinZ == viewport.MinZ &&
                          snapshot_->viewport.MaxZ == viewport.MaxZ;
  if (!sameDevice || snapshotVersion_ != stateVersion_) {
    std::shared_ptr<RenderSnapshot> snapshot;
    if (!snapshots_.empty() && snapshots_.front().use_count() == 1) {
      snapshot = std::move(snapshots_.front());
      snapshots_.pop_front();
    } else {
      snapshot = std::make_shared<RenderSnapshot>();
    }
    snapshots_.push_back(snapshot);
    Snapshot(snapshot.get());
    snapshot_ = std::move(snapshot);
    snapshotVersion_ = stateVersion_;
  }
  return snapshot_;
}

HRESULT Renderer::Refuse(DrawRecord& record, const std::string& why) {
  if (record.error.empty()) {
    record.error = why;
    record.result = D3DERR_INVALIDCALL;
  }
  return D3DERR_INVALIDCALL;
}

// Copies what the draw uses and files the record. vertexBase addresses vertex 0 of the
// source; indexBase the first index the draw reads.
HRESULT Renderer::Record(DrawRecord& record, const uint8_t* vertexBase, size_t vertexBytes, const void* indexBase,
                         size_t indexBytes, UINT indexSize) {
  RendererLogEntry entry{RendererLogEntry::Kind::Draw, 0, static_cast<DWORD>(record.slot), record.primitiveCount};
  entry.texture = record.vertexBuffer;
  entry.accepted = record.error.empty();
  LogCall(entry);
  ++drawCount_;
  ++drawsThisTick_;
  record.tick = ticks_;
  record.inScene = device_.InScene();
  if (record.effect != -1 && (record.effect < 0 || static_cast<size_t>(record.effect) >= effectNames_.size()))
    Refuse(record, "unknown effect " + std::to_string(record.effect));
  if (record.error.empty() && vertexBase) {
    const DrawnVertices drawn = VerticesOf(record);
    const size_t from = static_cast<size_t>(drawn.first) * record.stride;
    const size_t bytes = static_cast<size_t>(drawn.count) * record.stride;
    if (from > vertexBytes || bytes > vertexBytes - from)
      Refuse(record, "vertices outside the buffer");
    else if (recording_)
      record.vertices.assign(vertexBase + from, vertexBase + from + bytes);
  }
  const uint8_t* firstIndex = nullptr;
  if (record.error.empty() && indexSize) {
    const UINT count = d3dfmt::PrimitiveVertexCount(record.primitiveType, record.primitiveCount);
    const size_t from = static_cast<size_t>(record.startIndex) * indexSize;
    const size_t bytes = static_cast<size_t>(count) * indexSize;
    if (!indexBase || from > indexBytes || bytes > indexBytes - from) {
      Refuse(record, "indices outside the buffer");
    } else {
      const uint8_t* p = static_cast<const uint8_t*>(indexBase) + from;
      firstIndex = p;
      std::vector<uint32_t> indices(count);
      for (UINT i = 0; i < count; ++i) indices[i] = d3dfmt::LoadPixel(p + static_cast<size_t>(i) * indexSize, indexSize);
      for (uint32_t index : indices) {
        const uint64_t vertex = static_cast<uint64_t>(record.baseVertex) + index;
        if (vertex < record.firstVertex || vertex - record.firstVertex >= record.vertexCount) {
          Refuse(record, "index " + std::to_string(index) + " outside the vertex range");
          break;
        }
      }
      if (recording_) record.indices = std::move(indices);
    }
  }
  if (!record.error.empty()) {
    ++refusedDraws_;
    Warn("draw (slot " + std::to_string(record.slot) + ") refused: " + record.error);
  } else {
    Rasterise(record, vertexBase, firstIndex, indexSize);
  }
  if (recording_) {
    record.state = CurrentSnapshot();
    const HRESULT result = record.result;
    draws_.Add(std::move(record));
    return result;
  }
  return record.result;
}

// ---- Rasterising ---------------------------------------------------------------------------

Renderer::EffectTechnique Renderer::TechniqueOf(const std::string& name) {
  // Techniques of shaders nothing of the module draws with: the host has no program for them.
  static const char* const kShaderOnly[] = {"MorphingTerrain", "GenericTerrain", "TerrainWater",
                                            "GenericTerrainLightMap"};
  for (const char* shaderOnly : kShaderOnly)
    if (name == shaderOnly) return {Technique::ShaderOnly};
  static const std::pair<const char*, Technique> kOwn[] = {{"lightHull", Technique::LightHull},
                                                           {"afterImage", Technique::AfterImage},
                                                           {"CopyImage", Technique::CopyImage},
                                                           {"BlendGlow", Technique::BlendGlow},
                                                           {"CombineGlowImage", Technique::CombineGlowImage}};
  for (const auto& [techniqueName, technique] : kOwn)
    if (name == techniqueName) return {technique};
  static const std::pair<const char*, ShaderTechnique> kPrograms[] = {
      {"GenericTerrain_Tex0", ShaderTechnique::TerrainBase},
      {"GenericTerrain_Tex1", ShaderTechnique::TerrainLayer},
      {"PaintBrush", ShaderTechnique::PaintBrush},
      {"disturbedSmoke", ShaderTechnique::Smoke},
      {"shadow_map_generate", ShaderTechnique::ShadowGenerate},
      {"project_shadow_map_apply", ShaderTechnique::ShadowProject},
      {"self_shadow_map_apply", ShaderTechnique::ShadowSelf}};
  for (const auto& [techniqueName, program] : kPrograms)
    if (name == techniqueName) return {Technique::Program, program};
  return {Technique::InForce};
}

void Renderer::ApplyShaderTechnique(ShaderTechnique program, DWORD* rs,
                                    std::array<std::array<DWORD, kRendererStageStates>, kRendererStages>* stages) {
  // What every program leaves to the states: depth, blending, the fill mode and the stencil
  // in force. Alpha test, culling and fog are the program's business or none of it.
  rs[D3DRS_ALPHATESTENABLE] = FALSE;
  rs[D3DRS_CULLMODE] = D3DCULL_NONE;
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
  rs[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
  auto sample = [stages](DWORD stage, DWORD address, DWORD filter, DWORD mip = D3DTEXF_NONE) {
    auto& st = (*stages)[stage];
    st[D3DTSS_ADDRESSU] = st[D3DTSS_ADDRESSV] = address;
    st[D3DTSS_MAGFILTER] = st[D3DTSS_MINFILTER] = filter;
    st[D3DTSS_MIPFILTER] = mip;
  };
  const bool opaque = program == ShaderTechnique::TerrainBase || program == ShaderTechnique::ShadowGenerate;
  rs[D3DRS_ALPHABLENDENABLE] = opaque ? FALSE : TRUE;
  rs[D3DRS_ZWRITEENABLE] = opaque ? TRUE : FALSE;
  switch (program) {
    case ShaderTechnique::TerrainBase:
    case ShaderTechnique::TerrainLayer:
      // A layer repeats every few units: seen from afar, only its smaller levels keep it from
      // breaking into moire.
      sample(0, D3DTADDRESS_WRAP, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
      sample(1, D3DTADDRESS_CLAMP, D3DTEXF_LINEAR);  // the blend map ends at its patch
      break;
    case ShaderTechnique::PaintBrush:
      rs[D3DRS_ZBIAS] = 2;  // over the ground it outlines
      break;
    case ShaderTechnique::Smoke:
      rs[D3DRS_DESTBLEND] = D3DBLEND_ONE;  // light adds up, as the plain beam's does
      sample(0, D3DTADDRESS_CLAMP, D3DTEXF_LINEAR);
      sample(1, D3DTADDRESS_WRAP, D3DTEXF_LINEAR);
      break;
    case ShaderTechnique::ShadowGenerate:
      sample(0, D3DTADDRESS_CLAMP, D3DTEXF_POINT);  // codes are read exactly
      break;
    default:  // the two shadow applications
      rs[D3DRS_ZBIAS] = 1;
      for (DWORD stage = 1; stage <= 4; ++stage) sample(stage, D3DTADDRESS_CLAMP, D3DTEXF_POINT);
      break;
  }
}

void Renderer::ApplyTechnique(Technique technique, DWORD* rs,
                              std::array<std::array<DWORD, kRendererStageStates>, kRendererStages>* stages) {
  auto& s0 = (*stages)[0];
  if (technique == Technique::LightHull) {
    // The beam: texture times the texture factor, added by its alpha, unlit, unfogged, and
    // leaving depth alone.
    rs[D3DRS_ALPHABLENDENABLE] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ONE;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_ZWRITEENABLE] = FALSE;
    rs[D3DRS_LIGHTING] = FALSE;
    rs[D3DRS_FOGENABLE] = FALSE;
    s0[D3DTSS_COLOROP] = s0[D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
    s0[D3DTSS_COLORARG1] = s0[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s0[D3DTSS_COLORARG2] = s0[D3DTSS_ALPHAARG2] = D3DTA_TFACTOR;
    s0[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    (*stages)[1][D3DTSS_COLOROP] = D3DTOP_DISABLE;
    return;
  }
  if (technique == Technique::AfterImage) {
    // A fading copy of a model: the texture factor's colour over the whole copy, blended by its
    // alpha. It writes no depth, so the copies and the model behind them show through it.
    rs[D3DRS_ALPHABLENDENABLE] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
    rs[D3DRS_DESTBLEND] = D3DBLEND_INVSRCALPHA;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_ZWRITEENABLE] = FALSE;
    s0[D3DTSS_COLOROP] = s0[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    s0[D3DTSS_COLORARG1] = s0[D3DTSS_ALPHAARG1] = D3DTA_TFACTOR;
    s0[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    (*stages)[1][D3DTSS_COLOROP] = (*stages)[1][D3DTSS_ALPHAOP] = D3DTOP_DISABLE;
    return;
  }
  // The glow's image passes: one texture over a quad that fills the target, whatever the
  // scene left in force. Depth, lighting, fog, alpha test, culling, clip planes and stencil
  // stay out of it; the texture is read linearly, clamped at its edges, by its own coordinates.
  rs[D3DRS_ZENABLE] = FALSE;
  rs[D3DRS_ZWRITEENABLE] = FALSE;
  rs[D3DRS_LIGHTING] = FALSE;
  rs[D3DRS_FOGENABLE] = FALSE;
  rs[D3DRS_ALPHATESTENABLE] = FALSE;
  rs[D3DRS_CULLMODE] = D3DCULL_NONE;
  rs[D3DRS_STENCILENABLE] = FALSE;
  rs[D3DRS_CLIPPLANEENABLE] = 0;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  s0[D3DTSS_TEXCOORDINDEX] = 0;
  s0[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
  s0[D3DTSS_ADDRESSU] = s0[D3DTSS_ADDRESSV] = D3DTADDRESS_CLAMP;
  s0[D3DTSS_MAGFILTER] = s0[D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
  s0[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
  s0[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  s0[D3DTSS_COLOROP] = s0[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
  s0[D3DTSS_COLORARG1] = s0[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
  (*stages)[1][D3DTSS_COLOROP] = (*stages)[1][D3DTSS_ALPHAOP] = D3DTOP_DISABLE;
  switch (technique) {
    case Technique::BlendGlow:  // added at the strength the texture factor's alpha carries
      s0[D3DTSS_ALPHAARG1] = D3DTA_TFACTOR;
      rs[D3DRS_ALPHABLENDENABLE] = TRUE;
      rs[D3DRS_SRCBLEND] = D3DBLEND_SRCALPHA;
      rs[D3DRS_DESTBLEND] = D3DBLEND_ONE;
      break;
    case Technique::CombineGlowImage:  // screened over the frame: a halo on black shows whole, a lit surface is not blown out
      rs[D3DRS_ALPHABLENDENABLE] = TRUE;
      rs[D3DRS_SRCBLEND] = D3DBLEND_INVDESTCOLOR;
      rs[D3DRS_DESTBLEND] = D3DBLEND_ONE;
      break;
    default:  // CopyImage: the picture as it is
      rs[D3DRS_ALPHABLENDENABLE] = FALSE;
      break;
  }
}

void Renderer::SetMaterial(const D3DMATERIAL8* material) {
  hasMaterial_ = material != nullptr;
  if (material) material_ = *material;
}

void Renderer::SetRasterizing(bool on) {
  if (on) {
    if (!rasterizer_) rasterizer_ = std::make_unique<Rasterizer>(device_);
    device_.SetCache(rasterizer_.get());
    return;
  }
  if (!rasterizer_) return;
  rasterizer_->ReadBackAll();
  device_.SetCache(nullptr);
  // Its mirrors would not hear of the surfaces that die from now on.
  rasterizer_.reset();
}

void Renderer::Rasterise(DrawRecord& r, const uint8_t* vertexBase, const uint8_t* firstIndex, UINT indexSize) {
  if (!Rasterizing() || !vertexBase) return;
  const EffectTechnique technique = r.effect >= 0 && static_cast<size_t>(r.effect) < effectTechniques_.size()
                                        ? effectTechniques_[r.effect]
                                        : EffectTechnique{};
  if (technique.kind == Technique::ShaderOnly) {
    ++rasterCounts_.shaderOnly;
    return;
  }
  RasterDraw draw;
  draw.shaderTechnique = technique.kind == Technique::Program;
  draw.technique = technique.program;
  RasterState state;
  std::array<DWORD, kRendererRenderStates> techniqueStates;
  std::array<std::array<DWORD, kRendererStageStates>, kRendererStages> techniqueStages;
  state.renderState = renderStates_.data();
  state.stageState = stageStates_.data();
  if (technique.kind != Technique::InForce) {
    // A technique's own states hold for its draw only.
    techniqueStates = renderStates_;
    techniqueStages = stageStates_;
    if (draw.shaderTechnique)
      ApplyShaderTechnique(technique.program, techniqueStates.data(), &techniqueStages);
    else
      ApplyTechnique(technique.kind, techniqueStates.data(), &techniqueStages);
    state.renderState = techniqueStates.data();
    state.stageState = techniqueStages.data();
  }
  state.vertexConstants = vertexConstants_.data();
  state.pixelConstants = pixelConstants_.data();
  state.world = &worlds_[0];
  state.view = &view_;
  state.projection = &projection_;
  state.textureTransform = textureTransforms_.data();
  state.textures = stageTextures_.data();
  for (DWORD i = 0; i < kRendererSnapshotLights; ++i) {
    auto it = lights_.find(i);
    state.lights[i] = it != lights_.end() && it->second.enabled ? &it->second.light : nullptr;
  }
  state.clipPlanes = clipPlanes_.data();
  state.material = hasMaterial_ ? &material_ : nullptr;

  const DrawnVertices drawn = VerticesOf(r);
  draw.type = r.primitiveType;
  draw.fvf = r.fvf;
  draw.stride = r.stride;
  draw.vertices = vertexBase;
  draw.first = drawn.first;
  draw.count = drawn.count;
  draw.base = drawn.base;
  draw.indices = firstIndex;
  draw.indexSize = firstIndex ? indexSize : 0;
  draw.indexCount = firstIndex ? d3dfmt::PrimitiveVertexCount(r.primitiveType, r.primitiveCount) : 0;
  switch (rasterizer_->Draw(draw, state)) {
    case RasterSkip::None:
      ++rasterCounts_.rasterised;
      r.rasterised = true;
      break;
    case RasterSkip::NoPosition: ++rasterCounts_.noPosition; break;
    case RasterSkip::Operation: ++rasterCounts_.operation; break;
    case RasterSkip::Off:
      if (!rasterWarned_) Warn("rasteriser: " + rasterizer_->Error() + "; rasterising is off");
      rasterWarned_ = true;
      SetRasterizing(false);
      break;
  }
}

HRESULT Renderer::DrawPrimitive(DWORD type, int vertexBuffer, UINT stride, UINT firstVertex, UINT primitiveCount,
                                int effect, DWORD reserved) {
  DrawRecord r;
  r.slot = 55;
  r.primitiveType = type;
  r.vertexBuffer = vertexBuffer;
  r.minIndex = firstVertex;
  r.firstVertex = firstVertex;
  r.primitiveCount = primitiveCount;
  r.effect = effect;
  r.reserved = reserved;
  r.vertexCount = d3dfmt::PrimitiveVertexCount(type, primitiveCount);
  const Buffer* vb = FindBuffer(vertexBuffer, false);
  if (!ValidPrimitive(type)) Refuse(r, "unknown primitive type " + std::to_string(type));
  if (!vb) Refuse(r, "unknown vertex buffer " + std::to_string(vertexBuffer));
  r.stride = stride ? stride : (vb ? d3dfmt::FvfStride(vb->fvf) : 0);
  r.fvf = vb && vb->fvf ? vb->fvf : vertexShader_;
  if (vb && vb->locks) Refuse(r, "vertex buffer is locked");
  if (r.stride == 0) Refuse(r, "no vertex stride");
  return Record(r, vb ? vb->bytes.data() : nullptr, vb ? vb->bytes.size() : 0, nullptr, 0, 0);
}

// The indices are relative to the base vertex, which is where the draw's vertices start.
HRESULT Renderer::DrawIndexedPrimitive(DWORD type, int vertexBuffer, UINT stride, int indexBuffer, UINT baseVertex,
                                       UINT vertexCount, UINT startIndex, UINT primitiveCount, int effect,
                                       DWORD reserved) {
  DrawRecord r;
  r.slot = 53;
  r.primitiveType = type;
  r.vertexBuffer = vertexBuffer;
  r.indexBuffer = indexBuffer;
  r.minIndex = baseVertex;
  r.baseVertex = baseVertex;
  r.firstVertex = baseVertex;
  r.vertexCount = vertexCount;
  r.startIndex = startIndex;
  r.primitiveCount = primitiveCount;
  r.effect = effect;
  r.reserved = reserved;
  const Buffer* vb = FindBuffer(vertexBuffer, false);
  const Buffer* ib = FindBuffer(indexBuffer, true);
  if (!ValidPrimitive(type)) Refuse(r, "unknown primitive type " + std::to_string(type));
  if (!vb) Refuse(r, "unknown vertex buffer " + std::to_string(vertexBuffer));
  if (!ib) Refuse(r, "unknown index buffer " + std::to_string(indexBuffer));
  r.stride = stride ? stride : (vb ? d3dfmt::FvfStride(vb->fvf) : 0);
  r.fvf = vb && vb->fvf ? vb->fvf : vertexShader_;
  r.indexFormat = ib ? ib->format : 0;
  if ((vb && vb->locks) || (ib && ib->locks)) Refuse(r, "buffer is locked");
  if (r.stride == 0) Refuse(r, "no vertex stride");
  const UINT indexSize = ib ? (ib->format == D3DFMT_INDEX32 ? 4 : 2) : 2;
  return Record(r, vb ? vb->bytes.data() : nullptr, vb ? vb->bytes.size() : 0, ib ? ib->bytes.data() : nullptr,
                ib ? ib->bytes.size() : 0, indexSize);
}

HRESULT Renderer::DrawIndexed(int vertexBuffer, UINT stride, int indexBuffer, UINT baseVertex, UINT vertexCount,
                              UINT startIndex, UINT primitiveCount, int effect, DWORD reserved) {
  const size_t before = draws_.Total();
  const HRESULT hr = DrawIndexedPrimitive(D3DPT_TRIANGLELIST, vertexBuffer, stride, indexBuffer, baseVertex,
                                          vertexCount, startIndex, primitiveCount, effect, reserved);
  if (DrawRecord* made = draws_.Find(before)) made->slot = 52;
  return hr;
}

HRESULT Renderer::DrawPrimitiveUP(DWORD type, DWORD fvf, UINT primitiveCount, const void* vertices, UINT stride,
                                  int effect, DWORD reserved) {
  DrawRecord r;
  r.slot = 56;
  r.primitiveType = type;
  r.fvf = fvf;
  r.primitiveCount = primitiveCount;
  r.effect = effect;
  r.reserved = reserved;
  r.stride = stride ? stride : d3dfmt::FvfStride(fvf);
  r.vertexCount = d3dfmt::PrimitiveVertexCount(type, primitiveCount);
  if (!ValidPrimitive(type)) Refuse(r, "unknown primitive type " + std::to_string(type));
  if (!vertices && r.vertexCount) Refuse(r, "no vertices");
  if (r.stride == 0) Refuse(r, "no vertex stride");
  const size_t bytes = static_cast<size_t>(r.vertexCount) * r.stride;
  return Record(r, static_cast<const uint8_t*>(vertices), bytes, nullptr, 0, 0);
}

HRESULT Renderer::DrawIndexedPrimitiveUP(DWORD type, UINT minIndex, UINT vertexCount, UINT primitiveCount,
                                         const void* indices, DWORD indexFormat, const void* vertices, UINT stride,
                                         int effect, DWORD reserved) {
  DrawRecord r;
  r.slot = 57;
  r.primitiveType = type;
  r.fvf = vertexShader_;
  r.minIndex = minIndex;
  r.firstVertex = minIndex;  // the indices are absolute: vertex 0 is at `vertices`
  r.vertexCount = vertexCount;
  r.primitiveCount = primitiveCount;
  r.indexFormat = indexFormat;
  r.effect = effect;
  r.reserved = reserved;
  r.stride = stride ? stride : d3dfmt::FvfStride(vertexShader_);
  if (!ValidPrimitive(type)) Refuse(r, "unknown primitive type " + std::to_string(type));
  if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)
    Refuse(r, "unknown index format " + std::to_string(indexFormat));
  if (!vertices || !indices) Refuse(r, "no vertices or indices");
  if (r.stride == 0) Refuse(r, "no vertex stride");
  const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
  const size_t vertexBytes = (static_cast<size_t>(minIndex) + vertexCount) * r.stride;
  const size_t indexBytes = static_cast<size_t>(d3dfmt::PrimitiveVertexCount(type, primitiveCount)) * indexSize;
  return Record(r, static_cast<const uint8_t*>(vertices), vertexBytes, indices, indexBytes, indexSize);
}

// ---- Targets and the device -------------------------------------------------------------------

HRESULT Renderer::GetRenderTarget(IDirect3DSurface8** surface) { return device_.GetRenderTarget(surface); }
HRESULT Renderer::GetDepthStencilSurface(IDirect3DSurface8** surface) {
  return device_.GetDepthStencilSurface(surface);
}
HRESULT Renderer::SetRenderTarget(IDirect3DSurface8* colour, IDirect3DSurface8* depth) {
  return device_.SetRenderTarget(colour, depth);
}

HRESULT Renderer::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  const HRESULT hr = device_.Clear(count, rects, flags, colour, z, stencil);
  if (recording_) clears_.Add(ClearRecord{count, flags, colour, z, stencil, hr});
  return hr;
}

HRESULT Renderer::ClearBuffers(DWORD flags) {
  LogCall(RendererLogEntry{RendererLogEntry::Kind::Clear, 0, flags});
  return Clear(0, nullptr, flags, 0, 1.0f, 0);
}

HRESULT Renderer::BeginScene() { return device_.BeginScene(); }
HRESULT Renderer::EndScene() { return device_.EndScene(); }
HRESULT Renderer::GetDeviceCaps(D3DCAPS8* caps) { return device_.GetDeviceCaps(caps); }
HRESULT Renderer::GetViewport(D3DVIEWPORT8* viewport) { return device_.GetViewport(viewport); }
HRESULT Renderer::SetViewport(const D3DVIEWPORT8* viewport) { return device_.SetViewport(viewport); }

const RendererSize* Renderer::GetBackBufferSize() {
  const Surface* back = device_.BackBuffer();
  backBufferSize_ = RendererSize{back ? back->Width() : 0, back ? back->Height() : 0};
  return &backBufferSize_;
}

int Renderer::SetSwitchA(int value) {
  const int before = switchA_;
  switchA_ = value;
  return before;
}

int Renderer::SetSwitchB(int value) {
  const int before = switchB_;
  switchB_ = value;
  return before;
}

BOOL Renderer::Tick() {
  ++ticks_;
  drawsThisTick_ = 0;
  return TRUE;
}

void Renderer::CaptureScreen() {
  ++captures_;
  if (captureDirectory_.empty()) return;
  char name[32];
  std::snprintf(name, sizeof name, "screen%04zu.bmp", captures_);
  const std::string path = captureDirectory_ + "\\" + name;
  const HRESULT hr = D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_BMP, device_.BackBuffer(), nullptr, nullptr);
  if (FAILED(hr)) Warn("CaptureScreen: cannot write " + path);
}

// ---- Device loss -------------------------------------------------------------------------------

void Renderer::OnDeviceLost() {
  ++losses_;
  for (DWORD s = 0; s < kRendererStages; ++s) {
    if (stageTextures_[s]) stageTextures_[s]->Release();
    stageTextures_[s] = nullptr;
    stageHandles_[s] = -1;
  }
  StateChanged();
  DropDynamicBuffer();
  device_.Lose();
}

bool Renderer::OnDeviceReset(UINT width, UINT height) {
  if (!device_.IsLost()) OnDeviceLost();
  resetError_.clear();
  size_t buffers = 0;
  for (const auto& entry : buffers_)
    if (!entry.second.own && entry.second.pool == D3DPOOL_DEFAULT) ++buffers;
  if (buffers) {
    // The device cannot be reset while these live; it stays lost.
    resetError_ = std::to_string(buffers) + " default-pool buffer(s) still alive";
  } else if (FAILED(device_.Reset(width, height))) {
    resetError_ = device_.ResetError();
  }
  if (!resetError_.empty()) {
    Warn("OnDeviceReset: " + resetError_);
    return false;
  }
  MakeDynamicBuffer();
  ++resets_;
  return true;
}

}  // namespace host
