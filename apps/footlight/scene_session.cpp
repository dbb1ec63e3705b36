#include "apps/footlight/scene_session.h"

#include <cerrno>
#include <cstdlib>

#include "apps/footlight/command_support.h"
#include "frame/component_base.h"
#include "host/generic_object.h"
#include "scene/scene_system.h"

namespace footlight {

bool ParseBoundedInt(const std::string& text, long least, long most, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < least || value > most) return false;
  *out = static_cast<int>(value);
  return true;
}

SceneSession::SceneSession(const std::string& resource, DMAInterfaceFn entry, const host::RendererConfig& config)
    : standard_(resource, config) {
  standard_.host.LoadModule(entry);
}

SceneSession::~SceneSession() { Finish(); }

bool SceneSession::Load(int number, std::FILE* err) {
  host::ReferenceHost& host = standard_.host;
  // The classes a scene names that the host has no stand-in for become generic objects.
  auto effects = std::make_shared<host::RecordingClass>("effect");
  host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  ComponentHandle handle{};
  host.CreateObject(&handle, "CSceneSystem");
  scene_ = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
  if (scene_ == nullptr) {
    std::fprintf(err, "footlight: the module made no scene system\n");
    return false;
  }
  if (!scene_->LoadScene(static_cast<uint32_t>(number))) {
    std::fprintf(err, "footlight: %s\n", SceneLoadError(number).c_str());
    return false;
  }
  return true;
}

size_t SceneSession::Finish() {
  if (!finished_) {
    finished_ = true;
    standard_.host.DestroyAll();
  }
  return standard_.host.Allocator().LiveBlocks();
}

int SceneSession::Close(int status, std::FILE* err) {
  const size_t left = Finish();
  if (left != 0) std::fprintf(err, "footlight: %zu host blocks left behind\n", left);
  return left == 0 ? status : 1;
}

}  // namespace footlight
