// Showing a model, its part states, lighting and alpha, its renderable parameters and the hand
// models.
#include <gtest/gtest.h>

#include "object_fixture.h"

namespace {
using object_testing::ObjectHost;

struct LoadedObject : ObjectHost {
  CSceneBaseObj* o = nullptr;
  host::RenderableObject* r = nullptr;
  host::RenderableNode* root = nullptr;
  explicit LoadedObject(const char* dancer = object_testing::kDancer) {
    WriteFile("resource/ini/objects/20000.ini", dancer);
    o = MakeObject();
    EXPECT_TRUE(o->LoadFromIni(20000, 0, 0, 0.0f));
    r = RenderableOf(*o->GetHandle());
    root = r != nullptr ? r->Root() : nullptr;
    standard.host.ClearMessages();
  }
  std::vector<int32_t> PartStateModes() const {
    std::vector<int32_t> modes;
    for (const auto& m : RenderableMessages(kObjMsgSetPartState)) modes.push_back(m.args[2].l);
    return modes;
  }
};

TEST(ObjectParts, ShowSendsTheWholeModelStateOnlyOnAChange) {
  LoadedObject h;
  ASSERT_NE(h.root, nullptr);
  auto* skeleton = static_cast<host::RenderableSkeleton*>(h.root->GetSkeleton());
  ASSERT_NE(skeleton, nullptr);
  skeleton->visible = false;
  h.o->Show(true);
  EXPECT_EQ(h.PartStateModes(), std::vector<int32_t>{1});
  EXPECT_TRUE(skeleton->visible);
  EXPECT_EQ(h.r->wholeModel, 1);
  EXPECT_EQ(h.r->face.shown, 1);
  EXPECT_TRUE(h.o->IsVisible());
  // Showing a shown object sends nothing, but the interface still hears the flag.
  h.r->face.shown = 0;
  h.o->Show(true);
  EXPECT_EQ(h.PartStateModes(), std::vector<int32_t>{1});
  EXPECT_EQ(h.r->face.shown, 1);
}

TEST(ObjectParts, HidingLeavesTheSkeletonToTheMirrorPassWhileMirrorsRender) {
  LoadedObject h;
  auto* skeleton = static_cast<host::RenderableSkeleton*>(h.root->GetSkeleton());
  h.o->Show(true);
  h.scene->SetMirrorRendering(1);
  h.o->Show(false);
  EXPECT_TRUE(skeleton->visible);  // the mirror pass still draws it
  EXPECT_EQ(h.r->wholeModel, 2);
  h.o->Show(true);
  h.scene->SetMirrorRendering(0);
  h.o->Show(false);
  EXPECT_FALSE(skeleton->visible);
  EXPECT_EQ(h.PartStateModes(), (std::vector<int32_t>{1, 2, 1, 2}));
}

TEST(ObjectParts, PartStatesResendTheShowStateAndKeepOnlyTimedRecords) {
  LoadedObject h;
  EXPECT_TRUE(h.o->SetPartState("face", "angry", 0));
  EXPECT_TRUE(h.o->timedPartStates.empty());
  EXPECT_TRUE(h.o->SetPartState("hat", "red", 500));
  ASSERT_EQ(h.o->timedPartStates.size(), 1u);
  EXPECT_EQ(h.o->timedPartStates[0].part, "hat");
  EXPECT_EQ(h.o->timedPartStates[0].remainingMs, 500);
  h.o->ResetPartState("face");
  const auto sent = h.RenderableMessages(kObjMsgSetPartState);
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0].args[0].s, "face");
  EXPECT_EQ(sent[0].args[1].s, "angry");
  EXPECT_EQ(sent[0].args[2].l, 3);
  EXPECT_TRUE(sent[1].args[0].null);
  EXPECT_TRUE(sent[1].args[1].null);
  EXPECT_EQ(sent[1].args[2].l, 2);  // not shown
  EXPECT_EQ(sent[4].args[0].s, "face");
  EXPECT_TRUE(sent[4].args[1].null);
  EXPECT_EQ(sent[4].args[2].l, 0);
  EXPECT_EQ(h.r->partStates.count("face"), 0u);
  EXPECT_EQ(h.r->partStates["hat"], "red");
}

