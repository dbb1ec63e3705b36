// Animation events from the host's renderable, the text events' keywords, hand changes, and the
// effects, sounds and shader effects they start.
#include <gtest/gtest.h>

#include "win32/win32.h"
#include "win32/win32_state.h"
#include "walk_fixture.h"

namespace {
using walk_testing::WalkHost;

void Event(CSceneBaseObj* o, const char* text) { CSceneBaseObj::ProcessAnimationEvent(o, nullptr, 0, text); }

TEST(TextEvents, EachKeywordSendsItsDecodedValuesInAnyCase) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  host::CreateShaderDrawMain(h.host);
  ComponentHandle linked{};
  linked.words[4] = 77;
  o->SetLinkedHandle(&linked);
  Event(o, "EFFECT,spark,lhand");
  Event(o, "effect,,,smoke");  // empty tokens are skipped as strtok skips them
  Event(o, "Sound,step,ignored");
  Event(o, "attackEffect,slash,trail");

  const auto& live = h.Effects()->live;
  ASSERT_EQ(live.size(), 2u);
  EXPECT_EQ(live[0].name, "spark");
  EXPECT_EQ(live[0].attach, "lhand");
  EXPECT_EQ(live[0].position.y, 0.0f);
  EXPECT_EQ(live[0].direction.y, 1.0f);
  EXPECT_EQ(live[0].owner, o->rootNodeHandle);  // the root node, as PlayEffect sends
  EXPECT_EQ(live[0].scaleA, 1.0);
  EXPECT_EQ(live[0].mode, 0);
  EXPECT_EQ(live[1].name, "smoke");
  EXPECT_FALSE(live[1].attached);  // NULL, not ""

  ComponentHandle soundHandle{};
  ASSERT_TRUE(h.host.FindObject(&soundHandle, "Sound", 0));
  auto* sound = static_cast<host::SoundObject*>(static_cast<ISceneEffectObject*>(h.host.GetObject(&soundHandle)));
  ASSERT_EQ(sound->plays.size(), 1u);
  EXPECT_EQ(sound->plays[0].name, "step");
  EXPECT_EQ(sound->plays[0].last, 1);

  ComponentHandle shaderHandle{};
  ASSERT_TRUE(h.host.FindObject(&shaderHandle, "ShaderDrawMain", 0));
  auto* shader = static_cast<host::ShaderDrawMainObject*>(static_cast<ISceneEffectObject*>(h.host.GetObject(&shaderHandle)));
  ASSERT_EQ(shader->attacks.size(), 1u);
  const host::ShaderAttack& a = shader->attacks[0];
  EXPECT_EQ(a.name, "slash");
  EXPECT_EQ(a.secondName, "trail");
  EXPECT_EQ(a.node, o->rootNodeCopy);
  EXPECT_EQ(a.linked.words[4], 77u);
  ASSERT_EQ(a.values.size(), 7u);
  EXPECT_EQ(a.values[0], 1.0);
  EXPECT_EQ(a.values[1], static_cast<double>(1.8f));
  EXPECT_NEAR(a.values[1], 1.7999999523, 1e-10);
  EXPECT_EQ(a.values[2], 0.0);
  EXPECT_EQ(a.values[5], 1.0);
  EXPECT_EQ(a.values[6], 0.0);  // the eleventh value
}

TEST(TextEvents, MissingTokensAndUnknownWordsSendNothingAndAMissingShaderObjectIsLogged) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  const size_t before = h.standard.host.Messages().size();
  for (const char* text : {"", ",,,", "effect", "sound", "attackeffect,slash", "lhand", "lrhand,3", "dance,now",
                           "afterimage"})
    Event(o, text);
  for (size_t i = before; i < h.standard.host.Messages().size(); ++i)
    ADD_FAILURE() << "sent " << h.standard.host.Messages()[i].id;
  EXPECT_EQ(h.LogCount("[Warnning] no find ShaderDrawMain ENTITY_ID"), 0u);
  Event(o, "attackeffect,slash,trail");
  EXPECT_EQ(h.LogCount("[Warnning] no find ShaderDrawMain ENTITY_ID"), 1u);
}

