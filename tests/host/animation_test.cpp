// The host's animations: the text format, playing tracks on the host's frames, events to the
// listeners and the bound node's matrix.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "frame/dma_interface.h"
#include "host/animation_file.h"
#include "host/standard_host.h"
#include "support/temp_tree.h"

namespace {

constexpr char kClip[] =
    "# a camera crane\n"
    "node crane\n"
    "node light 7\n"
    "\n"
    "track rise 1000\n"
    "key 0 crane 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
    "key 1000 crane 1 0 0 0 0 1 0 0 0 0 1 0 0 10 0 1\n"
    "; the spot swings while the crane rises\n"
    "key 500 light 0 0 -1 0 0 1 0 0 1 0 0 0 2 2 2 1\n"
    "track hold 40\n"
    "key 0 crane 2 0 0 0 0 2 0 0 0 0 2 0 1.5 -3 0.25 1\n";

// Remembers every event it is told; may call back into the controller on a 4.
class Listener : public IAnimationEventSink {
 public:
  void SinkIgnore(intptr_t, intptr_t, intptr_t, int32_t) override {}
  void Event(intptr_t a1, intptr_t, intptr_t a3, int32_t code) override {
    codes.push_back(code);
    times.push_back(a3);
    animation = a1;
    if (code == 4 && restart != nullptr) {
      IAnimationController* c = restart->GetController(0);
      restart = nullptr;
      c->Select("hold", 0, 0);
      c->Start(0);
    }
    if (code == 4 && releaseOnEvent != nullptr) {
      releaseOnEvent->Release();
      releaseOnEvent = nullptr;
    }
  }
  std::vector<int32_t> codes;
  std::vector<intptr_t> times;
  intptr_t animation = 0;
  IAnimation* restart = nullptr;
  IAnimation* releaseOnEvent = nullptr;
};

struct AnimationRig {
  testing_support::TempTree tree;
  std::unique_ptr<host::StandardHost> standard;
  AnimationRig() {
    tree.PutText("anims/crane.anim", kClip);
    tree.PutText("anims/broken.anim", "track rise 1000\nkey 0 crane 1 2 3\n");
    standard = std::make_unique<host::StandardHost>(tree.Root());
    standard->host.LoadModule(&DMAInterface);
  }
  host::AnimationService& Service() { return standard->objects->animation; }
  host::RecordingAnimation* Load(const char* name) {
    return static_cast<host::RecordingAnimation*>(Service().LoadAnimation(name, 0));
  }
};

}  // namespace

TEST(AnimationFile, TextReadsIntoNodesTracksAndKeysAndWritesBackTheSame) {
  host::AnimationClip clip;
  std::string error;
  ASSERT_TRUE(host::ParseAnimationText(kClip, &clip, &error)) << error;
  ASSERT_EQ(clip.nodes.size(), 2u);
  EXPECT_EQ(clip.nodes[1].name, "light");
  EXPECT_EQ(clip.nodes[1].kind, 7);
  EXPECT_EQ(clip.nodes[0].kind, 2);
  ASSERT_EQ(clip.tracks.size(), 2u);
  EXPECT_EQ(clip.tracks[0].lengthMs, 1000);
  EXPECT_EQ(clip.tracks[0].keys[0].size(), 2u);
  EXPECT_EQ(clip.tracks[1].keys[1].size(), 0u);
  EXPECT_EQ(clip.tracks[1].keys[0][0].matrix.m[3][0], 1.5f);
  const std::string text = host::WriteAnimationText(clip);
  host::AnimationClip again;
  ASSERT_TRUE(host::ParseAnimationText(text, &again, &error)) << error;
  EXPECT_EQ(host::WriteAnimationText(again), text);
}

