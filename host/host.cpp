#include "host/host.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <exception>
#include <unistd.h>

#include "frame/component_base.h"
#include "frame/component_factory.h"
#include "frame/exs.h"
#include "host/text_format.h"

namespace host {
namespace {

bool KindMatches(char letter, char kind) {
  switch (letter) {
    case 'l': return kind == 'l';
    case 'f': return kind == 'f';
    case 'c': return kind == 'c';
    case 'i': return kind == 'i';
    case 's': return kind == 's' || kind == 'S' || kind == 'n';
    case 'p': return kind == 'p' || kind == 'S' || kind == 'n';
    default: return false;
  }
}

const char* KindName(char kind) {
  switch (kind) {
    case 'l': return "int32";
    case 'f': return "double";
    case 'c': return "vector3";
    case 'i': return "handle";
    case 's': return "text";
    case 'S': return "char pointer";
    case 'n': return "null";
    case 'p': return "pointer";
    default: return "unknown";
  }
}
}  // namespace

int EventArgsReader::ReadInt() {
  if (next_ >= values_.size()) return 0;
  const Value& v = values_[next_++];
  return v.isFloat ? static_cast<int>(v.f) : v.i;
}

float EventArgsReader::ReadFloat() {
  if (next_ >= values_.size()) return 0.0f;
  const Value& v = values_[next_++];
  return v.isFloat ? v.f : static_cast<float>(v.i);
}

// The window is named by the process id, as other processes address it.
ReferenceHost::ReferenceHost() : window_(reinterpret_cast<HWND>(static_cast<intptr_t>(::getpid()))) {}

bool ReferenceHost::OpenMessageEndpoint() {
  return endpoint_.Open(static_cast<int64_t>(reinterpret_cast<intptr_t>(window_)));
}

size_t ReferenceHost::PumpMessages() {
  const std::vector<WindowMessage> messages = endpoint_.Drain();
  for (const WindowMessage& m : messages) SystemMessage(m.message, m.wParam, m.lParam);
  return messages.size();
}

ReferenceHost::~ReferenceHost() { DestroyAll(); }

void ReferenceHost::AppendLog(std::string line) {
  if (echo_) echo_(line);
  log_.push_back(std::move(line));
}

void ReferenceHost::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = FormatV(format, args);
  va_end(args);
  AppendLog(std::move(line));
}

CComponentFactory* ReferenceHost::LoadModule(DMAInterfaceFn entry) {
  factories_ = entry(this, &registry_);
  return factories_;
}

CComponentFactory* ReferenceHost::FindFactory(const char* className) const {
  if (className == nullptr) return nullptr;
  for (CComponentFactory* f = factories_; f != nullptr; f = f->next) {
    const char* name = f->GetClassName();
    if (name != nullptr && std::strcmp(name, className) == 0) return f;
  }
  return nullptr;
}

void ReferenceHost::RegisterHostClass(const std::string& className, HostClassFactory factory) {
  hostClasses_[className] = std::move(factory);
}

void ReferenceHost::AddService(const std::string& name, void* service) { services_[name] = service; }

void* ReferenceHost::GetService(const char* name) {
  if (name == nullptr) return nullptr;
  auto it = services_.find(name);
  return it == services_.end() ? nullptr : it->second;
}

ReferenceHost::Created* ReferenceHost::FindCreated(const ComponentHandle& handle) {
  auto found = createdBySerial_.find(handle.Serial());
  return found != createdBySerial_.end() && found->second->handle == handle ? &*found->second : nullptr;
}

void ReferenceHost::Forget(std::list<Created>::iterator created) {
  // A record whose handle never resolved (one the registry gave no handle) may share its
  // serial with another that is indexed.
  auto indexed = createdBySerial_.find(created->handle.Serial());
  if (indexed != createdBySerial_.end() && indexed->second == created) createdBySerial_.erase(indexed);
  objects_.erase(created);
}

bool ReferenceHost::ResolveTarget(const ComponentHandle& handle, Target* out) {
  RegistryEntry* entry = registry_.Resolve(handle);
  if (entry == nullptr) return false;
  Created* created = FindCreated(handle);
  out->className = created != nullptr ? created->className : std::string();
  if (entry->kind == ObjectKind::HostObject) {
    out->hostObject = static_cast<HostObject*>(entry->object);
  } else {
    out->component = static_cast<CComponentBase*>(entry->object);
  }
  return true;
}

