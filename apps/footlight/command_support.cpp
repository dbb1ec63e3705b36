#include "apps/footlight/command_support.h"

#include <cstdio>

#include "apps/footlight/cli.h"
#include "host/host.h"
#include "host/ini_service.h"
#include "scene/scene_system.h"
#include "win32/file_system.h"

namespace footlight {

CComponentBase* MakeModuleComponent(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className) {
  if (host.FactoryList() == nullptr) host.LoadModule(entry);
  if (host.FindFactory(className) == nullptr) {
    cli::Fail(std::string("the module has no class named \"") + className + "\"");
    return nullptr;
  }
  ComponentHandle handle{};
  host.CreateObject(&handle, className);
  auto* component = static_cast<CComponentBase*>(host.GetObject(&handle));
  if (component == nullptr) cli::Fail(std::string("the module made no ") + className);
  return component;
}

CSceneSystem* MakeSceneSystem(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className) {
  auto* scene = static_cast<CSceneSystem*>(MakeModuleComponent(host, entry, className));
  if (scene != nullptr && scene->GetLightingSystem() == nullptr) {
    cli::Fail("the scene system did not start");
    scene = nullptr;
  }
  if (scene == nullptr) host.DestroyAll();
  return scene;
}

std::string SceneLoadError(int number, const std::string& folder) {
  const std::string file = (folder.empty() ? std::string("resource\\ini\\scene") : folder) + "\\" +
                           std::to_string(number) + ".ini";
  const std::string head = "scene " + std::to_string(number) + " did not load: ";
  if (std::string line; !cli::Readable(win32::GetResourceRoot(), file, &line, host::kIniFileMaxBytes)) return head + line;
  return head + "its file " + file + " opened but the scene was not made (see the host log)";
}

}  // namespace footlight
