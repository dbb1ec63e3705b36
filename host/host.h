// The reference host: it loads the module's factory list, creates objects by class name,
// dispatches the channels, carries typed messages and services, and keeps the host log.
#pragma once
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "frame/dma_interface.h"
#include "frame/host_interfaces.h"
#include "host/allocator.h"
#include "host/frame_records.h"
#include "host/host_object.h"
#include "host/registry.h"
#include "host/window_messages.h"

namespace host {

// The IEventArgs reader handed to OnEvent: the event's values in order, the code first.
class EventArgsReader final : public IEventArgs {
 public:
  struct Value {
    bool isFloat;
    int i;
    float f;
  };
  explicit EventArgsReader(std::vector<Value> values) : values_(std::move(values)) {}
  int ReadInt() override;
  float ReadFloat() override;
  size_t Remaining() const { return values_.size() - next_; }

 private:
  std::vector<Value> values_;
  size_t next_ = 0;
};

class ReferenceHost final : public IHost {
 public:
  using HostClassFactory = std::function<std::unique_ptr<HostObject>()>;
  // Constructs a component in the memory given (a host block of the size registered).
  using ComponentConstructor = std::function<CComponentBase*(void* memory)>;

  ReferenceHost();
  ~ReferenceHost();
  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  // IHost
  IHostAllocator* GetAllocator() override { return &allocator_; }
  HWND GetWindowHandle() override { return window_; }
  void Log(const char* format, ...) override FL_PRINTF(2, 3);
  bool FindObject(ComponentHandle* out, const char* name, int flags) override;
  void* GetService(const char* name) override;
  // True when an object was made, whether or not its Init succeeded.
  bool CreateObject(ComponentHandle* out, const char* className) override;
  void DestroyObject(ComponentHandle handle) override;
  void* GetObject(const ComponentHandle* handle) override;
  uint32_t GetObjectCookie(const ComponentHandle* handle) override;
  int SendMessageV(ComponentHandle target, const char* signature, int32_t id, const MessageArg* args,
                   int count) override;
  void Subscribe(const char* channel, ComponentHandle handle, int order) override;

  // Set-up
  // Calls the module's entry with this host and registry and keeps the factory list.
  CComponentFactory* LoadModule(DMAInterfaceFn entry);
  CComponentFactory* FactoryList() const { return factories_; }
  CComponentFactory* FindFactory(const char* className) const;
  void RegisterHostClass(const std::string& className, HostClassFactory factory);
  // Makes the objects of every class name that nothing else makes (none by default: such a
  // creation fails).
  void SetFallbackClass(HostClassFactory factory) { fallbackClass_ = std::move(factory); }
  // Makes objects of `className` as T, in place of the module's class of that name: a test
  // stands its own subclass in. The object lives in a host block, as the module's do.
  template <class T>
  void RegisterComponentClass(const std::string& className) {
    componentClasses_[className] = ComponentClass{
        static_cast<uint32_t>(sizeof(T)), [](void* memory) -> CComponentBase* { return new (memory) T(); }};
  }
  // The next `count` creations of `className` make nothing.
  void FailCreations(const std::string& className, int count) { failCreations_[className] = count; }
  void AddService(const std::string& name, void* service);
  void SetIniService(IIniService* service) { m_pIniService = service; }
  void SetWindowHandle(HWND window) { window_ = window; }
  // Binds the window's message endpoint (named by the window number, the process id unless
  // set otherwise); from then on each frame first hands what other processes posted to the
  // "system_messages" channel. False when the name is taken.
  bool OpenMessageEndpoint();
  // Hands the messages waiting at the endpoint to "system_messages"; how many there were.
  size_t PumpMessages();
  // The endpoint's socket (-1 while closed), readable while messages wait.
  int MessageDescriptor() const { return endpoint_.Descriptor(); }
  // Runs before each frame's "execute" (after the posted messages) with the elapsed time.
  void AddFrameStep(std::function<void(uint32_t)> step) { frameSteps_.push_back(std::move(step)); }
  // Runs as each frame begins, before anything else of it: the records of a service the host
  // hands out (the renderer's, the geometry service's) start their frame there, as the host's
  // own and its objects' do.
  void AddFrameStart(std::function<void()> start) { frameStarts_.push_back(std::move(start)); }

