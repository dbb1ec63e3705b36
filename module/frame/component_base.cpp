#include "frame/component_base.h"

#include "frame/module_globals.h"

CComponentBase::CComponentBase() : handle{}, objectCookie(0) {
  g_pRegistry->Register(this);
  ComponentHandle scratch{};
  // A registry that hands out no handle leaves ours all zero.
  if (const ComponentHandle* assigned = g_pRegistry->GetNewHandle(&scratch)) handle = *assigned;
  g_pRegistry->Bind(handle.words[4], handle.words[3]);
}

CComponentBase::~CComponentBase() { g_pRegistry->Unregister(handle.words[4]); }

bool CComponentBase::Init() { return true; }
void CComponentBase::Destroy() {}
void CComponentBase::Execute(uint32_t) {}
void CComponentBase::Realize(uint32_t) {}
void CComponentBase::RealizeBlend(uint32_t) {}
void CComponentBase::RealizePost(uint32_t) {}
int CComponentBase::OnEvent(IEventArgs*) { return 0; }
void CComponentBase::OnSystemMessage(uint32_t, uint32_t, uint32_t) {}
bool CComponentBase::Slot8(uint32_t) { return true; }
bool CComponentBase::Slot9(uint32_t) { return true; }
uint32_t CComponentBase::Slot10(uint32_t) { return 0; }

void CComponentBase::SubscribeChannel(const char* channel, int order) {
  g_pHost->Subscribe(channel, handle, order);
}
