#include "frame/component_base.h"

#include <mutex>
#include <unordered_set>

#include "frame/module_globals.h"

namespace {
// Every component of the module that is constructed and not yet destroyed. Never torn down, so
// a component that outlives the module's static objects still finds it.
struct LiveComponents {
  std::mutex lock;
  std::unordered_set<const void*> objects;
};
LiveComponents& Live() {
  static LiveComponents* const live = new LiveComponents;
  return *live;
}
}  // namespace

CComponentBase* AsModuleComponent(void* object) {
  if (object == nullptr) return nullptr;
  LiveComponents& live = Live();
  std::lock_guard<std::mutex> hold(live.lock);
  return live.objects.count(object) != 0 ? static_cast<CComponentBase*>(object) : nullptr;
}

CComponentBase::CComponentBase() : handle{}, objectCookie(0) {
  g_pRegistry->Register(this);
  ComponentHandle scratch{};
  // A registry that hands out no handle leaves ours all zero.
  if (const ComponentHandle* assigned = g_pRegistry->GetNewHandle(&scratch)) handle = *assigned;
  g_pRegistry->Bind(handle.words[4], handle.words[3]);
  LiveComponents& live = Live();
  std::lock_guard<std::mutex> hold(live.lock);
  live.objects.insert(static_cast<const void*>(this));
}

CComponentBase::~CComponentBase() {
  {
    LiveComponents& live = Live();
    std::lock_guard<std::mutex> hold(live.lock);
    live.objects.erase(static_cast<const void*>(this));
  }
  g_pRegistry->Unregister(handle.words[4]);
}

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