TEST(ObjectParts, FlagAlphaAndLightingReachTheRenderable) {
  LoadedObject h;
  // The renderable's answer comes back: 1 taken, 0 from an object with no renderable.
  EXPECT_EQ(h.o->SetRenderFlag(1), 1);
  EXPECT_EQ(h.r->renderFlag, 1);
  EXPECT_EQ(h.MakeObject()->SetRenderFlag(1), 0);
  h.o->SetAlpha(0.25f);
  EXPECT_FLOAT_EQ(h.r->face.alpha, 0.25f);
  h.r->face.lighting = -5;
  h.o->RefreshLighting();
  EXPECT_EQ(h.r->face.lighting, h.scene->GetModelOption());
}

TEST(ObjectParts, ParametersAreSetReplacedClearedAndAdded) {
  LoadedObject h;
  RenderableParameterTable* table = h.r->parameters;
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->count, 3u);
  const uint32_t face = table->keys->KeyId("face");
  EXPECT_EQ(h.o->SetRenderableParameter(table, face, "a much longer smile than before"), 2);
  EXPECT_STREQ(h.r->Parameter("face"), "a much longer smile than before");
  EXPECT_EQ(h.o->SetRenderableParameter(table, face, nullptr), 2);
  EXPECT_EQ(h.r->Parameter("face"), nullptr);
  const uint32_t hat = table->keys->KeyId("hat");
  EXPECT_EQ(h.o->SetRenderableParameter(table, hat, "cap"), 3);
  ASSERT_EQ(table->count, 4u);
  EXPECT_EQ(table->items[3]->node, static_cast<IRenderableNode*>(h.root));
  EXPECT_STREQ(h.r->Parameter("hat"), "cap");
  for (uint32_t i = 0; i < table->count; ++i)
    EXPECT_TRUE(table->items[i]->value == nullptr || h.host.Allocator().IsLive(table->items[i]->value));
}

TEST(ObjectParts, AHandChangeWritesANewValueAndAppliesIt) {
  LoadedObject h;
  h.o->SetHandNumbers(7, 12);
  EXPECT_TRUE(h.o->ChangeHandModel(true, 7, true));
  EXPECT_TRUE(h.o->ChangeHandModel(false, 12, true));
  EXPECT_STREQ(h.r->Parameter("lhandModel"), "hand007");
  EXPECT_STREQ(h.r->Parameter("rhandModel"), "hand112");
  EXPECT_EQ(h.r->applied["lhandModel"], "hand007");
  EXPECT_EQ(h.r->applied["rhandModel"], "hand112");
  EXPECT_EQ(h.r->applications, 3);  // the load's, then one per change
}

TEST(ObjectParts, HandValuesOfThreeAndFourCharacters) {
  const std::string base = "[object]\nheight=1\nbox=0,0,0,1,1,1\nradius=1\n";
  {
    LoadedObject h((base + "parameter=lhandModel,abc\n").c_str());
    EXPECT_FALSE(h.o->ChangeHandModel(true, 5, true));
    EXPECT_STREQ(h.r->Parameter("lhandModel"), "abc");  // too short: it stays
  }
  {
    LoadedObject h((base + "parameter=LHANDMODEL,abcd\n").c_str());
    EXPECT_TRUE(h.o->ChangeHandModel(true, 5, false));
    EXPECT_STREQ(h.r->Parameter("lhandModel"), "abcd005");
    EXPECT_EQ(h.r->applications, 1);  // not applied when not asked
  }
  {
    // A missing key changes nothing: no item is made for it.
    LoadedObject h((base + "parameter=face,smile\n").c_str());
    EXPECT_FALSE(h.o->ChangeHandModel(false, 5, true));
    EXPECT_EQ(h.r->parameters->count, 1u);
    EXPECT_EQ(h.r->Parameter("rhandModel"), nullptr);
  }
}

TEST(ObjectParts, ForwardToRenderableTicksTheModel) {
  LoadedObject h;
  EXPECT_EQ(h.o->ForwardToRenderable(33), 1u);
  EXPECT_EQ(h.r->lastTickValue, 33u);
  h.host.DestroyObject(*h.o->GetHandle());
  EXPECT_EQ(h.o->ForwardToRenderable(34), 0u);
}

}  // namespace
