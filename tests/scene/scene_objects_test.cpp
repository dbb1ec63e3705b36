// The scene-object list: creation and destruction by id pair, the list accessors and the pruning
// of flagged objects.
#include "scene_fixture.h"

namespace {
using scene_testing::ScriptedObject;
using scene_testing::SceneHost;

struct ObjectScene : SceneHost {
  CSceneSystem* scene = nullptr;
  ObjectScene() {
    host.RegisterComponentClass<ScriptedObject>("SceneBaseObj");
    scene = MakeScene();
  }
  ScriptedObject* Make(uint32_t a, uint32_t b) {
    const uint32_t pair[2] = {a, b};
    return static_cast<ScriptedObject*>(scene->CreateSceneObject(pair));
  }
};

TEST(SceneObjects, AnIdPairMakesOneObjectAndFindsItAgain) {
  ObjectScene s;
  s.scene->SetNameB("resource\\ini\\npc");
  ScriptedObject* first = s.Make(7, 9);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->userWords[0], 7u);
  EXPECT_EQ(first->userWords[1], 9u);
  EXPECT_EQ(first->objectFolder, "resource\\ini\\npc");
  EXPECT_EQ(s.host.ClassOf(s.scene->sceneObjects[0]), "SceneBaseObj");

  const size_t made = s.host.ObjectsCreated();
  EXPECT_EQ(s.Make(7, 9), first);
  EXPECT_EQ(s.host.ObjectsCreated(), made);
  EXPECT_NE(s.Make(9, 7), first);  // both words count
  const uint32_t pair[2] = {9, 7};
  EXPECT_EQ(s.scene->FindSceneObjectById(pair), s.scene->GetSceneObject(1));
  EXPECT_EQ(s.scene->FindSceneObjectById(nullptr), nullptr);
  EXPECT_EQ(s.scene->CreateSceneObject(nullptr), nullptr);
}

TEST(SceneObjects, WithoutTheRecordingClassThePlainObjectIsMade) {
  ObjectScene s;
  s.host.FailCreations("SceneBaseObj", 1);
  const uint32_t pair[2] = {1, 2};
  CSceneBaseObj* object = s.scene->CreateSceneObject(pair);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(s.host.ClassOf(s.scene->sceneObjects[0]), "CSceneBaseObj");
  EXPECT_EQ(object->GetUserWords()[1], 2u);
}

TEST(SceneObjects, WhenNoClassCanBeMadeNothingIsKept) {
  ObjectScene s;
  s.host.FailCreations("SceneBaseObj", 1);
  s.host.FailCreations("CSceneBaseObj", 1);
  const size_t blocks = s.host.Allocator().LiveBlocks();
  const uint32_t pair[2] = {1, 2};
  EXPECT_EQ(s.scene->CreateSceneObject(pair), nullptr);
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 0u);
  EXPECT_EQ(s.host.Allocator().LiveBlocks(), blocks);
}

TEST(SceneObjects, DestroyByIdPrunesDeadHandlesPassesFlaggedObjectsAndDirtiesThePick) {
  ObjectScene s;
  s.Make(1, 1);
  ScriptedObject* flagged = s.Make(2, 2);
  ScriptedObject* other = s.Make(3, 3);
  ScriptedObject* target = s.Make(4, 4);
  flagged->SetUserFlag(1);
  s.scene->AddProjectorReceiver(target);
  s.scene->AddProjectorReceiver(other);
  const ComponentHandle deadHandle = s.scene->sceneObjects[0], targetHandle = s.scene->sceneObjects[3];
  s.host.DestroyObject(deadHandle);  // gone behind the scene's back

  const uint32_t flaggedPair[2] = {2, 2};
  EXPECT_FALSE(s.scene->DestroySceneObject(flaggedPair));
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 3u);  // the dead handle went on the way
  EXPECT_EQ(s.scene->GetSceneObject(0), flagged);

  s.scene->pickDirty = 0;
  const uint32_t targetPair[2] = {4, 4};
  EXPECT_TRUE(s.scene->DestroySceneObject(targetPair));
  EXPECT_EQ(s.host.GetObject(&targetHandle), nullptr);
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 2u);
  EXPECT_EQ(s.scene->GetSceneObject(1), other);
  EXPECT_EQ(s.scene->projectorReceivers, std::vector<CSceneBaseObj*>{other});
  EXPECT_EQ(s.scene->pickDirty, 1);
  EXPECT_FALSE(s.scene->DestroySceneObject(targetPair));
}

