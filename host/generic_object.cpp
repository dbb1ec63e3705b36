#include "host/generic_object.h"

#include <algorithm>

#include "host/host.h"

namespace host {

RecordingObject::RecordingObject(std::shared_ptr<RecordingClass> cls) : class_(std::move(cls)) {
  if (class_ != nullptr) {
    class_->objects_.push_back(this);
    ++class_->created_;
  }
}

RecordingObject::~RecordingObject() {
  if (class_ != nullptr) {
    auto& list = class_->objects_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void RecordingObject::Note(const char* slot, std::vector<int64_t> args) {
  ++callCounts_[slot];
  calls_.Add(SlotCall{slot, std::move(args)});
}

void RecordingObject::BeginFrame() {
  calls_.BeginFrame();
  messages_.BeginFrame();
}

bool RecordingObject::Init() {
  Note("Init", {});
  return true;
}

void RecordingObject::Destroy() { Note("Destroy", {}); }
void RecordingObject::Execute(uint32_t elapsedMs) { Note("Execute", {elapsedMs}); }
void RecordingObject::Realize(uint32_t arg) { Note("Realize", {arg}); }
void RecordingObject::RealizeBlend(uint32_t arg) { Note("RealizeBlend", {arg}); }
void RecordingObject::RealizePost(uint32_t arg) { Note("RealizePost", {arg}); }

int RecordingObject::OnEvent(IEventArgs* args) {
  Note("OnEvent", {args != nullptr ? args->ReadInt() : 0});
  return 0;
}

void RecordingObject::SetSwitch(int32_t on) {
  Note("SetSwitch", {on});
  switchedOn = on;
}

void RecordingObject::OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) {
  Note("OnSystemMessage", {message, wParam, lParam});
}

int RecordingObject::OnMessage(const RecordedMessage& message, const MessageArg* raw) {
  Note("OnMessage", {message.id});
  messages_.Add(message);
  auto own = handlers_.find(message.id);
  if (own != handlers_.end()) return own->second(*this, message, raw);
  if (class_ != nullptr) {
    auto shared = class_->handlers_.find(message.id);
    if (shared != class_->handlers_.end()) return shared->second(*this, message, raw);
    return class_->defaultResult_;
  }
  return 0;
}

std::vector<RecordedMessage> RecordingObject::MessagesWithId(int32_t id) const {
  std::vector<RecordedMessage> out;
  for (const auto& m : messages_.All())
    if (m.id == id) out.push_back(m);
  return out;
}

size_t RecordingObject::CallCount(const std::string& slot) const {
  const auto found = callCounts_.find(slot);
  return found != callCounts_.end() ? found->second : 0;
}

void ShadowObject::SetLightDirection(const D3DVECTOR* direction) {
  if (direction != nullptr) directions.push_back(*direction);
}

const std::vector<std::string>& GenericClassNames() {
  static const std::vector<std::string> names = {
      "Shadow", "Sound", "Particles", "ActiveEffect", "WEATHER", "SEA", "Renderable", "modelr",
      "ShaderDrawMain", "DynLightManager", "Animals", "AnimalsParticles", "EffectAction", "EffectRoom", "Game",
      "sail", "rope", "flag", "vant"};
  return names;
}

std::shared_ptr<RecordingClass> RegisterRecordingClass(ReferenceHost& host, const std::string& className) {
  auto cls = std::make_shared<RecordingClass>(className);
  if (className == "Shadow") {
    host.RegisterHostClass(className, [cls] { return std::make_unique<ShadowObject>(cls); });
  } else if (className == "Particles") {
    host.RegisterHostClass(className, [cls] { return std::make_unique<ParticlesObject>(cls); });
  } else {
    host.RegisterHostClass(className, [cls] { return std::make_unique<RecordingObject>(cls); });
  }
  return cls;
}

std::map<std::string, std::shared_ptr<RecordingClass>> RegisterGenericClasses(ReferenceHost& host) {
  std::map<std::string, std::shared_ptr<RecordingClass>> classes;
  for (const auto& name : GenericClassNames()) classes[name] = RegisterRecordingClass(host, name);
  return classes;
}

}  // namespace host
