// The host's "dx8render" service over a device of its own. It keeps every state the module
// sets and reads it back, holds textures, buffers, effects and fonts by handle, and records
// each draw with a copy of the vertices and indices it used and the state in force. Records are
// kept for the current frame and the one before it (BeginFrame), so a run of any length holds
// two frames of them.
//
// Registration: host.AddService("dx8render", static_cast<IRenderer*>(&renderer)) and
// host.AddFrameStart([&] { renderer.BeginFrame(); }).
// Device loss: call OnDeviceLost() when the device is lost (with event 30001) and
// OnDeviceReset() before the components hear event 30002.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "frame/renderer.h"
#include "host/d3d_device.h"
#include "host/font_face.h"
#include "host/frame_records.h"
#include "host/rasterizer.h"

namespace host {

constexpr DWORD kRendererStages = 8;
constexpr DWORD kRendererRenderStates = 256;
constexpr DWORD kRendererStageStates = 29;  // texture-stage state types 1-28
constexpr DWORD kRendererVertexConstants = 96;
constexpr DWORD kRendererPixelConstants = 8;
constexpr DWORD kRendererClipPlanes = 6;
constexpr DWORD kRendererSnapshotLights = 8;

// Where the vertices of a draw lie: [first, first + count) of its source, and the base that
// is added to every index it reads. Every user of a draw's vertices takes them from here.
struct DrawnVertices {
  UINT first = 0;
  UINT count = 0;
  INT base = 0;
};

// Draws and texts the rasteriser drew or left out, by reason.
struct RasterCounts {
  size_t rasterised = 0;
  size_t shaderOnly = 0;   // techniques made of shaders only
  size_t noPosition = 0;   // no position in the format, or a stride shorter than it
  size_t operation = 0;    // an operation outside what the rasteriser does
  size_t texts = 0;        // texts drawn by slots 73 and 145
  size_t textsDrawn = 0;   // of those, drawn into the target (not while rasterising is off or without a font)
  size_t NotRasterised() const { return shaderOnly + noPosition + operation + (texts - textsDrawn); }
};

// The state in force when a draw was made.
struct RenderSnapshot {
  D3DMATRIX world, view, projection;
  std::array<D3DMATRIX, kRendererStages> textureTransform;
  std::array<int, kRendererStages> textureHandle;  // -1 for none or a texture object set directly
  std::array<const IDirect3DTexture8*, kRendererStages> texture;  // for identity only
  std::array<DWORD, kRendererRenderStates> renderState;
  std::array<std::array<DWORD, kRendererStageStates>, kRendererStages> stageState;
  DWORD vertexShader;
  std::array<float, kRendererVertexConstants * 4> vertexConstants;
  std::array<float, kRendererPixelConstants * 4> pixelConstants;
  std::array<bool, kRendererSnapshotLights> lightEnabled;
  std::array<D3DLIGHT8, kRendererSnapshotLights> light;
  BOOL lightingMode;
  D3DVIEWPORT8 viewport;
  const IDirect3DSurface8* renderTarget;  // for identity only

  DWORD RenderState(DWORD state) const { return state < renderState.size() ? renderState[state] : 0; }
  DWORD StageState(DWORD stage, DWORD type) const {
    return stage < kRendererStages && type < kRendererStageStates ? stageState[stage][type] : 0;
  }
};

struct DrawRecord {
  int slot = 0;            // 52, 53, 55, 56 or 57
  DWORD primitiveType = 0;  // 4 for the triangle lists of slot 52
  DWORD fvf = 0;           // the format of the vertices
  int vertexBuffer = -1;   // -1 for the drawing from user memory
  int indexBuffer = -1;
  UINT stride = 0;
  // The argument as passed: the base vertex of slots 52 and 53, the lowest index of slot 57,
  // the first vertex of slot 55.
  UINT minIndex = 0;
  UINT baseVertex = 0;     // added to every index read: minIndex for slots 52 and 53, else 0
  UINT firstVertex = 0;    // the vertex range the draw uses: firstVertex .. + vertexCount - 1
  UINT vertexCount = 0;
  UINT startIndex = 0;
  UINT primitiveCount = 0;
  DWORD indexFormat = 0;
  int effect = -1;
  DWORD reserved = 0;
  HRESULT result = D3D_OK;
  std::string error;       // why a refused draw was refused
  bool inScene = false;
  uint64_t tick = 0;
  bool rasterised = false;
  // Vertices firstVertex .. firstVertex + vertexCount - 1, stride bytes each.
  std::vector<uint8_t> vertices;
  std::vector<uint32_t> indices;  // as read, before the base vertex is added
  // Shared by the draws made while nothing it holds changed.
  std::shared_ptr<const RenderSnapshot> state;

