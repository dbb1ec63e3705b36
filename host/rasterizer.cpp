#include "host/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d8/pixel_format.h"

namespace host {
namespace {

// llvmpipe places vertices on a grid of 1/256 pixel.
constexpr float kSubPixel = 1.0f / 256.0f;

D3DCOLORVALUE Colour(D3DCOLOR c) {
  return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
          static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>(c >> 24) / 255.0f};
}

float AsFloat(DWORD d) {
  float f;
  std::memcpy(&f, &d, sizeof f);
  return f;
}

GLenum Compare(DWORD func) { return GL_NEVER + (func >= 1 && func <= 8 ? func - 1 : 7); }

GLenum StencilOp(DWORD op) {
  switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
  }
}

GLenum BlendFactor(DWORD factor) {
  switch (factor) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
  }
}

GLenum BlendOp(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLint Address(DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
  }
}

GLenum Primitive(DWORD type) {
  switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
  }
}

// Floats of texture-coordinate set `i` of a vertex format.
UINT SetFloats(DWORD fvf, UINT i) {
  switch ((fvf >> (16 + 2 * i)) & 3) {
    case D3DFVF_TEXTUREFORMAT1: return 1;
    case D3DFVF_TEXTUREFORMAT3: return 3;
    case D3DFVF_TEXTUREFORMAT4: return 4;
    default: return 2;
  }
}

bool KnownOp(DWORD op) {
  return op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE || op == D3DTOP_MODULATE2X ||
         op == D3DTOP_ADD;
}

bool KnownArg(DWORD arg) {
  const DWORD selector = arg & D3DTA_SELECTMASK;
  return (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 && selector != D3DTA_SPECULAR &&
         selector <= D3DTA_TEMP;
}

// The inverse transpose of the upper 3 x 3 of a row-vector matrix, rows first: it takes
// normals the way the matrix takes positions.
void NormalMatrix(const D3DMATRIX& m, float out[9]) {
  const float a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32, i = m._33;
  const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
  const float det = a * A + b * B + c * C;
  const float s = det != 0.0f ? 1.0f / det : 0.0f;
  // The inverse's transpose is the cofactor matrix over the determinant.
  const float cof[9] = {A, B, C, -(b * i - c * h), a * i - c * g, -(a * h - b * g), b * f - c * e, -(a * f - c * d),
                        a * e - b * d};
  for (int k = 0; k < 9; ++k) out[k] = cof[k] * s;
}

}  // namespace

Rasterizer::Rasterizer(Device& device) : device_(device), drawingThread_(std::this_thread::get_id()) {}

Rasterizer::~Rasterizer() {
  if (!context_.Valid()) return;
  context_.MakeCurrent();
  const GlFunctions& gl = context_.gl();
  for (auto& entry : programs_) entry.second->Destroy(gl);
  for (auto& program : techniques_)
    if (program) program->Destroy(gl);
  if (coverageTexture_) gl.glDeleteTextures(1, &coverageTexture_);
  gl.glDeleteVertexArrays(1, &emptyVertexArray_);
  std::vector<GLuint> names;
  for (const auto& entry : surfaces_) names.push_back(entry.second);
  for (const auto& entry : textures_) names.push_back(entry.second);
  names.insert(names.end(), pendingDeletes_.begin(), pendingDeletes_.end());
  if (!names.empty()) gl.glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
  gl.glDeleteSamplers(kRasterStages, samplers_.data());
  gl.glDeleteBuffers(1, &vertexBuffer_);
  gl.glDeleteBuffers(1, &indexBuffer_);
  gl.glDeleteVertexArrays(1, &vertexArray_);
  gl.glDeleteFramebuffers(1, &framebuffer_);
}

bool Rasterizer::Ready() {
  if (tried_) return context_.Valid();
  tried_ = true;
  if (!OnDrawingThread()) {
    error_ = "the rasteriser was first used off its drawing thread";
    return false;
  }
  if (!context_.Create()) {
    error_ = context_.Error();
    return false;
  }
  const GlFunctions& gl = context_.gl();
  // Rows top first and depth 0..1, as the device's memory and projections have them.
  gl.glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
  gl.glGenFramebuffers(1, &framebuffer_);
  gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  gl.glGenVertexArrays(1, &emptyVertexArray_);
  gl.glGenVertexArrays(1, &vertexArray_);
  gl.glBindVertexArray(vertexArray_);
  gl.glGenBuffers(1, &vertexBuffer_);
  gl.glGenBuffers(1, &indexBuffer_);
  gl.glGenSamplers(kRasterStages, samplers_.data());
  gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  return true;
}

void Rasterizer::Finish() {
  if (!context_.Valid() || !OnDrawingThread()) return;
  context_.MakeCurrent();
  context_.gl().glFinish();
}

size_t Rasterizer::Mirrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return surfaces_.size() + textures_.size();
}

// ---- Mirrors ------------------------------------------------------------------------------

bool Rasterizer::Format(D3DFORMAT format, GlFormat* out) {
  GlFormat f;
  switch (format) {
    case D3DFMT_A8R8G8B8: f = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, true, false, false}; break;
    // No alpha in the mirror: blending reads destination alpha as 1.
    case D3DFMT_X8R8G8B8: f = {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE, true, false, false}; break;
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
      f = {GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, true, true, false};
      break;
    case D3DFMT_D24S8: f = {GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, true, true, true}; break;
    case D3DFMT_D24X8: f = {GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, true, true, false}; break;
    case D3DFMT_D32: f = {GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, true, true, false}; break;
    default: {
      d3dfmt::FormatInfo info;
      if (!d3dfmt::Describe(format, &info) || !info.convertible || info.depth) return false;
      f = {info.alpha ? GL_RGBA8 : GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE, false, false, false};
    }
  }
  if (out) *out = f;
  return true;
}

