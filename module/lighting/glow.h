// The full-screen glow pass. In the last render phase it copies the finished back buffer,
// shrinks it into a 256 x 256 target, blurs that with four one-texel-offset blends into a
// second target whose strength rides on the texture factor, and adds the blur back over the
// screen. Events 111 and 222 tune it, the Home key toggles it, and it remakes its device
// textures across a device loss and reset.
#pragma once
#include <cstdint>

#include "d3d8/d3d8.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"

class IRenderer;

// Position and one coordinate set (format 0x102), 20 bytes.
struct GlowVertex {
  float x, y, z;
  float u, v;
};

constexpr DWORD kGlowVertexFormat = 0x102;
constexpr UINT kGlowTargetSize = 256;
// Home key released.
constexpr uint32_t kGlowToggleMessage = 0x101;
constexpr uint32_t kGlowToggleKey = 0x24;
constexpr int kGlowEventBlend = 111;
constexpr int kGlowEventStrength = 222;

class CGlow : public CComponentBase {
 public:
  CGlow();
  ~CGlow() override;  // slot 11

  bool Init() override;                                                              // slot 0
  void RealizePost(uint32_t arg) override;                                           // slot 5
  int OnEvent(IEventArgs* args) override;                                            // slot 6
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7
  virtual void SetToggle(uint8_t on);                                                // slot 12

  // The texture factor (alpha only) the blur passes are drawn with for a strength and blend.
  static uint32_t TextureFactorOf(float strength, float blend);

  IRenderer* renderer = nullptr;
  IDirect3DTexture8* backBufferTexture = nullptr;
  IDirect3DTexture8* downSampleTarget = nullptr;
  IDirect3DTexture8* blurTarget = nullptr;
  D3DXMATRIX savedView{}, savedProjection{};
  D3DVIEWPORT8 savedViewport{};
  D3DXMATRIX screenProjection{}, targetProjection{};
  IDirect3DSurface8* targetSurface = nullptr;
  IDirect3DSurface8* savedRenderTarget = nullptr;
  IDirect3DSurface8* savedDepthStencil = nullptr;
  GlowVertex screenQuad[4]{};
  GlowVertex targetQuad[4]{};
  uint8_t enabled = 1;
  uint32_t textureFactor = 0;
  float glowBlend = 0.0f;
  float glowStrength = 0.0f;
  int combineEffect = -1, blendEffect = -1, copyEffect = -1;
  uint8_t toggle = 0;

 private:
  void BeginPostEffect();
  void CopyBackBuffer();
  bool DownSample();
  bool BlurGlow();
  void CombineGlow();
  void EndPostEffect();
  // Draws into the texture's level 0 (cleared to `colour`) with the saved depth surface.
  // False, with nothing held and the target unchanged, when any surface or the switch is
  // refused.
  bool SetRenderTarget(IDirect3DTexture8* texture, D3DCOLOR colour);
  void RestoreRenderTarget();
  void ReleaseTargetSurfaces();
  void SetQuadTexCoords(int pass);
  void DrawTargetQuad(int effect);
  // Makes the copy texture and the two targets; the log line names the first that failed.
  bool CreateDeviceObjects(const char** failure);
  void ReleaseDeviceObjects();
  void RestoreDeviceObjects();
};
