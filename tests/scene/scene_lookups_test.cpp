// Vis-state and screen lookups, the effect commands to "ActiveEffect", and the model,
// projector and texture filter options.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "host/generic_object.h"
#include "scene_fixture.h"
#include "win32/win32.h"

namespace {
using host::RecordedMessage;
using scene_testing::SceneHost;

TEST(SceneLookups, TextureFiltersSetOnlyTheValidOnesOnAllEightStages) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  auto& r = s.standard.renderer;
  for (DWORD stage = 0; stage < 8; ++stage)
    for (DWORD type : {16u, 17u, 18u}) r.SetTextureStageState(stage, type, 9);
  scene->SetTextureFilters(2, 5, 0);
  for (DWORD stage = 0; stage < 8; ++stage) {
    EXPECT_EQ(r.GetTextureStageState(stage, 16), 2u) << stage;
    EXPECT_EQ(r.GetTextureStageState(stage, 17), 9u) << stage;
    EXPECT_EQ(r.GetTextureStageState(stage, 18), 0u) << stage;
  }
  scene->SetTextureFilters(-1, 3, 4);
  EXPECT_EQ(r.GetTextureStageState(7, 16), 2u);
  EXPECT_EQ(r.GetTextureStageState(7, 17), 3u);
  EXPECT_EQ(r.GetTextureStageState(7, 18), 0u);
  EXPECT_EQ(r.GetTextureStageState(8, 17), 0u);  // no ninth stage was touched
}

struct EffectHost {
  SceneHost s;
  std::shared_ptr<host::RecordingClass> effects = host::RegisterRecordingClass(s.host, "ActiveEffect");
  CSceneSystem* scene = nullptr;
  int nextId = 500;
  std::vector<std::pair<int, D3DXMATRIX>> frames;  // the id and the frame each 600001 carried

  EffectHost() {
    effects->Handle(600000, [this](host::RecordingObject&, const RecordedMessage&, const MessageArg*) { return nextId++; });
    effects->Handle(600001, [this](host::RecordingObject&, const RecordedMessage& m, const MessageArg* raw) {
      frames.emplace_back(m.args[0].l, *static_cast<const D3DXMATRIX*>(raw[1].p));
      return 0;
    });
    scene = s.MakeScene();
  }
  std::vector<RecordedMessage> Sent(int32_t id) {
    std::vector<RecordedMessage> out;
    for (const auto& m : s.host.Messages())
      if (m.id == id) out.push_back(m);
    return out;
  }
};

TEST(SceneLookups, EffectCommandsCreateUpToSixteenNamedEffects) {
  EffectHost h;
  std::string names;
  for (int i = 0; i < 17; ++i) names += "fx" + std::to_string(i) + ";";
  const D3DXVECTOR3 at(1, 2, 3);
  EXPECT_TRUE(h.scene->SendObjectCommand(names.c_str(), &at));
  const auto sent = h.Sent(600000);
  ASSERT_EQ(sent.size(), 16u);
  EXPECT_TRUE(h.Sent(600001).empty());
  const RecordedMessage& m = sent[15];
  EXPECT_EQ(m.targetClass, "ActiveEffect");
  EXPECT_EQ(m.signature, "lscciffls");
  EXPECT_TRUE(m.error.empty()) << m.error;
  ASSERT_EQ(m.args.size(), 8u);
  EXPECT_EQ(m.args[0].s, "fx15");
  EXPECT_EQ(m.args[1].c[0], 1.0f);
  EXPECT_EQ(m.args[1].c[2], 3.0f);
  EXPECT_EQ(m.args[2].c[1], 1.0f);  // direction (0, 1, 0)
  EXPECT_EQ(m.args[2].c[0], 0.0f);
  EXPECT_EQ(m.args[3].i.words[4], 0u);
  EXPECT_EQ(m.args[4].f, 1.0);
  EXPECT_EQ(m.args[5].f, 1.0);
  EXPECT_EQ(m.args[6].l, 1);
  EXPECT_TRUE(m.args[7].null);

  h.s.host.ClearMessages();
  // Only the first 255 characters count: the name cut there is the last one sent.
  const std::string longList = std::string(250, 'a') + ";bcdefgh";
  EXPECT_TRUE(h.scene->SendObjectCommand(longList.c_str(), &at));
  ASSERT_EQ(h.Sent(600000).size(), 2u);
  EXPECT_EQ(h.Sent(600000)[1].args[0].s, "bcde");

  h.s.host.ClearMessages();
  EXPECT_TRUE(h.scene->SendObjectCommand(nullptr, &at));
  EXPECT_FALSE(h.scene->SendObjectCommand("fx", nullptr));
  EXPECT_TRUE(h.scene->SendObjectCommands(nullptr, &at, &at));
  EXPECT_FALSE(h.scene->SendObjectCommands("fx", nullptr, &at));
  EXPECT_FALSE(h.scene->SendObjectCommands("fx", &at, nullptr));
  EXPECT_TRUE(h.s.host.Messages().empty());
}

