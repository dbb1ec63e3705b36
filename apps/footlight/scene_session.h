// The one way the commands that stand on a scene system start and end: the module loaded into a
// fresh host, its scene system made only when the module makes one, frames run on the host, and
// everything destroyed at the close with the summary line of live host blocks.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "frame/dma_interface.h"
#include "host/standard_host.h"

class CComponentBase;
class CSceneSystem;

namespace footlight {

// Parses a whole number in [least, most]; false for anything else.
bool ParseBoundedInt(const std::string& text, long least, long most, int* out);

class SceneSession {
 public:
  SceneSession(const std::string& resource, DMAInterfaceFn entry, const host::RendererConfig& config = {});
  ~SceneSession();
  SceneSession(const SceneSession&) = delete;
  SceneSession& operator=(const SceneSession&) = delete;

  // Loads the module and makes its scene system; the classes a scene names that the host has no
  // stand-in for become generic objects. False with the one line on stderr.
  bool Start();
  // Start, then scene `number` from the scene root folder `root` ("": the default); false with
  // the one line on stderr.
  bool Load(int number, const std::string& root = "");
  // One `className` component of the module, made only when the module makes that class; null
  // with the one line on stderr.
  template <class T>
  T* Make(const char* className) {
    return static_cast<T*>(MakeComponent(className));
  }
  CSceneSystem* scene() { return scene_; }
  host::StandardHost& standard() { return standard_; }
  // Destroys everything; the number of host blocks left behind.
  size_t Finish();
  // Finish, then the line "live host blocks: N" on `out`; `status`, or when it is 0 and host
  // blocks were left behind, 1 with a line on stderr.
  int Close(int status, std::FILE* out = stdout);

 private:
  CComponentBase* MakeComponent(const char* className);

  host::StandardHost standard_;
  DMAInterfaceFn entry_;
  CSceneSystem* scene_ = nullptr;
  bool finished_ = false;
};

}  // namespace footlight