void ReferenceHost::Adopt(const Created& record, CComponentBase* component) {
  objects_.push_back(record);
  createdBySerial_[record.handle.Serial()] = std::prev(objects_.end());
  ++created_;
  Target target;
  target.component = component;
  target.hostObject = record.hostObject;
  target.className = record.className;
  bool ok = false;
  Guarded(target, "Init", [&] { ok = component != nullptr ? component->Init() : record.hostObject->Init(); });
  if (!ok) Log("CreateObject %s: Init failed", record.className.c_str());
}

bool ReferenceHost::CreateObject(ComponentHandle* out, const char* className) {
  ComponentHandle made{};
  auto refused = className != nullptr ? failCreations_.find(className) : failCreations_.end();
  auto own = className != nullptr ? componentClasses_.find(className) : componentClasses_.end();
  if (refused != failCreations_.end() && refused->second > 0) {
    --refused->second;
    Log("CreateObject %s: creation refused", className);
  } else if (own != componentClasses_.end()) {
    void* block = allocator_.Alloc(own->second.size, "", 0);
    if (block == nullptr) {
      Log("CreateObject %s: out of memory", className);
    } else {
      CComponentBase* component = nullptr;
      try {
        component = own->second.construct(block);
      } catch (...) {
        Log("CreateObject %s: constructor raised an exception", className);
      }
      if (component == nullptr) {
        allocator_.Free(block, "", 0);
      } else {
        made = component->handle;
        Adopt(Created{made, className, nullptr, block, nullptr}, component);
      }
    }
  } else if (CComponentFactory* factory = FindFactory(className)) {
    CComponentBase* component = nullptr;
    try {
      component = factory->CreateInstance();
    } catch (const _EXS& e) {
      Log("CreateObject %s: constructor raised \"%s\"", className, e.text);
    } catch (...) {
      Log("CreateObject %s: constructor raised an exception", className);
    }
    if (component == nullptr) {
      Log("CreateObject %s: the factory made no object", className);
    } else {
      made = component->handle;
      Adopt(Created{made, className, factory, component, nullptr}, component);
    }
  } else if (className != nullptr && (hostClasses_.count(className) != 0 || fallbackClass_)) {
    auto known = hostClasses_.find(className);
    std::unique_ptr<HostObject> object = known != hostClasses_.end() ? known->second() : fallbackClass_();
    if (object) {
      HostObject* raw = object.release();
      raw->className = className;
      raw->host = this;
      raw->handle = registry_.RegisterHostObject(raw);
      made = raw->handle;
      Adopt(Created{made, className, nullptr, nullptr, raw}, nullptr);
    }
  } else {
    Log("CreateObject: no class named %s", className != nullptr ? className : "(null)");
  }
  if (out != nullptr) *out = made;
  return !made.IsZero();
}

bool ReferenceHost::FindObject(ComponentHandle* out, const char* name, int) {
  if (name != nullptr) {
    for (const auto& c : objects_) {
      if (c.className == name && registry_.Resolve(c.handle) != nullptr) {
        if (out != nullptr) *out = c.handle;
        return true;
      }
    }
  }
  if (out != nullptr) out->Clear();
  return false;
}

void* ReferenceHost::GetObject(const ComponentHandle* handle) {
  if (handle == nullptr) return nullptr;
  RegistryEntry* entry = registry_.Resolve(*handle);
  if (entry == nullptr) return nullptr;
  if (entry->kind == ObjectKind::HostObject) return static_cast<HostObject*>(entry->object)->InterfacePointer();
  return entry->object;
}

uint32_t ReferenceHost::GetObjectCookie(const ComponentHandle* handle) {
  if (handle == nullptr) return 0;
  RegistryEntry* entry = registry_.Resolve(*handle);
  return entry == nullptr ? 0 : entry->cookie;
}

void ReferenceHost::DestroyObject(ComponentHandle handle) {
  Target target;
  if (!ResolveTarget(handle, &target)) return;
  auto found = createdBySerial_.find(handle.Serial());
  const bool known = found != createdBySerial_.end() && found->second->handle == handle;
  Created record = known ? *found->second : Created{handle, "", nullptr, nullptr, nullptr};
  if (known) Forget(found->second);
  ++destroyed_;
  if (target.hostObject != nullptr) {
    Guarded(target, "Destroy", [&] { target.hostObject->Destroy(); });
    registry_.Unregister(handle.words[4]);
    delete target.hostObject;
    return;
  }
  CComponentBase* component = target.component;
  Guarded(target, "Destroy", [&] { component->Destroy(); });
  // The component's destructor unregisters it; destructors never let an exception out.
  component->~CComponentBase();
  if (record.factory != nullptr) record.factory->Release();
  allocator_.Free(record.block != nullptr ? record.block : component, "", 0);
}

