// What replaying each event does: the object operation and its arguments, the scene calls, the
// light switch, the full-state record and the light record an object is lent.
#include "playback_fixture.h"

#include "lighting/light.h"
#include "lighting/lighting_system.h"

namespace {
using namespace Playback;
using playback_testing::CallLogObject;
using playback_testing::PlaybackHost;

TEST(ObjectEventApply, EachTypeCallsItsOperationWithTheRecordedArguments) {
  PlaybackHost s;
  CallLogObject* o = s.MakeObject(1, 2);
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  m._42 = 7.0f;
  const ComponentHandle linked{{11, 0, 0, 0, 0, 66}};
  const ObjectEventPtr events[] = {
      MakeObjectEvent<kObjectLoadFromIni>(10005u, uint8_t{1}),
      MakeObjectEvent<kObjectSetTitle>(WideToUtf16(L"Bo\U0001F600"), 2u, 0xfffffffbu),
      MakeObjectEvent<kObjectSetPositionAction>(D3DXVECTOR3(1, 2, 3), 0.5f, 4u),
      MakeObjectEvent<kObjectSetPositionState>(D3DXVECTOR3(4, 5, 6), 1.5f, 0xffffffffu),
      MakeObjectEvent<kObjectSetTransform>(m, 9u),
      MakeObjectEvent<kObjectPlayAnimationRequest>(std::string("walk"), uint8_t{1}, 1.5f, 2u, 3.0f, 4.0f, 5.0f, 6u),
      MakeObjectEvent<kObjectMoveTo>(1.0f, 2.0f, 3.0f, 20.0f, 3.5f, 1u, 0u),
      MakeObjectEvent<kObjectSetFlag716>(uint8_t{1}),
      MakeObjectEvent<kObjectAddChildId>(12u),
      MakeObjectEvent<kObjectRemoveChildId>(13u),
      MakeObjectEvent<kObjectSetTag>(6u),
      MakeObjectEvent<kObjectPlayEffect>(std::string("spark"), std::string("a;b"), 100u, 0xffffffffu),
      MakeObjectEvent<kObjectRemoveEffectsByName>(std::string("spark")),
      MakeObjectEvent<kObjectSetScale>(1.25f),
      MakeObjectEvent<kObjectRegisterAnimationEvents>(),
      MakeObjectEvent<kObjectSetLinkedHandle>(linked),
      MakeObjectEvent<kObjectSetHeightOffset>(0.75f),
      MakeObjectEvent<kObjectSetUserData>(8u, 9u),
  };
  o->calls.clear();
  for (const ObjectEventPtr& e : events) e->Apply(s.scene, o);
  const std::vector<std::string> expected = {
      "LoadFromIni 10005 1 0 0",
      "SetTitle 3 2 -5 1",
      "SetPositionAction 1 2 3 0.5 4",
      "SetPositionState 4 5 6 1.5 -1",
      "SetTransform 1 7 1 9",
      "PlayAnimationRequest \"walk\" 1 1.5 2 3 4 5 6",
      // move speed, then turn speed: the order of the object's own operation
      "MoveTo 1 2 3 20 3.5 1 0 0",
      "SetIdleSuppressed 1",
      "AddChildId 12",
      "RemoveChildId 13",
      "SetTag 6",
      "PlayEffect \"spark\" \"a;b\" 100 -1",
      "RemoveEffectsByName \"spark\"",
      "SetScale 1.25",
      "RegisterAnimationEvents",
      "SetLinkedHandle 11 66",
      "SetHeightOffset 0.75",
      "SetHandNumbers 8 9",
  };
  EXPECT_EQ(o->calls, expected);
  EXPECT_EQ(o->title, std::wstring(L"Bo\U0001F600"));  // the surrogate pair is one character again
}

TEST(ObjectEventApply, ShutdownOnlyFlagsTheObjectAndNothingHappensWithoutOne) {
  PlaybackHost s;
  CallLogObject* o = s.MakeObject(1, 2);
  o->calls.clear();
  EXPECT_FALSE(o->IsDestroyed());
  MakeObjectEvent<kObjectShutdown>()->Apply(s.scene, o);
  EXPECT_TRUE(o->IsDestroyed());
  EXPECT_TRUE(o->calls.empty());
  // No object: every type is passed over.
  for (uint32_t type = 0; type < kObjectEventTypeCount; ++type) {
    VisitObjectType(type, [&](auto code) {
      typename ObjectEventOf<decltype(code)::value>::Fields fields{};
      boost::make_shared<ObjectEventOf<decltype(code)::value>>(fields)->Apply(s.scene, nullptr);
    });
  }
}

TEST(ObjectEventApply, AFullStateWritesEveryMirroredMemberButNoPointerOrTexture) {
  PlaybackHost s;
  CallLogObject* o = s.MakeObject(1, 2);
  // The record's fields in stream order, each the member it lands in (null: a plain word where
  // the object holds a pointer or an owned texture) and its size.
  struct Field {
    const void* member;
    size_t size;
  };
  const Field fields[] = {{&o->titleEnabled, 1}, {&o->scale, 4}, {&o->sceneRenderFlag, 1}, {&o->frontPoint, 12},
                          {&o->headPoint, 12}, {&o->eyeWord, 4}, {&o->userValueA, 4}, {&o->hidden, 1},
                          {&o->objectId, 4}, {nullptr, 4}, {&o->headBoneMatrix, 64}, {&o->headWorldMatrix, 64},
                          {&o->headBoneIndex, 4}, {&o->walkTarget, 12}, {&o->moveSpeed, 4}, {&o->savedMoveSpeed, 4},
                          {&o->targetYaw, 4}, {&o->turnSpeed, 4}, {&o->shown, 1}, {&o->placedAction, 4},
                          {&o->boundingBoxShown, 1}, {&o->spareIds[0], 4}, {&o->spareIds[1], 4}, {nullptr, 4},
                          {&o->shineMatrix, 64}, {&o->headPointDirty, 1}, {&o->topPointDirty, 1},
                          {&o->headScreenPoint, 12}, {&o->secondDirty, 1}, {&o->topScreenPoint, 12},
                          {&o->modelHeight, 4}, {&o->alphaEnabled, 1}, {&o->adjustH, 4}, {&o->leftHandNumber, 4},
                          {&o->rightHandNumber, 4}, {&o->action, 4}, {&o->userValueB, 4}, {&o->titleOffsetY, 4},
                          {&o->baseModel, 1}, {&o->heightOffset, 4}, {&o->linkedHandle, 24}};
  // A byte pattern that repeats nowhere within a field, so a member fed from the wrong place
  // or with its bytes turned round shows.
  FullStateRecord record;
  for (size_t i = 0; i < record.bytes.size(); ++i) record.bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  const void* renderer = o->renderer;
  const int texture = o->shineTexture;
  o->calls.clear();
  MakeObjectEvent<kObjectFullState>(record)->Apply(s.scene, o);
  size_t offset = 0;
  for (const Field& field : fields) {
    // Members keep their values as the little-endian bytes of the record.
    if (field.member != nullptr) {
      EXPECT_EQ(std::memcmp(field.member, &record.bytes[offset], field.size), 0) << "the field at byte " << offset;
    }
    offset += field.size;
  }
  EXPECT_EQ(offset, 374u);
  EXPECT_EQ(static_cast<const void*>(o->renderer), renderer);
  EXPECT_EQ(o->shineTexture, texture);
  EXPECT_TRUE(o->calls.empty());  // members are written, no operation runs
}

TEST(ObjectEventApply, ALentLightRecordLivesAsLongAsTheObjectUsesIt) {
  PlaybackHost s;
  CallLogObject* o = s.MakeObject(1, 2);
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Diffuse.g = 0.5f;
  {
    ObjectEventPtr event = MakeObjectEvent<kObjectSetValue352>(light);
    event->Apply(s.scene, o);
  }  // the only other holder lets go
  ASSERT_NE(o->valueC, nullptr);
  EXPECT_EQ(o->valueC->Diffuse.g, 0.5f);  // read through the event the object keeps
  // A record whose first word is 0 is no record.
  MakeObjectEvent<kObjectSetValue352>(D3DLIGHT8{})->Apply(s.scene, o);
  EXPECT_EQ(o->valueC, nullptr);
}

TEST(SceneEventApply, SceneCallsAndTheLightSwitch) {
  PlaybackHost s;
  MakeSceneEvent<kSceneLoadScene>(3u)->Apply(s.scene);
  MakeSceneEvent<kSceneUnloadScene>()->Apply(s.scene);
  MakeSceneEvent<kSceneStateString>(std::string("dance"), uint8_t{1}, 0xfffffffeu)->Apply(s.scene);
  MakeSceneEvent<kScenePendingStateName>(std::string("resource\\ini\\x"))->Apply(s.scene);
  MakeSceneEvent<kSceneEndOfMovie>()->Apply(s.scene);
  const std::vector<std::string> expected = {"LoadScene 3", "UnloadScene", "SetStateString \"dance\" 1 -2",
                                             "SetPendingStateName \"resource\\ini\\x\""};
  EXPECT_EQ(s.scene->calls, expected);

  CLight* light = nullptr;
  ASSERT_NE(s.scene->GetLightingSystem(), nullptr);
  s.scene->GetLightingSystem()->CreateLight("Spot1", &light);
  ASSERT_NE(light, nullptr);
  light->SetActive(false, 0);
  MakeSceneEvent<kSceneLightActive>(std::string("SPOT1"), uint8_t{1})->Apply(s.scene);  // any case
  EXPECT_TRUE(light->IsActive());
  MakeSceneEvent<kSceneLightActive>(std::string("spot1"), uint8_t{0})->Apply(s.scene);
  EXPECT_FALSE(light->IsActive());
  MakeSceneEvent<kSceneLightActive>(std::string("none"), uint8_t{1})->Apply(s.scene);  // no such light
}

TEST(SceneEventApply, ObjectCreatedMakesAnObjectKeyedByTwoRandomWords) {
  PlaybackHost s;
  MakeSceneEvent<kSceneObjectCreated>(0u)->Apply(s.scene);
  ASSERT_EQ(s.scene->GetSceneObjectCount(), 1u);
  // The first two values of the generator seeded with 1.
  EXPECT_EQ(s.scene->GetSceneObject(0)->GetUserWords()[0], 41u);
  EXPECT_EQ(s.scene->GetSceneObject(0)->GetUserWords()[1], 18467u);
}

}  // namespace
