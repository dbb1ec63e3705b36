// Replayed renderable parameters on a recording object with a loaded model: a key's value in the
// renderable's table and the triples of its root node.
#include "playback_fixture.h"

#include "frame/renderable_parameters.h"
#include "host/renderable.h"
#include "playback/host_parameters.h"

namespace {
using namespace Playback;

constexpr const char* kDancer =
    "[object]\nheight=1.75\nbox=-0.35,0,-0.25,0.35,1.8,0.25\nradius=1.1\npart=body\n"
    "parameter=lhandModel,hand000\nparameter=face,smile\n";

struct ModelHost : scene_testing::SceneHost {
  SceneBaseObj* object = nullptr;
  ModelHost() {
    WriteFile("resource/ini/objects/10005.ini", kDancer);
    auto* scene = static_cast<Playback::SceneSystem*>(MakeScene(nullptr, "SceneSystem"));
    const uint32_t key[2] = {1, 2};
    object = dynamic_cast<SceneBaseObj*>(scene->CreateSceneObject(key));
  }
  host::RenderableObject* Renderable() {
    return static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(object->GetHandle())));
  }
  host::RenderableNode* Root() {
    host::RenderableObject* r = Renderable();
    return r != nullptr ? r->Root() : nullptr;
  }
};

TEST(HostParameterApply, ANewKeyIsAddedAndAKnownOneReplacedAsSignedText) {
  ModelHost s;
  ASSERT_NE(s.object, nullptr);
  ASSERT_TRUE(s.object->LoadFromIni(10005, 1, 0, 0.0f));
  host::RenderableObject* renderable = s.Renderable();
  ASSERT_NE(renderable, nullptr);
  const int applied = renderable->applications;
  const size_t blocks = s.host.Allocator().LiveBlocks();

  MakeObjectEvent<kObjectHostParameter>(std::string("glow"), static_cast<uint32_t>(-5))->Apply(nullptr, s.object);
  EXPECT_STREQ(renderable->Parameter("glow"), "-5");
  EXPECT_EQ(renderable->parameters->count, 3u);
  EXPECT_EQ(renderable->applications, applied + 1);
  EXPECT_EQ(renderable->applied.at("glow"), "-5");
  EXPECT_EQ(s.host.Allocator().LiveBlocks(), blocks + 2);  // the new entry and its text

  MakeObjectEvent<kObjectHostParameter>(std::string("face"), 1234567u)->Apply(nullptr, s.object);
  EXPECT_STREQ(renderable->Parameter("face"), "1234567");
  EXPECT_STREQ(renderable->Parameter("lhandModel"), "hand000");
  EXPECT_EQ(renderable->parameters->count, 3u);
  EXPECT_EQ(renderable->applications, applied + 2);
  EXPECT_EQ(s.host.Allocator().LiveBlocks(), blocks + 2);  // the old text went back
}

TEST(HostParameterApply, WithoutAModelNothingChanges) {
  ModelHost s;
  ASSERT_NE(s.object, nullptr);
  const size_t blocks = s.host.Allocator().LiveBlocks();
  MakeObjectEvent<kObjectHostParameter>(std::string("glow"), 1u)->Apply(nullptr, s.object);
  MakeObjectEvent<kObjectHostParameterSet>(-1, 1.0f, 2.0f, 3.0f)->Apply(nullptr, s.object);
  EXPECT_EQ(s.host.Allocator().LiveBlocks(), blocks);
}

TEST(HostParameterApply, NodeTriplesAreSetAtMinusOneAndTheNodesIndicesOnly) {
  ModelHost s;
  ASSERT_TRUE(s.object->LoadFromIni(10005, 1, 0, 0.0f));
  host::RenderableNode* root = s.Root();
  ASSERT_NE(root, nullptr);
  MakeObjectEvent<kObjectHostParameterSet>(-1, 1.0f, 2.0f, 3.0f)->Apply(nullptr, s.object);
  EXPECT_EQ(root->parameters.own, (host::NodeParameters::Triple{1.0f, 2.0f, 3.0f}));
  MakeObjectEvent<kObjectHostParameterSet>(0, 4.0f, 5.0f, 6.0f)->Apply(nullptr, s.object);  // no index 0 yet
  EXPECT_EQ(root->parameters.sets, 1);
  root->parameters.indexed.resize(2);
  MakeObjectEvent<kObjectHostParameterSet>(1, 4.0f, 5.0f, 6.0f)->Apply(nullptr, s.object);
  MakeObjectEvent<kObjectHostParameterSet>(2, 7.0f, 8.0f, 9.0f)->Apply(nullptr, s.object);
  MakeObjectEvent<kObjectHostParameterSet>(-2, 7.0f, 8.0f, 9.0f)->Apply(nullptr, s.object);
  EXPECT_EQ(root->parameters.indexed[1], (host::NodeParameters::Triple{4.0f, 5.0f, 6.0f}));
  EXPECT_EQ(root->parameters.sets, 2);
  float a = 0, b = 0, c = 0;
  EXPECT_TRUE(RootNodeParameters(s.object)->GetParameter(1, &a, &b, &c));
  EXPECT_EQ(c, 6.0f);
}

}  // namespace
