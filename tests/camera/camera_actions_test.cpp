// Camera actions: the action file, the set-up of its animation, sections played step by step on
// the host's animation, the step timer, the view from a camera node and the animation events.
#include <algorithm>
#include <cmath>

#include "camera_fixture.h"
#include "frame/exs.h"
#include "math/crt_rand.h"

using namespace camera_testing;

namespace {

std::string Key(int time, const char* node, float x, float y, float z) {
  char line[200];
  std::snprintf(line, sizeof line, "key %d %s 1 0 0 0 0 1 0 0 0 0 1 0 %g %g %g 1\n", time, node, x, y, z);
  return line;
}

// Tracks "a" (1000 ms), "b" (500 ms) and "c" (200 ms); the node named like each track moves
// along x from 0 to 10 over its track.
std::string ShowAnimation() {
  return "node a\nnode b\nnode c 5\ntrack a 1000\n" + Key(0, "a", 0, 2, 0) + Key(1000, "a", 10, 2, 0) +
         "track b 500\n" + Key(0, "b", 0, 4, 0) + Key(500, "b", 10, 4, 0) + "track c 200\n" + Key(0, "c", 1, 1, 1);
}

struct ActionRig : CameraRig {
  ActionRig()
      : CameraRig([](CameraRig& r) {
          r.tree.PutText("resource/ini/Brivanta/common/show.ini",
                         "defaultPaths=anims\\show.anim\n"
                         "[intro]\naction=a,1000\naction=b,1500\naction=c\n"
                         "[outro]\naction=b;later\naction=,,;\n"
                         "[empty]\n");
          r.tree.PutText("anims/show.anim", ShowAnimation());
        }) {}
  host::AnimationService& Service() { return standard->objects->animation; }
  host::RecordingAnimation* Animation() { return Service().Last(); }
  host::RecordingController& Controller() { return Animation()->Controller(); }
  const CameraActionSection& Section(int i) { return camera->actions[0].sections[static_cast<size_t>(i)]; }
};

struct Heard {
  std::vector<std::vector<intptr_t>> calls;
};
void Hear(void* context, intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) {
  static_cast<Heard*>(context)->calls.push_back({a1, a2, a3, code});
}

}  // namespace

TEST(CameraActions, AnActionValueSplitsIntoItsTrackAndDuration) {
  struct Case {
    const char* value;
    bool ok;
    const char* track;
    int32_t duration;
  };
  const Case cases[] = {{"fly,2000", true, "fly", 2000},   {"fly", true, "fly", 0},       {"fly;slow", true, "fly", 0},
                        {"fly,-200", true, "fly", 0},      {",,;", false, "", 0},          {"", false, "", 0},
                        {";;fly,,300,9", true, "fly", 300}, {"fly,12ab", true, "fly", 12},
                        {"fly,99999999999", true, "fly", 2147483647}};
  for (const Case& k : cases) {
    std::string track = "?";
    int32_t duration = -1;
    EXPECT_EQ(ParseCameraActionStep(k.value, &track, &duration), k.ok) << k.value;
    if (!k.ok) continue;
    EXPECT_EQ(track, k.track) << k.value;
    EXPECT_EQ(duration, k.duration) << k.value;
  }
}

TEST(CameraActions, SectionNamesHashAsSignedCharacters) {
  // Worked out apart from the module, byte by byte.
  EXPECT_EQ(CameraSectionHash(""), 0u);
  EXPECT_EQ(CameraSectionHash("a"), 0x61u);
  EXPECT_EQ(CameraSectionHash("intro"), 0x705b8fu);
  EXPECT_EQ(CameraSectionHash("verse_two_long_name"), 0x3fc9e65u);
  EXPECT_EQ(CameraSectionHash("\xe9t\xe9"), 0xfff2fd9u);
}

