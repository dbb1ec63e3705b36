// Stand-ins for the host objects the module makes by class name ("Sound", "Particles",
// "WEATHER", ...): each records the channel calls and typed messages it gets and answers a
// message through the handler installed for its id, on the object or on its class.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "host/frame_records.h"
#include "host/host_object.h"

namespace host {

class ReferenceHost;
class RecordingObject;

// The answer to one typed message; the result is what SendMessage returns. `raw` holds the
// arguments as sent, so that a handler can write through 'p' arguments (see WriteOut).
using MessageHandler = std::function<int(RecordingObject& self, const RecordedMessage& message, const MessageArg* raw)>;

// One channel call or message as it arrived: the slot name and its integer arguments
// (Execute / Realize*: the argument; OnEvent: the event code; OnSystemMessage: message,
// wParam, lParam; OnMessage: the message id).
struct SlotCall {
  std::string slot;
  std::vector<int64_t> args;
};

// What the objects of one class name share: handlers by message id, the result for
// messages without one, and the list of live objects.
class RecordingClass {
 public:
  explicit RecordingClass(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }
  void Handle(int32_t id, MessageHandler handler) { handlers_[id] = std::move(handler); }
  void SetDefaultResult(int result) { defaultResult_ = result; }
  // The live objects of the class, oldest first.
  const std::vector<RecordingObject*>& Objects() const { return objects_; }
  // Every object of the class made so far, those destroyed included.
  size_t Created() const { return created_; }

 private:
  friend class RecordingObject;
  std::string name_;
  std::map<int32_t, MessageHandler> handlers_;
  int defaultResult_ = 0;
  std::vector<RecordingObject*> objects_;
  size_t created_ = 0;
};

// A stand-in answers the scene-effect interface (a step, a draw and a switch): a scene may name
// any class as a record's class object or a scene effect.
class RecordingObject : public HostObject, public ISceneEffectObject {
 public:
  explicit RecordingObject(std::shared_ptr<RecordingClass> cls = nullptr);
  ~RecordingObject() override;

  bool Init() override;
  void Destroy() override;
  void Execute(uint32_t elapsedMs) override;
  void Realize(uint32_t arg) override;
  void RealizeBlend(uint32_t arg) override;
  void RealizePost(uint32_t arg) override;
  int OnEvent(IEventArgs* args) override;
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;
  // Records the switch and keeps it in switchedOn.
  void SetSwitch(int32_t on) override;
  void* InterfacePointer() override { return static_cast<ISceneEffectObject*>(this); }

  // The last switch a scene gave (0 before any).
  int32_t switchedOn = 0;

  // A handler for this object only; it comes before the class's.
  void Handle(int32_t id, MessageHandler handler) { handlers_[id] = std::move(handler); }

  // The slot calls and messages of the host's last two frames (see FrameRecords).
  void BeginFrame() override;
  RecordsView<SlotCall> Calls() const { return calls_.All(); }
  RecordsView<RecordedMessage> Messages() const { return messages_.All(); }
  // The messages with this id, in order.
  std::vector<RecordedMessage> MessagesWithId(int32_t id) const;
  // How many calls of this slot arrived since the object was made.
  size_t CallCount(const std::string& slot) const;

  // Writes `value` through argument `index` (0 = the first after the id) when the
  // signature has a 'p' there and the pointer is not null; false otherwise.
  template <class T>
  static bool WriteOut(const RecordedMessage& message, const MessageArg* raw, size_t index, const T& value) {
    if (index >= message.args.size() || message.args[index].letter != 'p' || raw[index].p == nullptr) return false;
    *static_cast<T*>(raw[index].p) = value;
    return true;
  }

 private:
  void Note(const char* slot, std::vector<int64_t> args);

  std::shared_ptr<RecordingClass> class_;
  std::map<int32_t, MessageHandler> handlers_;
  FrameRecords<SlotCall> calls_;
  FrameRecords<RecordedMessage> messages_;
  std::map<std::string, size_t> callCounts_;
};

// "Shadow": records the light direction its slot 12 gets.
class ShadowObject final : public RecordingObject, public IShadowObject {
 public:
  using RecordingObject::RecordingObject;
  void Execute(uint32_t elapsedMs) override { RecordingObject::Execute(elapsedMs); }
  void Realize(uint32_t context) override { RecordingObject::Realize(context); }
  void SetSwitch(int32_t on) override { RecordingObject::SetSwitch(on); }
  void SetLightDirection(const D3DVECTOR* direction) override;
  void* InterfacePointer() override { return static_cast<IShadowObject*>(this); }
  // Every direction given, in order.
  std::vector<D3DVECTOR> directions;
};

// "Particles": counts the calls of its slot 13 (drop every particle system).
class ParticlesObject final : public RecordingObject, public IParticlesObject {
 public:
  using RecordingObject::RecordingObject;
  void Execute(uint32_t elapsedMs) override { RecordingObject::Execute(elapsedMs); }
  void Realize(uint32_t context) override { RecordingObject::Realize(context); }
  void SetSwitch(int32_t on) override { RecordingObject::SetSwitch(on); }
  void ClearAll() override { ++clears; }
  void* InterfacePointer() override { return static_cast<IParticlesObject*>(this); }
  int clears = 0;
};

// A scene effect object (any class name a scene file gives that the host has no stand-in for).
class EffectObject final : public RecordingObject {
 public:
  using RecordingObject::RecordingObject;
};

// The class names of the host objects the module creates.
const std::vector<std::string>& GenericClassNames();

// Registers `className` with the host as a recording class and returns its shared state.
std::shared_ptr<RecordingClass> RegisterRecordingClass(ReferenceHost& host, const std::string& className);

// Registers every generic class name; the map gives each class's state by name.
std::map<std::string, std::shared_ptr<RecordingClass>> RegisterGenericClasses(ReferenceHost& host);

}  // namespace host
