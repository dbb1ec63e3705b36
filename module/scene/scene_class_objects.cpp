#include "scene/scene_class_objects.h"

#include <cstring>

#include "frame/component_base.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "lighting/lighting_system.h"
#include "scene/scene_system.h"

namespace {
// What IHost::GetObject hands out for a class object: one of the two kinds, or neither.
struct ClassObject {
  CComponentBase* component = nullptr;
  ISceneEffectObject* effect = nullptr;
};

ClassObject Resolve(const ComponentHandle& handle) {
  ClassObject out;
  void* object = g_pHost->GetObject(&handle);
  if (object == nullptr) return out;
  out.component = AsModuleComponent(object);
  if (out.component == nullptr) out.effect = static_cast<ISceneEffectObject*>(object);
  return out;
}
}  // namespace

bool MakeSceneClassObject(ComponentHandle* out, const char* className) {
  // The scene's model classes hand out the model's interface, which has no switch and whose
  // step and draw the scene already calls: one named as a class would be driven twice over.
  for (const char* model : {"modelr", "Renderable"}) {
    if (className != nullptr && std::strcmp(className, model) == 0) {
      g_pHost->Log("[WARNING] CSceneSystem: no class object is made of \"%s\", a model class of the scene.", className);
      return false;
    }
  }
  // A scene system's constructor and its lighting system's Init make themselves the module's
  // current ones; made as a part of this scene they must not take its objects and lights over.
  CSceneSystem* const scene = GetCurrentSceneSystem();
  IRenderer* const lightingRenderer = g_pLightingRenderer;
  CLightingSystem* const lighting = g_pLightingSystem;
  CSceneSystem* const lightingScene = g_pLightingScene;
  const bool made = g_pHost->CreateObject(out, className);
  SetCurrentSceneSystem(scene);
  g_pLightingRenderer = lightingRenderer;
  g_pLightingSystem = lighting;
  g_pLightingScene = lightingScene;
  return made;
}

void StepSceneClassObject(const ComponentHandle& handle, uint32_t elapsedMs) {
  const ClassObject object = Resolve(handle);
  if (object.component != nullptr) object.component->Execute(elapsedMs);
  else if (object.effect != nullptr) object.effect->Execute(elapsedMs);
}

void DrawSceneClassObject(const ComponentHandle& handle, uint32_t context) {
  const ClassObject object = Resolve(handle);
  if (object.component != nullptr) object.component->Realize(context);
  else if (object.effect != nullptr) object.effect->Realize(context);
}

bool SwitchSceneClassObject(const ComponentHandle& handle, int32_t on) {
  const ClassObject object = Resolve(handle);
  if (object.effect != nullptr) object.effect->SetSwitch(on);
  return object.component != nullptr || object.effect != nullptr;
}