TEST(CameraActions, AnActionLoadsItsFileOnceAndSetsUpItsAnimation) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("show"));
  ASSERT_EQ(c.actions.size(), 1u);
  EXPECT_EQ(c.currentAction, 0);
  EXPECT_EQ(c.actions[0].name, "show");
  EXPECT_EQ(r.Service().Loads(), (std::vector<std::string>{"anims\\show.anim"}));
  host::RecordingAnimation* a = r.Animation();
  EXPECT_EQ(a->Ops(), (std::vector<std::string>{"GetCounter", "SetCounter", "SetOwner", "SetSwitchA", "SetSwitchB",
                                                "AddEventListener", "AddEventListener"}));
  EXPECT_EQ(a->Counter(), 1);
  EXPECT_EQ(a->Owner(), static_cast<void*>(static_cast<CComponentBase*>(&c)));
  EXPECT_EQ(a->Calls()[3].numbers[0], 0.0);
  EXPECT_EQ(a->Calls()[4].numbers[0], 1.0);
  EXPECT_EQ(a->Calls()[5].numbers[0], 4.0);
  EXPECT_EQ(a->Calls()[6].numbers[0], 6.0);
  EXPECT_EQ(a->Calls()[6].pointer, static_cast<const void*>(static_cast<IAnimationEventSink*>(&c)));
  // The sections in file order with their steps; a value without a track adds none.
  ASSERT_EQ(c.actions[0].sections.size(), 3u);
  EXPECT_EQ(r.Section(0).name, "intro");
  EXPECT_EQ(r.Section(0).nameHash, 0x705b8fu);
  EXPECT_EQ(r.Section(0).tracks, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(r.Section(0).durations, (std::vector<int32_t>{1000, 1500, 0}));
  EXPECT_EQ(r.Section(1).tracks, (std::vector<std::string>{"b"}));
  EXPECT_EQ(r.Section(1).durations, (std::vector<int32_t>{0}));
  EXPECT_TRUE(r.Section(2).tracks.empty());

  // Played again (after another), it is only made current.
  c.currentAction = -1;
  ASSERT_TRUE(c.PlayAction("show"));
  EXPECT_EQ(c.currentAction, 0);
  EXPECT_EQ(r.Service().Loads().size(), 1u);
}

TEST(CameraActions, AFailedPlayLeavesNoRecordAndNoCurrentAction) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  EXPECT_FALSE(c.PlayAction(nullptr));
  EXPECT_FALSE(c.PlayAction(""));
  EXPECT_FALSE(c.PlayAction("missing"));
  EXPECT_TRUE(c.actions.empty());
  EXPECT_EQ(c.currentAction, -1);
  EXPECT_TRUE(r.Service().Loads().empty());
  // A very long name is only a file that is not there.
  EXPECT_FALSE(c.PlayAction(std::string(1000, 'x').c_str()));
  // A file without "defaultPaths" names no animation.
  r.tree.PutText("resource/ini/Brivanta/common/nameless.ini", "[s]\naction=a,5\n");
  EXPECT_FALSE(c.PlayAction("nameless"));
  EXPECT_TRUE(c.actions.empty());
  r.Service().FailLoads(1);
  EXPECT_FALSE(c.PlayAction("show"));
  EXPECT_TRUE(c.actions.empty());
  EXPECT_EQ(c.currentAction, -1);
  r.Host().AddService("AnimationServiceImp", nullptr);
  EXPECT_FALSE(c.PlayAction("show"));
  EXPECT_TRUE(c.actions.empty());
}

