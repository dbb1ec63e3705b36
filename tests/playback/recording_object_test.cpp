// The recording object: each overridden operation does the base's work and then sends one new
// event per listener; the watch of the renderable's parameters while somebody listens; the state
// snapshot a new listener gets.
#include <cmath>
#include <limits>

#include "frame/renderable_parameters.h"
#include "host/renderable.h"
#include "playback_fixture.h"

namespace {
using namespace Playback;

constexpr const char* kDancer =
    "[object]\nheight=1.75\nbox=-0.35,0,-0.25,0.35,1.8,0.25\nradius=1.1\npart=body\n"
    "parameter=lhandModel,hand000\nparameter=face,-5\n";

template <uint32_t Code>
const typename ObjectEventOf<Code>::Fields& Fields(const ObjectEventPtr& event) {
  EXPECT_EQ(event->type, Code) << ObjectEventName(event->type);
  return static_cast<const ObjectEventOf<Code>&>(*event).fields;
}

// A listener that keeps what reaches it, with a probe of the object's state at that moment.
struct EventLog {
  std::vector<ObjectEventPtr> events;
  std::vector<std::string> probes;
  std::function<std::string()> probe;
  void Add(uint32_t, const ObjectEventPtr& event) {
    events.push_back(event);
    probes.push_back(probe ? probe() : std::string());
  }
  std::vector<uint32_t> Types() const {
    std::vector<uint32_t> types;
    for (const auto& e : events) types.push_back(e->type);
    return types;
  }
};

// A listener and what reached it; it hears nothing more once it goes (objects outlive it).
struct TestListener {
  explicit TestListener(uint32_t id) : listener(new ObjectRecorder(id, callback)) {
    callback->Bind<EventLog, &EventLog::Add>(&log);
  }
  ~TestListener() { callback->Clear(); }
  EventLog log;
  boost::shared_ptr<RecorderCallback> callback{new RecorderCallback};
  ObjectRecorderPtr listener;
};

struct ObjectHost : scene_testing::SceneHost {
  Playback::SceneSystem* scene = nullptr;
  SceneBaseObj* object = nullptr;
  TestListener first{0};
  EventLog& log = first.log;
  ObjectRecorderPtr& listener = first.listener;

  ObjectHost() {
    WriteFile("resource/ini/objects/10005.ini", kDancer);
    scene = static_cast<Playback::SceneSystem*>(MakeScene(nullptr, "SceneSystem"));
    const uint32_t key[2] = {1, 2};
    object = dynamic_cast<SceneBaseObj*>(scene->CreateSceneObject(key));
  }
  ~ObjectHost() { first.callback->Clear(); }
  host::RenderableObject* Renderable() {
    return static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(object->GetHandle())));
  }
  size_t FindNodeMessages() const {
    size_t n = 0;
    for (const auto& m : host.Messages()) n += m.id == kObjMsgFindNode ? 1 : 0;
    return n;
  }
};

