// The base of every component the host can create from this module.
#pragma once
#include <cstdint>

#include "frame/component_handle.h"
#include "frame/host_interfaces.h"

class CComponentBase {
 public:
  // Registers the object with the host's registry and takes the handle it assigns.
  CComponentBase();

  virtual bool Init();                                                             // slot 0
  virtual void Destroy();                                                          // slot 1
  virtual void Execute(uint32_t elapsedMs);                                        // slot 2
  virtual void Realize(uint32_t arg);                                              // slot 3
  virtual void RealizeBlend(uint32_t arg);                                         // slot 4
  virtual void RealizePost(uint32_t arg);                                          // slot 5
  virtual int OnEvent(IEventArgs* args);                                           // slot 6
  virtual void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam);  // slot 7
  virtual bool Slot8(uint32_t arg);                                                // slot 8
  virtual bool Slot9(uint32_t arg);                                                // slot 9
  virtual uint32_t Slot10(uint32_t arg);                                           // slot 10
  // slot 11. Components live in counted host blocks: the host runs this destructor and
  // frees the block itself; a component never deletes itself.
  virtual ~CComponentBase();

  CComponentBase(const CComponentBase&) = delete;
  CComponentBase& operator=(const CComponentBase&) = delete;

  ComponentHandle handle;
  uint32_t objectCookie;

 protected:
  // Subscribes this component to a host channel with its order value.
  void SubscribeChannel(const char* channel, int order);
};

// The module's own live component at an address IHost::GetObject handed out; null when the
// address is a host object's (or null). A class name in a scene file may name either kind, and
// only a component answers the component slots.
CComponentBase* AsModuleComponent(void* object);

// Device events carried by the "LostDevice" channel.
constexpr int kEventDeviceLost = 30001;
constexpr int kEventDeviceReset = 30002;