void ReferenceHost::DestroyAll() {
  while (!objects_.empty()) {
    const ComponentHandle h = objects_.back().handle;
    if (registry_.Resolve(h) == nullptr) {
      Forget(std::prev(objects_.end()));
      continue;
    }
    DestroyObject(h);
  }
}

int ReferenceHost::SendMessageV(ComponentHandle target, const char* signature, int32_t id, const MessageArg* args,
                                int count) {
  RecordedMessage message;
  message.target = target;
  message.signature = signature != nullptr ? signature : "";
  message.id = id;
  const std::string& sig = message.signature;
  if (sig.empty() || sig[0] != 'l') {
    message.error = "signature must start with 'l' for the message id";
  } else if (static_cast<int>(sig.size()) - 1 != count) {
    message.error = "signature \"" + sig + "\" names " + std::to_string(sig.size() - 1) + " arguments, " +
                    std::to_string(count) + " were passed";
  } else {
    for (int k = 0; k < count && message.error.empty(); ++k) {
      if (!KindMatches(sig[k + 1], args[k].kind))
        message.error = "argument " + std::to_string(k + 1) + " is " + KindName(args[k].kind) +
                        " but the signature says '" + sig[k + 1] + "'";
    }
  }
  if (message.error.empty()) {
    for (int k = 0; k < count; ++k) {
      RecordedArg a;
      a.letter = sig[k + 1];
      const MessageArg& m = args[k];
      switch (a.letter) {
        case 'l': a.l = m.l; break;
        case 'f': a.f = m.f; break;
        case 'c': std::memcpy(a.c, m.c, sizeof(a.c)); break;
        case 'i': a.i = m.i; break;
        case 's':
          a.null = m.s == nullptr;
          if (m.s != nullptr) a.s = m.s;
          break;
        case 'p':
          a.p = m.p;
          a.null = m.p == nullptr;
          break;
      }
      message.args.push_back(std::move(a));
    }
  }
  Target resolved;
  const bool live = ResolveTarget(target, &resolved);
  message.targetClass = live ? resolved.className : std::string();
  if (!message.error.empty()) {
    Log("SendMessage %d: %s", id, message.error.c_str());
    messages_.Add(std::move(message));
    return 0;
  }
  int result = 0;
  if (live && resolved.hostObject != nullptr) {
    const size_t serial = messages_.Add(message);
    Guarded(resolved, "OnMessage", [&] { result = resolved.hostObject->OnMessage(message, args); });
    if (RecordedMessage* kept = messages_.Find(serial)) kept->result = result;
    return result;
  }
  messages_.Add(std::move(message));
  return 0;
}

void ReferenceHost::Subscribe(const char* channel, ComponentHandle handle, int order) {
  if (channel == nullptr) return;
  const auto key = std::make_pair(std::string(channel), handle.Serial());
  auto known = subscriptionBySerial_.find(key);
  if (known != subscriptionBySerial_.end()) {
    // The list stays in the order of the sequence numbers.
    auto at = std::lower_bound(subscriptions_.begin(), subscriptions_.end(), known->second,
                               [](const Subscription& s, uint64_t sequence) { return s.sequence < sequence; });
    if (at != subscriptions_.end() && at->sequence == known->second && at->handle == handle) {
      at->order = order;
      return;
    }
    // Handles the registry did not make may share a serial: look at them all.
    for (auto& s : subscriptions_) {
      if (s.channel == channel && s.handle == handle) {
        s.order = order;
        return;
      }
    }
  }
  subscriptionBySerial_[key] = nextSequence_;
  subscriptions_.push_back(Subscription{channel, handle, order, nextSequence_++});
}

std::vector<ReferenceHost::Subscription> ReferenceHost::Snapshot(const std::string& channel) {
  // Drop the subscriptions of objects that are gone, then order what is left.
  subscriptions_.erase(std::remove_if(subscriptions_.begin(), subscriptions_.end(),
                                      [&](const Subscription& s) {
                                        if (registry_.Resolve(s.handle) != nullptr) return false;
                                        auto indexed = subscriptionBySerial_.find({s.channel, s.handle.Serial()});
                                        if (indexed != subscriptionBySerial_.end() && indexed->second == s.sequence)
                                          subscriptionBySerial_.erase(indexed);
                                        return true;
                                      }),
                       subscriptions_.end());
  std::vector<Subscription> list;
  for (const auto& s : subscriptions_)
    if (s.channel == channel) list.push_back(s);
  std::stable_sort(list.begin(), list.end(), [](const Subscription& a, const Subscription& b) {
    if (a.order != b.order) return a.order > b.order;
    return a.sequence < b.sequence;
  });
  return list;
}

