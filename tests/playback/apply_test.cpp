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
  // The table covers the record field for field.
  for (size_t i = 0; i < 39; ++i) {
    const auto& field = o->StateFields()[i];
    EXPECT_EQ(field.sizes[0] + field.sizes[1] + field.sizes[2], kFullStateFieldSizes[i]) << i;
  }
  FullStateRecord record;
  auto put = [&](size_t offset, const void* value, size_t size) { std::memcpy(&record.bytes[offset], value, size); };
  const float scale = 2.5f, eyeY = 4.0f, turn = 0.25f, height = 1.75f;
  const int32_t objectId = 10005, shine = 77;
  const uint32_t eyeWord = 0xabcd, linkedLast = 99;
  record.bytes[0] = 0;                 // title enabled
  put(1, &scale, 4);                   // scale
  put(6 + 4, &eyeY, 4);                // front point y
  put(6 + 24, &eyeWord, 4);            // eye word
  record.bytes[38] = 1;                // hidden
  put(39, &objectId, 4);               // object id
  put(43, &shine, 4);                  // the word after it: a pointer in the object, a plain word here
  put(203, &turn, 4);                  // turn speed
  put(213 + 4 + 4, &shine, 4);         // shine texture word, after the box flag and two words
  put(345 + 1, &height, 4);            // height offset
  put(350 + 20, &linkedLast, 4);       // linked handle, last word
  const void* renderer = o->renderer;
  const int texture = o->shineTexture;
  o->calls.clear();
  MakeObjectEvent<kObjectFullState>(record)->Apply(s.scene, o);
  EXPECT_EQ(o->titleEnabled, 0);
  EXPECT_EQ(o->scale, scale);
  EXPECT_EQ(o->frontPoint.y, eyeY);
  EXPECT_EQ(o->eyeWord, eyeWord);
  EXPECT_EQ(o->hidden, 1);
  EXPECT_EQ(o->objectId, objectId);
  EXPECT_EQ(o->turnSpeed, turn);
  EXPECT_EQ(o->heightOffset, height);
  EXPECT_EQ(o->linkedHandle.words[5], linkedLast);
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