GLuint Rasterizer::MakeTexture(UINT width, UINT height, UINT levels, const GlFormat& format, Texture* levelsOf) {
  const GlFunctions& gl = context_.gl();
  GLuint name = 0;
  gl.glGenTextures(1, &name);
  gl.glBindTexture(GL_TEXTURE_2D, name);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels) - 1);
  for (UINT level = 0; level < levels; ++level) {
    const Surface* s = levelsOf ? levelsOf->Level(level) : nullptr;
    const GLsizei w = static_cast<GLsizei>(s ? s->Width() : width), h = static_cast<GLsizei>(s ? s->Height() : height);
    gl.glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), format.internal, w, h, 0, format.format, format.type,
                 nullptr);
  }
  return name;
}

GLuint Rasterizer::MirrorOf(Surface* surface, GLint* level) {
  GlFormat format;
  if (!surface || !Format(surface->Format(), &format)) return 0;
  *level = 0;
  Texture* texture = surface->Container();
  std::lock_guard<std::mutex> lock(mutex_);
  if (texture) {
    for (UINT i = 0; i < texture->GetLevelCount(); ++i)
      if (texture->Level(i) == surface) *level = static_cast<GLint>(i);
    auto it = textures_.find(texture);
    if (it != textures_.end()) return it->second;
    const GLuint name = MakeTexture(0, 0, texture->GetLevelCount(), format, texture);
    textures_.emplace(texture, name);
    for (UINT i = 0; i < texture->GetLevelCount(); ++i) texture->Level(i)->SetFresh(Freshness::Cpu);
    return name;
  }
  auto it = surfaces_.find(surface);
  if (it != surfaces_.end()) return it->second;
  const GLuint name = MakeTexture(surface->Width(), surface->Height(), 1, format, nullptr);
  surfaces_.emplace(surface, name);
  surface->SetFresh(Freshness::Cpu);
  return name;
}

void Rasterizer::Upload(Surface* surface) {
  GLint level = 0;
  const GLuint name = MirrorOf(surface, &level);
  // A surface locked elsewhere keeps drawing from its old mirror.
  if (!name || surface->Fresh() != Freshness::Cpu || surface->Locked()) return;
  // Marked before the bytes are read: a write that lands meanwhile marks it again.
  surface->SetFresh(Freshness::Same);
  GlFormat format;
  Format(surface->Format(), &format);
  const GlFunctions& gl = context_.gl();
  gl.glBindTexture(GL_TEXTURE_2D, name);
  const GLsizei w = static_cast<GLsizei>(surface->Width()), h = static_cast<GLsizei>(surface->Height());
  if (format.direct) {
    gl.glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format.format, format.type, surface->Bits());
  } else {
    scratch_.resize(static_cast<size_t>(w) * h);
    d3dfmt::DecodeRect(surface->Format(), surface->Bits(), static_cast<int>(surface->Pitch()), surface->Width(),
                       surface->Height(), scratch_.data());
    gl.glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, scratch_.data());
  }
  ++uploads_;
}

void Rasterizer::ReadBack(Surface* surface) {
  if (!surface || surface->Fresh() != Freshness::Cache || !context_.Valid()) return;
  context_.MakeCurrent();
  GLint level = 0;
  const GLuint name = MirrorOf(surface, &level);
  if (!name) return;
  GlFormat format;
  Format(surface->Format(), &format);
  const GlFunctions& gl = context_.gl();
  gl.glBindTexture(GL_TEXTURE_2D, name);
  if (format.direct) {
    gl.glGetTexImage(GL_TEXTURE_2D, level, format.format, format.type, surface->Bits());
  } else {
    scratch_.resize(static_cast<size_t>(surface->Width()) * surface->Height());
    gl.glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_BYTE, scratch_.data());
    d3dfmt::EncodeRect(surface->Format(), surface->Bits(), static_cast<int>(surface->Pitch()), surface->Width(),
                       surface->Height(), scratch_.data());
  }
  surface->SetFresh(Freshness::Same);
  ++readBacks_;
}

void Rasterizer::ReadBackAll() {
  if (!context_.Valid()) return;
  std::vector<Surface*> newer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : surfaces_)
      if (entry.first->Fresh() == Freshness::Cache) newer.push_back(const_cast<Surface*>(entry.first));
    for (const auto& entry : textures_)
      for (UINT i = 0; i < const_cast<Texture*>(entry.first)->GetLevelCount(); ++i)
        if (entry.first->Level(i)->Fresh() == Freshness::Cache) newer.push_back(entry.first->Level(i));
  }
  for (Surface* surface : newer) ReadBack(surface);
}

namespace {

// Moves the GL name of a dying object to the deletions the drawing thread makes.
template <typename Map, typename Key>
void Retire(Map& mirrors, Key key, std::vector<GLuint>* deletions) {
  auto it = mirrors.find(key);
  if (it == mirrors.end()) return;
  deletions->push_back(it->second);
  mirrors.erase(it);
}

}  // namespace

