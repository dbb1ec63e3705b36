// The scene object: its state after Init, the calls it makes through its own table, child ids,
// and what Destroy leaves behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "frame/renderer.h"
#include "object_fixture.h"

namespace {
using object_testing::ObjectHost;

// Notes the table calls the object makes of itself.
class NotingObject : public CSceneBaseObj {
 public:
  void Show(bool on) override {
    calls.push_back(on ? "Show 1" : "Show 0");
    CSceneBaseObj::Show(on);
  }
  void SetAlpha(float a) override {
    calls.push_back("SetAlpha " + std::to_string(a));
    CSceneBaseObj::SetAlpha(a);
  }
  void StopActiveEffect() override { calls.push_back("StopActiveEffect"); }
  uint32_t Slot10(uint32_t cookie) override {
    calls.push_back("Slot10 " + std::to_string(cookie));
    return CSceneBaseObj::Slot10(cookie);
  }
  std::vector<std::string> calls;
};

TEST(SceneObject, InitLeavesTheDocumentedDefaults) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->GetName(), nullptr);  // null, not ""
  o->SetName("guard");
  EXPECT_STREQ(o->GetName(), "guard");
  o->SetName(nullptr);
  EXPECT_EQ(o->GetName(), nullptr);
  EXPECT_EQ(o->GetTag(), -1);
  EXPECT_EQ(o->GetUserValueA(), -1);
  EXPECT_EQ(o->GetUserValueB(), 0);
  EXPECT_EQ(o->GetUserValueC(), nullptr);
  EXPECT_EQ(o->IsAlphaEnabled(), 1);
  EXPECT_EQ(o->GetUserFlagA(), 1);
  EXPECT_EQ(o->GetUserFlagB(), 1);
  EXPECT_EQ(o->GetSceneRenderFlag(), 1);
  EXPECT_FLOAT_EQ(o->GetScale(), 1.0f);
  EXPECT_FALSE(o->IsVisible());
  EXPECT_EQ(o->IsMoving(), 0);
  EXPECT_STREQ(o->GetAnimationName(), "");
  EXPECT_EQ(std::wstring(o->GetTitle()), L"");
  EXPECT_EQ(o->GetShineTexture(0), -1);
  EXPECT_EQ(o->ReturnMinusOne(), -1);
  EXPECT_EQ(o->objectId, -1);
  EXPECT_EQ(o->action, -1);
  EXPECT_EQ(o->sequenceIndex, -1);
  EXPECT_EQ(o->spareIds[0], -1);
  EXPECT_EQ(o->spareIds[1], -1);
  EXPECT_EQ(o->activeEffectId, -1);
  EXPECT_EQ(o->headBoneIndex, -1);
  EXPECT_FLOAT_EQ(o->turnSpeed, 3.14f);
  EXPECT_FLOAT_EQ(o->moveSpeed, 3.0f);
  EXPECT_FLOAT_EQ(o->savedMoveSpeed, 3.0f);
  EXPECT_EQ(o->headPointDirty + o->topPointDirty + o->secondDirty, 3);
  EXPECT_EQ(o->GetPathData(), &o->path);
  EXPECT_TRUE(o->GetPathData()->waypoints.empty());
  // The edges of a box: 0-1, 0-3, 1-2, 2-3, 4-5, 5-6, 6-7, 7-4, 1-5, 2-6, 3-7, 0-4.
  const uint16_t edges[24] = {0, 1, 0, 3, 1, 2, 2, 3, 4, 5, 5, 6, 6, 7, 7, 4, 1, 5, 2, 6, 3, 7, 0, 4};
  EXPECT_TRUE(std::equal(edges, edges + 24, o->boxEdges));
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(o->boneBuffers[i], nullptr);
    EXPECT_FLOAT_EQ(o->afterImageAlpha[i], 1.0f);
    EXPECT_FLOAT_EQ(o->afterImageWorld[i]._11, 1.0f);
  }
  // The renderer's techniques, the geometry service and the listener's owner.
  auto* renderer = static_cast<IRenderer*>(h.host.GetService("dx8render"));
  EXPECT_EQ(o->renderer, renderer);
  EXPECT_EQ(o->wireframeEffect, renderer->GetEffect("wireframe"));
  EXPECT_EQ(o->afterImageEffect, renderer->GetEffect("afterImage"));
  EXPECT_EQ(o->geometryService, h.host.GetService("geometry"));
  EXPECT_EQ(o->completeListener.owner, o->handle);
}

TEST(SceneObject, ObjectsShareOneActiveEffectObject) {
  ObjectHost h;
  CSceneBaseObj* a = h.MakeObject();
  CSceneBaseObj* b = h.MakeObject();
  EXPECT_EQ(h.host.ClassOf(a->effectObjectHandle), "ActiveEffect");
  EXPECT_EQ(a->effectObjectHandle, b->effectObjectHandle);
}

TEST(SceneObject, ASubclassSeesTheCallsTheObjectMakesThroughItsTable) {
  ObjectHost h;
  auto* o = h.MakeObject<NotingObject>();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  const uint32_t cookie = h.host.GetObjectCookie(o->GetHandle());
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(o->objectCookie, cookie);

  o->Show(true);
  o->calls.clear();
  o->SetHidden(1);  // hides at once
  o->SetHidden(0);  // does not show again
  o->SetAlphaEnabled(0);
  EXPECT_EQ(o->calls, (std::vector<std::string>{"Show 0", "SetAlpha 1.000000"}));
  EXPECT_FALSE(o->IsVisible());

  o->calls.clear();
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  ASSERT_EQ(o->calls.size(), 1u);
  EXPECT_EQ(o->calls[0], "Slot10 " + std::to_string(h.host.GetObjectCookie(o->GetHandle())));
}

