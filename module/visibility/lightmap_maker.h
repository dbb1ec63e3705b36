// The lightmap maker. It registers like every component, takes the renderer and subscribes to
// its channels, and otherwise does nothing: no operation computes, stores or draws lightmaps.
#pragma once
#include <cstdint>
#include <vector>

#include "frame/component_base.h"

class IRenderer;

class CLightmapMaker : public CComponentBase {
 public:
  CLightmapMaker();
  ~CLightmapMaker() override;  // slot 11

  bool Init() override;                                                             // slot 0
  void Destroy() override;                                                          // slot 1
  void Execute(uint32_t elapsedMs) override;                                        // slot 2
  void Realize(uint32_t arg) override;                                              // slot 3
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7

  IRenderer* Renderer() const { return m_pRenderer; }

 private:
  IRenderer* m_pRenderer = nullptr;
  // Two holders that stay empty for the life of the object; the destructor frees them.
  void* m_pBlock = nullptr;
  std::vector<uint8_t> m_store;
};