// A dancer whose left hand model is `value` ("-" for no such parameter).
struct HandHost : WalkHost {
  explicit HandHost(const std::string& value) {
    std::string text = object_testing::kDancer;
    const std::string line = "parameter=lhandModel,hand000\n";
    text.replace(text.find(line), line.size(), value == "-" ? "" : "parameter=lhandModel," + value + "\n");
    WriteFile("resource/ini/objects/20001.ini", text);
    EXPECT_TRUE(dancer->LoadFromIni(20001, 0, 0, 0.0f));
  }
  const char* Left() { return Renderable()->Parameter("lhandModel"); }
};

TEST(HandEvents, TheValueIsCutToFourCharactersAndNumberedWhenFourRemain) {
  const struct {
    const char* value;
    const char* after;
  } cases[] = {{"abc", "abc"}, {"abcd", "abcd007"}, {"abcde", "abcd007"}, {"abcd123", "abcd007"}};
  for (const auto& c : cases) {
    HandHost h(c.value);
    Event(h.dancer, "lhand,7");
    EXPECT_STREQ(h.Left(), c.after) << c.value;
    EXPECT_EQ(h.dancer->leftHandPending, std::string(c.value) != "abc" ? 1 : 0);
    EXPECT_EQ(h.LogCount("Warning : ProcessAnimationEvent token  lhand "), 0u);
  }
}

TEST(HandEvents, AMissingOrEmptyValueIsLoggedWithTheEventWord) {
  for (const char* value : {"-", ""}) {
    HandHost h(value);
    Event(h.dancer, "LHand,3");
    EXPECT_EQ(h.LogCount("Warning : ProcessAnimationEvent token  LHand "), 1u) << value;
    EXPECT_EQ(h.dancer->leftHandPending, 0);
  }
}

TEST(HandEvents, BothHandsApplyOnceAndThePendingChangeFollowsTheNextFreeEvent) {
  HandHost h("hand000");
  CSceneBaseObj* o = h.dancer;
  host::RenderableObject* r = h.Renderable();
  const int applied = r->applications;
  Event(o, "lrhand,4,5");
  EXPECT_EQ(r->applications, applied + 1);
  EXPECT_EQ(r->applied["lhandModel"], "hand004");
  EXPECT_EQ(r->applied["rhandModel"], "hand105");

  // The stored hand numbers win at the next event the controller is free for.
  o->SetHandNumbers(12, 34);
  host::RecordingAnimation animation;
  animation.Controller().SetBusy(true);
  CSceneBaseObj::OnRenderableEvent(o, &animation, 0, 0, 4);
  EXPECT_EQ(o->leftHandPending, 1);
  EXPECT_STREQ(h.Left(), "hand004");
  animation.Controller().SetBusy(false);
  CSceneBaseObj::OnRenderableEvent(o, &animation, 0, 0, 5);
  EXPECT_EQ(o->leftHandPending, 0);
  EXPECT_EQ(o->rightHandPending, 0);
  EXPECT_STREQ(h.Left(), "hand012");
  EXPECT_STREQ(r->Parameter("rhandModel"), "hand134");
  // Codes outside 4..6 change nothing.
  Event(o, "lhand,1");
  CSceneBaseObj::OnRenderableEvent(o, &animation, 0, 0, 7);
  EXPECT_EQ(o->leftHandPending, 1);
}

TEST(IdleVariations, AnEndPicksTheNextIdleWithTheRuntimeGenerator) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  h.stage->states[2] = {"bored", {"yawn", "stretch", "look"}, 1000, 500};
  h.stage->states[39] = {"dance", {"sway", "bounce"}, 200, 50};
  h.Place(0, 0, 0.0f, 2);
  win32::srand(1);  // the runtime's sequence from seed 1: 41, 18467, ...
  CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 6);
  // (int)(41 / 32767 x 2) = 0; 1000 + (int)(18467 / 32767 x 500) = 1000 + 281.
  EXPECT_EQ(h.stage->picks.back(), 0);
  EXPECT_STREQ(o->idleAnimationName, "yawn");
  EXPECT_EQ(o->idleDelay, 1281);
  // Of three actions the pick scales by two: seed 7000 gives 22897, 11236, so (int)(22897 / 32767
  // x 2) = 1 (x 3 would give 2) and 1000 + (int)(11236 / 32767 x 500) = 1171.
  o->idleDelay = 0;
  win32::srand(7000);
  CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 6);
  EXPECT_EQ(h.stage->picks.back(), 1);
  EXPECT_STREQ(o->idleAnimationName, "stretch");
  EXPECT_EQ(o->idleDelay, 1171);
  // A wrap is no end, except for the dance idle, which takes its first action for base + range.
  o->idleDelay = 0;
  CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 4);
  EXPECT_EQ(o->idleDelay, 0);
  h.Place(0, 0, 0.0f, 39);
  CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 4);
  EXPECT_STREQ(o->idleAnimationName, "sway");
  EXPECT_EQ(o->idleDelay, 250);
  // Suppressed idles are never picked.
  o->idleDelay = 0;
  o->SetIdleSuppressed(1);
  CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 6);
  EXPECT_EQ(o->idleDelay, 0);
}

