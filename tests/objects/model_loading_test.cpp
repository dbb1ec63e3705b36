// Loading a scene object's model into a host "Renderable", waiting for it through the completion
// listener, and what the object then sends to its renderable.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/exs.h"
#include "object_fixture.h"

namespace {
using object_testing::ObjectHost;

// Counts the completions the listener reports.
class CompletingObject : public CSceneBaseObj {
 public:
  void OnRenderableComplete() override {
    ++completions;
    CSceneBaseObj::OnRenderableComplete();
  }
  int completions = 0;
};

TEST(ModelLoading, TheLoadMessageCarriesThePathAndFlagsUnderEitherFolder) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_TRUE(o->LoadFromIni(10005, 7, 0, 0.0f));
  h.WriteFile("custom/objs/10005.ini", object_testing::kDancer);
  o->SetObjectFolder("custom\\objs");
  ASSERT_TRUE(o->LoadFromIni(10005, 2, 1, 0.0f));
  const auto loads = h.RenderableMessages(kObjMsgLoad);
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[0].signature, "lsllll");
  EXPECT_EQ(loads[0].args[0].s, "resource\\ini\\objects\\10005.ini");
  EXPECT_EQ(loads[0].args[1].l, 7);
  EXPECT_EQ(loads[0].args[2].l, 0);
  EXPECT_EQ(loads[0].args[3].l, 0);
  EXPECT_EQ(loads[0].args[4].l, 0);
  EXPECT_EQ(loads[1].args[0].s, "custom\\objs\\10005.ini");
  EXPECT_EQ(loads[1].args[1].l, 2);
  EXPECT_EQ(loads[1].args[2].l, 1);
  EXPECT_EQ(loads[1].args[4].l, 1);
  // The first renderable went when the second load began.
  EXPECT_EQ(h.standard.renderables->live.size(), 1u);
}

TEST(ModelLoading, AHeightOfZeroIsTakenFromTheRenderable) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  EXPECT_FLOAT_EQ(o->modelHeight, 1.75f);
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 2.5f));
  EXPECT_FLOAT_EQ(o->modelHeight, 2.5f);
}

TEST(ModelLoading, TheHeadBoneIsFoundInAnyCaseWithItsMatrix) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  EXPECT_EQ(o->headBoneIndex, 2);  // "Head", third bone
  EXPECT_FLOAT_EQ(o->headBoneMatrix._42, 1.6f);
  EXPECT_FLOAT_EQ(o->headBoneMatrix._43, 0.05f);
  EXPECT_EQ(o->baseModel, 0);
  EXPECT_EQ(o->rootNodeCopy, o->rootNodeHandle);
  EXPECT_EQ(h.host.ClassOf(o->rootNodeHandle), "RenderableNode");
}

TEST(ModelLoading, AFirstPartNamedBaseModelSetsTheFlag) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_TRUE(o->LoadFromIni(10006, 0, 0, 0.0f));
  EXPECT_EQ(o->baseModel, 1);
  EXPECT_EQ(o->headBoneIndex, -1);
}

TEST(ModelLoading, BoneBuffersFollowEachModelAcrossReloads) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  EXPECT_EQ(o->bytesPerBuffer, 5 * 64);
  for (void* buffer : o->boneBuffers) {
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 16, 0u);
    std::memset(buffer, 0x5a, 5 * 64);  // the whole buffer is the object's to write
  }
  // A model without a skeleton: no buffers, size 0 (the old ones are freed, not leaked).
  ASSERT_TRUE(o->LoadFromIni(10006, 0, 0, 0.0f));
  EXPECT_EQ(o->bytesPerBuffer, 0);
  for (void* buffer : o->boneBuffers) EXPECT_EQ(buffer, nullptr);
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  EXPECT_EQ(o->bytesPerBuffer, 5 * 64);
}

