// The scene-object list: creation and destruction by id pair, the list accessors and the pruning
// of flagged objects.
#include "scene_fixture.h"

#include <random>

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

// Finding by key answers what a walk of the list from its start answers, through creations,
// changes of an object's words (which may make two objects share a key), removals from the
// list, objects destroyed behind the scene's back and destructions by key.
TEST(SceneObjects, FindingByKeyAnswersAsAWalkOfTheListWould) {
  ObjectScene s;
  const auto walk = [&](const uint32_t* key) -> CSceneBaseObj* {
    for (uint32_t i = 0; i < s.scene->GetSceneObjectCount(); ++i) {
      CSceneBaseObj* object = s.scene->GetSceneObject(i);
      if (object != nullptr && object->GetUserWords()[0] == key[0] && object->GetUserWords()[1] == key[1]) return object;
    }
    return nullptr;
  };
  std::mt19937 random(44);
  for (int step = 0; step < 1500; ++step) {
    // A key space small enough for keys to meet again.
    const uint32_t key[2] = {static_cast<uint32_t>(random() % 5), static_cast<uint32_t>(random() % 3)};
    const uint32_t count = s.scene->GetSceneObjectCount();
    const uint32_t at = count > 0 ? static_cast<uint32_t>(random() % count) : 0;
    switch (random() % 6) {
      case 0:
      case 1: {
        CSceneBaseObj* before = walk(key);
        CSceneBaseObj* made = s.scene->CreateSceneObject(key);
        if (before != nullptr) {
          EXPECT_EQ(made, before) << "step " << step;
        }
        break;
      }
      case 2:
        if (CSceneBaseObj* object = count > 0 ? s.scene->GetSceneObject(at) : nullptr) object->SetUserWords(key);
        break;
      case 3:
        if (count > 0) s.scene->RemoveSceneObjectAt(at);
        break;
      case 4:
        if (count > 0) s.host.DestroyObject(s.scene->sceneObjects[at]);
        break;
      default:
        s.scene->DestroySceneObject(key);
    }
    for (uint32_t a = 0; a < 5; ++a)
      for (uint32_t b = 0; b < 3; ++b) {
        const uint32_t probe[2] = {a, b};
        ASSERT_EQ(s.scene->FindSceneObjectById(probe), walk(probe)) << "step " << step << " key " << a << "," << b;
      }
  }
}

// An object that counts the reads of its key.
size_t g_keyReads = 0;
class KeyCountingObject : public ScriptedObject {
 public:
  const uint32_t* GetUserWords() override {
    ++g_keyReads;
    return ScriptedObject::GetUserWords();
  }
};

TEST(SceneObjects, MakingObjectsOneAfterAnotherReadsNoOtherObjectsKey) {
  SceneHost s;
  s.host.RegisterComponentClass<KeyCountingObject>("SceneBaseObj");
  CSceneSystem* scene = s.MakeScene();
  g_keyReads = 0;
  for (uint32_t i = 0; i < 2000; ++i) {
    const uint32_t key[2] = {i, 77};
    ASSERT_NE(scene->CreateSceneObject(key), nullptr);
  }
  // A walk of the list for each new key would read about two million keys.
  EXPECT_LT(g_keyReads, 2000u);
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