TEST(SceneObjects, RemoveDeadObjectsTakesTwoFlaggedObjectsAtTheEnd) {
  ObjectScene s;
  ScriptedObject* a = s.Make(1, 0);
  ScriptedObject* b = s.Make(2, 0);
  ScriptedObject* c = s.Make(3, 0);
  ScriptedObject* d = s.Make(4, 0);
  c->SetUserFlag(1);
  d->SetUserFlag(1);
  s.scene->AddProjectorReceiver(c);
  s.scene->AddProjectorReceiver(a);
  s.scene->AddProjectorReceiver(d);
  const ComponentHandle ch = s.scene->sceneObjects[2], dh = s.scene->sceneObjects[3];
  s.scene->RemoveDeadObjects();
  ASSERT_EQ(s.scene->GetSceneObjectCount(), 2u);
  EXPECT_EQ(s.scene->GetSceneObject(0), a);
  EXPECT_EQ(s.scene->GetSceneObject(1), b);
  EXPECT_EQ(s.host.GetObject(&ch), nullptr);
  EXPECT_EQ(s.host.GetObject(&dh), nullptr);
  EXPECT_EQ(s.scene->projectorReceivers, std::vector<CSceneBaseObj*>{a});
}

TEST(SceneObjects, RemoveDeadObjectsLeavesHandlesThatDoNotResolve) {
  ObjectScene s;
  s.Make(1, 0);
  s.Make(2, 0)->SetUserFlag(1);
  const ComponentHandle gone = s.scene->sceneObjects[0];
  s.host.DestroyObject(gone);
  s.scene->RemoveDeadObjects();
  ASSERT_EQ(s.scene->GetSceneObjectCount(), 1u);
  EXPECT_EQ(s.scene->sceneObjects[0], gone);
  EXPECT_EQ(s.scene->GetSceneObject(0), nullptr);
}

TEST(SceneObjects, TheListAccessorsRefuseIndicesPastTheCountAndSwapInTheLast) {
  ObjectScene s;
  ScriptedObject* a = s.Make(1, 0);
  s.Make(2, 0);
  ScriptedObject* c = s.Make(3, 0);
  EXPECT_EQ(s.scene->GetSceneObject(3), nullptr);
  EXPECT_FALSE(s.scene->RemoveSceneObjectAt(3));
  EXPECT_TRUE(s.scene->RemoveSceneObjectAt(1));
  ASSERT_EQ(s.scene->GetSceneObjectCount(), 2u);
  EXPECT_EQ(s.scene->GetSceneObject(0), a);
  EXPECT_EQ(s.scene->GetSceneObject(1), c);
}

TEST(SceneObjects, ProjectorReceiversAreKeptOnceAndRemovedByTheLastTakingTheirPlace) {
  ObjectScene s;
  ScriptedObject* a = s.Make(1, 0);
  ScriptedObject* b = s.Make(2, 0);
  ScriptedObject* c = s.Make(3, 0);
  EXPECT_TRUE(s.scene->AddProjectorReceiver(a));
  EXPECT_TRUE(s.scene->AddProjectorReceiver(b));
  EXPECT_TRUE(s.scene->AddProjectorReceiver(a));
  EXPECT_TRUE(s.scene->AddProjectorReceiver(c));
  EXPECT_TRUE(s.scene->RemoveProjectorReceiver(a));
  EXPECT_TRUE(s.scene->RemoveProjectorReceiver(a));
  const std::vector<CSceneBaseObj*> expected = {c, b};
  EXPECT_EQ(s.scene->projectorReceivers, expected);
}

}  // namespace
