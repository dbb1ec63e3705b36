// A standard host with the module, a scene system and scene objects, with object files written
// into the test's own resource root.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/renderable.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_fixture.h"

namespace object_testing {

// The sample dancer: five bones with "Head" third, three parameters.
constexpr const char* kDancer =
    "[object]\n"
    "height=1.75\n"
    "box=-0.35,0,-0.25,0.35,1.8,0.25\n"
    "radius=1.1\n"
    "part=body\npart=head\n"
    "bone=root,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\n"
    "bone=spine,1,0,0,0,0,1,0,0,0,0,1,0,0,1.0,0,1\n"
    "bone=Head,1,0,0,0,0,1,0,0,0,0,1,0,0,1.6,0.05,1\n"
    "bone=lhand,1,0,0,0,0,1,0,0,0,0,1,0,-0.6,1.1,0,1\n"
    "bone=rhand,1,0,0,0,0,1,0,0,0,0,1,0,0.6,1.1,0,1\n"
    "parameter=lhandModel,hand000\n"
    "parameter=rhandModel,hand100\n"
    "parameter=face,smile\n"
    "[animation]\n"
    "animation=stand,2000\n"
    "animation=walk,1000\n"
    "animation=wave,400\n"
    "event=walk,500,sound,step\n";

// A prop on a base model, without bones.
constexpr const char* kBaseModel =
    "[object]\nheight=0.9\nbox=-0.5,0,-0.5,0.5,0.9,0.5\nradius=0.75\npart=baseModel\npart=lid\n";

struct ObjectHost : scene_testing::SceneHost {
  CSceneSystem* scene = nullptr;

  ObjectHost() {
    WriteFile("resource/ini/objects/10005.ini", kDancer);
    WriteFile("resource/ini/objects/10006.ini", kBaseModel);
    scene = MakeScene();
  }

  // A scene object of class T (made in place of "CSceneBaseObj").
  template <class T = CSceneBaseObj>
  T* MakeObject(ComponentHandle* handle = nullptr) {
    host.RegisterComponentClass<T>("CSceneBaseObj");
    ComponentHandle made{};
    host.CreateObject(&made, "CSceneBaseObj");
    if (handle != nullptr) *handle = made;
    return Object<T>(made);
  }

  host::RenderableObject* RenderableOf(const ComponentHandle& handle) {
    return static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(&handle)));
  }

  // The messages sent to renderables with this id, in order.
  std::vector<host::RecordedMessage> RenderableMessages(int32_t id) const {
    std::vector<host::RecordedMessage> out;
    for (const auto& m : standard.host.Messages())
      if (m.id == id && m.targetClass == "Renderable") out.push_back(m);
    return out;
  }
};

}  // namespace object_testing