TEST(SceneObject, DestroyStopsTheActiveEffectThroughTheTable) {
  ObjectHost h;
  auto* o = h.MakeObject<NotingObject>();
  o->Destroy();
  o->Destroy();
  EXPECT_EQ(std::count(o->calls.begin(), o->calls.end(), "StopActiveEffect"), 2);
}

TEST(SceneObject, ChildIdsAreUniqueAndRemovalMovesTheLastIntoPlace) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  EXPECT_EQ(o->GetChildCount(), 0u);
  for (int id : {4, 7, 9, 7}) o->AddChildId(id);
  ASSERT_EQ(o->GetChildCount(), 3u);
  o->RemoveChildId(4);
  EXPECT_EQ(o->GetChildId(0), 9);
  EXPECT_EQ(o->GetChildId(1), 7);
  o->RemoveChildId(42);
  EXPECT_EQ(o->GetChildCount(), 2u);
  // Past the count there is no child: -1 rather than a read past the ids.
  EXPECT_EQ(o->GetChildId(2), -1);
  EXPECT_EQ(o->GetChildId(0xFFFFFFFFu), -1);
}

TEST(SceneObject, AccessorsReadBackWhatWasSet) {
  ObjectHost h;
  CSceneBaseObj* o = h.MakeObject();
  o->SetHandNumbers(3, 14);
  uint32_t l = 0, r = 0;
  o->GetHandNumbers(&l, &r);
  EXPECT_EQ(l, 3u);
  EXPECT_EQ(r, 14u);
  const D3DXVECTOR3 front(1, 2, 3), head(4, 5, 6);
  o->SetEyeTarget(&front, &head, 9);
  D3DXVECTOR3 f, hd;
  EXPECT_TRUE(o->GetEyeTarget(&f, &hd));
  EXPECT_EQ(f, front);
  EXPECT_EQ(hd, head);
  D3DLIGHT8 light{};
  o->SetUserValueC(&light);
  EXPECT_EQ(o->GetUserValueC(), &light);
  ComponentHandle linked{};
  linked.words[4] = 77;
  o->SetLinkedHandle(&linked);
  EXPECT_EQ(o->linkedHandle, linked);
  EXPECT_EQ(o->linkedRootHandle, linked);
  const uint32_t words[2] = {11, 12};
  o->SetUserWords(words);
  EXPECT_EQ(o->GetUserWords()[1], 12u);
  o->SetObjectFolder(nullptr);
  EXPECT_EQ(o->objectFolder, "");
  o->position = D3DXVECTOR3(1, 0, 2);
  o->yaw = 0.5f;
  D3DXVECTOR3 p;
  float yaw = 0;
  o->GetPosition(&p, &yaw);
  EXPECT_EQ(p, o->position);
  EXPECT_FLOAT_EQ(yaw, 0.5f);
  o->SetTitleVisible(0);
  EXPECT_EQ(o->titleEnabled, 0);
  o->SetSceneRenderFlag(0);
  EXPECT_EQ(o->GetSceneRenderFlag(), 0);
  o->SetUserValueA(5);
  EXPECT_EQ(o->GetUserValueA(), 5);
}

TEST(SceneObject, DestroyTwiceLeavesNoRenderableReceiverOrTexture) {
  ObjectHost h;
  ComponentHandle handle{};
  CSceneBaseObj* o = h.MakeObject(&handle);
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  ASSERT_TRUE(o->LoadSecondModel(10006, 0));
  const ComponentHandle main = *o->GetHandle();
  const ComponentHandle second = *o->GetSecondHandle();
  const ComponentHandle root = o->rootNodeHandle;
  ASSERT_NE(h.host.GetObject(&root), nullptr);
  // A shine texture held and a place among the scene's projector receivers.
  auto* renderer = static_cast<IRenderer*>(h.host.GetService("dx8render"));
  const size_t texturesBefore = h.standard.renderer.LiveTextures();
  h.WriteFile("shine001.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\x20\x28\xff\xff\xff\xff", 22));
  o->shineTexture = renderer->LoadTexture("shine001.tga", 0);
  ASSERT_GE(o->shineTexture, 0);
  h.scene->AddProjectorReceiver(o);

  o->Destroy();
  o->Destroy();
  EXPECT_EQ(h.host.GetObject(&main), nullptr);
  EXPECT_EQ(h.host.GetObject(&second), nullptr);
  EXPECT_EQ(h.host.GetObject(&root), nullptr);  // the node goes with its renderable
  EXPECT_EQ(o->objectId, -1);
  EXPECT_EQ(o->objectCookie, 0u);
  EXPECT_EQ(o->bytesPerBuffer, 0);
  for (void* buffer : o->boneBuffers) EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(o->shineTexture, -1);
  EXPECT_EQ(h.standard.renderer.LiveTextures(), texturesBefore);
  EXPECT_TRUE(h.scene->projectorReceivers.empty());
  h.host.DestroyObject(handle);
  EXPECT_TRUE(h.standard.renderables->live.empty());
}

}  // namespace