  // Driving the channels
  // One frame, and the only place one begins: every record list starts its frame, then the
  // posted window messages (PumpMessages), the frame steps and "execute" run.
  void Execute(uint32_t elapsedMs);
  void Realize(uint32_t arg);
  void SystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam);
  // An event on "LostDevice": each subscriber reads the code, then `extra`, from a reader of its own.
  void SendEvent(int code, const std::vector<EventArgsReader::Value>& extra = {});
  // Destroys every object still alive, the newest first.
  void DestroyAll();

  // Inspection
  HostAllocator& Allocator() { return allocator_; }
  ObjectRegistry& Registry() { return registry_; }
  const std::vector<std::string>& LogLines() const { return log_; }
  void ClearLog() { log_.clear(); }
  // The typed messages of the frame before the current one and of the current one (a frame
  // begins with Execute), in the order sent, including those that failed their signature
  // check; every message of the run once KeepAllMessages is on.
  RecordsView<RecordedMessage> Messages() const { return messages_.All(); }
  void ClearMessages() { messages_.Clear(); }
  void KeepAllMessages(bool on) { messages_.KeepAll(on); }
  // Every typed message sent since construction.
  size_t MessagesSent() const { return messages_.Total(); }
  // The class name the handle was created under, or "" when it does not resolve.
  std::string ClassOf(const ComponentHandle& handle);
  // Handles of the live objects created through CreateObject, oldest first.
  std::vector<ComponentHandle> LiveObjects();
  // The subscribers of a channel in dispatch order (orders as given).
  std::vector<std::pair<ComponentHandle, int>> Subscribers(const std::string& channel);
  size_t ObjectsCreated() const { return created_; }
  size_t ObjectsDestroyed() const { return destroyed_; }
  size_t FramesRun() const { return frames_; }
  // When set, each host log line is also written there as it comes.
  void EchoLog(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }

 private:
  struct Created {
    ComponentHandle handle;
    std::string className;
    CComponentFactory* factory;  // null for host objects
    void* block;                 // the component's counted block
    HostObject* hostObject;      // owned; null for components
  };
  struct Subscription {
    std::string channel;
    ComponentHandle handle;
    int order;
    uint64_t sequence;
  };
  struct Target {
    CComponentBase* component = nullptr;
    HostObject* hostObject = nullptr;
    std::string className;
  };

  struct ComponentClass {
    uint32_t size;
    ComponentConstructor construct;
  };

  bool ResolveTarget(const ComponentHandle& handle, Target* out);
  MessageEndpoint endpoint_;
  // Records a new object and runs its Init (the component's, or else the host object's).
  void Adopt(const Created& record, CComponentBase* component);
  std::vector<Subscription> Snapshot(const std::string& channel);
  // Runs one slot call, logging any exception that escapes it.
  void Guarded(const Target& target, const char* slot, const std::function<void()>& call);
  Created* FindCreated(const ComponentHandle& handle);
  // Drops a record from the list and the index.
  void Forget(std::list<Created>::iterator created);
  void AppendLog(std::string line);

  HostAllocator allocator_;
  ObjectRegistry registry_;
  CComponentFactory* factories_ = nullptr;
  std::map<std::string, HostClassFactory> hostClasses_;
  HostClassFactory fallbackClass_;
  std::map<std::string, ComponentClass> componentClasses_;
  std::map<std::string, int> failCreations_;
  std::map<std::string, void*> services_;
  // The objects created through CreateObject, oldest first, and each one's place by the serial
  // of its handle (serials are never reused), so that finding one costs the same however many
  // there are.
  std::list<Created> objects_;
  std::unordered_map<uint32_t, std::list<Created>::iterator> createdBySerial_;
  std::vector<Subscription> subscriptions_;  // in the order made
  // The sequence number of each subscription by its channel and the serial of its handle, so
  // that subscribing again finds the one to change at once.
  std::map<std::pair<std::string, uint32_t>, uint64_t> subscriptionBySerial_;
  std::vector<std::string> log_;
  FrameRecords<RecordedMessage> messages_;
  std::function<void(const std::string&)> echo_;
  std::vector<std::function<void(uint32_t)>> frameSteps_;
  std::vector<std::function<void()>> frameStarts_;
  HWND window_;
  uint64_t nextSequence_ = 0;
  size_t created_ = 0, destroyed_ = 0, frames_ = 0;
};

}  // namespace host