TEST(ModelLoading, IdMinusOneLoadsNothingAndWaitsForNothing) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  EXPECT_FALSE(o->LoadFromIni(0xFFFFFFFFu, 0, 1, 0.0f));
  EXPECT_EQ(o->waitingForModel, 0);
  EXPECT_TRUE(o->GetHandle()->IsZero());
  EXPECT_TRUE(o->completeListener.pending.empty());
  EXPECT_EQ(h.standard.renderables->created, 0u);
}

TEST(ModelLoading, AMissingOrMalformedFileFailsAndKeepsTheRenderable) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  EXPECT_FALSE(o->LoadFromIni(42, 0, 0, 0.0f));
  EXPECT_NE(h.host.GetObject(o->GetHandle()), nullptr);
  h.WriteFile("resource/ini/objects/43.ini", "[object]\nheight=1\nbox=0,0,0,1,1\nradius=1\n");
  EXPECT_FALSE(o->LoadFromIni(43, 0, 0, 0.0f));
  const auto loads = h.RenderableMessages(kObjMsgLoad);
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[0].result, 0);
  EXPECT_EQ(loads[1].result, 0);
}

TEST(ModelLoading, TheSecondModelKeepsAnIdAndTakesACookieOnlyWhenThereIsNone) {
  ObjectHost h;
  CSceneBaseObj* fresh = h.MakeObject();
  // No id anywhere: nothing is made.
  EXPECT_FALSE(fresh->LoadSecondModel(0xFFFFFFFFu, 0));
  EXPECT_TRUE(fresh->GetSecondHandle()->IsZero());
  // No id of its own: the argument's, and the second renderable's cookie.
  ASSERT_TRUE(fresh->LoadSecondModel(10006, 3));
  EXPECT_EQ(fresh->objectId, 10006);
  EXPECT_EQ(fresh->objectCookie, h.host.GetObjectCookie(fresh->GetSecondHandle()));
  const auto loads = h.RenderableMessages(kObjMsgLoad);
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].args[0].s, "resource\\ini\\objects\\10006.ini");
  EXPECT_EQ(loads[0].args[1].l, 0);
  EXPECT_EQ(loads[0].args[2].l, 3);

  // An object with a model keeps its id and its main renderable's cookie.
  CSceneBaseObj* loaded = h.MakeObject();
  ASSERT_TRUE(loaded->LoadFromIni(10005, 0, 0, 0.0f));
  const uint32_t mainCookie = loaded->objectCookie;
  loaded->Show(true);
  ASSERT_TRUE(loaded->LoadSecondModel(10006, 0));
  EXPECT_EQ(loaded->objectId, 10005);
  EXPECT_EQ(loaded->objectCookie, mainCookie);
  EXPECT_EQ(h.RenderableMessages(kObjMsgLoad).back().args[0].s, "resource\\ini\\objects\\10005.ini");
  EXPECT_EQ(loaded->shown, 0);
  // Slot 10 of the second renderable applied the table of the main one.
  EXPECT_EQ(h.RenderableOf(*loaded->GetSecondHandle())->applied["lhandModel"], "hand000");
}

// ---------------------------------------------------------------------------------------------
// The completion listener

TEST(CompletionListener, AWaitingLoadCompletesOnALaterTick) {
  ObjectHost h;
  auto* o = h.MakeObject<CompletingObject>();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  EXPECT_EQ(o->waitingForModel, 1);
  EXPECT_EQ(o->completions, 0);  // never inside the load
  ASSERT_EQ(o->completeListener.pending.size(), 1u);
  EXPECT_EQ(o->completeListener.pending[0], *o->GetHandle());
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 1);
  EXPECT_EQ(o->waitingForModel, 0);
  EXPECT_TRUE(o->completeListener.pending.empty());
  EXPECT_FLOAT_EQ(o->modelHeight, 1.75f);
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 1);
}