TEST(RecordingObject, EachOverrideDoesTheBaseWorkFirstThenSendsItsArguments) {
  ObjectHost s;
  ASSERT_NE(s.object, nullptr);
  SceneBaseObj& o = *s.object;
  o.EmitStateSnapshot(s.listener);  // no object id yet: the listener only
  ASSERT_TRUE(s.log.events.empty());

  s.log.probe = [&] { return std::to_string(o.heightOffset); };
  o.SetHeightOffset(2.5f);
  EXPECT_EQ(s.log.probes.back(), std::to_string(2.5f));
  EXPECT_EQ(std::get<0>(Fields<kObjectSetHeightOffset>(s.log.events.back())), 2.5f);

  s.log.probe = [&] { return std::to_string(o.leftHandNumber) + "," + std::to_string(o.rightHandNumber); };
  o.SetHandNumbers(3, 14);
  EXPECT_EQ(s.log.probes.back(), "3,14");
  EXPECT_EQ(Fields<kObjectSetUserData>(s.log.events.back()), std::make_tuple(3u, 14u));

  ComponentHandle linked{};
  for (uint32_t i = 0; i < 6; ++i) linked.words[i] = 10 + i;
  s.log.probe = [&] { return std::to_string(o.linkedHandle.words[5]); };
  o.SetLinkedHandle(&linked);
  EXPECT_EQ(s.log.probes.back(), "15");
  EXPECT_TRUE(std::get<0>(Fields<kObjectSetLinkedHandle>(s.log.events.back())) == linked);

  s.log.probe = [&] { return std::to_string(o.tag); };
  o.SetTag(-7);
  EXPECT_EQ(s.log.probes.back(), "-7");
  EXPECT_EQ(std::get<0>(Fields<kObjectSetTag>(s.log.events.back())), static_cast<uint32_t>(-7));

  const D3DXVECTOR3 where(1.0f, 0.0f, -2.0f);
  s.log.probe = [&] { return std::to_string(o.position.x) + "," + std::to_string(o.placedAction); };
  o.SetPositionAction(&where, 1.0f, 4);
  EXPECT_EQ(s.log.probes.back(), std::to_string(1.0f) + ",4");
  {
    const auto& [p, yaw, action] = Fields<kObjectSetPositionAction>(s.log.events.back());
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.z, -2.0f);
    EXPECT_EQ(yaw, 1.0f);
    EXPECT_EQ(action, 4u);
  }
  const D3DXVECTOR3 there(5.0f, 1.0f, 6.0f);
  s.log.probe = [&] { return std::to_string(o.position.z); };
  o.SetPositionState(&there, 0.5f, 2);
  EXPECT_EQ(s.log.probes.back(), std::to_string(6.0f));
  EXPECT_EQ(std::get<0>(Fields<kObjectSetPositionState>(s.log.events.back())).y, 1.0f);

  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 7.0f, 8.0f, 9.0f);
  s.log.probe = [&] { return std::to_string(o.position.y); };
  o.SetTransform(&m, 5);
  EXPECT_EQ(s.log.probes.back(), std::to_string(8.0f));
  EXPECT_EQ(std::get<0>(Fields<kObjectSetTransform>(s.log.events.back()))._43, 9.0f);
  EXPECT_EQ(std::get<1>(Fields<kObjectSetTransform>(s.log.events.back())), 5u);

  s.log.probe = [&] { return std::to_string(o.idleSuppressed); };
  o.SetIdleSuppressed(1);
  EXPECT_EQ(s.log.probes.back(), "1");
  EXPECT_EQ(std::get<0>(Fields<kObjectSetFlag716>(s.log.events.back())), 1);

  s.log.probe = [&] { return std::to_string(o.GetChildCount()); };
  o.AddChildId(40);
  EXPECT_EQ(s.log.probes.back(), "1");
  o.AddChildId(40);  // already there: the list stays, the call is still recorded
  EXPECT_EQ(o.GetChildCount(), 1u);
  EXPECT_EQ(std::get<0>(Fields<kObjectAddChildId>(s.log.events.back())), 40u);
  o.RemoveChildId(40);
  EXPECT_EQ(s.log.probes.back(), "0");
  EXPECT_EQ(std::get<0>(Fields<kObjectRemoveChildId>(s.log.events.back())), 40u);

  s.log.probe = [&] { return std::to_string(o.scale); };
  o.SetScale(1.5f);
  EXPECT_EQ(s.log.probes.back(), std::to_string(1.5f));
  EXPECT_EQ(std::get<0>(Fields<kObjectSetScale>(s.log.events.back())), 1.5f);

  o.RegisterAnimationEvents();
  EXPECT_EQ(s.log.events.back()->type, kObjectRegisterAnimationEvents);

  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Range = 12.0f;
  s.log.probe = [&] { return std::string(o.GetUserValueC() == &light ? "kept" : "other"); };
  o.SetUserValueC(&light);
  EXPECT_EQ(s.log.probes.back(), "kept");
  const D3DLIGHT8& copy = std::get<0>(Fields<kObjectSetValue352>(s.log.events.back()));
  EXPECT_NE(&copy, &light);
  EXPECT_EQ(copy.Range, 12.0f);
  o.SetUserValueC(nullptr);
  EXPECT_EQ(std::get<0>(Fields<kObjectSetValue352>(s.log.events.back())).Type, 0);
  EXPECT_EQ(std::get<0>(Fields<kObjectSetValue352>(s.log.events.back())).Range, 0.0f);

  // A character outside the basic plane travels as a surrogate pair.
  const std::wstring title = L"A\U0001F600";
  s.log.probe = [&] { return std::to_string(o.GetTitle() == title ? 1 : 0); };
  o.SetTitle(title.c_str(), 3, -12, 1);
  EXPECT_EQ(s.log.probes.back(), "1");
  EXPECT_EQ(Fields<kObjectSetTitle>(s.log.events.back()),
            std::make_tuple(std::u16string(u"A\xd83d\xde00"), 3u, static_cast<uint32_t>(-12)));

  // A walk: MoveTo with the values and 0, then the event; MoveTo itself is not recorded.
  const size_t before = s.log.events.size();
  o.MoveTo(1.0f, 1.0f, 0.0f, 0.01f, 0.02f, 3, -1, 0.0f);
  EXPECT_EQ(s.log.events.size(), before);
  s.log.probe = [&] { return std::to_string(o.walkTarget.x) + "," + std::to_string(o.moving); };
  o.MoveToRecorded(4.0f, -3.0f, 1.25f, 0.01f, 0.02f, 3, -1);
  EXPECT_EQ(s.log.probes.back(), std::to_string(4.0f) + ",1");
  EXPECT_EQ(Fields<kObjectMoveTo>(s.log.events.back()),
            std::make_tuple(4.0f, -3.0f, 1.25f, 0.01f, 0.02f, 3u, static_cast<uint32_t>(-1)));

  s.log.probe = [&] { return std::to_string(o.objectId); };
  o.Destroy();
  EXPECT_EQ(s.log.events.back()->type, kObjectShutdown);
  EXPECT_EQ(s.log.probes.back(), "-1");
}