TEST(AnimationFile, NodesBlendLinearlyBetweenKeysAndHoldOutside) {
  host::AnimationClip clip;
  std::string error;
  ASSERT_TRUE(host::ParseAnimationText(kClip, &clip, &error));
  EXPECT_FLOAT_EQ(clip.Evaluate(0, 0, 250.0f).m[3][1], 2.5f);
  EXPECT_FLOAT_EQ(clip.Evaluate(0, 0, 1000.0f).m[3][1], 10.0f);
  EXPECT_FLOAT_EQ(clip.Evaluate(0, 0, -5.0f).m[3][1], 0.0f);
  // One key: that key everywhere; no key in the track: the identity.
  EXPECT_FLOAT_EQ(clip.Evaluate(0, 1, 0.0f).m[0][2], -1.0f);
  EXPECT_FLOAT_EQ(clip.Evaluate(0, 1, 900.0f).m[0][2], -1.0f);
  EXPECT_FLOAT_EQ(clip.Evaluate(1, 1, 10.0f).m[0][0], 1.0f);
  EXPECT_FLOAT_EQ(clip.Evaluate(1, 1, 10.0f).m[3][0], 0.0f);
}

TEST(AnimationFile, EveryBrokenRuleIsRefusedWithItsLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"key 0 a 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n", "line 1: a key before any track"},
      {"track t 0\n", "line 1: the length \"0\" is not a whole number above 0"},
      {"track t 10\ntrack t 20\n", "line 2: the track \"t\" is declared twice"},
      {"node n\nnode n\n", "line 2: the node \"n\" is declared twice"},
      {"track t 10\nkey 11 a 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n",
       "line 2: the time \"11\" is not a whole number from 0 to the track's length"},
      {"track t 10\nkey 5 a 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\nkey 5 a 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n",
       "line 3: the keys of \"a\" do not rise in time"},
      {"track t 10\nkey 5 a 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 nan\n", "line 2: \"nan\" is not a finite number"},
      {"track t 10\nkey 5 a 1 0 0\n", "line 2: key takes a time, a node and 16 numbers"},
      {"\n\nspin t\n", "line 3: unknown statement \"spin\""},
      {"node n x\n", "line 1: the kind \"x\" is not a whole number"},
  };
  for (const auto& [text, why] : cases) {
    host::AnimationClip clip;
    clip.nodes.push_back({"kept", 2});
    std::string error;
    EXPECT_FALSE(host::ParseAnimationText(text, &clip, &error)) << text;
    EXPECT_EQ(error, why);
    EXPECT_EQ(clip.nodes.size(), 1u);
  }
}

TEST(HostAnimation, ATrackPlaysOnTheHostsFramesAndTellsItsEndOnce) {
  AnimationRig r;
  host::RecordingAnimation* a = r.Load("anims\\crane.anim");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a->Clip(), nullptr);
  Listener listener;
  a->AddEventListener(4, &listener);
  a->AddEventListener(6, &listener);
  // Nothing bound yet: the identity.
  EXPECT_EQ(a->GetBoundMatrix(0)->m[3][1], 0.0f);
  IAnimationNode* crane = a->GetNodeTree()->FindNode("crane");
  ASSERT_NE(crane, nullptr);
  EXPECT_EQ(crane->GetKind(), 2);
  EXPECT_EQ(a->GetNodeTree()->FindNode("Crane"), nullptr);
  a->BindNode(crane->GetTransformSource());
  IAnimationController* c = a->GetController(0);
  c->Select("rise", 0, 0);
  c->SetSpeed(2.0f, 0);
  c->Start(0);
  r.standard->Frame(100);
  EXPECT_FLOAT_EQ(a->GetBoundMatrix(0)->m[3][1], 2.0f);
  r.standard->Frame(395);
  EXPECT_TRUE(listener.codes.empty());
  r.standard->Frame(10);  // past the end at speed 2
  EXPECT_EQ(listener.codes, (std::vector<int32_t>{4}));
  EXPECT_EQ(listener.times, (std::vector<intptr_t>{1000}));
  EXPECT_EQ(listener.animation, reinterpret_cast<intptr_t>(static_cast<IAnimation*>(a)));
  EXPECT_FLOAT_EQ(a->GetBoundMatrix(0)->m[3][1], 10.0f);
  r.standard->Frame(100);
  EXPECT_EQ(listener.codes.size(), 1u);

  // Looping: each wrap tells 6; the time carries over.
  c->SetLooping(1, 0);
  c->SetSpeed(1.0f, 0);
  c->Start(0);
  r.standard->Frame(1250);
  EXPECT_EQ(listener.codes.back(), 6);
  EXPECT_FLOAT_EQ(a->TrackTime(), 250.0f);
  // Stop tells 4 at once, playing or not.
  c->Stop(0);
  c->Stop(0);
  EXPECT_EQ(listener.codes, (std::vector<int32_t>{4, 6, 4, 4}));
  // The other node through its second source; an unknown track selects none.
  IAnimationNode* light = a->GetNodeTree()->FindNode("light");
  a->BindNode(light->GetAlternateSource());
  EXPECT_EQ(a->BoundNode(), "light");
  c->Select("nothing", 0, 0);
  EXPECT_EQ(a->SelectedTrack(), "");
  EXPECT_EQ(a->GetBoundMatrix(0)->m[0][0], 1.0f);
  a->BindNode(nullptr);
  EXPECT_EQ(a->BoundNode(), "");
  // A speed of no number ends the track at the next frame.
  c->Select("rise", 0, 0);
  c->SetLooping(0, 0);
  c->SetSpeed(std::numeric_limits<float>::quiet_NaN(), 0);
  c->Start(0);
  r.standard->Frame(16);
  EXPECT_FALSE(a->Playing());
  EXPECT_FLOAT_EQ(a->TrackTime(), 1000.0f);
}

