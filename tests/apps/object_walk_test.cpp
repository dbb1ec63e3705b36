// footlight object on a stage: walking the sample route, animations with their events, and the
// errors, as processes.
#include <gtest/gtest.h>

#include <string>

#include "apps/footlight/object_walk.h"
#include "apps/footlight/scene_session.h"
#include "frame/dma_interface.h"
#include "objects/scene_base_obj.h"
#include "support/run_footlight.h"

namespace {
using footlight_testing::HasLine;
using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;
using footlight_testing::CountLines;

const std::string kSamples = std::string(" --resource ") + FOOTLIGHT_SOURCE_DIR + "/samples";

TEST(ObjectWalk, TheSampleRouteIsWalkedToItsEndAndTheEffectShown) {
  const Result r = RunFootlight("object 10005 --scene 1 --path 2,3 --event effect,spark" + kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLine(r.out, "route of 5 waypoints: 0.000,0.000,0.000 0.000,-0.000,0.000 2.500,-0.000,0.000 "
                             "2.500,-0.000,2.000 2.000,0.000,3.000"))
      << r.out;
  EXPECT_EQ(CountLines(r.out, "arrived after "), 1u);
  // The last frame stands at the route's end with no waypoint left.
  std::string last;
  for (const std::string& l : Lines(r.out))
    if (l.rfind("frame ", 0) == 0) last = l;
  EXPECT_NE(last.find("pos   2.000,  0.000,  3.000"), std::string::npos) << last;
  EXPECT_NE(last.find("placed   waypoint -"), std::string::npos) << last;
  EXPECT_EQ(CountLines(r.out, "ActiveEffect 600000 \"lscciffls\" \"spark\" (0.000,0.000,0.000) (0.000,1.000,0.000) handle 1 1 0 NULL"),
            1u)
      << r.out;
  EXPECT_TRUE(HasLine(r.out, "live host blocks: 0"));
}

TEST(ObjectWalk, AStraightWalkPlaysItsAnimationWhoseEventsReachTheSoundObject) {
  const Result r = RunFootlight("object 10005 --scene 1 --at 0,0 --walk 0,1" + kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLine(r.out, "arrived after 10 frames")) << r.out;
  EXPECT_NE(r.out.find("frame    5  pos   0.000,  0.000,  0.500  yaw  0.000  moving   waypoint -      animation walk"),
            std::string::npos)
      << r.out;
  // One second of walking passes the events at 250 and 750 ms.
  EXPECT_EQ(CountLines(r.out, "Sound 77016 \"llcccl\" 1 "), 2u) << r.out;
}

TEST(ObjectWalk, NoRouteIsSaidAndTheObjectStays) {
  const Result r = RunFootlight("object 10005 --scene 1 --path 0,30 --frames 2" + kSamples);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLine(r.out, "no route to 0.000,30.000")) << r.out;
  EXPECT_EQ(CountLines(r.out, "frame "), 2u);
}

TEST(ObjectWalk, AShaderEventWithoutItsObjectIsLoggedAndASequenceStepsOn) {
  const Result r = RunFootlight("object 10005 --scene 1 --sequence wave,stand --event attackeffect,a,b --frames 10" +
                                kSamples);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLine(r.out, "log: [Warnning] no find ShaderDrawMain ENTITY_ID")) << r.out;
  // wave lasts 800 ms: its spark at 400 ms, then stand.
  EXPECT_NE(r.out.find("frame    9  pos   0.000,  0.000,  0.000  yaw  0.000  placed   waypoint -      animation stand"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(CountLines(r.out, "ActiveEffect 600000 \"lscciffls\" \"spark\""), 1u) << r.out;
}

TEST(ObjectWalk, BadStageOptionsAndAnUnknownSceneAreOneErrorLine) {
  for (const auto& [args, line] :
       {std::pair<const char*, const char*>{"object 10005 --walk 1,2",
                                            "--at, --walk, --path, --play, --sequence and --event need --scene N"},
        {"object 10005 --scene 1 --walk 1,2 --path 1,2", "give one of --walk and --path"}}) {
    const Result r = RunFootlight(std::string(args) + kSamples);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{std::string("footlight: ") + line});
  }
  const Result unknown = RunFootlight("object 10005 --scene 9" + kSamples);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(CountLines(unknown.out, "footlight: scene 9 did not load: cannot open "), 1u) << unknown.out;
  EXPECT_EQ(CountLines(unknown.out, "footlight: "), 1u);
}

}  // namespace

// In the process: a long walk leaves the host two frames of messages, yet reports every sound.
TEST(ObjectWalk, ALongWalkKeepsTwoFramesOfHostMessagesAndReportsThemAll) {
  host::RendererConfig config;
  config.rasterize = false;
  footlight::SceneSession session(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", &DMAInterface, config);
  ASSERT_TRUE(session.Start());
  ObjectWalkOptions o;
  o.scene = 1;
  o.at = footlight::cli::GroundPoint{0.0f, 0.0f};
  o.walkTo = footlight::cli::GroundPoint{0.0f, 5.0f};
  ASSERT_TRUE(LoadObjectStage(session.scene(), o));
  auto* object = session.Make<CSceneBaseObj>("CSceneBaseObj");
  ASSERT_NE(object, nullptr);
  ASSERT_TRUE(object->LoadFromIni(10005, 0, 0, 0.0f));
  host::StandardHost& standard = session.standard();
  standard.host.KeepAllMessages(true);  // as the command keeps its load
  ObjectWalk walk = StartObjectWalk(standard, session.scene(), object, o, 200);
  int frame = 1;
  for (; frame <= walk.limit; ++frame) {
    standard.Frame(100);
    object->Execute(100);
    object->ForwardToRenderable(100);
    if (!ObjectWalkFrame(walk, object, frame)) break;
  }
  FinishObjectWalk(walk, frame);
  EXPECT_TRUE(walk.arrived);
  EXPECT_LT(standard.host.Messages().size() * 4, standard.host.MessagesSent());
  // Five seconds of walking pass the walk's two sound events each second.
  size_t sounds = 0;
  for (const host::RecordedMessage& m : walk.sent) sounds += m.targetClass == "Sound" && m.signature == "llcccl";
  EXPECT_EQ(sounds, 10u);
  EXPECT_EQ(session.Finish(), 0u);
}
