// A small stand-alone component that makes its own scene, puts a walker in it under an orbiting
// camera, lays grass on the scene's terrain, and sends the walker to the ground clicked with the
// left mouse button. It draws nothing itself: its scene does.
#pragma once
#include "frame/component_base.h"
#include "frame/component_handle.h"

class IRenderer;

class CTerrainEditor : public CComponentBase {
 public:
  CTerrainEditor();
  ~CTerrainEditor() override;
  bool Init() override;                                                              // slot 0
  void Destroy() override;                                                           // slot 1
  void Execute(uint32_t elapsedMs) override;                                         // slot 2
  void Realize(uint32_t arg) override;                                               // slot 3
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7

  const ComponentHandle& SceneHandle() const { return m_sceneHandle; }

 private:
  ComponentHandle m_sceneHandle{};
  IRenderer* m_pRenderer = nullptr;
};

// The walker's object key: never written, so (0, 0).
extern const uint32_t g_aTerrainEditorWalkerKey[2];