void Rasterizer::Forget(Surface* surface) {
  std::lock_guard<std::mutex> lock(mutex_);
  Retire(surfaces_, surface, &pendingDeletes_);
  if (attachedColour_ == surface) attachedColour_ = nullptr;
  if (attachedDepth_ == surface) attachedDepth_ = nullptr;
}

void Rasterizer::Forget(Texture* texture) {
  std::lock_guard<std::mutex> lock(mutex_);
  Retire(textures_, texture, &pendingDeletes_);
  for (UINT i = 0; i < texture->GetLevelCount(); ++i)
    if (attachedColour_ == texture->Level(i)) attachedColour_ = nullptr;
}

void Rasterizer::DeletePending() {
  std::vector<GLuint> names;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pendingDeletes_.empty()) return;
    names.swap(pendingDeletes_);
  }
  context_.gl().glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
}

// Attaches the device's colour target and depth surface, uploading either when memory is newer.
bool Rasterizer::BindTargets(Surface** colour, Surface** depth) {
  const GlFunctions& gl = context_.gl();
  Surface* target = device_.CurrentRenderTarget();
  Surface* zs = device_.CurrentDepthStencil();
  GlFormat targetFormat, depthFormat;
  if (!target || !Format(target->Format(), &targetFormat) || targetFormat.depth) return false;
  if (zs && !Format(zs->Format(), &depthFormat)) zs = nullptr;
  Upload(target);
  if (zs) Upload(zs);
  gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  const Surface *attachedColour, *attachedDepth;
  {
    // Forget, on any thread, clears these when the attached surface dies.
    std::lock_guard<std::mutex> lock(mutex_);
    attachedColour = attachedColour_;
    attachedDepth = attachedDepth_;
  }
  if (target != attachedColour) {
    GLint level = 0;
    const GLuint name = MirrorOf(target, &level);
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, level);
    std::lock_guard<std::mutex> lock(mutex_);
    attachedColour_ = target;
  }
  if (zs != attachedDepth) {
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    if (zs) {
      GLint level = 0;
      const GLuint name = MirrorOf(zs, &level);
      gl.glFramebufferTexture2D(GL_FRAMEBUFFER, depthFormat.stencil || zs->Format() == D3DFMT_D24X8
                                                    ? GL_DEPTH_STENCIL_ATTACHMENT
                                                    : GL_DEPTH_ATTACHMENT,
                                GL_TEXTURE_2D, name, level);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    attachedDepth_ = zs;
  }
  if (gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  *colour = target;
  *depth = zs;
  return true;
}

bool Rasterizer::Clear(const std::vector<RECT>& areas, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
  if (!OnDrawingThread() || !Ready()) return false;
  context_.MakeCurrent();
  DeletePending();
  const GlFunctions& gl = context_.gl();
  Surface *target = nullptr, *zs = nullptr;
  if (!BindTargets(&target, &zs)) return false;
  GLbitfield bits = 0;
  if (flags & D3DCLEAR_TARGET) bits |= GL_COLOR_BUFFER_BIT;
  if (zs && (flags & D3DCLEAR_ZBUFFER)) bits |= GL_DEPTH_BUFFER_BIT;
  if (zs && (flags & D3DCLEAR_STENCIL)) bits |= GL_STENCIL_BUFFER_BIT;
  const D3DCOLORVALUE c = Colour(colour);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.glDepthMask(GL_TRUE);
  gl.glStencilMask(0xFF);
  gl.glClearColor(c.r, c.g, c.b, c.a);
  gl.glClearDepth(z);
  gl.glClearStencil(static_cast<GLint>(stencil & 0xFF));
  gl.glEnable(GL_SCISSOR_TEST);
  for (const RECT& r : areas) {
    if (r.left >= r.right || r.top >= r.bottom) continue;
    gl.glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
    gl.glClear(bits);
  }
  gl.glDisable(GL_SCISSOR_TEST);
  if (bits & GL_COLOR_BUFFER_BIT) target->SetFresh(Freshness::Cache);
  if (bits & (GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)) zs->SetFresh(Freshness::Cache);
  return true;
}

bool Rasterizer::Copy(Surface* source, const RECT* rects, const POINT* points, UINT count, Surface* destination) {
  if (count == 0 || source->Fresh() != Freshness::Cache || !OnDrawingThread() || !context_.Valid()) return false;
  GlFormat format;
  // A mirror of a packed format holds more than its memory keeps (a 16-bit target is drawn at
  // eight bits a channel): copied in GL, the destination would be drawn from values a copy
  // through memory does not give it.
  if (!Format(source->Format(), &format) || !format.direct) return false;
  context_.MakeCurrent();
  DeletePending();
  const GlFunctions& gl = context_.gl();
  const bool whole = std::any_of(rects, rects + count, [&](const RECT& r) {
    return r.right - r.left == static_cast<LONG>(destination->Width()) &&
           r.bottom - r.top == static_cast<LONG>(destination->Height());
  });
  // What the copy leaves of the destination must be in its mirror first.
  if (!whole) Upload(destination);
  GLint sourceLevel = 0, destinationLevel = 0;
  const GLuint from = MirrorOf(source, &sourceLevel), to = MirrorOf(destination, &destinationLevel);
  if (!from || !to) return false;
  for (UINT i = 0; i < count; ++i)
    gl.glCopyImageSubData(from, GL_TEXTURE_2D, sourceLevel, rects[i].left, rects[i].top, 0, to, GL_TEXTURE_2D,
                          destinationLevel, points[i].x, points[i].y, 0, rects[i].right - rects[i].left,
                          rects[i].bottom - rects[i].top, 1);
  destination->SetFresh(Freshness::Cache);
  return true;
}

// ---- Draws ----------------------------------------------------------------------------------

bool Rasterizer::MakeKey(const RasterDraw& draw, const RasterState& st, FixedFunctionKey* key) const {
  std::memset(key, 0, sizeof *key);
  const DWORD* rs = st.renderState;
  key->pretransformed = (draw.fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  key->normal = (draw.fvf & D3DFVF_NORMAL) != 0;
  key->diffuse = (draw.fvf & D3DFVF_DIFFUSE) != 0;
  key->sets = static_cast<uint8_t>(std::min<DWORD>((draw.fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8));
  if (rs[D3DRS_FILLMODE] != D3DFILL_WIREFRAME && rs[D3DRS_FILLMODE] != D3DFILL_SOLID) return false;
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    if (rs[D3DRS_SRCBLEND] < 1 || rs[D3DRS_SRCBLEND] > 10 || rs[D3DRS_DESTBLEND] < 1 || rs[D3DRS_DESTBLEND] > 10 ||
        rs[D3DRS_BLENDOP] < 1 || rs[D3DRS_BLENDOP] > 5)
      return false;
  }
  if (!key->pretransformed) {
    key->lighting = rs[D3DRS_LIGHTING] != 0;
    key->normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
    if (key->lighting)
      for (int i = 0; i < kRasterLights; ++i)
        key->lightType[i] = st.lights[i] ? static_cast<uint8_t>(st.lights[i]->Type) : 0;
    if (rs[D3DRS_FOGENABLE]) {
      const DWORD table = rs[D3DRS_FOGTABLEMODE], vertex = rs[D3DRS_FOGVERTEXMODE];
      if (table > kFogLinear || vertex > kFogLinear) return false;
      key->fogPerPixel = table != kFogNone;
      key->fogMode = static_cast<uint8_t>(table != kFogNone ? table : vertex);
    }
    key->clipMask = static_cast<uint8_t>(rs[D3DRS_CLIPPLANEENABLE] & 0x3F);
  }
  if (rs[D3DRS_ALPHATESTENABLE]) key->alphaFunc = static_cast<uint8_t>(std::clamp<DWORD>(rs[D3DRS_ALPHAFUNC], 1, 8));
  for (int s = 0; s < kRasterStages; ++s) {
    const DWORD* ts = st.stageState[s].data();
    if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
      if (s == 0) key->stage0Disabled = 1;
      break;
    }
    StageKey& k = key->stage[s];
    const DWORD alphaOp = ts[D3DTSS_ALPHAOP];
    if (!KnownOp(ts[D3DTSS_COLOROP]) || (alphaOp != D3DTOP_DISABLE && !KnownOp(alphaOp))) return false;
    if (!KnownArg(ts[D3DTSS_COLORARG1]) || !KnownArg(ts[D3DTSS_COLORARG2]) || !KnownArg(ts[D3DTSS_ALPHAARG1]) ||
        !KnownArg(ts[D3DTSS_ALPHAARG2]))
      return false;
    if (ts[D3DTSS_RESULTARG] != D3DTA_CURRENT && ts[D3DTSS_RESULTARG] != D3DTA_TEMP) return false;
    k.colorOp = static_cast<uint8_t>(ts[D3DTSS_COLOROP]);
    k.alphaOp = static_cast<uint8_t>(alphaOp);
    k.colorArg1 = static_cast<uint8_t>(ts[D3DTSS_COLORARG1]);
    k.colorArg2 = static_cast<uint8_t>(ts[D3DTSS_COLORARG2]);
    k.alphaArg1 = static_cast<uint8_t>(ts[D3DTSS_ALPHAARG1]);
    k.alphaArg2 = static_cast<uint8_t>(ts[D3DTSS_ALPHAARG2]);
    k.toTemp = ts[D3DTSS_RESULTARG] == D3DTA_TEMP;
    const DWORD index = ts[D3DTSS_TEXCOORDINDEX];
    switch (index & 0xFFFF0000u) {
      case D3DTSS_TCI_PASSTHRU: k.source = kSourceSet; break;
      case D3DTSS_TCI_CAMERASPACEPOSITION: k.source = kSourceCameraPosition; break;
      case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR: k.source = kSourceReflection; break;
      default: return false;
    }
    if (k.source != kSourceSet && key->pretransformed) return false;
    k.set = static_cast<uint8_t>(std::min<DWORD>(index & 0xFFFF, 255));
    const DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
    if (flags != D3DTTFF_DISABLE && flags != D3DTTFF_COUNT2 && flags != D3DTTFF_COUNT3 &&
        flags != (D3DTTFF_COUNT3 | D3DTTFF_PROJECTED))
      return false;
    k.transform = static_cast<uint8_t>(flags & 0xFF);
    k.projected = (flags & D3DTTFF_PROJECTED) != 0;
    IDirect3DTexture8* texture = st.textures ? st.textures[s] : nullptr;
    const Texture* ours = dynamic_cast<const Texture*>(texture);
    k.texture = ours && Format(ours->Format(), nullptr);
    key->stages = static_cast<uint8_t>(s + 1);
  }
  return true;
}

FixedFunctionProgram* Rasterizer::Program(const FixedFunctionKey& key) {
  auto it = programs_.find(key);
  if (it != programs_.end()) return it->second.get();
  auto program = std::make_unique<FixedFunctionProgram>();
  std::string error;
  ++programBuilds_;
  if (!program->Build(context_.gl(), key, &error)) {
    if (error_.empty()) error_ = error;
    return nullptr;
  }
  return programs_.emplace(key, std::move(program)).first->second.get();
}

void Rasterizer::SetFixedState(const RasterState& st, bool depth, bool stencil) {
  const GlFunctions& gl = context_.gl();
  const DWORD* rs = st.renderState;
  gl.glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
  // Screen-space clockwise triangles come out clockwise in GL's upper-left window too.
  switch (rs[D3DRS_CULLMODE]) {
    case D3DCULL_CW:
      gl.glEnable(GL_CULL_FACE);
      gl.glFrontFace(GL_CCW);
      gl.glCullFace(GL_BACK);
      break;
    case D3DCULL_CCW:
      gl.glEnable(GL_CULL_FACE);
      gl.glFrontFace(GL_CCW);
      gl.glCullFace(GL_FRONT);
      break;
    default: gl.glDisable(GL_CULL_FACE); break;
  }
  if (depth && rs[D3DRS_ZENABLE]) {
    gl.glEnable(GL_DEPTH_TEST);
    gl.glDepthFunc(Compare(rs[D3DRS_ZFUNC]));
    gl.glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  } else {
    gl.glDisable(GL_DEPTH_TEST);
  }
  const float bias = static_cast<float>(rs[D3DRS_ZBIAS] & 0xFF);
  if (bias != 0.0f) {
    // Toward the viewer: smaller depths.
    gl.glEnable(GL_POLYGON_OFFSET_FILL);
    gl.glEnable(GL_POLYGON_OFFSET_LINE);
    gl.glPolygonOffset(0.0f, -bias);
  } else {
    gl.glDisable(GL_POLYGON_OFFSET_FILL);
    gl.glDisable(GL_POLYGON_OFFSET_LINE);
  }
  if (stencil && rs[D3DRS_STENCILENABLE]) {
    gl.glEnable(GL_STENCIL_TEST);
    gl.glStencilFunc(Compare(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF),
                  rs[D3DRS_STENCILMASK] & 0xFF);
    gl.glStencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]), StencilOp(rs[D3DRS_STENCILPASS]));
    gl.glStencilMask(rs[D3DRS_STENCILWRITEMASK] & 0xFF);
  } else {
    gl.glDisable(GL_STENCIL_TEST);
  }
  const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
  gl.glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    gl.glEnable(GL_BLEND);
    gl.glBlendFunc(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND]));
    gl.glBlendEquation(BlendOp(rs[D3DRS_BLENDOP]));
  } else {
    gl.glDisable(GL_BLEND);
  }
}