  // The bytes of the vertex `index` names (an index as read; for slots 55 and 56 the vertex's
  // number in its buffer), or null outside the copy.
  const uint8_t* Vertex(UINT index) const;
  // The float at byte `offset` of vertex `index`; 0 outside the copy.
  float VertexFloat(UINT index, UINT offset) const;
  uint32_t VertexDword(UINT index, UINT offset) const;
};

struct TextRecord {
  int x = 0;
  int y = 0;
  float z = 0.0f;
  int font = -1;  // -1 for DrawText
  D3DCOLOR colour = 0xFFFFFFFFu;
  std::string text;  // UTF-8
  uint64_t tick = 0;
};

struct ClearRecord {
  DWORD count = 0;
  DWORD flags = 0;
  D3DCOLOR colour = 0;
  float z = 0.0f;
  DWORD stencil = 0;
  HRESULT result = D3D_OK;
};

// One entry of the renderer's ordered call log: the state, stage, transform, texture, clip
// plane, shader constant, clear and draw calls in the order they came, with the tick they came
// in.
struct RendererLogEntry {
  enum class Kind { State, Stage, Transform, Texture, BaseTexture, ClipPlane, Constant, Clear, Draw };
  Kind kind = Kind::State;
  uint64_t tick = 0;
  // State: state, value. Stage: stage, type, value. Transform: type. Texture, BaseTexture: stage.
  // ClipPlane: index. Constant: first register, count. Clear: flags. Draw: slot, primitive count.
  DWORD a = 0, b = 0, c = 0;
  int texture = -1;            // Texture: the handle (-1: none); Draw: the vertex buffer
  D3DMATRIX matrix{};          // Transform
  float values[4] = {0, 0, 0, 0};  // ClipPlane: the plane; Constant: the first register
  bool accepted = true;        // false when the renderer refused the call

