#include "apps/footlight/scene_session.h"

#include <cerrno>
#include <cstdlib>

#include "apps/footlight/cli.h"
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
    : standard_(resource, config), entry_(entry) {}

SceneSession::~SceneSession() { Finish(); }

bool SceneSession::Start() {
  host::ReferenceHost& host = standard_.host;
  auto effects = std::make_shared<host::RecordingClass>("effect");
  host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  scene_ = MakeSceneSystem(host, entry_);
  return scene_ != nullptr;
}

bool SceneSession::Load(int number, const std::string& root) {
  if (!Start()) return false;
  if (!root.empty()) scene_->SetPendingStateName(root.c_str());
  if (!scene_->LoadScene(static_cast<uint32_t>(number))) {
    cli::Fail(SceneLoadError(number, root));
    return false;
  }
  return true;
}

CComponentBase* SceneSession::MakeComponent(const char* className) {
  return MakeModuleComponent(standard_.host, entry_, className);
}

size_t SceneSession::Finish() {
  if (!finished_) {
    finished_ = true;
    standard_.host.DestroyAll();
  }
  return standard_.host.Allocator().LiveBlocks();
}

int SceneSession::Close(int status, std::FILE* out) {
  const size_t left = Finish();
  std::fprintf(out, "live host blocks: %zu\n", left);
  if (left == 0) return status;
  // A run that failed has said why already.
  return status != 0 ? status : cli::Fail(std::to_string(left) + " host blocks left behind");
}

}  // namespace footlight
