// A scene of the resource tree loaded into a scene system of the module, for the commands that
// ask the loaded scene something (footlight maps, footlight path); everything is destroyed with
// the session.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "frame/dma_interface.h"
#include "host/standard_host.h"

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

  // Makes the scene system and loads scene `number`; false with one line on `err`.
  bool Load(int number, std::FILE* err);
  CSceneSystem* scene() { return scene_; }
  host::StandardHost& standard() { return standard_; }
  // Destroys everything; the number of host blocks left behind.
  size_t Finish();
  // Finish, then `status`, or 1 (with a line on `err`) when host blocks were left behind.
  int Close(int status, std::FILE* err);

 private:
  host::StandardHost standard_;
  CSceneSystem* scene_ = nullptr;
  bool finished_ = false;
};

}  // namespace footlight
