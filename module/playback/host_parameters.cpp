#include "playback/host_parameters.h"

#include <cstdio>

#include "frame/module_globals.h"
#include "frame/renderable.h"
#include "frame/renderable_parameters.h"
#include "objects/scene_base_obj.h"

namespace Playback {

void ApplyHostParameter(CSceneBaseObj* object, const std::string& key, int32_t value) {
  const ComponentHandle* handle = object->GetHandle();
  if (handle == nullptr) return;
  auto* renderable = static_cast<IRenderableObject*>(g_pHost->GetObject(handle));
  if (renderable == nullptr || renderable->parameters == nullptr) return;
  RenderableParameterTable* table = renderable->parameters;
  if (table->keys == nullptr) return;
  // The value was recorded as a signed number and is given back as one ("-5", not 4294967291).
  char text[16];
  std::snprintf(text, sizeof(text), "%d", value);
  object->SetRenderableParameter(table, table->keys->KeyId(key.c_str()), text);
  renderable->ApplyParameters(g_pHost->GetObjectCookie(handle));
}

IRenderableNodeParameters* RootNodeParameters(CSceneBaseObj* object) {
  const ComponentHandle* handle = object->GetHandle();
  if (handle == nullptr) return nullptr;
  ComponentHandle node{};
  if (g_pHost->SendMessage(*handle, "lsp", kObjMsgFindNode, nullptr, &node) == 0) return nullptr;
  auto* root = static_cast<IRenderableNode*>(g_pHost->GetObject(&node));
  return root != nullptr ? root->GetParameters() : nullptr;
}

void ApplyHostParameterSet(CSceneBaseObj* object, int32_t index, float a, float b, float c) {
  if (IRenderableNodeParameters* parameters = RootNodeParameters(object)) parameters->SetParameter(index, a, b, c);
}

}  // namespace Playback
