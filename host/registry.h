// The reference host's object registry: it hands out six-word handles, maps them back to
// objects and keeps the registry log.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "frame/host_interfaces.h"

namespace host {

// What kind of object a registry entry holds.
enum class ObjectKind { Component, HostObject };

struct RegistryEntry {
  void* object = nullptr;
  uint32_t serial = 0;
  uint32_t cookie = 0;
  bool bound = false;
  ObjectKind kind = ObjectKind::Component;
};

class ObjectRegistry final : public IObjectRegistry {
 public:
  // The line that stands for BeginLogEntry in Log().
  static constexpr const char* kEntryMarker = "-- entry --";

  void Bind(uint32_t id, uint32_t serial) override;
  void Unregister(uint32_t id) override;
  void Register(void* object) override;
  ComponentHandle* GetNewHandle(ComponentHandle* scratch) override;
  void Log(const char* format, ...) override FL_PRINTF(2, 3);
  void BeginLogEntry() override;

  // Registers an object of the host's own in one step and returns its handle.
  ComponentHandle RegisterHostObject(void* object);

  // The live entry a handle names, or null for a zero, stale or unknown handle.
  RegistryEntry* Resolve(const ComponentHandle& handle);
  size_t LiveCount() const;

  // The registry log, one line per Log call; BeginLogEntry adds kEntryMarker.
  const std::vector<std::string>& LogLines() const { return log_; }
  void ClearLog() { log_.clear(); }

  // Calls that broke the Register / GetNewHandle / Bind order or named an unknown id.
  const std::vector<std::string>& Errors() const { return errors_; }
  uint32_t UnregisterCalls(uint32_t id) const;

  // Failure injection: the next GetNewHandle answers null.
  void FailNextHandle() { failNextHandle_ = true; }

 private:
  ComponentHandle MakeHandle(uint32_t id, uint32_t serial) const;

  std::vector<RegistryEntry> entries_;  // index = id - 1
  std::set<uint32_t> freeIds_;          // of the entries above whose object is gone
  std::vector<uint32_t> unregisterCalls_;
  std::vector<std::string> log_;
  std::vector<std::string> errors_;
  void* pending_ = nullptr;
  uint32_t pendingId_ = 0;
  uint32_t nextSerial_ = 1;
  uint32_t nextCookie_ = 0x1000;
  bool failNextHandle_ = false;
  ComponentHandle issued_{};
};

}  // namespace host
