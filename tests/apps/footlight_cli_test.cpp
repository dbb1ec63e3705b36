// The command-line host, run as a process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_footlight.h"

namespace {

using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

TEST(FootlightCli, ClassesListsTheThirteenClassesInListOrder) {
  const Result r = RunFootlight("classes");
  EXPECT_EQ(r.status, 0);
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 13u) << r.out;
  EXPECT_EQ(lines.front(), "CGlow");
  EXPECT_EQ(lines[10], "CSceneSystem");
  EXPECT_EQ(lines.back(), "SceneBaseObj");
}

TEST(FootlightCli, RunCreatesDrivesAndDestroysEveryClass) {
  const Result r = RunFootlight("run --frames 4 --elapsed 20");
  EXPECT_EQ(r.status, 0) << r.out;
  // The 13 classes, and what the three scene systems make (the terrain editor makes the third):
  // each its camera, "Shadow" and four video texture managers; the first "Sound", "Particles" and
  // "ActiveEffect", which the others find; the editor's walker with the "Renderable" its model
  // load makes (the load fails without a resource tree, and the renderable stays); and the
  // occlusion system that the tree makes for itself.
  EXPECT_NE(r.out.find("objects created: 38\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("objects destroyed: 38\n"), std::string::npos);
  EXPECT_NE(r.out.find("frames: 4\n"), std::string::npos);
  EXPECT_NE(r.out.find("live host blocks: 0\n"), std::string::npos);
}

TEST(FootlightCli, RunTakesChosenClasses) {
  const Result r = RunFootlight("run --class CGlow --class CBaseCamera --frames 1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("objects created: 2\n"), std::string::npos) << r.out;
}

TEST(FootlightCli, RunReadsAnIniThroughTheServiceAndReportsTheRenderer) {
  const Result r = RunFootlight(std::string("run --frames 1 --resource ") + FOOTLIGHT_SOURCE_DIR +
                                "/samples --ini 'RESOURCE\\INI\\weather.ini'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("[ini] Sea=yes\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("device reset: ok\n"), std::string::npos);
  EXPECT_NE(r.out.find("draws: "), std::string::npos);
  // An INI file that does not open: one error line and the exit of a bad argument.
  const Result missing = RunFootlight(std::string("run --frames 1 --resource ") + FOOTLIGHT_SOURCE_DIR +
                                      "/samples --ini nothing.ini");
  EXPECT_EQ(missing.status, 2);
  const auto lines = Lines(missing.out);
  ASSERT_EQ(lines.size(), 1u) << missing.out;
  EXPECT_EQ(lines[0].rfind("footlight: cannot open INI file nothing.ini", 0), 0u) << lines[0];
}

std::string ReadAll(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

TEST(FootlightCli, LightsSavesEveryKeyAndASecondSaveIsByteIdentical) {
  const std::string sample = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/ini/scene/light/2.ini";
  const std::string first = ::testing::TempDir() + "footlight_every_key_1_" + std::to_string(getpid()) + ".ini";
  const std::string second = ::testing::TempDir() + "footlight_every_key_2_" + std::to_string(getpid()) + ".ini";
  const Result a = RunFootlight("lights " + sample + " --time 0 --save " + first);
  ASSERT_EQ(a.status, 0) << a.out;
  const Result b = RunFootlight("lights " + first + " --time 0 --save " + second);
  ASSERT_EQ(b.status, 0) << b.out;
  const std::string saved = ReadAll(first);
  EXPECT_EQ(saved, ReadAll(second));
  // The reloaded file reports the same lights and groups.
  auto report = [](const std::string& out) { return out.substr(out.find("== "), out.find("saved ") - out.find("== ")); };
  EXPECT_EQ(report(a.out), report(b.out));
  // What the sample says survives: models, direction animations, beams, billboards, groups.
  for (const char* line : {"model=resource\\models\\neon_sign.x\r\n", "texture=resource\\textures\\neon.dds\r\n",
                           "animation=flicker\r\n", "directionController=resource\\animation\\sweep.ani\r\n",
                           "directionAniName=sweep\r\n", "distortionMap=resource\\textures\\light\\smoke.dds\r\n",
                           "lightSpot=resource\\textures\\light\\spot.dds\r\n", "socket=truss_left\r\n",
                           "effect=sparkle\r\n", "GlobalLight=1\r\n", "InfluenceScene=1\r\n", "lifetime=60000\r\n",
                           "rate=1.500000\r\n", "billboardName=resource\\textures\\light\\flare.dds\r\n",
                           "BillboardScaleSpeed=0.003000\r\n", "BillboardRawSize=0.750000\r\n",
                           "BillboardMagSize=0.250000\r\n", "lifetime=5000\r\n", "rate=2.000000\r\n",
                           "key=0,beam;warmth,0,1\r\n", "key=1,pulse,3000,0\r\n",
                           "range=1,0,0,25.000000,1000,30.000000\r\n", "falloff=0,2,0,1.500000\r\n"})
    EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
  std::remove(first.c_str());
  std::remove(second.c_str());
}

TEST(FootlightCli, LightsRunsAHostileLightFileToTheEnd) {
  // Keys at both ends of the clock range, rates without a number or beyond any clock, a step
  // keyed at the bottom of the range, and groups nested 100 deep.
  std::string text =
      "[edge]\ntype=2\nActive=1\nAlwaysUpdate=1\nRate=nan\n"
      "range=1,0,-2147483648,1.0,2147483647,2.0\nposition=2,2,-2147483648,0,0,0,0,1,1,1,2147483647,2,2,2\n"
      "direction=0,0,-2147483648,0,0,0,1,2147483647,0,1,0,0\n"
      "[fast]\ntype=2\nActive=1\nRate=1e30\nrange=0,0,0,1.0,10,2.0\n"
      "[low]\ntype=6\nactive=1\nkey=0,edge,-2147483648,1\nkey=0,fast,1000,1\n";
  for (int i = 0; i < 100; ++i)
    text += "[n" + std::to_string(i) + "]\ntype=6\nactive=1\nRate=inf\nkey=1,n" + std::to_string(i + 1) + ",0,1\nkey=0,edge,5,0\n";
  const std::string file = ::testing::TempDir() + "footlight_hostile_lights_" + std::to_string(getpid()) + ".ini";
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const Result r = RunFootlight("lights " + file + " --time 300 --tick 100");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("2 lights, 102 groups"), std::string::npos) << r.out;  // n100 made empty by n99
  EXPECT_NE(r.out.find("light groups cannot nest more than 64 deep"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("== 300 ms =="), std::string::npos) << r.out;
  std::remove(file.c_str());
}

// A file-size limit stands in for a full device.
TEST(FootlightCli, LightsExitsOneWhenTheSaveDoesNotReachTheDisk) {
#if defined(__SANITIZE_THREAD__)
  // The thread sanitizer's runtime maps files of its own and dies under a file-size limit; the
  // other two builds run this test.
  GTEST_SKIP() << "a file-size limit stops the thread sanitizer's runtime";
#endif
  const std::string sample = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/ini/scene/light/2.ini";
  const std::string dir = ::testing::TempDir() + "footlight_full_target_" + std::to_string(getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  const std::string cmd = "sh -c \"trap '' XFSZ; ulimit -f 1; exec " + std::string(FOOTLIGHT_BINARY_DIR) +
                          "/footlight lights " + sample + " --time 0 --save " + dir + "/out.ini\" 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  const int raw = pclose(p);
  ASSERT_TRUE(WIFEXITED(raw)) << out;
  EXPECT_EQ(WEXITSTATUS(raw), 1) << out;
  EXPECT_NE(out.find("footlight: light file " + dir + "/out.ini was not saved whole"), std::string::npos) << out;
  EXPECT_NE(out.find("cannot write"), std::string::npos) << out;
  EXPECT_EQ(ReadAll(dir + "/out.ini"), "");
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir + "')\"").c_str()), 0) << "a temporary file was left behind";
  EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(FootlightCli, LightsRunsTheSampleLightFileAndSavesItBackEqual) {
  const std::string sample = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/ini/scene/light/1.ini";
  const std::string saved = ::testing::TempDir() + "footlight_lights_saved_" + std::to_string(getpid()) + ".ini";
  const Result first = RunFootlight("lights " + sample + " --time 500 --tick 100 --save " + saved);
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find("9 lights, 3 groups"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("\"sun\" type 1 on slot 0"), std::string::npos) << first.out;
  // The written file, run the same way, reports the same lights, groups and slots.
  const Result second = RunFootlight("lights " + saved + " --time 500 --tick 100");
  ASSERT_EQ(second.status, 0) << second.out;
  auto report = [](const std::string& out) {
    const std::string from = out.substr(out.find("== "));
    return from.substr(0, from.find("== renderer log"));
  };
  EXPECT_EQ(report(first.out).substr(0, report(first.out).find("saved")), report(second.out)) << first.out;
  std::remove(saved.c_str());
  const Result missing = RunFootlight("lights /nonexistent/light.ini");
  EXPECT_EQ(missing.status, 2) << missing.out;
}

TEST(FootlightCli, RunHoldsKeysAndRunsTheManualClockAndEchoesBoth) {
  const Result r = RunFootlight("run --keys 0x24,37 --clock 1000 --frames 3 --elapsed 20");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("keys held: 0x24 0x25\n"), std::string::npos) << r.out;
  // Three frames of 20 ms from 1000.
  EXPECT_NE(r.out.find("clock: manual, 1000 ms at the start, 1060 ms at the end\n"), std::string::npos) << r.out;
  // No module code touches the ramp yet, so there is nothing to report.
  EXPECT_EQ(r.out.find("gamma ramp"), std::string::npos) << r.out;
  const Result plain = RunFootlight("run --frames 1");
  EXPECT_EQ(plain.out.find("keys held"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.out.find("clock:"), std::string::npos) << plain.out;
}

// The texture the sample light file names is found under --resource, in any case, from any
// working directory; without it the renderer says which file is missing.
TEST(FootlightCli, LightsFindTexturesUnderTheResourceRootFromAnyDirectory) {
  namespace fs = std::filesystem;
  const fs::path tree = fs::path(::testing::TempDir()) / ("footlight-tree-" + std::to_string(::getpid()));
  fs::remove_all(tree);
  fs::create_directories(tree / "Resource" / "INI" / "Scene" / "Light");
  fs::copy_file(fs::path(FOOTLIGHT_SOURCE_DIR) / "samples/resource/ini/scene/light/1.ini",
                tree / "Resource" / "INI" / "Scene" / "Light" / "1.ini");
  fs::create_directories(tree / "Resource" / "Textures" / "LIGHT");
  // The light file's textures under names of other cases.
  for (const auto& [from, to] : {std::pair{"spot.tga", "SPOT.tga"}, std::pair{"beam.tga", "Beam.TGA"},
                                 std::pair{"smoke.tga", "SMOKE.tga"}, std::pair{"star.tga", "Star.tga"}})
    fs::copy_file(fs::path(FOOTLIGHT_SOURCE_DIR) / "samples/resource/textures/light" / from,
                  tree / "Resource" / "Textures" / "LIGHT" / to);
  const std::string args = "lights 'resource\\ini\\scene\\light\\1.ini' --time 100 --resource ";
  const Result found = RunFootlight(args + tree.string(), "/");
  EXPECT_EQ(found.status, 0) << found.out;
  EXPECT_NE(found.out.find("9 lights, 3 groups"), std::string::npos) << found.out;
  EXPECT_EQ(found.out.find("LoadTexture"), std::string::npos) << found.out;

  fs::remove(tree / "Resource" / "Textures" / "LIGHT" / "Star.tga");
  const Result missing = RunFootlight(args + tree.string(), "/");
  EXPECT_EQ(missing.status, 0) << missing.out;
  EXPECT_NE(missing.out.find("LoadTexture: no file resource\\textures\\light\\star.tga under the resource root"),
            std::string::npos)
      << missing.out;
  fs::remove_all(tree);
}

TEST(FootlightCli, BadInputGivesOneErrorLineAndANonZeroExit) {
  const std::vector<std::string> bad = {
      "",                                   // no command
      "dance",                              // unknown command
      "run --frames",                       // missing value
      "run --frames many",                  // not a number
      "run --frames -3",                    // negative
      "run --bogus",                        // unknown option
      "run --class NoSuchClass",            // not in the module
      "run --resource /nonexistent/tree",   // no such resource root
      "run --keys 0x100",                   // not a virtual key
      "run --keys 36,,37",                  // an empty item
      "run --keys",                         // missing value
      "run --clock -1",                     // negative time
      "run --clock 4294967296",             // past 32 bits
      "classes --keys 36",                  // not an option of classes
      "run --class CSceneSystem --gamma 0",     // gamma not above 0
      "run --class CSceneSystem --gamma -1.5",
      "run --class CSceneSystem --gamma nan",
      "run --class CSceneSystem --gamma 2x",
      "run --class CGlow --gamma 2",            // no scene system to set it
      "classes --gamma 2",                      // not an option of classes
      "run --class CSceneSystem --gizmo 0,0",       // two numbers
      "run --class CSceneSystem --gizmo 1,2,x",
      "run --class CSceneSystem --gizmo 1,,3",
      "run --class CSceneSystem --gizmo 1,2,3,4",   // four numbers
      "run --class CSceneSystem --gizmo nan,0,0",
      "run --class CSceneSystem --gizmo",           // missing value
      "run --class CGlow --gizmo 0,0,0",            // no scene system to show it
      "classes --gizmo 0,0,0",                      // not an option of classes
      "--lib /nonexistent/libfootlight.so classes",
      std::string("--lib ") + FOOTLIGHT_BINARY_DIR + "/libfootlight_no_entry.so classes",
  };
  for (const auto& args : bad) {
    const Result r = RunFootlight(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << args << "\n" << r.out;
    EXPECT_EQ(lines[0].rfind("footlight: ", 0), 0u) << lines[0];
  }
}

TEST(FootlightCli, RunMakesAndTakesDownAGammaSettingSceneSystem) {
  const Result r = RunFootlight("run --class CSceneSystem --gamma 2 --frames 2");
  EXPECT_EQ(r.status, 0) << r.out;
  // The scene system, its camera, "Shadow", "Sound", "Particles", "ActiveEffect" and four video
  // texture managers.
  EXPECT_NE(r.out.find("objects created: 10\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("objects destroyed: 10\n"), std::string::npos);
  EXPECT_NE(r.out.find("live host blocks: 0\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Init failed"), std::string::npos);
  EXPECT_NE(r.out.find("\ngamma 2: ramp: 0 0x"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nafter destroy: ramp: 0 0x"), std::string::npos);
}

TEST(FootlightCli, GammaShowsTheRaisedRampAndItsRestoration) {
  // The module's ramp reaches the command line only when both share one platform library.
  if (!std::ifstream(std::string(FOOTLIGHT_BINARY_DIR) + "/libfootlight_platform.so"))
    GTEST_SKIP() << "the module and the command line each carry a platform of their own";
  const Result r = RunFootlight("run --class CSceneSystem --gamma 2 --frames 1");
  ASSERT_EQ(r.status, 0) << r.out;
  // sqrt(128 / 255) x 255 = 180.66: entry 128 lies in 180 x 256 ... 181 x 256 - 1.
  const size_t at = r.out.find("gamma 2: ramp: 0 0x0000, 128 0xb4");
  EXPECT_NE(at, std::string::npos) << r.out;
  EXPECT_NE(r.out.find(", 255 0xff00\n", at), std::string::npos);
  EXPECT_NE(r.out.find("after destroy: ramp: 0 0x0000, 128 0x8000, 255 0xff00\n"), std::string::npos) << r.out;
}

TEST(FootlightCli, GizmoIsDrawnLastInEveryFrameAtThePointGiven) {
  const Result r = RunFootlight("run --class CSceneSystem --gizmo 1.5,-2,300 --frames 3");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\ngizmo at (1.5, -2, 300): 3 quad draws of 6 triangles, 3 axis draws of 3 lines, last in 3 "
                       "of 3 frames\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("live host blocks: 0\n"), std::string::npos);
}

}  // namespace

namespace {

// The sample stage, loaded as a new user would: what it made, the ground under the stage's
// centre and front step, then the unload with nothing left behind.
TEST(FootlightCli, RunLoadsTheSampleStageReportsItAndTakesItDown) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result r =
      RunFootlight("run --scene 1 --resource " + samples + " --frames 2 --ground 0,0 --ground 0,8 --pick 400,500");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* expected :
       {"== scene 1 ==", "records: 26", "floor                type 1  style normal       visible    model yes (2 parts)",
        "fan                  type 5  style normal       visible    model yes (3 parts)  class FanNoise",
        "sun                  type 1  on, global, from a model", "warmSpot             type 7  on, from a model",
        "scene objects: 2", "spots: centre (0.00,0.00,0.00) front (0.00,0.00,6.00)", "light sockets: 2",
        "flags: 1", "  flagStage: 1, 6 x 4 quads", "ground at 0.00,8.00: height 1.000",
        // From the origin camera (0,4,16) towards (0,2,0), fov 55 degrees on 800 x 600: screen row
        // 500 is the ray (0, -0.4684, -0.9492), which meets the front step (height 1) at z 9.920.
        "pick at 400,500: 0.000,1.000,9.920", "== unloaded ==",
        "records: 0, scene objects: 0, scene id -1", "live host blocks: 0"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  // Every model and texture of the stage is in the tree.
  EXPECT_EQ(r.out.find("[modelr]"), std::string::npos) << r.out;
  // Only the last --ground counts.
  EXPECT_EQ(r.out.find("ground at 0.00,0.00"), std::string::npos) << r.out;
}

// The sample stage's passes frame by frame, with the mirror in its reflected view, and frame 2's
// renderer calls in order between the report lines of frames 2 and 3.
TEST(FootlightCli, RunSceneReportsEachPassAndTracesOneFrame) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result r = RunFootlight("run --scene 1 --resource " + samples + " --frames 3 --trace 2");
  ASSERT_EQ(r.status, 0) << r.out;
  const size_t frame2 = r.out.find("frame 2: draws main ");
  const size_t trace = r.out.find("== trace of frame 2: ");
  const size_t end = r.out.find("== end of trace ==");
  const size_t frame3 = r.out.find("frame 3: draws main ");
  ASSERT_TRUE(frame2 < trace && trace < end && end < frame3) << r.out;
  EXPECT_NE(r.out.find("; mirrors 1;", frame2), std::string::npos);
  const std::string calls = r.out.substr(trace, end - trace);
  // The mirror at x = -9.5 facing +x: stencil on, its plane as clip plane 0, stencil off again.
  const size_t on = calls.find("\nstate 52 = 1\n");
  const size_t clip = calls.find("\nclip plane 0 = 1 0 0 9.5\n");
  const size_t off = calls.find("\nstate 52 = 0\n");
  EXPECT_TRUE(on < clip && clip < off && off != std::string::npos) << calls;
  EXPECT_NE(calls.find("\ndraw slot 55, "), std::string::npos);
  EXPECT_NE(calls.find("\nstage 0 type 1 = "), std::string::npos);
  EXPECT_NE(calls.find("\ntransform 2 "), std::string::npos);
  EXPECT_NE(r.out.find("live host blocks: 0"), std::string::npos);

  for (const char* bad : {" --frames 3 --trace 4", " --trace 0", " --trace x"}) {
    const Result b = RunFootlight("run --scene 1 --resource " + samples + bad);
    EXPECT_EQ(b.status, 2) << bad;
    ASSERT_EQ(Lines(b.out).size(), 1u) << b.out;
    EXPECT_EQ(Lines(b.out)[0].rfind("footlight: ", 0), 0u) << b.out;
  }
}

TEST(FootlightCli, RunSceneWithTheGizmoReportsFlagProjectedAndGizmoDraws) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result r = RunFootlight("run --scene 1 --resource " + samples + " --frames 2 --gizmo 0,1,0");
  ASSERT_EQ(r.status, 0) << r.out;
  // The stage's one flag and the spots on its ground, drawn in the main pass and again in the
  // mirror's reflected view.
  EXPECT_NE(r.out.find("frame 2: flag draws 2, projected-texture draws "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("projected-texture draws 0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("gizmo at (0, 1, 0): "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(", last in 2 of 2 frames"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("live host blocks: 0"), std::string::npos);

  const Result bad = RunFootlight("run --scene 1 --resource " + samples + " --gizmo 0,1");
  EXPECT_EQ(bad.status, 2);
  ASSERT_EQ(Lines(bad.out).size(), 1u) << bad.out;
}

TEST(FootlightCli, ASceneThatDoesNotLoadIsOneErrorLineAndExitOne) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result r = RunFootlight("run --scene 9 --resource " + samples);
  EXPECT_EQ(r.status, 1) << r.out;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0], "footlight: scene 9 did not load: no scene file resource\\ini\\scene\\9.ini under the resource root");
  EXPECT_EQ(lines[1], "live host blocks: 0");
  const Result other = RunFootlight("run --scene 1 --root stages --resource " + samples);
  EXPECT_EQ(other.status, 1) << other.out;

  for (const char* bad : {"run --scene x", "run --scene -1", "run --ground 1,2", "run --scene 1 --pick 1",
                          "run --scene 1 --ground a,b", "run --scene 1 --root", "classes --scene 1",
                          "run --scene 1 --class CSceneSystem"}) {
    const Result b = RunFootlight(bad);
    EXPECT_EQ(b.status, 2) << bad << "\n" << b.out;
    const auto badLines = Lines(b.out);
    ASSERT_EQ(badLines.size(), 1u) << bad << "\n" << b.out;
    EXPECT_EQ(badLines[0].rfind("footlight: ", 0), 0u) << badLines[0];
  }
}

TEST(FootlightCli, RunListsTheOcclusionSystemsOneSubscriptionAndDestroysItCleanly) {
  const Result r = RunFootlight("run --class COcclusionSystem --frames 2");
  EXPECT_EQ(r.status, 0) << r.out;
  const auto lines = Lines(r.out);
  const auto at = std::find(lines.begin(), lines.end(), "== subscriptions ==");
  ASSERT_NE(at, lines.end()) << r.out;
  ASSERT_GT(lines.end() - at, 2);
  EXPECT_EQ(at[1], "realize COcclusionSystem -2147483648");
  EXPECT_EQ(at[2], "== host log ==");
  EXPECT_NE(r.out.find("objects destroyed: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("live host blocks: 0\n"), std::string::npos) << r.out;
}

}  // namespace

namespace {

// The sample stage's maps as a new user makes them: five files below the resource root, every
// walking area of the walk patch counted.
TEST(FootlightCli, MapsWritesTheSampleStagesWalkMapHeightMapAndPlanform) {
  const auto root = std::filesystem::temp_directory_path() / ("footlight-maps-" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::copy(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", root, std::filesystem::copy_options::recursive);
  const Result r = RunFootlight("maps --scene 1 --resource " + root.string() + " --size 40x30 --out maps\\\\stage");
  ASSERT_EQ(r.status, 0) << r.out;
  auto read = [&](const char* name) {
    std::ifstream in(root / "maps" / "stage" / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // The walk patch spans x and z -10..10 and y 0..1; the entry stands at (0, 8) facing +z.
  for (const char* expected : {"Left= -10.000000", "Bottom= 10.000000", "High= 1.000000",
                               "entry = 0.000000, 0.000000, 8.000000, 1.570796",
                               // 0.5 x 0.667-unit cells: the gap x 8..10, z 2..6 is 4 x 6 cells.
                               "code 0x0f no ground     24 cells", "code 0x10 walking", "code 0x11 dance ",
                               "code 0x12 dance leader", "code 0x13 pk", "code 0x14 dj",
                               "code 0x1f not walking   144 cells"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  for (const char* map : {"walk.tga", "height.tga"}) {
    const std::string bytes = read(map);
    ASSERT_EQ(bytes.size(), 18u + 40u * 30u) << map;
    EXPECT_EQ(bytes.substr(0, 18), std::string({0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 30, 0, 8, 8})) << map;
  }
  // The height map: the floor at y 0 is 127 steps below 127; the step and the riser one less.
  const std::string height = read("height.tga");
  EXPECT_EQ(static_cast<uint8_t>(height[18 + 15 * 40 + 10]), 127);  // x -4.75, z 0.33: the dance floor
  EXPECT_EQ(static_cast<uint8_t>(height[18 + 29 * 40 + 20]), 126);  // z 9.67: the front step
  EXPECT_EQ(read("walk.txt").substr(0, 19), "Left= -10.000000\r\nT");
  EXPECT_EQ(read("height.txt").find("entry"), std::string::npos);
  const std::string bmp = read("planform.bmp");
  ASSERT_GE(bmp.size(), 26u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<uint8_t>(bmp[18]), 40);
  EXPECT_EQ(static_cast<uint8_t>(bmp[22]), 30);
  std::filesystem::remove_all(root);
}

TEST(FootlightCli, MapsAndPathRefuseBadSizesPointsAndScenes) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  for (const char* size : {"0x3", "4x-1", "65536x2", "4x", "x4", "4by4"}) {
    const Result r = RunFootlight("maps --scene 1 --resource " + samples + " --size " + size + " --out m");
    EXPECT_EQ(r.status, 2) << size;
    EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
  }
  for (const char* points : {"1,2 3,4,5", "1,2,3", "1,2,3 4,5,x", "1,2,3 4,5,6 7,8,9", "1,,3 4,5,6"}) {
    const Result r = RunFootlight("path --scene 1 --resource " + samples + " " + points);
    EXPECT_EQ(r.status, 2) << points;
    EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
  }
  const Result missing = RunFootlight("maps --scene 9 --resource " + samples + " --out m");
  EXPECT_EQ(missing.status, 1) << missing.out;
  EXPECT_NE(missing.out.find("scene 9 did not load"), std::string::npos) << missing.out;
}

}  // namespace