TEST(RenderableEvents, TheHostTickCallsBackStartWrapEndAndTheTextEventsOnTime) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  h.Place(0, 0);
  host::RenderableObject* r = h.Renderable();
  o->RegisterAnimationEvents();
  ASSERT_TRUE(o->PlayAnimation("WALK", 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1));  // known, any case
  EXPECT_FALSE(o->PlayAnimation("fly", 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1));
  EXPECT_EQ(r->animator.Current()->name, "walk");
  ComponentHandle soundHandle{};
  ASSERT_TRUE(h.host.FindObject(&soundHandle, "Sound", 0));
  auto* sound = static_cast<host::SoundObject*>(static_cast<ISceneEffectObject*>(h.host.GetObject(&soundHandle)));

  o->ForwardToRenderable(499);
  EXPECT_TRUE(sound->plays.empty());
  o->ForwardToRenderable(1);  // the event at 500 ms
  EXPECT_EQ(sound->plays.size(), 1u);
  o->ForwardToRenderable(2000);  // two wraps, the event once in each new cycle
  EXPECT_EQ(sound->plays.size(), 3u);
  EXPECT_EQ(r->animator.ElapsedMs(), 500u);

  // A one-shot sequence step ends with code 6 and moves the sequence on.
  const char* names[] = {"wave", "stand"};
  ASSERT_TRUE(o->PlayAnimationSequence(names, 2, 1.0f, 0, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(r->animator.Current()->name, "wave");
  o->ForwardToRenderable(400);
  EXPECT_EQ(r->animator.Current(), nullptr);
  EXPECT_EQ(o->sequencePending, 1);
  o->Execute(10);
  EXPECT_EQ(r->animator.Current()->name, "stand");
}

TEST(Effects, AListStartsAtMostSixteenAndTheModeDecidesWhichRecordKeepsThem) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  std::string list;
  for (int i = 0; i < 17; ++i) list += (i ? ";" : "") + std::string("e") + std::to_string(i);
  ASSERT_TRUE(o->PlayEffect("many", list.c_str(), 0, -1));
  EXPECT_EQ(h.Effects()->live.size(), 16u);
  ASSERT_EQ(o->keptEffects.size(), 1u);
  EXPECT_EQ(o->keptEffects[0].effectIds.size(), 16u);
  EXPECT_EQ(h.Effects()->live[0].position.y, 0.0f);  // the root's world position
  EXPECT_EQ(h.Effects()->live[0].owner, o->rootNodeHandle);
  EXPECT_EQ(h.Effects()->live[0].mode, -1);

  const std::string longName(80, 'x');
  ASSERT_TRUE(o->PlayEffect("brief", longName.c_str(), 0, 2));
  EXPECT_EQ(h.Effects()->live.back().name, std::string(63, 'x'));
  EXPECT_TRUE(o->timedEffects.empty());  // started, but no record
  EXPECT_EQ(o->keptEffects.size(), 1u);

  EXPECT_FALSE(o->RemoveEffectsByName(nullptr));
  EXPECT_FALSE(o->RemoveEffectsByName(""));
  EXPECT_FALSE(o->RemoveEffectsByName("brief"));
  EXPECT_TRUE(o->RemoveEffectsByName("many"));
  EXPECT_EQ(h.Effects()->live.size(), 1u);

  o->SetHidden(1);
  ASSERT_TRUE(o->PlayEffect("hidden", "x", 100, 0));
  EXPECT_EQ(h.Effects()->live.size(), 1u);
}