TEST(RecordingObject, SuccessOnlyOperationsRecordOnlyWhatTheBaseDid) {
  ObjectHost s;
  SceneBaseObj& o = *s.object;
  o.EmitStateSnapshot(s.listener);
  EXPECT_FALSE(o.LoadFromIni(999, 1, 0, 0.0f));  // no such object file
  EXPECT_FALSE(o.RemoveEffectsByName("nothing"));
  // A null argument changes nothing and has nothing to carry.
  o.SetPositionAction(nullptr, 1.0f, 2);
  o.SetPositionState(nullptr, 1.0f, 2);
  o.SetTransform(nullptr, 2);
  o.SetLinkedHandle(nullptr);
  EXPECT_TRUE(s.log.events.empty());

  ASSERT_TRUE(o.LoadFromIni(10005, 1, 0, 0.0f));
  ASSERT_EQ(s.log.events.size(), 1u);
  EXPECT_EQ(Fields<kObjectLoadFromIni>(s.log.events.back()), std::make_tuple(10005u, uint8_t{1}));

  ASSERT_TRUE(o.PlayEffect("sparkle", "fx1", 500, 0));
  EXPECT_EQ(Fields<kObjectPlayEffect>(s.log.events.back()),
            std::make_tuple(std::string("sparkle"), std::string("fx1"), 500u, 0u));
  ASSERT_TRUE(o.RemoveEffectsByName("sparkle"));
  EXPECT_EQ(std::get<0>(Fields<kObjectRemoveEffectsByName>(s.log.events.back())), "sparkle");
  EXPECT_FALSE(o.RemoveEffectsByName("sparkle"));
  EXPECT_EQ(s.log.events.back()->type, kObjectRemoveEffectsByName);
  EXPECT_EQ(s.log.events.size(), 3u);
}

