// The shadow map: depth from a directional light rendered into a 1024 x 1024 texture through a
// ramp texture that codes depth as colour, and the matrices with which effects project that
// depth back onto receivers (four offset taps) or onto the casters themselves. The scene system
// constructs and destroys it; the rest is driven by whoever renders shadows with it.
//
// The light can be fitted to the camera and the caster boxes in two ways (FitToCamera): in the
// camera's post-projective space (perspective shadow maps), or with a perspective warp in light
// space (light-space perspective shadow maps). Both leave in lightViewProjection the whole
// matrix from world space to the shadow map's clip space, so the constant setters serve either.
#pragma once
#include <cstdint>
#include <vector>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"

class IDirect3DSurface8;
class IDirect3DTexture8;
class IRenderer;

struct ShadowBox {
  D3DXVECTOR3 min;
  D3DXVECTOR3 max;
};

// What the fitting needs of the camera: its view matrix (world to camera space, left-handed,
// looking along +z).
struct ShadowCamera {
  D3DXMATRIX view;
};

constexpr UINT kShadowMapSize = 1024;
constexpr UINT kShadowRampSize = 2048;
constexpr D3DCOLOR kShadowClearColour = 0xFFFFE000u;
// The ramp texel of a depth code: bits 0-7 in red, bits 8-10 in the top of green.
constexpr uint32_t ShadowRampTexel(uint32_t i) { return (((i >> 3) & 0xE0u) | ((i & 0xFFu) << 8)) << 8; }

class CShadowMap {
 public:
  CShadowMap();
  virtual ~CShadowMap();
  CShadowMap(const CShadowMap&) = delete;
  CShadowMap& operator=(const CShadowMap&) = delete;

  // Makes the ramp, the shadow target, its depth surface, the effects and the overlay quads;
  // false (with what was made kept for the destructor) when a step fails.
  bool Init();
  void AddCasterBox(const float* min, const float* max);
  // The caster boxes in the space of `m`, and the depth range they span there.
  void ComputeDepthRange(const D3DXMATRIX* m);
  // An orthographic light looking at `target` from `distance` along `direction`, `width` wide.
  void SetLightView(const D3DXVECTOR3* target, const D3DXVECTOR3* direction, float distance, float width);
  // Fits the light to the camera and the casters: the variant byte picks perspective shadow
  // maps (1) or the light-space warp (0); nothing happens while fitting is off or no caster is
  // known.
  void FitToCamera(const ShadowCamera* camera);
  void FitToCameraAlt(const ShadowCamera* camera);
  void BeginShadowPass();
  void EndShadowPass();
  void SetCasterConstants(const D3DXMATRIX* world);
  void SetProjectConstants(const D3DXMATRIX* m);
  void SetSelfShadowConstants(const D3DXMATRIX* m);
  void DrawOverlay();

  IRenderer* renderer = nullptr;
  IDirect3DTexture8* rampTexture = nullptr;
  IDirect3DTexture8* shadowTexture = nullptr;
  IDirect3DSurface8* depthSurface = nullptr;
  IDirect3DSurface8* shadowSurface = nullptr;
  IDirect3DSurface8* savedTarget = nullptr;
  IDirect3DSurface8* savedDepth = nullptr;
  D3DVIEWPORT8 savedViewport{};
  D3DXMATRIX lightViewProjection;
  D3DXMATRIX tapMatrices[4];
  int generateEffect = -1, projectEffect = -1, selfEffect = -1;
  int overlayQuad0 = -1, overlayQuad1 = -1;
  int overlayEffect = -1;
  float lightScale = 1.0f;
  float nearZ = 0.0f, farZ = 0.0f;
  // How far the perspective fitting moved the camera back; the light-space warp's near
  // distance; the weight of that warp (1: the optimal distance, larger: more uniform).
  float cameraSlide = 0.0f, warpNear = 0.0f, warpWeight = 1.0f;
  float factor = 0.0f;
  uint8_t fitEnabled = 0;
  uint8_t fitVariant = 0;  // 1: perspective shadow maps, 0: light-space warp
  uint8_t behindFlag = 0;
  D3DXVECTOR3 lightDirection{0.0f, 0.0f, 0.0f};
  std::vector<ShadowBox> viewBoxes;
  std::vector<ShadowBox> casterBoxes;
  D3DXVECTOR3 boundsMin{1e32f, 1e32f, 1e32f};
  // Starts far below zero, so boxes wholly below zero keep their maximum.
  D3DXVECTOR3 boundsMax{-1e32f, -1e32f, -1e32f};

 private:
  void SetTaps();
  // The eight corners of every view box.
  std::vector<D3DXVECTOR3> ViewCorners() const;
  // An orthographic light along `direction` (towards the light) around `points`.
  static D3DXMATRIX FitOrthographic(const D3DXVECTOR3& direction, const std::vector<D3DXVECTOR3>& points);
};
