// The device's rasteriser: the draws and clears of the renderer run through OpenGL on an
// off-screen llvmpipe context, into GL mirrors of the device's surfaces.
//
// The memory of a surface stays the truth the module sees; a mirror is a render cache. Each
// surface knows which copy is newer (Surface::Fresh): a draw or clear uploads what it uses when
// memory is newer and marks what it wrote as cache-newer; a copy from a cache-newer surface runs
// mirror to mirror and leaves the destination cache-newer; every CPU read of the device (locks,
// copies from memory, inspection) first reads a cache-newer surface back. Every texture has one GL texture
// with all its levels; the back buffer, render targets and depth surfaces one each. The colour
// target and the depth surface in force are attached to one framebuffer object.
//
// The context is made at the first draw or clear, on the thread that made the rasteriser (the
// drawing thread); GL is called only there. Locks on other threads only mark their surface.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/d3d_device.h"
#include "host/fixed_function_program.h"
#include "host/font_face.h"
#include "host/gl_context.h"
#include "host/technique_programs.h"

namespace host {

// The state a draw is made with. Arrays are the renderer's own, read during the call only.
struct RasterState {
  const DWORD* renderState = nullptr;   // 256 render states
  const std::array<DWORD, 29>* stageState = nullptr;  // 8 stages of texture-stage states 0-28
  const D3DMATRIX* world = nullptr;
  const D3DMATRIX* view = nullptr;
  const D3DMATRIX* projection = nullptr;
  const D3DMATRIX* textureTransform = nullptr;  // 8
  IDirect3DTexture8* const* textures = nullptr; // 8, null where none
  std::array<const D3DLIGHT8*, 8> lights{};     // null where off
  const std::array<float, 4>* clipPlanes = nullptr;  // 6, in world space
  const D3DMATERIAL8* material = nullptr;       // null: white
  const float* vertexConstants = nullptr;       // 96 registers of 4, for shader techniques
  const float* pixelConstants = nullptr;        // 8 registers of 4
};

// One draw's vertices and indices as the source holds them. Vertex i of the draw (as its
// indices name it, after adding `base`) lives at vertices + i * stride, for i in
// [first, first + count).
struct RasterDraw {
  DWORD type = 0;  // D3DPT 1-6
  DWORD fvf = 0;
  UINT stride = 0;
  const uint8_t* vertices = nullptr;
  UINT first = 0;
  UINT count = 0;
  INT base = 0;
  const uint8_t* indices = nullptr;  // the first index the draw reads, null when not indexed
  UINT indexSize = 0;  // 2 or 4
  UINT indexCount = 0;
  // Drawn by a technique's own program (host/technique_programs.h) instead of the
  // fixed-function one; the states in force still set depth, stencil, blending and culling.
  bool shaderTechnique = false;
  ShaderTechnique technique = ShaderTechnique::TerrainBase;
};

// Why a draw was not rasterised.
enum class RasterSkip {
  None,        // it was
  NoPosition,  // its format names no position, or its stride is shorter than its format
  Operation,   // it asks for an operation outside what the rasteriser does
  Off,         // no context could be made
};

class Rasterizer final : public SurfaceCache {
 public:
  explicit Rasterizer(Device& device);
  ~Rasterizer() override;
  Rasterizer(const Rasterizer&) = delete;
  Rasterizer& operator=(const Rasterizer&) = delete;

  // Makes the context at the first call; false (with Error()) when it cannot be made.
  bool Ready();
  const std::string& Error() const { return error_; }

  RasterSkip Draw(const RasterDraw& draw, const RasterState& state);
  // Blends a coverage picture in `colour` (its alpha scaled by the coverage) over the colour
  // target with its top-left pixel at (x, y), pixel for pixel; depth, stencil and the viewport
  // play no part. False when no context can be made or the target cannot be drawn to.
  bool DrawCoverage(const TextCoverage& coverage, int x, int y, D3DCOLOR colour);
  // Reads every cache-newer surface back, before the device stops using the rasteriser.
  void ReadBackAll();
  // Waits until the GL work asked for so far is done. The driver queues the work of the draws
  // and frees what it took only as the work runs; a host that never waits lets that queue, and
  // the memory under it, grow for as long as it draws.
  void Finish();