TEST(RecordingObject, EveryListenerGetsItsOwnEventAndNoListenerMeansNoWork) {
  ObjectHost s;
  SceneBaseObj& o = *s.object;
  ASSERT_TRUE(o.LoadFromIni(10005, 1, 0, 0.0f));
  s.host.ClearMessages();
  o.SetTag(1);
  o.Execute(16);
  EXPECT_EQ(s.FindNodeMessages(), 0u);  // nobody listens: no parameter checks

  TestListener other(1);
  EventLog& second = other.log;
  boost::shared_ptr<RecorderCallback>& callback = other.callback;
  o.EmitStateSnapshot(s.listener);
  o.EmitStateSnapshot(other.listener);
  o.EmitStateSnapshot(s.listener);  // held once
  EXPECT_EQ(o.ListenerCount(), 2u);
  const size_t first = s.log.events.size();
  o.SetScale(2.0f);
  ASSERT_EQ(s.log.events.size(), first + 1);
  ASSERT_EQ(second.events.back()->type, kObjectSetScale);
  EXPECT_NE(s.log.events.back().get(), second.events.back().get());

  // A listener whose recorder went calls nobody.
  callback->Clear();
  o.SetScale(3.0f);
  EXPECT_EQ(second.events.back()->type, kObjectSetScale);
  EXPECT_EQ(std::get<0>(Fields<kObjectSetScale>(second.events.back())), 2.0f);
  o.RemoveListener(s.listener);
  o.SetScale(4.0f);
  EXPECT_EQ(std::get<0>(Fields<kObjectSetScale>(s.log.events.back())), 3.0f);
}

TEST(RecordingObject, TheSnapshotSendsTheStateInItsOrderAndAnObjectWithoutIdOnlyListens) {
  ObjectHost s;
  SceneBaseObj& o = *s.object;
  ASSERT_TRUE(o.LoadFromIni(10005, 1, 0, 0.0f));
  o.SetTitle(L"Mia", 2, 30, 1);
  const D3DXVECTOR3 where(2.0f, 0.0f, 3.0f);
  o.SetPositionAction(&where, 0.5f, 1);
  o.SetTag(6);
  o.SetHandNumbers(4, 5);
  host::RenderableObject* renderable = s.Renderable();
  ASSERT_NE(renderable, nullptr);
  renderable->Root()->parameters.indexed.resize(2);
  renderable->Root()->parameters.indexed[1] = {1.0f, 2.0f, 3.0f};

  o.EmitStateSnapshot(s.listener);
  const std::vector<uint32_t> expected = {
      kObjectLoadFromIni,     kObjectSetTitle,      kObjectSetPositionAction, kObjectSetTag,
      kObjectSetScale,        kObjectSetLinkedHandle, kObjectSetHeightOffset, kObjectSetUserData,
      kObjectSetFlag716,      kObjectHostParameter, kObjectHostParameter,     kObjectHostParameterSet,
      kObjectHostParameterSet, kObjectHostParameterSet, kObjectRegisterAnimationEvents};
  ASSERT_EQ(s.log.Types(), expected);
  EXPECT_EQ(Fields<kObjectLoadFromIni>(s.log.events[0]), std::make_tuple(10005u, uint8_t{1}));
  EXPECT_EQ(Fields<kObjectSetTitle>(s.log.events[1]), std::make_tuple(std::u16string(u"Mia"), 2u, 30u));
  EXPECT_EQ(std::get<0>(Fields<kObjectSetPositionAction>(s.log.events[2])).z, 3.0f);
  EXPECT_EQ(std::get<2>(Fields<kObjectSetPositionAction>(s.log.events[2])), 1u);
  EXPECT_EQ(std::get<0>(Fields<kObjectSetTag>(s.log.events[3])), 6u);
  EXPECT_EQ(Fields<kObjectSetUserData>(s.log.events[7]), std::make_tuple(4u, 5u));
  EXPECT_EQ(Fields<kObjectHostParameter>(s.log.events[9]), std::make_tuple(std::string("lhandModel"), 0u));
  EXPECT_EQ(Fields<kObjectHostParameter>(s.log.events[10]),
            std::make_tuple(std::string("face"), static_cast<uint32_t>(-5)));
  EXPECT_EQ(std::get<0>(Fields<kObjectHostParameterSet>(s.log.events[11])), -1);
  EXPECT_EQ(Fields<kObjectHostParameterSet>(s.log.events[13]), std::make_tuple(1, 1.0f, 2.0f, 3.0f));

  // An object with no object id gets the listener and sends nothing.
  const uint32_t key[2] = {3, 4};
  auto* fresh = dynamic_cast<SceneBaseObj*>(s.scene->CreateSceneObject(key));
  TestListener other(1);
  fresh->EmitStateSnapshot(other.listener);
  EXPECT_EQ(fresh->ListenerCount(), 1u);
  EXPECT_TRUE(other.log.events.empty());
}