TEST(CameraActions, ASectionStartsFromTheStopsEventAndRunsItsSteps) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("show"));
  D3DXMATRIX base;
  D3DXMatrixIdentity(&base);
  c.PlayActionSection("intro", &base, 2.0f, 0, 0, 0);
  EXPECT_EQ(c.GetMode(), 5);
  EXPECT_EQ(c.controllable, 1);
  EXPECT_EQ(c.actions[0].currentSection, 0);
  EXPECT_EQ(r.Section(0).step, 0);
  EXPECT_EQ(r.Controller().Ops(), (std::vector<std::string>{"Stop", "Select", "Select", "SetSpeed", "SetLooping", "Start"}));
  const auto& calls = r.Controller().Calls();
  EXPECT_EQ(calls[1].text, "(null)");
  EXPECT_EQ(calls[1].numbers, (std::vector<double>{0, 1}));
  EXPECT_EQ(calls[2].text, "a");
  EXPECT_EQ(calls[3].numbers[0], 2.0);
  EXPECT_EQ(calls[4].numbers[0], 1.0);  // a timed step loops its track
  EXPECT_EQ(c.stepCountdown, 1000);
  EXPECT_EQ(r.Animation()->SelectedTrack(), "a");

  // The step ran 30 ms over: the next 1500 ms step gets 1470.
  r.Frame(1030);
  EXPECT_EQ(r.Section(0).step, 1);
  EXPECT_EQ(c.stepCountdown, 1470);
  EXPECT_EQ(r.Animation()->SelectedTrack(), "b");
  // The step with no duration plays its track once.
  r.Frame(1470);
  EXPECT_EQ(r.Section(0).step, 2);
  EXPECT_EQ(c.stepCountdown, 0);
  EXPECT_EQ(r.Controller().Calls().back().op, "Start");
  EXPECT_EQ(r.Controller().Calls()[r.Controller().Calls().size() - 2].numbers[0], 0.0);
  // Track c is 200 ms; at speed 2 it ends in the second 60 ms frame, and with it the section.
  r.Frame(60);
  EXPECT_EQ(c.actions[0].currentSection, 0);
  r.Frame(60);
  EXPECT_EQ(c.actions[0].currentSection, -1);
}

TEST(CameraActions, AnUnknownSectionStartsARandomOneAndDeferredPlayWaitsForRealize) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("show"));
  CrtSrand(77);
  const int expected = static_cast<int>(static_cast<float>(CrtRand()) / 32767.0f * 3.0f);
  CrtSrand(77);
  c.PlayActionSection("nowhere", nullptr, 1.0f, 1, 1, 0);
  EXPECT_EQ(c.actions[0].currentSection, expected == 3 ? 0 : expected);
  EXPECT_EQ(c.controllable, 0);
  EXPECT_EQ(c.pendingMode, 5);
  EXPECT_EQ(c.GetMode(), 1);
  r.Host().Realize(0);
  EXPECT_EQ(c.GetMode(), 5);
  EXPECT_EQ(c.controllable, 1);
}

TEST(CameraActions, ALoopingSectionStartsOverAndStopActionEndsIt) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("show"));
  c.PlayActionSection("outro", nullptr, 1.0f, 1, 0, 0);
  EXPECT_EQ(r.Section(1).step, 0);
  r.Frame(500);  // track b ran out: the one step starts again
  EXPECT_EQ(r.Section(1).step, 0);
  EXPECT_EQ(c.actions[0].currentSection, 1);
  EXPECT_TRUE(r.Animation()->Playing());
  c.StopAction();
  EXPECT_EQ(c.actions[0].currentSection, -1);
  EXPECT_FALSE(r.Animation()->Playing());
  // A section without steps ends at the first event.
  c.PlayActionSection("empty", nullptr, 1.0f, 1, 0, 0);
  EXPECT_EQ(c.actions[0].currentSection, -1);
}

TEST(CameraActions, AnActionWithoutSectionsOnlyTakesTheSettings) {
  ActionRig r;
  r.tree.PutText("resource/ini/Brivanta/common/bare.ini", "defaultPaths=anims\\show.anim\n");
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("bare"));
  D3DXMATRIX base;
  D3DXMatrixTranslation(&base, 1, 2, 3);
  c.PlayActionSection("x", &base, 3.0f, 1, 0, 1);
  EXPECT_EQ(c.GetMode(), 1);
  EXPECT_EQ(c.actionLoop, 1);
  EXPECT_EQ(c.applyCameraNode, 1);
  EXPECT_EQ(c.actionBase._42, 2.0f);
  EXPECT_FLOAT_EQ(c.actionSpeed, 1.0f);
  EXPECT_TRUE(r.Animation()->Controller().Calls().empty());
}

