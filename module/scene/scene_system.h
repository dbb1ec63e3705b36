// The dance scene. So far it has the component frame, the renderer and the lighting system it
// owns, and the lighting steps of its main render pass; scene loading, the update and the rest
// of the render passes come with the scene system itself.
#pragma once
#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"

class CLightingSystem;
class IRenderer;
class ITerrainEdit;

class CSceneSystem : public CComponentBase {
 public:
  CSceneSystem();
  ~CSceneSystem() override;
  bool Init() override;
  void Destroy() override;
  void Realize(uint32_t arg) override;

  // The terrain the host supplied for the scene; nothing in the module fills it yet.
  virtual ITerrainEdit* GetTerrain();  // slot 12
  // The hit of a segment with the scene's "camera_patch" model; the scene loads no models
  // yet, so there is no hit.
  virtual bool IntersectSegment(const D3DXVECTOR3* from, const D3DXVECTOR3* to, D3DXVECTOR3* hit);  // slot 13
  virtual CLightingSystem* GetLightingSystem();  // slot 14

  // The frame of the first light socket of that name (compared without regard to case); false
  // and the matrix left as it is when there is none. The scene has no sockets yet.
  bool FindLightSocket(const char* name, D3DMATRIX* frame);

  IRenderer* renderer = nullptr;
  CLightingSystem* lighting = nullptr;
};