TEST(CompletionListener, ATestCanHoldTheCompletion) {
  ObjectHost h;
  h.standard.renderables->manualCompletion = true;
  auto* o = h.MakeObject<CompletingObject>();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  h.host.Execute(16);
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 0);
  host::RenderableObject* r = h.RenderableOf(*o->GetHandle());
  r->Complete();
  EXPECT_EQ(o->completions, 0);
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 1);
  EXPECT_EQ(r->completedOnTick, 2u);
}

TEST(CompletionListener, ASecondWaitingLoadCompletes) {
  ObjectHost h;
  auto* o = h.MakeObject<CompletingObject>();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  ASSERT_TRUE(o->LoadFromIni(10006, 0, 1, 0.0f));
  // Only the renderable that lives is waited for.
  ASSERT_EQ(o->completeListener.pending.size(), 1u);
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 1);
  EXPECT_EQ(o->waitingForModel, 0);
  EXPECT_EQ(o->baseModel, 1);
}

TEST(CompletionListener, APendingRenderableThatIsGoneIsNoLongerWaitedFor) {
  ObjectHost h;
  auto* o = h.MakeObject<CompletingObject>();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  ComponentHandle dead{};
  h.host.CreateObject(&dead, "Renderable");
  h.host.DestroyObject(dead);
  o->completeListener.pending.insert(o->completeListener.pending.begin(), dead);
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 1);
  EXPECT_TRUE(o->completeListener.pending.empty());
}

TEST(CompletionListener, AnInterfaceNotPendingChangesNothingButAnEmptyListStillCompletes) {
  ObjectHost h;
  auto* o = h.MakeObject<CompletingObject>();
  auto* other = h.MakeObject<CompletingObject>();
  ASSERT_TRUE(other->LoadFromIni(10006, 0, 0, 0.0f));
  IRenderableInterface* foreign = other->QueryInterface(*other->GetHandle());
  ASSERT_NE(foreign, nullptr);
  h.standard.renderables->manualCompletion = true;
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  o->completeListener.OnNotify(foreign);
  EXPECT_EQ(o->completeListener.pending.size(), 1u);
  EXPECT_EQ(o->completions, 0);
  o->completeListener.Reset();
  o->completeListener.OnNotify(foreign);
  EXPECT_EQ(o->completions, 1);
}

TEST(CompletionListener, ARenderableWithoutAnInterfaceIsAFailedAssertion) {
  ObjectHost h;
  ComponentHandle handle{};
  CSceneBaseObj* o = h.MakeObject(&handle);
  EXPECT_FALSE(o->LoadFromIni(42, 0, 0, 0.0f));  // a renderable with no model, so no interface
  h.host.Registry().ClearLog();
  bool thrown = false;
  try {
    o->completeListener.OnComplete(&handle, 0);
  } catch (const char* text) {
    thrown = std::strcmp(text, "assert") == 0;
  }
  EXPECT_TRUE(thrown);
  const auto& log = h.host.Registry().LogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Assert failed in SceneObjectCompleteListener line 52, expression string pRenderable");
  EXPECT_TRUE(o->completeListener.pending.empty());
}

TEST(CompletionListener, AWatchedObjectIsWatchedOnce) {
  ObjectHost h;
  ComponentHandle handle{};
  auto* o = h.MakeObject<CompletingObject>(&handle);
  h.standard.renderables->manualCompletion = true;
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  o->completeListener.OnComplete(&handle, 1);
  EXPECT_EQ(o->completeListener.watches.size(), 1u);
  EXPECT_EQ(o->completeListener.watches[0].flag, 1);
  h.RenderableOf(*o->GetHandle())->Complete();
  h.host.Execute(16);
  EXPECT_EQ(o->completions, 1);
}

TEST(CompletionListener, EffectsAskedForWhileWaitingAreDroppedByANewLoad) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  o->pendingEffects.push_back(PendingEffectRequest{"spark", "a;b", 0, 1000, 0});
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  EXPECT_TRUE(o->pendingEffects.empty());
}

}  // namespace
