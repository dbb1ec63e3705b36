// Textures projected onto the scene's ground. The scene system holds the projector as a member
// and drives its life cycle; the projection itself comes with the render members of the scene,
// and until then these operations do nothing.
#pragma once

class IRenderer;

// The renderer as the projector draws with it: a copy of the scene's, set by the scene's Init.
extern IRenderer* g_pProjectorRenderer;

class CTextureProjector {
 public:
  CTextureProjector();
  ~CTextureProjector();

  void Init(const char* texture);
  void Shutdown();
  void OnLostDevice();
  void OnResetDevice();
};