TEST(SceneLookups, EachCreatedEffectGetsItsIdAndTheTurnedFrame) {
  EffectHost h;
  const D3DXVECTOR3 at(4, 5, 6), angles(0.3f, -0.7f, 1.1f);
  EXPECT_TRUE(h.scene->SendObjectCommands("one;;two", &at, &angles));
  ASSERT_EQ(h.Sent(600000).size(), 2u);
  ASSERT_EQ(h.frames.size(), 2u);
  EXPECT_EQ(h.frames[0].first, 500);
  EXPECT_EQ(h.frames[1].first, 501);
  EXPECT_EQ(h.Sent(600001)[0].signature, "llp");
  // Turned about x, then y, then z, as row vectors see it; then moved to the position.
  D3DXMATRIX rx, ry, rz, expected;
  D3DXMatrixRotationX(&rx, angles.x);
  D3DXMatrixRotationY(&ry, angles.y);
  D3DXMatrixRotationZ(&rz, angles.z);
  D3DXMatrixMultiply(&expected, &rx, &ry);
  D3DXMatrixMultiply(&expected, &expected, &rz);
  expected.m[3][0] = 4;
  expected.m[3][1] = 5;
  expected.m[3][2] = 6;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(h.frames[1].second.m[r][c], expected.m[r][c], 1e-5f) << r << "," << c;
}

TEST(SceneLookups, VisStateLookupsAndRandomActions) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  scene->visStates.push_back(VisStateRecord{"none", {}, 3, 4});
  scene->visStates.push_back(VisStateRecord{"single", {"only"}, 0, 0});
  scene->visStates.push_back(VisStateRecord{"three", {"a", "b", ""}, 0, 0});

  EXPECT_EQ(scene->GetRandomStateAction(0, 0), nullptr);
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(scene->GetRandomStateAction(1, 99), "only");
  // The generator's first values from seed 1 are 41, 18467 and 6334: 41 % 3 = 2, 18467 % 3 = 2.
  win32::srand(1);
  EXPECT_STREQ(scene->GetRandomStateAction(2, 0), "");
  EXPECT_STREQ(scene->GetRandomStateAction(2, 0), "");
  // 6334 % 3 = 1.
  EXPECT_STREQ(scene->GetRandomStateAction(2, 0), "b");
  EXPECT_EQ(scene->GetRandomStateAction(-1, 0), nullptr);
  EXPECT_EQ(scene->GetRandomStateAction(3, 0), nullptr);

  EXPECT_STREQ(scene->GetVisStateName(2), "three");
  EXPECT_EQ(scene->GetVisStateName(-1), nullptr);
  EXPECT_EQ(scene->GetVisStateName(3), nullptr);
  EXPECT_EQ(scene->GetVisStateActionCount(2), 3);
  EXPECT_EQ(scene->GetVisStateActionCount(3), 0);
  int32_t base = -5, interval = -5;
  scene->GetVisStateRandom(0, &base, &interval);
  EXPECT_EQ(base, 3);
  EXPECT_EQ(interval, 4);
  scene->GetVisStateRandom(-1, &base, &interval);
  EXPECT_EQ(base, 0);
  EXPECT_EQ(interval, 0);
  scene->GetVisStateRandom(0, nullptr, nullptr);  // nothing to write
}

TEST(SceneLookups, OptionsAndTheScreenReadBack) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_EQ(scene->SetModelOption(7), 7);
  EXPECT_EQ(scene->GetModelOption(), 7);
  EXPECT_EQ(scene->GetProjectorEnabled(), 1);  // on when made
  EXPECT_EQ(scene->SetProjectorEnabled(0), 0);
  EXPECT_EQ(scene->GetProjectorEnabled(), 0);

  scene->screenCenter = D3DXVECTOR3(1, 2, 3);
  scene->screenNormal = D3DXVECTOR3(0, 0, -1);
  scene->screenWidth = 12.5f;
  D3DXVECTOR3 out(9, 9, 9);
  EXPECT_EQ(scene->GetScreenCenter(&out), &out);
  EXPECT_EQ(out, D3DXVECTOR3(1, 2, 3));
  EXPECT_EQ(scene->GetScreenNormal(&out), &out);
  EXPECT_EQ(out, D3DXVECTOR3(0, 0, -1));
  EXPECT_EQ(scene->GetScreenCenter(nullptr), nullptr);
  EXPECT_EQ(scene->GetScreenNormal(nullptr), nullptr);
  EXPECT_FLOAT_EQ(scene->GetScreenWidth(), 12.5f);
}

}  // namespace