TEST(CameraActions, ANodeViewIsTheInverseOfTheNodesCameraFrame) {
  // A node turned 0.7 rad about y and 0.3 about x, placed at (4, 5, 6).
  D3DXMATRIX ry, rx, w;
  D3DXMatrixRotationY(&ry, 0.7f);
  D3DXMatrixRotationX(&rx, 0.3f);
  D3DXMatrixMultiply(&w, &rx, &ry);
  w._41 = 4;
  w._42 = 5;
  w._43 = 6;
  const D3DXMATRIX view = CameraNodeView(w);
  D3DXMATRIX frame(-w._11, -w._12, -w._13, 0, -w._31, -w._32, -w._33, 0, -w._21, -w._22, -w._23, 0, w._41, w._42,
                   w._43, 1);
  D3DXMATRIX product;
  D3DXMatrixMultiply(&product, &frame, &view);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-5f) << i << "," << j;
}

TEST(CameraActions, ThePathFollowsTheAnimatedNodeOverTheBase) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  Adjuster* adjuster = r.MakeAdjuster();
  ASSERT_TRUE(c.PlayAction("show"));
  D3DXMATRIX base;
  D3DXMatrixTranslation(&base, 0, 0, 100);
  c.PlayActionSection("intro", &base, 1.0f, 0, 0, 1);
  // The first step bound node "a" and waits with its view for the next finished event.
  EXPECT_EQ(r.Animation()->BoundNode(), "a");
  EXPECT_EQ(c.actionViewPending, 1);
  r.Frame(250);
  // Node a at 250 of 1000 ms stands at x 2.5, y 2, over the base at z 100.
  ExpectNear(c.eye, D3DXVECTOR3(2.5f, 2, 100));
  ExpectNear(c.lookAt, D3DXVECTOR3(0, 1, 100));
  ASSERT_FALSE(adjuster->segments.empty());
  ExpectNear(adjuster->segments.back().first, D3DXVECTOR3(2.5f, 2, 100));
  // The view puts the eye at the origin of view space.
  const D3DXMATRIX view = r.Transform(D3DTS_VIEW);
  D3DXVECTOR3 inView;
  D3DXVec3TransformCoord(&inView, &c.eye, &view);
  ExpectNear(inView, D3DXVECTOR3(0, 0, 0));
  r.Frame(250);
  ExpectNear(c.eye, D3DXVECTOR3(5, 2, 100));
  // Geometry in the way pulls the eye in.
  adjuster->hits = true;
  adjuster->hitPoint = D3DXVECTOR3(1, 1, 99);
  r.Frame(10);
  ExpectNear(c.eye, D3DXVECTOR3(1, 1, 99));
  // The next step hands the pending node view to the renderer first.
  adjuster->hits = false;
  r.Frame(490);
  EXPECT_EQ(r.Animation()->BoundNode(), "b");
}

TEST(CameraActions, ApplyAnimatedCameraTakesTheViewFromTheRunningStepsNode) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("show"));
  c.PlayActionSection("intro", nullptr, 1.0f, 0, 0, 0);
  r.Frame(500);
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 0, 10, 0);
  c.ApplyAnimatedCamera(&world);
  EXPECT_EQ(r.Animation()->BoundNode(), "a");
  ExpectNear(c.eye, D3DXVECTOR3(5, 12, 0));
  const float yScale = 1.0f / std::tan(0.8985130f / 2.0f);
  EXPECT_NEAR(r.Transform(D3DTS_PROJECTION)._22, yScale, 1e-4f);
  // With no section running nothing is bound.
  c.StopAction();
  c.ApplyAnimatedCamera(&world);
  EXPECT_EQ(r.Animation()->BoundNode(), "");
}