TEST(RecordingObject, TheWatchReportsNewAndChangedParametersAsThe32BitRuntimeReadsThem) {
  ObjectHost s;
  SceneBaseObj& o = *s.object;
  ASSERT_TRUE(o.LoadFromIni(10005, 1, 0, 0.0f));
  o.EmitStateSnapshot(s.listener);
  const auto parameters = [&] {
    std::vector<std::pair<std::string, int32_t>> seen;
    for (const auto& e : s.log.events)
      if (e->type == kObjectHostParameter) {
        const auto& [key, value] = Fields<kObjectHostParameter>(e);
        seen.emplace_back(key, static_cast<int32_t>(value));
      }
    s.log.events.clear();
    return seen;
  };
  using Seen = std::vector<std::pair<std::string, int32_t>>;
  // Once in the snapshot, once more at the first Execute: the caches start empty.
  EXPECT_EQ(parameters(), (Seen{{"lhandModel", 0}, {"face", -5}}));
  o.Execute(16);
  EXPECT_EQ(parameters(), (Seen{{"lhandModel", 0}, {"face", -5}}));
  o.Execute(16);
  EXPECT_TRUE(parameters().empty());

  host::RenderableObject* renderable = s.Renderable();
  RenderableParameterTable* table = renderable->parameters;
  o.SetRenderableParameter(table, table->keys->KeyId("glow"), "99999999999");
  o.SetRenderableParameter(table, table->keys->KeyId("face"), " -99999999999x");
  o.Execute(16);
  EXPECT_EQ(parameters(), (Seen{{"face", INT32_MIN}, {"glow", INT32_MAX}}));
  o.SetRenderableParameter(table, table->keys->KeyId("glow"), "+2147483647");  // the same value
  o.SetRenderableParameter(table, table->keys->KeyId("lhandModel"), "12abc");
  o.Execute(16);
  EXPECT_EQ(parameters(), (Seen{{"lhandModel", 12}}));
}

TEST(RecordingObject, TheWatchReadsNodeIndicesFromMinusOneAndLeavesANaNAlone) {
  ObjectHost s;
  SceneBaseObj& o = *s.object;
  o.EmitStateSnapshot(s.listener);
  o.Execute(16);  // no model: the root node does not answer
  EXPECT_TRUE(s.log.events.empty());

  ASSERT_TRUE(o.LoadFromIni(10005, 1, 0, 0.0f));
  host::NodeParameters& node = s.Renderable()->Root()->parameters;
  node.indexed.resize(2);
  node.own = {std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f};
  s.log.events.clear();
  const auto indices = [&] {
    std::vector<int32_t> seen;
    for (const auto& e : s.log.events)
      if (e->type == kObjectHostParameterSet) seen.push_back(std::get<0>(Fields<kObjectHostParameterSet>(e)));
    s.log.events.clear();
    return seen;
  };
  o.Execute(16);
  EXPECT_EQ(indices(), (std::vector<int32_t>{-1, 0, 1}));
  o.Execute(16);
  EXPECT_TRUE(indices().empty());  // the NaN is still NaN: no change
  node.indexed[1][2] = 0.5f;
  node.own[1] = -0.0f;  // equal to 0 as a float
  o.Execute(16);
  EXPECT_EQ(indices(), (std::vector<int32_t>{1}));
}

TEST(RecordingObject, TheHostsDestroyRecordsOneShutdownAndTheDestructorsNone) {
  ObjectHost s;
  s.object->EmitStateSnapshot(s.listener);
  s.host.DestroyObject(s.object->handle);  // Destroy, then the destructor, which runs the base's again
  EXPECT_EQ(s.log.Types(), std::vector<uint32_t>{kObjectShutdown});
}

}  // namespace
