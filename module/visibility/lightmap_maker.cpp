#include "visibility/lightmap_maker.h"

#include <climits>

#include "frame/module_globals.h"

CLightmapMaker::CLightmapMaker() = default;

CLightmapMaker::~CLightmapMaker() {
  if (m_pBlock != nullptr) g_pAllocator->Free(m_pBlock, "", 0);
}

bool CLightmapMaker::Init() {
  m_pRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  return true;
}

void CLightmapMaker::Destroy() {}
void CLightmapMaker::Execute(uint32_t) {}
void CLightmapMaker::Realize(uint32_t) {}
void CLightmapMaker::OnSystemMessage(uint32_t, uint32_t, uint32_t) {}
