// A scene whose ground and visible states tests script, and a loaded dancer standing in it, for
// the tests of walking, animation events and effects.
#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/effect_objects.h"
#include "object_fixture.h"

namespace walk_testing {

struct ScriptedVisState {
  std::string name;
  std::vector<std::string> actions;
  int32_t base = 0, range = 0;
};

class ScriptedScene : public CSceneSystem {
 public:
  // The ground height under (x, z); none where the function answers nothing. Flat at 0 by default.
  std::function<std::optional<float>(float x, float z)> ground = [](float, float) { return std::optional<float>(0.0f); };
  std::map<int32_t, ScriptedVisState> states;

  uint8_t GetGroundHeight(D3DXVECTOR3* position, uint32_t) override {
    const std::optional<float> y = ground(position->x, position->z);
    if (!y) return 1;
    position->y = *y;
    return 0;
  }
  const char* GetVisStateName(int32_t record) override {
    auto it = states.find(record);
    return it != states.end() ? it->second.name.c_str() : nullptr;
  }
  int32_t GetVisStateActionCount(int32_t record) override {
    auto it = states.find(record);
    return it != states.end() ? static_cast<int32_t>(it->second.actions.size()) : 0;
  }
  const char* GetRandomStateAction(int32_t record, int32_t index) override {
    picks.push_back(index);
    auto it = states.find(record);
    if (it == states.end() || index < 0 || static_cast<size_t>(index) >= it->second.actions.size()) return nullptr;
    return it->second.actions[static_cast<size_t>(index)].c_str();
  }
  void GetVisStateRandom(int32_t record, int32_t* base, int32_t* range) override {
    auto it = states.find(record);
    *base = it != states.end() ? it->second.base : 0;
    *range = it != states.end() ? it->second.range : 0;
  }
  std::vector<int32_t> picks;  // the indices GetRandomStateAction was asked for
};

struct WalkHost : object_testing::ObjectHost {
  ScriptedScene* stage = nullptr;
  CSceneBaseObj* dancer = nullptr;
  ComponentHandle dancerHandle{};

  WalkHost() {
    host.RegisterComponentClass<ScriptedScene>("ScriptedScene");
    stage = static_cast<ScriptedScene*>(MakeScene(nullptr, "ScriptedScene"));
    dancer = MakeObject(&dancerHandle);
    EXPECT_TRUE(dancer->LoadFromIni(10005, 0, 0, 0.0f));
  }

  host::RenderableObject* Renderable() { return RenderableOf(dancer->renderableHandle); }
  host::ActiveEffectObject* Effects() {
    return static_cast<host::ActiveEffectObject*>(static_cast<ISceneEffectObject*>(host.GetObject(&dancer->effectObjectHandle)));
  }
  // The messages with this id sent to objects of this class, in order.
  std::vector<host::RecordedMessage> Sent(const std::string& cls, int32_t id) const {
    std::vector<host::RecordedMessage> out;
    for (const auto& m : standard.host.Messages())
      if (m.id == id && m.targetClass == cls) out.push_back(m);
    return out;
  }
  // The names of the animations asked for (400001), in order.
  std::vector<std::string> Played() const {
    std::vector<std::string> out;
    for (const auto& m : Sent("Renderable", kObjMsgPlayAnimation)) out.push_back(m.args[0].s);
    return out;
  }
  // Places the dancer so that it has played an action.
  void Place(float x, float z, float yaw = 0.0f, int32_t action = 0) {
    const D3DXVECTOR3 at(x, 0.0f, z);
    dancer->SetPositionAction(&at, yaw, action);
  }
  // Runs frames of `ms` until the dancer stops moving (at most `limit`); the frames run.
  int WalkOut(uint32_t ms, int limit = 100000) {
    int n = 0;
    while (dancer->moving != 0 && n < limit) {
      dancer->Execute(ms);
      ++n;
    }
    return n;
  }
};

}  // namespace walk_testing
