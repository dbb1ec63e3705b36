#include "host/registry.h"

#include <cstdarg>
#include <cstdio>

#include "host/text_format.h"

namespace host {
namespace {
constexpr uint32_t kHandleTag = 0x46544C48u;  // word 0 of every handle this registry makes

}  // namespace

ComponentHandle ObjectRegistry::MakeHandle(uint32_t id, uint32_t serial) const {
  ComponentHandle h{};
  h.words[0] = kHandleTag;
  h.words[3] = serial;
  h.words[4] = id;
  return h;
}

void ObjectRegistry::Register(void* object) {
  if (pending_ != nullptr) errors_.push_back("Register while another object is still unbound");
  pending_ = object;
  pendingId_ = 0;
}

ComponentHandle* ObjectRegistry::GetNewHandle(ComponentHandle* scratch) {
  if (failNextHandle_) {
    failNextHandle_ = false;
    return nullptr;
  }
  if (pending_ == nullptr) {
    errors_.push_back("GetNewHandle without a registered object");
    return nullptr;
  }
  // The lowest free id is reused; the serial never is, so old handles stay dead.
  uint32_t id = 0;
  if (!freeIds_.empty()) {
    id = *freeIds_.begin();
    freeIds_.erase(freeIds_.begin());
  } else {
    entries_.emplace_back();
    unregisterCalls_.push_back(0);
    id = static_cast<uint32_t>(entries_.size());
  }
  RegistryEntry& e = entries_[id - 1];
  e.object = pending_;
  e.serial = nextSerial_++;
  e.cookie = nextCookie_++;
  e.bound = false;
  e.kind = ObjectKind::Component;
  pendingId_ = id;
  issued_ = MakeHandle(id, e.serial);
  if (scratch != nullptr) *scratch = issued_;
  return scratch != nullptr ? scratch : &issued_;
}

void ObjectRegistry::Bind(uint32_t id, uint32_t serial) {
  if (id == 0 || id > entries_.size() || entries_[id - 1].object == nullptr ||
      entries_[id - 1].serial != serial) {
    errors_.push_back("Bind of an unknown handle");
    pending_ = nullptr;
    return;
  }
  entries_[id - 1].bound = true;
  if (pendingId_ == id) pending_ = nullptr;
}

void ObjectRegistry::Unregister(uint32_t id) {
  if (id == 0 || id > entries_.size() || entries_[id - 1].object == nullptr) {
    errors_.push_back("Unregister of an unknown id");
    return;
  }
  ++unregisterCalls_[id - 1];
  entries_[id - 1] = RegistryEntry{};
  freeIds_.insert(id);
}

ComponentHandle ObjectRegistry::RegisterHostObject(void* object) {
  Register(object);
  ComponentHandle h{};
  GetNewHandle(&h);
  Bind(h.words[4], h.words[3]);
  entries_[h.words[4] - 1].kind = ObjectKind::HostObject;
  return h;
}

RegistryEntry* ObjectRegistry::Resolve(const ComponentHandle& handle) {
  const uint32_t id = handle.words[4];
  if (id == 0 || id > entries_.size()) return nullptr;
  RegistryEntry& e = entries_[id - 1];
  if (e.object == nullptr || !e.bound || e.serial != handle.words[3] || handle.words[0] != kHandleTag)
    return nullptr;
  return &e;
}

size_t ObjectRegistry::LiveCount() const {
  size_t n = 0;
  for (const auto& e : entries_)
    if (e.object != nullptr) ++n;
  return n;
}

uint32_t ObjectRegistry::UnregisterCalls(uint32_t id) const {
  return id == 0 || id > unregisterCalls_.size() ? 0 : unregisterCalls_[id - 1];
}

void ObjectRegistry::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_.push_back(FormatV(format, args));
  va_end(args);
}

void ObjectRegistry::BeginLogEntry() { log_.push_back(kEntryMarker); }

}  // namespace host