void Rasterizer::SetUniforms(const FixedFunctionProgram& program, const RasterState& st,
                             const D3DVIEWPORT8& vp) {
  const GlFunctions& gl = context_.gl();
  const auto& at = program.at();
  const DWORD* rs = st.renderState;
  gl.glUniformMatrix4fv(at.world, 1, GL_FALSE, &st.world->m[0][0]);
  gl.glUniformMatrix4fv(at.view, 1, GL_FALSE, &st.view->m[0][0]);
  gl.glUniformMatrix4fv(at.projection, 1, GL_FALSE, &st.projection->m[0][0]);
  if (at.normalMatrix >= 0) {
    float normal[9];
    NormalMatrix(*st.world, normal);
    gl.glUniformMatrix3fv(at.normalMatrix, 1, GL_FALSE, normal);
  }
  const float w = static_cast<float>(vp.Width), h = static_cast<float>(vp.Height);
  gl.glUniform4f(at.screen, static_cast<float>(vp.X), static_cast<float>(vp.Y), 2.0f / w, 2.0f / h);
  // Pixel centres sit on integer coordinates: half a pixel right and down, and one sub-pixel
  // step less downwards, where llvmpipe breaks ties the other way in top-first rows.
  gl.glUniform2f(at.shift, 1.0f / w, -(1.0f - 2.0f * kSubPixel) / h);
  const D3DCOLORVALUE material = st.material ? st.material->Diffuse : D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
  gl.glUniform4fv(at.material, 1, &material.r);
  const D3DCOLORVALUE ambient = Colour(rs[D3DRS_AMBIENT]);
  gl.glUniform4fv(at.ambient, 1, &ambient.r);
  if (at.lightDiffuse >= 0) {
    float position[32] = {}, direction[32] = {}, diffuse[32] = {}, amb[32] = {}, attenuation[32] = {}, spot[32] = {};
    for (int i = 0; i < kRasterLights; ++i) {
      const D3DLIGHT8* l = st.lights[i];
      if (!l) continue;
      float* p = position + 4 * i;
      p[0] = l->Position.x, p[1] = l->Position.y, p[2] = l->Position.z;
      const float len = std::sqrt(l->Direction.x * l->Direction.x + l->Direction.y * l->Direction.y +
                                  l->Direction.z * l->Direction.z);
      if (len > 0.0f) {
        // Lights shine along Direction: the vector towards the light is its opposite.
        direction[4 * i] = -l->Direction.x / len;
        direction[4 * i + 1] = -l->Direction.y / len;
        direction[4 * i + 2] = -l->Direction.z / len;
      }
      std::memcpy(diffuse + 4 * i, &l->Diffuse, sizeof(float) * 4);
      std::memcpy(amb + 4 * i, &l->Ambient, sizeof(float) * 4);
      float* a = attenuation + 4 * i;
      a[0] = l->Attenuation0, a[1] = l->Attenuation1, a[2] = l->Attenuation2, a[3] = l->Range;
      float* s = spot + 4 * i;
      s[0] = std::cos(l->Theta * 0.5f), s[1] = std::cos(l->Phi * 0.5f), s[2] = l->Falloff;
    }
    gl.glUniform4fv(at.lightPosition, kRasterLights, position);
    gl.glUniform4fv(at.lightDirection, kRasterLights, direction);
    gl.glUniform4fv(at.lightDiffuse, kRasterLights, diffuse);
    gl.glUniform4fv(at.lightAmbient, kRasterLights, amb);
    gl.glUniform4fv(at.lightAttenuation, kRasterLights, attenuation);
    gl.glUniform4fv(at.lightSpot, kRasterLights, spot);
  }
  gl.glUniformMatrix4fv(at.textureMatrix, kRasterStages, GL_FALSE, &st.textureTransform[0].m[0][0]);
  gl.glUniform4f(at.fog, AsFloat(rs[D3DRS_FOGSTART]), AsFloat(rs[D3DRS_FOGEND]), AsFloat(rs[D3DRS_FOGDENSITY]), 0.0f);
  const D3DCOLORVALUE fog = Colour(rs[D3DRS_FOGCOLOR]);
  gl.glUniform4fv(at.fogColor, 1, &fog.r);
  const D3DCOLORVALUE factor = Colour(rs[D3DRS_TEXTUREFACTOR]);
  gl.glUniform4fv(at.textureFactor, 1, &factor.r);
  gl.glUniform1f(at.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  if (at.clipPlanes >= 0) gl.glUniform4fv(at.clipPlanes, kRasterClipPlanes, st.clipPlanes[0].data());
}

void Rasterizer::BindTextures(const FixedFunctionKey& key, const RasterState& st) {
  for (int s = 0; s < key.stages; ++s)
    if (key.stage[s].texture) BindStage(s, dynamic_cast<Texture*>(st.textures[s]), st.stageState[s].data());
  context_.gl().glActiveTexture(GL_TEXTURE0);
}

void Rasterizer::BindStage(int s, Texture* texture, const DWORD* ts) {
  const GlFunctions& gl = context_.gl();
  gl.glActiveTexture(GL_TEXTURE0 + s);
  if (texture == nullptr || !Format(texture->Format(), nullptr)) {
    gl.glBindTexture(GL_TEXTURE_2D, 0);
    return;
  }
  for (UINT i = 0; i < texture->GetLevelCount(); ++i) Upload(texture->Level(i));
  GLint level = 0;
  const GLuint name = MirrorOf(texture->Level(0), &level);
  gl.glBindTexture(GL_TEXTURE_2D, name);
  const GLuint sampler = samplers_[s];
  gl.glBindSampler(s, sampler);
  gl.glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, Address(ts[D3DTSS_ADDRESSU]));
  gl.glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, Address(ts[D3DTSS_ADDRESSV]));
  const D3DCOLORVALUE border = Colour(ts[D3DTSS_BORDERCOLOR]);
  gl.glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, &border.r);
  const bool magLinear = ts[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
  const bool minLinear = ts[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
  GLint min = minLinear ? GL_LINEAR : GL_NEAREST;
  if (texture->GetLevelCount() > 1 && ts[D3DTSS_MIPFILTER] == D3DTEXF_POINT)
    min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  if (texture->GetLevelCount() > 1 && ts[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR)
    min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  gl.glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
  gl.glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, min);
}

TechniqueProgram* Rasterizer::Technique(ShaderTechnique technique) {
  auto& slot = techniques_[static_cast<size_t>(technique)];
  if (slot) return slot.get();
  auto program = std::make_unique<TechniqueProgram>();
  std::string error;
  ++programBuilds_;
  if (!program->Build(context_.gl(), technique, &error)) {
    if (error_.empty()) error_ = error;
    return nullptr;
  }
  slot = std::move(program);
  return slot.get();
}

void Rasterizer::SetTechniqueUniforms(const TechniqueProgram& program, const RasterState& st,
                                      const D3DVIEWPORT8& vp) {
  const GlFunctions& gl = context_.gl();
  const auto& at = program.at();
  const DWORD* rs = st.renderState;
  static const float kNone[96 * 4] = {};
  gl.glUniform4fv(at.constants, 96, st.vertexConstants ? st.vertexConstants : kNone);
  gl.glUniform4fv(at.pixelConstants, 8, st.pixelConstants ? st.pixelConstants : kNone);
  gl.glUniform2f(at.shift, 1.0f / static_cast<float>(vp.Width), -(1.0f - 2.0f * kSubPixel) / static_cast<float>(vp.Height));
  const D3DCOLORVALUE factor = Colour(rs[D3DRS_TEXTUREFACTOR]);
  gl.glUniform4fv(at.textureFactor, 1, &factor.r);
  if (at.lit < 0) return;
  const D3DCOLORVALUE ambient = Colour(rs[D3DRS_AMBIENT]);
  gl.glUniform4fv(at.ambient, 1, &ambient.r);
  // Only the directional lights: the sun and its like, not the lamps and spots of a stage. The
  // program lights with them whatever the fixed-function switch says, as a shader would.
  float direction[32] = {}, diffuse[32] = {};
  int lit = 0;
  for (int i = 0; i < kRasterLights; ++i) {
    const D3DLIGHT8* l = st.lights[i];
    if (l == nullptr || l->Type != D3DLIGHT_DIRECTIONAL) continue;
    const float len = std::sqrt(l->Direction.x * l->Direction.x + l->Direction.y * l->Direction.y +
                                l->Direction.z * l->Direction.z);
    if (!(len > 0.0f)) continue;
    direction[4 * i] = -l->Direction.x / len;
    direction[4 * i + 1] = -l->Direction.y / len;
    direction[4 * i + 2] = -l->Direction.z / len;
    std::memcpy(diffuse + 4 * i, &l->Diffuse, sizeof(float) * 4);
    lit = 1;
  }
  gl.glUniform1i(at.lit, lit);
  gl.glUniform4fv(at.lightDirection, kRasterLights, direction);
  gl.glUniform4fv(at.lightDiffuse, kRasterLights, diffuse);
}

void Rasterizer::TechniqueAttributes(const RasterDraw& draw) {
  const GlFunctions& gl = context_.gl();
  const GLsizei stride = static_cast<GLsizei>(draw.stride);
  for (GLuint location = 0; location < kAttribTexture + 8; ++location) gl.glDisableVertexAttribArray(location);
  if (draw.technique == ShaderTechnique::TerrainBase || draw.technique == ShaderTechnique::TerrainLayer) {
    gl.glEnableVertexAttribArray(kAttribPosition);
    gl.glVertexAttribPointer(kAttribPosition, 4, GL_SHORT, GL_FALSE, stride, nullptr);
    return;
  }
  const DWORD position = draw.fvf & D3DFVF_POSITION_MASK;
  gl.glEnableVertexAttribArray(kAttribPosition);
  gl.glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
  if ((draw.fvf & D3DFVF_TEXCOUNT_MASK) != 0) {
    // The first coordinate set follows the position, its blend weights, normal, point size
    // and colours.
    size_t offset = 12 + (position >= D3DFVF_XYZB1 ? 4 * ((position - D3DFVF_XYZRHW) / 2) : 0);
    if (draw.fvf & D3DFVF_NORMAL) offset += 12;
    if (draw.fvf & D3DFVF_PSIZE) offset += 4;
    if (draw.fvf & D3DFVF_DIFFUSE) offset += 4;
    if (draw.fvf & D3DFVF_SPECULAR) offset += 4;
    gl.glEnableVertexAttribArray(kAttribTexture);
    gl.glVertexAttribPointer(kAttribTexture, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
  }
}

bool Rasterizer::DrawCoverage(const TextCoverage& coverage, int x, int y, D3DCOLOR colour) {
  if (coverage.width <= 0 || coverage.height <= 0) return true;
  if (!OnDrawingThread() || !Ready()) return false;
  context_.MakeCurrent();
  DeletePending();
  const GlFunctions& gl = context_.gl();
  Surface *target = nullptr, *zs = nullptr;
  if (!BindTargets(&target, &zs)) return false;
  TechniqueProgram* program = Technique(ShaderTechnique::Text);
  if (program == nullptr) return false;
  const float w = static_cast<float>(target->Width()), h = static_cast<float>(target->Height());
  gl.glViewport(0, 0, static_cast<GLsizei>(target->Width()), static_cast<GLsizei>(target->Height()));
  gl.glDisable(GL_DEPTH_TEST);
  gl.glDisable(GL_STENCIL_TEST);
  gl.glDisable(GL_CULL_FACE);
  gl.glDisable(GL_POLYGON_OFFSET_FILL);
  gl.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  for (int i = 0; i < kRasterClipPlanes; ++i) gl.glDisable(GL_CLIP_DISTANCE0 + i);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.glEnable(GL_BLEND);
  gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.glBlendEquation(GL_FUNC_ADD);
  gl.glUseProgram(program->name());
  const float left = 2.0f * static_cast<float>(x) / w - 1.0f, top = 1.0f - 2.0f * static_cast<float>(y) / h;
  const float right = 2.0f * static_cast<float>(x + coverage.width) / w - 1.0f;
  const float bottom = 1.0f - 2.0f * static_cast<float>(y + coverage.height) / h;
  gl.glUniform4f(program->at().rect, left, top, right, bottom);
  const D3DCOLORVALUE c = Colour(colour);
  gl.glUniform4fv(program->at().colour, 1, &c.r);
  gl.glActiveTexture(GL_TEXTURE0);
  gl.glBindSampler(0, 0);
  if (!coverageTexture_) gl.glGenTextures(1, &coverageTexture_);
  gl.glBindTexture(GL_TEXTURE_2D, coverageTexture_);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, coverage.width, coverage.height, 0, GL_RED, GL_UNSIGNED_BYTE,
               coverage.pixels.data());
  gl.glBindVertexArray(emptyVertexArray_);
  gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  target->SetFresh(Freshness::Cache);
  return true;
}

RasterSkip Rasterizer::Draw(const RasterDraw& draw, const RasterState& st) {
  const DWORD position = draw.fvf & D3DFVF_POSITION_MASK;
  const bool terrain =
      draw.shaderTechnique &&
      (draw.technique == ShaderTechnique::TerrainBase || draw.technique == ShaderTechnique::TerrainLayer);
  if (terrain ? draw.stride < 8
              : !position || draw.stride < d3dfmt::FvfStride(draw.fvf) ||
                    (draw.shaderTechnique && position == D3DFVF_XYZRHW))
    return RasterSkip::NoPosition;
  if (draw.type < D3DPT_POINTLIST || draw.type > D3DPT_TRIANGLEFAN) return RasterSkip::Operation;
  FixedFunctionKey key;
  if (!draw.shaderTechnique && !MakeKey(draw, st, &key)) return RasterSkip::Operation;
  if (!Ready()) return RasterSkip::Off;
  if (draw.count == 0 || (draw.indices && draw.indexCount == 0)) return RasterSkip::None;
  context_.MakeCurrent();
  DeletePending();
  const GlFunctions& gl = context_.gl();
  Surface *target = nullptr, *zs = nullptr;
  if (!BindTargets(&target, &zs)) return RasterSkip::Operation;
  FixedFunctionProgram* program = nullptr;
  TechniqueProgram* technique = nullptr;
  if (draw.shaderTechnique)
    technique = Technique(draw.technique);
  else
    program = Program(key);
  if (!program && !technique) return RasterSkip::Operation;

  D3DVIEWPORT8 vp{};
  device_.GetViewport(&vp);
  gl.glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
             static_cast<GLsizei>(vp.Height));
  gl.glDepthRange(vp.MinZ, vp.MaxZ);
  GlFormat depthFormat;
  const bool depth = zs && Format(zs->Format(), &depthFormat);
  SetFixedState(st, depth, depth && depthFormat.stencil);
  for (int i = 0; i < kRasterClipPlanes; ++i) {
    if (!technique && (key.clipMask & (1 << i)))
      gl.glEnable(GL_CLIP_DISTANCE0 + i);
    else
      gl.glDisable(GL_CLIP_DISTANCE0 + i);
  }
  if (technique) {
    gl.glUseProgram(technique->name());
    SetTechniqueUniforms(*technique, st, vp);
    // The techniques read at most five stages.
    for (int s = 0; s < 5; ++s) BindStage(s, dynamic_cast<Texture*>(st.textures[s]), st.stageState[s].data());
    gl.glActiveTexture(GL_TEXTURE0);
  } else {
    gl.glUseProgram(program->name());
    SetUniforms(*program, st, vp);
    BindTextures(key, st);
  }

  // The vertices the draw uses, first of them at 0.
  gl.glBindVertexArray(vertexArray_);
  gl.glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(draw.count) * draw.stride,
                  draw.vertices + static_cast<size_t>(draw.first) * draw.stride, GL_STREAM_DRAW);
  if (technique)
    TechniqueAttributes(draw);
  else
    FixedFunctionAttributes(draw, key.sets);
  Submit(draw);
  target->SetFresh(Freshness::Cache);
  if (depth) zs->SetFresh(Freshness::Cache);
  return RasterSkip::None;
}