TEST(CameraActions, TheDirectAnimationPlaysItsTrackAndIsReplacedByAnAction) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  EXPECT_TRUE(c.SetAnimation("anims\\show.anim"));
  host::RecordingAnimation* direct = r.Animation();
  ASSERT_EQ(c.directAnimation, static_cast<IAnimation*>(direct));
  c.PlayActionSection("b", nullptr, 0.5f, 0, 0, 1);
  EXPECT_EQ(direct->Controller().Ops(), (std::vector<std::string>{"Select", "Select", "SetSpeed", "SetLooping", "Start"}));
  EXPECT_EQ(c.cameraNodeName, "b");
  EXPECT_EQ(c.GetMode(), 5);
  // A stop binds the node and puts its view at once.
  c.StopAction();
  EXPECT_EQ(direct->BoundNode(), "b");
  D3DXMATRIX expected = CameraNodeView(*direct->GetBoundMatrix(0));
  const D3DXMATRIX view = r.Transform(D3DTS_VIEW);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(view.m[i / 4][i % 4], expected.m[i / 4][i % 4], 1e-5f);
  // An action releases it.
  ASSERT_TRUE(c.PlayAction("show"));
  EXPECT_EQ(direct->Releases(), 1);
  EXPECT_EQ(c.directAnimation, nullptr);
  EXPECT_EQ(c.cameraNodeName, "");
  EXPECT_EQ(direct->Listeners(), 0u);
  // An empty name only clears.
  EXPECT_TRUE(c.SetAnimation(""));
  EXPECT_EQ(c.currentAction, -1);
}

namespace {
CBaseCamera* g_camera = nullptr;
// Hears one event and takes itself out of the table while it is being walked.
void HearOnce(void* context, intptr_t, intptr_t, intptr_t, int32_t code) {
  static_cast<Heard*>(context)->calls.push_back({0, 0, 0, -code});
  g_camera->RemoveEventCallback(HearOnce);
}
}  // namespace

TEST(CameraActions, CallbacksHearEveryEventAndMayChangeTheTable) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  g_camera = &c;
  ASSERT_TRUE(c.PlayAction("show"));
  Heard heard;
  c.AddEventCallback(HearOnce, &heard);
  c.AddEventCallback(Hear, &heard);
  c.PlayActionSection("outro", nullptr, 1.0f, 1, 0, 0);
  ASSERT_EQ(heard.calls.size(), 2u);
  EXPECT_EQ(heard.calls[0][3], -4);
  EXPECT_EQ(heard.calls[1], (std::vector<intptr_t>{reinterpret_cast<intptr_t>(static_cast<IAnimation*>(r.Animation())), 0,
                                                   0, 4}));
  EXPECT_EQ(c.eventCallbacks.size(), 1u);
  // A looping track tells 6 when it starts over; the camera only passes it on.
  r.Controller().SetLooping(1, 0);
  r.Frame(600);
  ASSERT_EQ(heard.calls.size(), 3u);
  EXPECT_EQ(heard.calls.back()[3], 6);
  EXPECT_EQ(r.Section(1).step, 0);
  g_camera = nullptr;
}

TEST(CameraActions, AFailureInsideAnEventIsLoggedAndPassedOn) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  c.AddEventCallback([](void*, intptr_t, intptr_t, intptr_t, int32_t) { throw 5; }, nullptr);
  EXPECT_THROW(c.Event(0, 0, 0, 4), _EXS);
  const auto& log = r.Host().Registry().LogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(std::find(log.begin(), log.end(), "CBaseCamera::Event"), log.end());
}

TEST(CameraActions, DestroyReleasesEveryAnimationAndForgetsTheAction) {
  ActionRig r;
  CBaseCamera& c = *r.camera;
  ASSERT_TRUE(c.PlayAction("show"));
  host::RecordingAnimation* action = r.Animation();
  c.SetAnimation("anims\\show.anim");
  c.currentAction = 0;
  host::RecordingAnimation* direct = r.Animation();
  c.Destroy();
  EXPECT_EQ(action->Releases(), 1);
  EXPECT_EQ(direct->Releases(), 1);
  EXPECT_TRUE(c.actions.empty());
  EXPECT_EQ(c.currentAction, -1);
  c.Destroy();
  EXPECT_EQ(action->Releases(), 1);
  // A tick after it finds nothing to play.
  c.mode = 5;
  c.controllable = 1;
  c.stepCountdown = 5;
  r.Frame(10);
}