TEST(Effects, RequestsWhileLoadingReplayByModeAndTimeLeft) {
  WalkHost h;
  win32::UseManualClock(1000);
  CSceneBaseObj* o = h.dancer;
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 1, 0.0f));
  ASSERT_EQ(o->waitingForModel, 1);
  o->PlayEffect("short", "s", 100, 0);
  o->PlayEffect("long", "l", 1000, 0);
  o->PlayEffect("kept", "k", 0, -1);
  o->PlayEffect("once", "o", 0, 0);
  o->PlayEffect("dropped", "d", 1000, 0);
  EXPECT_TRUE(o->RemoveEffectsByName("dropped"));
  EXPECT_FALSE(o->RemoveEffectsByName("dropped"));
  EXPECT_TRUE(h.Effects()->live.empty());
  win32::AdvanceManualClock(300);
  h.host.Execute(10);  // the model completes and the listener tells the object
  win32::UseRealClock();
  ASSERT_EQ(o->waitingForModel, 0);
  std::vector<std::string> started;
  for (const auto& e : h.Effects()->live) started.push_back(e.name);
  EXPECT_EQ(started, (std::vector<std::string>{"l", "k", "o"}));
  ASSERT_EQ(o->timedEffects.size(), 1u);
  EXPECT_EQ(o->timedEffects[0].remainingMs, 700);
  EXPECT_TRUE(o->pendingEffects.empty());
}

TEST(Effects, TheActiveEffectRunsOnceUnderTheObjectsName) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  o->PlayActiveEffect(3);
  EXPECT_TRUE(h.Effects()->live.empty());  // no name yet
  o->SetName("aura");
  o->PlayActiveEffect(3);
  o->PlayActiveEffect(3);
  ASSERT_EQ(h.Effects()->live.size(), 1u);
  EXPECT_EQ(h.Effects()->live[0].name, "aura");
  EXPECT_EQ(h.Effects()->live[0].mode, 3);
  o->StopActiveEffect();
  o->StopActiveEffect();
  EXPECT_TRUE(h.Effects()->live.empty());
  EXPECT_EQ(h.Effects()->removed.size(), 1u);
  EXPECT_EQ(o->CreateEffect("", 0), -1);
  const int32_t id = o->CreateEffect("ring", 0);
  EXPECT_GT(id, 0);
  o->RemoveEffect(id);
  D3DXMATRIX frame;
  D3DXMatrixIdentity(&frame);
  frame._42 = 2.0f;
  const int32_t other = o->CreateEffect("glint", 0);
  EXPECT_EQ(h.host.SendMessage(o->effectObjectHandle, "llp", 600001, other, &frame), 1);
  ASSERT_NE(h.Effects()->Find(other), nullptr);
  EXPECT_EQ(h.Effects()->Find(other)->matrix._42, 2.0f);
  o->RemoveEffect(12345);  // unknown: nothing
  EXPECT_EQ(h.Effects()->live.size(), 1u);
  o->RemoveEffect(other);
  EXPECT_TRUE(h.Effects()->live.empty());
}

TEST(Sounds, OneIdPerNameAndNoSoundObjectFails) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  ComponentHandle soundHandle{};
  ASSERT_TRUE(h.host.FindObject(&soundHandle, "Sound", 0));
  EXPECT_TRUE(o->PlaySound("step"));
  EXPECT_TRUE(o->PlaySound("clap"));
  EXPECT_TRUE(o->PlaySound("step"));
  auto* sound = static_cast<host::SoundObject*>(static_cast<ISceneEffectObject*>(h.host.GetObject(&soundHandle)));
  ASSERT_EQ(sound->plays.size(), 3u);
  EXPECT_EQ(sound->plays[0].id, 1);
  EXPECT_EQ(sound->plays[1].id, 2);
  EXPECT_EQ(sound->plays[2].id, 1);
  EXPECT_EQ(sound->MessagesWithId(77016)[0].signature, "llcccl");
  // The scene's own messages are still taken and kept.
  h.host.SendMessage(soundHandle, "lsll", 77017, "state", 1, 2);
  EXPECT_EQ(sound->MessagesWithId(77017).size(), 1u);
  EXPECT_EQ(sound->names, (std::vector<std::string>{"step", "clap"}));
  h.host.DestroyObject(soundHandle);
  EXPECT_FALSE(o->PlaySound("step"));
}

}  // namespace