void Rasterizer::FixedFunctionAttributes(const RasterDraw& draw, UINT sets) {
  const GlFunctions& gl = context_.gl();
  const DWORD position = draw.fvf & D3DFVF_POSITION_MASK;
  const GLsizei stride = static_cast<GLsizei>(draw.stride);
  size_t offset = 0;
  auto attribute = [&](GLuint location, GLint size, GLenum type, GLboolean normalized, size_t bytes) {
    gl.glEnableVertexAttribArray(location);
    gl.glVertexAttribPointer(location, size, type, normalized, stride, reinterpret_cast<const void*>(offset));
    offset += bytes;
  };
  auto absent = [&](GLuint location) { gl.glDisableVertexAttribArray(location); };
  if (position == D3DFVF_XYZRHW) {
    attribute(kAttribPosition, 4, GL_FLOAT, GL_FALSE, 16);
  } else {
    attribute(kAttribPosition, 3, GL_FLOAT, GL_FALSE, 12);
    if (position >= D3DFVF_XYZB1) offset += 4 * ((position - D3DFVF_XYZRHW) / 2);  // 1-5 blend weights, skipped
  }
  if (draw.fvf & D3DFVF_NORMAL)
    attribute(kAttribNormal, 3, GL_FLOAT, GL_FALSE, 12);
  else
    absent(kAttribNormal);
  if (draw.fvf & D3DFVF_PSIZE) offset += 4;
  if (draw.fvf & D3DFVF_DIFFUSE)
    attribute(kAttribColor, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
  else
    absent(kAttribColor);
  if (draw.fvf & D3DFVF_SPECULAR) offset += 4;
  for (UINT i = 0; i < 8; ++i) {
    if (i < sets) {
      const UINT floats = SetFloats(draw.fvf, i);
      attribute(kAttribTexture + i, static_cast<GLint>(std::min<UINT>(floats, 2)), GL_FLOAT, GL_FALSE, 4 * floats);
    } else {
      absent(kAttribTexture + i);
    }
  }

}

void Rasterizer::Submit(const RasterDraw& draw) {
  const GlFunctions& gl = context_.gl();
  const GLenum mode = Primitive(draw.type);
  if (draw.indices) {
    gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    gl.glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(draw.indexCount) * draw.indexSize, draw.indices,
                    GL_STREAM_DRAW);
    gl.glDrawElementsBaseVertex(mode, static_cast<GLsizei>(draw.indexCount),
                                draw.indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr,
                                draw.base - static_cast<GLint>(draw.first));
  } else {
    gl.glDrawArrays(mode, 0, static_cast<GLsizei>(draw.count));
  }
}

}  // namespace host
