// Objects of the host's own that the module creates by class name ("modelr", "Particles",
// "Shadow", ...). They take the same channel calls as the module's components and answer
// typed messages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "frame/host_interfaces.h"

namespace host {

class ReferenceHost;

// One decoded argument of a typed message. Texts are copied.
struct RecordedArg {
  char letter = 0;  // the signature letter it was sent under
  int32_t l = 0;
  std::string s;
  bool null = false;  // a null text or pointer
  void* p = nullptr;
  float c[3] = {0, 0, 0};
  double f = 0;
  ComponentHandle i{};
};

struct RecordedMessage {
  ComponentHandle target{};
  std::string targetClass;  // empty when the target did not resolve
  std::string signature;
  int32_t id = 0;
  std::vector<RecordedArg> args;
  int result = 0;
  std::string error;  // set when the signature did not match the arguments
};

class HostObject {
 public:
  virtual ~HostObject() = default;

  virtual bool Init() { return true; }
  // The host begins a frame (before its "execute"): an object that records what it is asked
  // drops what came before the frame that just ended.
  virtual void BeginFrame() {}
  virtual void Destroy() {}
  virtual void Execute(uint32_t) {}
  virtual void Realize(uint32_t) {}
  virtual void RealizeBlend(uint32_t) {}
  virtual void RealizePost(uint32_t) {}
  virtual int OnEvent(IEventArgs*) { return 0; }
  virtual void OnSystemMessage(uint32_t, uint32_t, uint32_t) {}
  // A typed message for this object; `raw` holds the arguments as sent, so that "p" out
  // arguments can be written. The result is what SendMessage returns (nonzero: handled).
  virtual int OnMessage(const RecordedMessage& message, const MessageArg* raw) {
    (void)message;
    (void)raw;
    return 0;
  }
  // The pointer IHost::GetObject hands out for this object: the interface the module expects.
  virtual void* InterfacePointer() { return this; }

  ComponentHandle handle{};
  std::string className;
  ReferenceHost* host = nullptr;
};

}  // namespace host