  // GL mirrors alive (textures with all their levels count once).
  size_t Mirrors() const;
  size_t Programs() const { return programs_.size(); }
  size_t ProgramBuilds() const { return programBuilds_; }
  size_t Uploads() const { return uploads_; }
  size_t ReadBacks() const { return readBacks_; }

  // SurfaceCache
  bool OnDrawingThread() const override { return std::this_thread::get_id() == drawingThread_; }
  void ReadBack(Surface* surface) override;
  void Forget(Surface* surface) override;
  void Forget(Texture* texture) override;
  bool Clear(const std::vector<RECT>& areas, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override;
  bool Copy(Surface* source, const RECT* rects, const POINT* points, UINT count, Surface* destination) override;

 private:
  struct GlFormat {
    GLint internal = 0;
    GLenum format = 0, type = 0;
    bool direct = false;  // memory has GL's layout; otherwise decoded to and from BGRA
    bool depth = false, stencil = false;
  };
  static bool Format(D3DFORMAT format, GlFormat* out);
  // The GL texture of a surface (made on first use) and its level; 0 when it has none.
  // A mirror made here starts with memory as the newer copy.
  GLuint MirrorOf(Surface* surface, GLint* level);
  GLuint MakeTexture(UINT width, UINT height, UINT levels, const GlFormat& format, Texture* levelsOf);
  void Upload(Surface* surface);
  bool BindTargets(Surface** colour, Surface** depth);
  void DeletePending();
  bool MakeKey(const RasterDraw& draw, const RasterState& state, FixedFunctionKey* key) const;
  FixedFunctionProgram* Program(const FixedFunctionKey& key);
  void SetFixedState(const RasterState& state, bool depth, bool stencil);
  void SetUniforms(const FixedFunctionProgram& program, const RasterState& state, const D3DVIEWPORT8& viewport);
  void BindTextures(const FixedFunctionKey& key, const RasterState& state);
  // Binds a texture to unit `stage` with the stage's addressing and filters.
  void BindStage(int stage, Texture* texture, const DWORD* stageStates);
  TechniqueProgram* Technique(ShaderTechnique technique);
  void SetTechniqueUniforms(const TechniqueProgram& program, const RasterState& state, const D3DVIEWPORT8& viewport);
  // Points the attributes at the uploaded vertices: the terrain's four 16-bit integers, or a
  // format's position and its first coordinate set.
  void TechniqueAttributes(const RasterDraw& draw);
  void FixedFunctionAttributes(const RasterDraw& draw, UINT sets);
  // The draw call over the uploaded vertices, with its indices when it has them.
  void Submit(const RasterDraw& draw);

  Device& device_;
  GlContext context_;
  std::thread::id drawingThread_;
  bool tried_ = false;
  std::string error_;

  mutable std::mutex mutex_;  // the mirror maps and the pending deletions
  std::unordered_map<const Surface*, GLuint> surfaces_;
  std::unordered_map<const Texture*, GLuint> textures_;
  std::vector<GLuint> pendingDeletes_;
  const Surface* attachedColour_ = nullptr;
  const Surface* attachedDepth_ = nullptr;

  GLuint framebuffer_ = 0, vertexArray_ = 0, vertexBuffer_ = 0, indexBuffer_ = 0;
  std::array<GLuint, kRasterStages> samplers_{};
  std::unordered_map<FixedFunctionKey, std::unique_ptr<FixedFunctionProgram>, FixedFunctionKeyHash> programs_;
  std::array<std::unique_ptr<TechniqueProgram>, static_cast<size_t>(ShaderTechnique::kCount)> techniques_;
  GLuint coverageTexture_ = 0, emptyVertexArray_ = 0;
  std::vector<uint32_t> scratch_;
  size_t programBuilds_ = 0;
  size_t uploads_ = 0;
  size_t readBacks_ = 0;
};

}  // namespace host