  // One line, states and transforms by their Direct3D names: "D3DRS_ZWRITEENABLE = 0",
  // "stage 0 D3DTSS_COLOROP = 0x5", "D3DTS_VIEW (16 numbers)", "texture 0 = 3", "draw slot 55, 12
  // primitives", ...; " (refused)" at the end of a refused call.
  std::string Text() const;
};

// The renderer operations whose failure can be arranged.
enum class RendererCall {
  LoadTexture,
  CreateVertexBuffer,
  CreateIndexBuffer,
  LockVertexBuffer,
  LockIndexBuffer,
  LockDynamicVertices,
  CreateTexture,
  kCount
};

struct RendererConfig {
  DeviceConfig device;
  UINT dynamicBufferBytes = 4u << 20;
  // Texts are drawn in the installed face each font name maps to (host/font_face.h), this many
  // pixels high; where no face can be had a character measures fontCharWidth and is not drawn.
  UINT fontCharWidth = 8;
  UINT fontHeight = 16;
  // Draws and clears go through the rasteriser; off, only memory copies change.
  bool rasterize = true;
};

// The vertices a recorded draw reads.
DrawnVertices VerticesOf(const DrawRecord& record);

// What a texture stage holds, taken by a host object that binds a texture of its own for a draw
// and puts the module's binding back after it (the texture object is held meanwhile).
struct StageBinding {
  bool saved = false;
  int handle = -1;
  IDirect3DTexture8* texture = nullptr;
};
StageBinding SaveStage(IRenderer* renderer, DWORD stage);
void RestoreStage(IRenderer* renderer, DWORD stage, StageBinding& binding);

class Renderer final : public IRenderer {
 public:
  explicit Renderer(const RendererConfig& config = {});
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // ---- IRenderer ----
  HRESULT PushTransform(DWORD type) override;
  HRESULT PopTransform(DWORD type) override;
  void* LockDynamicVertices(DWORD fvf, UINT stride, UINT count, int* buffer, UINT* firstVertex) override;
  void UnlockDynamicVertices(int buffer) override;
  HRESULT ClearBuffers(DWORD flags) override;
  int LoadTexture(const char* fileName, DWORD flags) override;
  HRESULT SetTexture(DWORD stage, int texture) override;
  void ReleaseTexture(int texture) override;
  void GetLookAt(D3DVECTOR* eye, D3DVECTOR* at, D3DVECTOR* up) override;
  void SetLookAt(const D3DVECTOR* eye, const D3DVECTOR* at, const D3DVECTOR* up) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  int CreateVertexBuffer(DWORD fvf, UINT bytes, DWORD usage, DWORD pool) override;
  int CreateIndexBuffer(UINT bytes, DWORD usage, DWORD pool, DWORD format) override;
  HRESULT DrawIndexed(int vertexBuffer, UINT stride, int indexBuffer, UINT baseVertex, UINT vertexCount,
                      UINT startIndex, UINT primitiveCount, int effect, DWORD reserved) override;
  HRESULT DrawIndexedPrimitive(DWORD type, int vertexBuffer, UINT stride, int indexBuffer, UINT baseVertex,
                               UINT vertexCount, UINT startIndex, UINT primitiveCount, int effect,
                               DWORD reserved) override;
  HRESULT DrawPrimitive(DWORD type, int vertexBuffer, UINT stride, UINT firstVertex, UINT primitiveCount, int effect,
                        DWORD reserved) override;
  HRESULT DrawPrimitiveUP(DWORD type, DWORD fvf, UINT primitiveCount, const void* vertices, UINT stride, int effect,
                          DWORD reserved) override;
  HRESULT DrawIndexedPrimitiveUP(DWORD type, UINT minIndex, UINT vertexCount, UINT primitiveCount,
                                 const void* indices, DWORD indexFormat, const void* vertices, UINT stride,
                                 int effect, DWORD reserved) override;
  int GetEffect(const char* technique) override;
  void* LockVertexBuffer(int buffer, UINT offset, UINT size, DWORD flags) override;
  HRESULT UnlockVertexBuffer(int buffer) override;
  void* LockIndexBuffer(int buffer, UINT offset, UINT size, DWORD flags) override;
  HRESULT UnlockIndexBuffer(int buffer) override;
  void ReleaseVertexBuffer(int buffer) override;
  void ReleaseIndexBuffer(int buffer) override;
  HRESULT SetTransform(DWORD type, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(DWORD type, D3DMATRIX* matrix) override;
  void DrawText(int x, int y, const char* format, ...) override FL_PRINTF(4, 5);
  IDirect3DDevice8* GetDevice() override { return &device_; }
  HRESULT SetRenderState(DWORD state, DWORD value) override;
  DWORD GetRenderState(DWORD state) override;
  HRESULT SetTextureStageState(DWORD stage, DWORD type, DWORD value) override;
  DWORD GetTextureStageState(DWORD stage, DWORD type) override;
  void CaptureScreen() override;
  BOOL Tick() override;
  HRESULT SetVertexShader(DWORD fvf) override;
  HRESULT GetRenderTarget(IDirect3DSurface8** surface) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface) override;
  HRESULT SetRenderTarget(IDirect3DSurface8* colour, IDirect3DSurface8* depth) override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT SetClipPlane(DWORD index, const float* plane) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** texture) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                    IDirect3DSurface8** surface) override;
  HRESULT SetBaseTexture(DWORD stage, IDirect3DTexture8* texture) override;
  HRESULT GetSurfaceLevel(IDirect3DTexture8* texture, UINT level, IDirect3DSurface8** surface) override;
  HRESULT CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count, IDirect3DSurface8* destination,
                    const POINT* points) override;
  HRESULT SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) override;
  HRESULT SetPixelShaderConstant(DWORD reg, const void* data, DWORD count) override;
  const RendererSize* GetBackBufferSize() override;
  int GetTextWidth(const wchar_t* text, int font, int length, DWORD flags) override;
  void DrawFontText(int font, D3DCOLOR colour, int x, int y, float z, const wchar_t* text) override;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
  HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
  HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
  void SetLightingMode(BOOL mode) override {
    lightingMode_ = mode;
    StateChanged();
  }
  IDirect3DTexture8* GetTextureObject(int texture) override;
  int SetSwitchA(int value) override;
  int SetSwitchB(int value) override;
  int GetFont(const char* name) override;

  // ---- Host side ----
  Device& device() { return device_; }

  // The material of the host's models, lit where their vertices carry no colour (null: white).
  void SetMaterial(const D3DMATERIAL8* material);
  // Rasterising on or off; turning it off first reads every newer mirror back.
  void SetRasterizing(bool on);
  bool Rasterizing() const { return device_.Cache() != nullptr; }
  const RasterCounts& Raster() const { return rasterCounts_; }
  // The rasteriser (null when rasterising was never on) for its mirror and program counts.
  const Rasterizer* Raster3D() const { return rasterizer_.get(); }

  // Where CaptureScreen writes its BMP files, a module path of a folder below the resource
  // root ("" : captures are counted only). Texture files are module paths below that root
  // too (win32/file_system.h).
  void SetCaptureDirectory(const std::string& directory) { captureDirectory_ = directory; }

  // Failures: the next `times` calls (-1: all) fail; texture and effect names (compared
  // without regard to case, backslashes and slashes alike) that always fail.
  void FailCall(RendererCall call, int times = 1);
  void FailTexture(const std::string& name);
  void FailEffect(const std::string& name);
  void ClearFailures();

  // Device loss: releases the renderer's own default-pool resources (its dynamic vertex
  // buffer), unbinds textures and puts the back buffer back as target.
  void OnDeviceLost();
  // Resets the device (0: keep its size) and remakes the renderer's own resources; false
  // when the device refuses because default-pool resources are still alive (see
  // ResetError()); the device then stays lost.
  bool OnDeviceReset(UINT width = 0, UINT height = 0);
  const std::string& ResetError() const { return resetError_; }
  size_t DeviceLosses() const { return losses_; }
  size_t DeviceResets() const { return resets_; }

  // Records. The draws, texts, clears, state calls and call log below hold the frame before the
  // current one and the current one (host/frame_records.h): BeginFrame runs as each frame
  // begins (the host's Execute runs it for the renderer it hands out, through AddFrameStart),
  // which waits for the GL work of the frame that ended and drops what came before it. What
  // came before the first BeginFrame counts as one frame.
  void BeginFrame();
  void SetRecording(bool on) { recording_ = on; }
  RecordsView<DrawRecord> Draws() const { return draws_.All(); }
  RecordsView<TextRecord> Texts() const { return texts_.All(); }
  RecordsView<ClearRecord> Clears() const { return clears_.All(); }
  // The records of the current frame, since the last BeginFrame.
  std::span<const DrawRecord> FrameDraws() const { return draws_.Frame(); }
  std::span<const TextRecord> FrameTexts() const { return texts_.Frame(); }
  std::span<const RendererLogEntry> FrameCalls() const { return callLog_.Frame(); }
  // Every accepted SetRenderState (state, value), in order.
  RecordsView<std::pair<DWORD, DWORD>> RenderStateCalls() const { return stateCalls_.All(); }
  void ClearRenderStateCalls() { stateCalls_.Clear(); }
  // How often SetLookAt was called since construction.
  size_t LookAtCalls() const { return lookAtCalls_; }
  // The ordered call log of the two frames; kept while recording is on, emptied by ClearRecords.
  RecordsView<RendererLogEntry> CallLog() const { return callLog_.All(); }
  // The entries of one tick among those kept, in order.
  std::vector<RendererLogEntry> CallsOfTick(uint64_t tick) const;
  void ClearRecords();
  // Every draw since construction, recorded or not, refused ones included.
  size_t DrawCount() const { return drawCount_; }
  size_t DrawsThisTick() const { return drawsThisTick_; }
  size_t RefusedDraws() const { return refusedDraws_; }
  uint64_t Ticks() const { return ticks_; }
  size_t Captures() const { return captures_; }
  // Warnings of the renderer (missing textures, bad handles, refused calls).
  const std::vector<std::string>& Log() const { return log_; }

  // Live resources
  size_t LiveTextures() const { return textures_.size(); }  // loaded texture handles
  size_t TextureLoads() const { return textureLoads_; }
  size_t LiveVertexBuffers() const;  // made by CreateVertexBuffer
  size_t LiveIndexBuffers() const;
  size_t LiveBuffers() const { return LiveVertexBuffers() + LiveIndexBuffers(); }
  // Device textures and surfaces plus the renderer's buffers in a pool.
  size_t LiveResources(D3DPOOL pool) const;

  // State inspection
  const D3DLIGHT8* Light(DWORD index) const;
  bool LightEnabled(DWORD index) const;
  const float* ClipPlane(DWORD index) const;
  DWORD VertexShader() const { return vertexShader_; }
  const float* VertexConstant(DWORD reg) const;
  const float* PixelConstant(DWORD reg) const;
  int StageTextureHandle(DWORD stage) const;
  IDirect3DTexture8* StageTexture(DWORD stage) const;
  BOOL LightingMode() const { return lightingMode_; }
  int SwitchA() const { return switchA_; }
  int SwitchB() const { return switchB_; }
  size_t TransformDepth(DWORD type) const;
  std::string EffectName(int effect) const;
  std::string FontName(int font) const;
  // The module path a texture handle was loaded from; "" for none.
  std::string TextureName(int texture) const;

 private:
  struct Buffer {
    bool index = false;
    DWORD fvf = 0;  // vertex buffers
    DWORD format = 0;  // index buffers
    DWORD usage = 0;
    DWORD pool = 0;
    std::vector<uint8_t> bytes;
    int locks = 0;
    bool own = false;  // the renderer's dynamic buffer
  };
  struct LoadedTexture {
    IDirect3DTexture8* texture = nullptr;
    std::string name;
    int loads = 0;
  };
  struct LightSlot {
    D3DLIGHT8 light{};
    bool enabled = false;
  };
  struct LookAt {
    D3DVECTOR eye, at, up;
    D3DMATRIX view;
    bool set = false;
  };

  bool Fails(RendererCall call);
  void Warn(std::string text);
  // Gives a new buffer its zeroed memory and a handle; -1 when the memory cannot be had.
  int AddBuffer(Buffer buffer, UINT bytes, const char* operation);
  D3DMATRIX* TransformSlot(DWORD type);
  Buffer* FindBuffer(int handle, bool index);
  void* LockBuffer(int handle, bool index, UINT offset, UINT size);
  HRESULT UnlockBuffer(int handle, bool index);
  void ReleaseBuffer(int handle, bool index);
  void MakeDynamicBuffer();
  void DropDynamicBuffer();
  void Snapshot(RenderSnapshot* out) const;
  // Every change of what a snapshot holds counts; the draws made between two changes share one.
  void StateChanged() { ++stateVersion_; }
  std::shared_ptr<const RenderSnapshot> CurrentSnapshot();
  HRESULT Record(DrawRecord& record, const uint8_t* vertexBase, size_t vertexBytes, const void* indexBase,
                 size_t indexBytes, UINT indexSize);
  HRESULT Refuse(DrawRecord& record, const std::string& why);
  void Rasterise(DrawRecord& record, const uint8_t* vertexBase, const uint8_t* firstIndex, UINT indexSize);
  // Techniques: the states a named technique sets for its own draw, the program that draws
  // it when the fixed-function pipeline cannot, or that it is shaders only and not drawn.
  enum class Technique { InForce, ShaderOnly, LightHull, AfterImage, CopyImage, BlendGlow, CombineGlowImage, Program };
  struct EffectTechnique {
    Technique kind = Technique::InForce;
    ShaderTechnique program = ShaderTechnique::TerrainBase;  // of a Program
  };
  static EffectTechnique TechniqueOf(const std::string& name);
  // Puts a technique's own states over copies of those in force.
  static void ApplyTechnique(Technique technique, DWORD* renderStates,
                             std::array<std::array<DWORD, kRendererStageStates>, kRendererStages>* stages);
  static void ApplyShaderTechnique(ShaderTechnique program, DWORD* renderStates,
                                   std::array<std::array<DWORD, kRendererStageStates>, kRendererStages>* stages);
  static std::string NameKey(const std::string& name);

  Device device_;
  RendererConfig config_;
  std::string captureDirectory_;

  std::array<DWORD, kRendererRenderStates> renderStates_{};
  std::array<std::array<DWORD, kRendererStageStates>, kRendererStages> stageStates_{};
  D3DMATRIX view_, projection_;
  std::array<D3DMATRIX, kRendererStages> textureTransforms_;
  std::array<D3DMATRIX, 256> worlds_;
  std::map<DWORD, std::vector<D3DMATRIX>> transformStacks_;
  LookAt lookAt_;
  size_t lookAtCalls_ = 0;
  std::map<DWORD, LightSlot> lights_;
  std::array<std::array<float, 4>, kRendererClipPlanes> clipPlanes_{};
  DWORD vertexShader_ = 0;
  std::array<float, kRendererVertexConstants * 4> vertexConstants_{};
  std::array<float, kRendererPixelConstants * 4> pixelConstants_{};
  std::array<int, kRendererStages> stageHandles_{};
  std::array<IDirect3DTexture8*, kRendererStages> stageTextures_{};  // referenced
  BOOL lightingMode_ = FALSE;
  int switchA_ = 0;
  int switchB_ = 0;
  RendererSize backBufferSize_{};

  std::map<int, LoadedTexture> textures_;
  std::map<std::string, int> textureByName_;
  int nextTexture_ = 1;
  size_t textureLoads_ = 0;
  std::map<int, Buffer> buffers_;
  int nextBuffer_ = 1;
  int dynamicBuffer_ = -1;
  UINT dynamicCursor_ = 0;
  std::map<std::string, int> effects_;
  std::vector<std::string> effectNames_;
  std::vector<EffectTechnique> effectTechniques_;
  D3DMATERIAL8 material_{};
  bool hasMaterial_ = false;
  RasterCounts rasterCounts_;
  bool rasterWarned_ = false;
  std::map<std::string, int> fonts_;
  std::vector<std::string> fontNames_;
  // The faces of the fonts by handle, opened at their first use; null where none can be had.
  std::map<int, std::unique_ptr<FontFace>> faces_;
  std::set<int> facesTried_;
  FontFace* Face(int font);
  // Draws a recorded text into the target when rasterising.
  void DrawTextRecord(const TextRecord& text);

  std::array<int, static_cast<size_t>(RendererCall::kCount)> failures_{};
  std::set<std::string> failingTextures_;
  std::set<std::string> failingEffects_;

  uint64_t stateVersion_ = 0;
  uint64_t snapshotVersion_ = 0;
  std::shared_ptr<RenderSnapshot> snapshot_;  // taken at snapshotVersion_
  // Every snapshot made, oldest first. Records go in the order they came, so the oldest is the
  // first no record holds any more; it is taken again rather than a new one made.
  std::deque<std::shared_ptr<RenderSnapshot>> snapshots_;

  bool recording_ = true;
  FrameRecords<DrawRecord> draws_;
  FrameRecords<TextRecord> texts_;
  FrameRecords<ClearRecord> clears_;
  FrameRecords<std::pair<DWORD, DWORD>> stateCalls_;
  FrameRecords<RendererLogEntry> callLog_;
  void LogCall(RendererLogEntry entry);
  std::vector<std::string> log_;
  size_t drawCount_ = 0;
  size_t drawsThisTick_ = 0;
  size_t refusedDraws_ = 0;
  uint64_t ticks_ = 0;
  size_t captures_ = 0;
  size_t losses_ = 0;
  std::string resetError_;
  size_t resets_ = 0;
  // Made after the device and gone before it: the device's surfaces outlive their mirrors.
  std::unique_ptr<Rasterizer> rasterizer_;
};

}  // namespace host
