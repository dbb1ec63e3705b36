#include "host/effect_objects.h"

#include <algorithm>

#include "host/host.h"

namespace host {
namespace {

constexpr int32_t kEffectCreate = 600000;
constexpr int32_t kEffectSetMatrix = 600001;
constexpr int32_t kEffectRemove = 600002;
constexpr int32_t kSoundLoad = 77014;
constexpr int32_t kSoundPlay = 77016;
constexpr int32_t kShaderAttack = 501003;

D3DVECTOR VectorOf(const RecordedArg& a) { return D3DVECTOR{a.c[0], a.c[1], a.c[2]}; }

ComponentHandle HandleBehind(const RecordedArg& a, const MessageArg& raw) {
  if (a.null || raw.p == nullptr) return ComponentHandle{};
  return *static_cast<const ComponentHandle*>(raw.p);
}

}  // namespace

int ActiveEffectObject::OnMessage(const RecordedMessage& message, const MessageArg* raw) {
  const int recorded = RecordingObject::OnMessage(message, raw);
  const auto& a = message.args;
  if (message.id == kEffectCreate && message.signature == "lscciffls" && a.size() == 8) {
    LiveEffect e;
    e.id = nextId++;
    e.name = a[0].null ? "" : a[0].s;
    e.position = VectorOf(a[1]);
    e.direction = VectorOf(a[2]);
    e.owner = a[3].i;
    e.scaleA = a[4].f;
    e.scaleB = a[5].f;
    e.mode = a[6].l;
    e.attached = !a[7].null;
    e.attach = a[7].null ? "" : a[7].s;
    live.push_back(e);
    return e.id;
  }
  if (message.id == kEffectSetMatrix && message.signature == "llp" && a.size() == 2) {
    auto it = std::find_if(live.begin(), live.end(), [&](const LiveEffect& e) { return e.id == a[0].l; });
    if (it == live.end() || a[1].null || raw[1].p == nullptr) return 0;
    it->matrix = *static_cast<const D3DMATRIX*>(raw[1].p);
    it->hasMatrix = true;
    return 1;
  }
  if (message.id == kEffectRemove && message.signature == "ll" && a.size() == 1) {
    auto it = std::find_if(live.begin(), live.end(), [&](const LiveEffect& e) { return e.id == a[0].l; });
    if (it == live.end()) return 0;
    removed.push_back(it->id);
    live.erase(it);
    return 1;
  }
  return recorded;
}

const LiveEffect* ActiveEffectObject::Find(int32_t id) const {
  auto it = std::find_if(live.begin(), live.end(), [&](const LiveEffect& e) { return e.id == id; });
  return it != live.end() ? &*it : nullptr;
}

int SoundObject::OnMessage(const RecordedMessage& message, const MessageArg* raw) {
  const int recorded = RecordingObject::OnMessage(message, raw);
  const auto& a = message.args;
  if (message.id == kSoundLoad && message.signature == "ls" && a.size() == 1) {
    if (a[0].null) return 0;
    auto it = std::find(names.begin(), names.end(), a[0].s);
    if (it == names.end()) it = names.insert(names.end(), a[0].s);
    return static_cast<int>(it - names.begin()) + 1;
  }
  if (message.id == kSoundPlay && message.signature == "llcccl" && a.size() == 5) {
    SoundPlay play;
    play.id = a[0].l;
    if (play.id >= 1 && static_cast<size_t>(play.id) <= names.size()) play.name = names[static_cast<size_t>(play.id - 1)];
    play.last = a[4].l;
    plays.push_back(play);
    return 1;
  }
  return recorded;
}

int ShaderDrawMainObject::OnMessage(const RecordedMessage& message, const MessageArg* raw) {
  const int recorded = RecordingObject::OnMessage(message, raw);
  const auto& a = message.args;
  if (message.id != kShaderAttack || message.signature != "lspsplffllll" || a.size() != 11) return recorded;
  ShaderAttack attack;
  attack.name = a[0].null ? "" : a[0].s;
  attack.node = HandleBehind(a[1], raw[1]);
  attack.secondName = a[2].null ? "" : a[2].s;
  attack.linked = HandleBehind(a[3], raw[3]);
  for (size_t i = 4; i < a.size(); ++i) attack.values.push_back(a[i].letter == 'f' ? a[i].f : a[i].l);
  attacks.push_back(attack);
  return 1;
}

void RegisterEffectClasses(ReferenceHost& host) {
  auto effects = std::make_shared<RecordingClass>("ActiveEffect");
  host.RegisterHostClass("ActiveEffect", [effects] { return std::make_unique<ActiveEffectObject>(effects); });
  auto sounds = std::make_shared<RecordingClass>("Sound");
  host.RegisterHostClass("Sound", [sounds] { return std::make_unique<SoundObject>(sounds); });
  auto shaders = std::make_shared<RecordingClass>("ShaderDrawMain");
  host.RegisterHostClass("ShaderDrawMain", [shaders] { return std::make_unique<ShaderDrawMainObject>(shaders); });
}

ComponentHandle CreateShaderDrawMain(ReferenceHost& host) {
  ComponentHandle handle{};
  host.CreateObject(&handle, "ShaderDrawMain");
  return handle;
}

}  // namespace host