TEST(HostAnimation, AListenerMayRestartTheControllerAndAReleaseSilencesIt) {
  AnimationRig r;
  host::RecordingAnimation* a = r.Load("anims\\crane.anim");
  Listener first, second;
  a->AddEventListener(4, &first);
  a->AddEventListener(4, &second);
  first.restart = a;
  IAnimationController* c = a->GetController(0);
  c->Select("rise", 0, 0);
  c->Start(0);
  r.standard->Frame(1000);
  // The first listener started "hold"; both heard the end of "rise".
  EXPECT_EQ(a->SelectedTrack(), "hold");
  EXPECT_TRUE(a->Playing());
  EXPECT_EQ(second.codes.size(), 1u);
  r.standard->Frame(40);
  EXPECT_EQ(first.codes.size(), 2u);

  // A listener that releases the animation: the rest are not told, and none are after.
  first.releaseOnEvent = a;
  c->Stop(0);
  EXPECT_EQ(first.codes.size(), 3u);
  EXPECT_EQ(second.codes.size(), 2u);
  EXPECT_EQ(a->Listeners(), 0u);
  c->Start(0);
  r.standard->Frame(2000);
  EXPECT_FALSE(a->Playing());
  EXPECT_EQ(first.codes.size(), 3u);
}

TEST(HostAnimation, ANameWithoutAFileIsScriptedAndABrokenFileLoadsNothing) {
  AnimationRig r;
  host::RecordingAnimation* scripted = r.Load("anims\\none.anim");
  ASSERT_NE(scripted, nullptr);
  EXPECT_EQ(scripted->Clip(), nullptr);
  EXPECT_EQ(scripted->GetNodeTree()->FindNode("crane"), nullptr);
  D3DMATRIX m{};
  m.m[3][2] = 7.0f;
  scripted->SetBoundMatrix(m);
  EXPECT_EQ(scripted->GetBoundMatrix(0)->m[3][2], 7.0f);
  EXPECT_EQ(r.Load("anims\\broken.anim"), nullptr);
  EXPECT_EQ(r.Load(""), nullptr);
  ASSERT_EQ(r.Service().Errors().size(), 2u);
  EXPECT_EQ(r.Service().Errors()[0], "anims\\broken.anim: line 2: key takes a time, a node and 16 numbers");
  // Loads go through the resource root's resolver: any case, either separator.
  host::RecordingAnimation* same = r.Load("ANIMS/Crane.ANIM");
  ASSERT_NE(same, nullptr);
  EXPECT_NE(same->Clip(), nullptr);
}