std::vector<std::pair<ComponentHandle, int>> ReferenceHost::Subscribers(const std::string& channel) {
  std::vector<std::pair<ComponentHandle, int>> out;
  for (const auto& s : Snapshot(channel)) out.emplace_back(s.handle, s.order);
  return out;
}

void ReferenceHost::Guarded(const Target& target, const char* slot, const std::function<void()>& call) {
  const char* name = target.className.empty() ? "object" : target.className.c_str();
  try {
    call();
  } catch (const _EXS& e) {
    Log("[HOST] %s::%s raised _EXS \"%s\" (flag %u)", name, slot, e.text, e.flag);
  } catch (const char* text) {
    Log("[HOST] %s::%s raised \"%s\"", name, slot, text != nullptr ? text : "(null)");
  } catch (const std::exception& e) {
    Log("[HOST] %s::%s raised %s", name, slot, e.what());
  } catch (...) {
    Log("[HOST] %s::%s raised an unknown exception", name, slot);
  }
}

void ReferenceHost::Execute(uint32_t elapsedMs) {
  messages_.BeginFrame();
  for (const Created& c : objects_)
    if (c.hostObject != nullptr) c.hostObject->BeginFrame();
  for (const auto& start : frameStarts_) start();
  PumpMessages();
  for (const auto& step : frameSteps_) step(elapsedMs);
  for (const auto& s : Snapshot("execute")) {
    Target t;
    if (!ResolveTarget(s.handle, &t)) continue;
    Guarded(t, "Execute", [&] {
      if (t.component) t.component->Execute(elapsedMs);
      else t.hostObject->Execute(elapsedMs);
    });
  }
  ++frames_;
}

void ReferenceHost::Realize(uint32_t arg) {
  const auto list = Snapshot("realize");
  for (int phase = 0; phase < 3; ++phase) {
    static const char* const kNames[] = {"Realize", "RealizeBlend", "RealizePost"};
    for (const auto& s : list) {
      Target t;
      if (!ResolveTarget(s.handle, &t)) continue;
      Guarded(t, kNames[phase], [&] {
        if (t.component) {
          if (phase == 0) t.component->Realize(arg);
          else if (phase == 1) t.component->RealizeBlend(arg);
          else t.component->RealizePost(arg);
        } else {
          if (phase == 0) t.hostObject->Realize(arg);
          else if (phase == 1) t.hostObject->RealizeBlend(arg);
          else t.hostObject->RealizePost(arg);
        }
      });
    }
  }
}

void ReferenceHost::SystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) {
  for (const auto& s : Snapshot("system_messages")) {
    Target t;
    if (!ResolveTarget(s.handle, &t)) continue;
    Guarded(t, "OnSystemMessage", [&] {
      if (t.component) t.component->OnSystemMessage(message, wParam, lParam);
      else t.hostObject->OnSystemMessage(message, wParam, lParam);
    });
  }
}

void ReferenceHost::SendEvent(int code, const std::vector<EventArgsReader::Value>& extra) {
  std::vector<EventArgsReader::Value> values;
  values.push_back(EventArgsReader::Value{false, code, 0.0f});
  values.insert(values.end(), extra.begin(), extra.end());
  for (const auto& s : Snapshot("LostDevice")) {
    Target t;
    if (!ResolveTarget(s.handle, &t)) continue;
    EventArgsReader reader(values);  // a fresh reader for every subscriber
    Guarded(t, "OnEvent", [&] {
      if (t.component) t.component->OnEvent(&reader);
      else t.hostObject->OnEvent(&reader);
    });
  }
}

std::string ReferenceHost::ClassOf(const ComponentHandle& handle) {
  if (registry_.Resolve(handle) == nullptr) return std::string();
  Created* c = FindCreated(handle);
  return c != nullptr ? c->className : std::string();
}

std::vector<ComponentHandle> ReferenceHost::LiveObjects() {
  std::vector<ComponentHandle> out;
  for (const auto& c : objects_)
    if (registry_.Resolve(c.handle) != nullptr) out.push_back(c.handle);
  return out;
}

}  // namespace host
