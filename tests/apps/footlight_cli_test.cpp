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

using footlight_testing::CountLines;
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

// Whether the run reported the shared object `library` (a soname's start, "libavcodec.so") as
// one the dynamic loader started, under LD_DEBUG=libs.
bool Started(const Result& r, const std::string& library) {
  for (const std::string& line : Lines(r.out))
    if (line.find("calling init: ") != std::string::npos && line.find("/" + library) != std::string::npos) return true;
  return false;
}

TEST(FootlightCli, OnlyTheFirstTextOrMediaFileOrDrawingMapsTheFontMediaOrRasteriserLibraries) {
  const std::vector<std::string> fonts = {"libfreetype.so", "libfontconfig.so"};
  const std::vector<std::string> media = {"libavutil.so", "libavcodec.so", "libavformat.so", "libswscale.so",
                                          "libswresample.so"};
  // The rasteriser's library, which the address-checking build links at start.
#if defined(__SANITIZE_ADDRESS__)
  constexpr bool kRasteriserAtStart = true;
#else
  constexpr bool kRasteriserAtStart = false;
#endif
  const std::string rasteriser = "libOSMesa.so";
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result classes = RunFootlight("classes", "", "LD_DEBUG=libs");
  ASSERT_EQ(classes.status, 0) << classes.out;
  // The loader's report is read right: the module it starts is in it.
  ASSERT_TRUE(Started(classes, "libfootlight.so")) << classes.out;
  for (const std::string& library : fonts) EXPECT_FALSE(Started(classes, library)) << library;
  for (const std::string& library : media) EXPECT_FALSE(Started(classes, library)) << library;

  // Commands whose output is text only draw nothing anyone sees: they never start the rasteriser.
  for (const std::string& textOnly :
       {"lights resource/ini/scene/light/1.ini --time 100 --resource " + samples,
        "object 10005 --scene 1 --frames 3 --resource " + samples}) {
    const Result r = RunFootlight(textOnly, "", "LD_DEBUG=libs");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Started(r, rasteriser), kRasteriserAtStart) << textOnly;
  }

  const Result text =
      RunFootlight("object 10005 --scene 1 --draw --title Name --font 0 --frames 1 --resource " + samples, "",
                   "LD_DEBUG=libs");
  ASSERT_EQ(text.status, 0) << text.out;
  for (const std::string& library : fonts) EXPECT_TRUE(Started(text, library)) << library;
  for (const std::string& library : media) EXPECT_FALSE(Started(text, library)) << library;
  EXPECT_TRUE(Started(text, rasteriser));

  const Result video = RunFootlight("video 'video\\sample.wmv' --frames 2 --resource " + samples + "/resource", "",
                                    "LD_DEBUG=libs");
  ASSERT_EQ(video.status, 0) << video.out;
  for (const std::string& library : media) EXPECT_TRUE(Started(video, library)) << library;
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

// A scratch resource root holding the sample light files, removed with it.
struct LightRoot {
  LightRoot() {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    for (const char* name : {"1.ini", "2.ini"})
      std::filesystem::copy_file(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/ini/scene/light/" + name,
                                 path + "/" + name);
  }
  ~LightRoot() { std::filesystem::remove_all(path); }
  const std::string path = ::testing::TempDir() + "footlight_lights_" + std::to_string(getpid());
};

TEST(FootlightCli, LightsSavesEveryKeyAndASecondSaveIsByteIdentical) {
  const LightRoot root;
  const Result a = RunFootlight("lights 2.ini --time 0 --save first.ini --resource " + root.path);
  ASSERT_EQ(a.status, 0) << a.out;
  EXPECT_NE(a.out.find("\nwrote " + root.path + "/first.ini\n"), std::string::npos) << a.out;
  const Result b = RunFootlight("lights first.ini --time 0 --save second.ini --resource " + root.path);
  ASSERT_EQ(b.status, 0) << b.out;
  const std::string saved = ReadAll(root.path + "/first.ini");
  EXPECT_EQ(saved, ReadAll(root.path + "/second.ini"));
  // The reloaded file reports the same lights and groups.
  auto report = [](const std::string& out) {
    return out.substr(out.find("== "), out.find("wrote ") - out.find("== "));
  };
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
  const std::string name = "footlight_hostile_lights_" + std::to_string(getpid()) + ".ini";
  const std::string file = ::testing::TempDir() + name;
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const Result r = RunFootlight("lights " + name + " --time 300 --tick 100 --resource " + ::testing::TempDir());
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
  const LightRoot root;
  const std::string dir = root.path + "/full";
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
  const std::string cmd = "sh -c \"trap '' XFSZ; ulimit -f 1; exec " + std::string(FOOTLIGHT_BINARY_DIR) +
                          "/footlight lights 2.ini --time 0 --save full/out.ini --resource " + root.path + "\" 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  const int raw = pclose(p);
  ASSERT_TRUE(WIFEXITED(raw)) << out;
  EXPECT_EQ(WEXITSTATUS(raw), 1) << out;
  EXPECT_NE(out.find("footlight: light file full/out.ini was not saved whole"), std::string::npos) << out;
  EXPECT_NE(out.find("cannot write"), std::string::npos) << out;
  EXPECT_EQ(ReadAll(dir + "/out.ini"), "");
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir + "')\"").c_str()), 0) << "a temporary file was left behind";
}

TEST(FootlightCli, LightsRunsTheSampleLightFileAndSavesItBackEqual) {
  const LightRoot root;
  const Result first = RunFootlight("lights 1.ini --time 500 --tick 100 --save saved.ini --resource " + root.path);
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find("9 lights, 3 groups"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("\"sun\" type 1 on slot 0"), std::string::npos) << first.out;
  // The written file, run the same way, reports the same lights, groups and slots.
  const Result second = RunFootlight("lights saved.ini --time 500 --tick 100 --resource " + root.path);
  ASSERT_EQ(second.status, 0) << second.out;
  auto report = [](const std::string& out) {
    const std::string from = out.substr(out.find("== "));
    return from.substr(0, from.find("== renderer log"));
  };
  EXPECT_EQ(report(first.out).substr(0, report(first.out).find("wrote")), report(second.out)) << first.out;
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

// One input per kind of error, each refused with its one line and status 2 before anything runs.
// Over 20 s under the sanitizers: each of the 24 inputs is a start of the instrumented program,
// since the exit status and the one line are the program's own.
TEST(FootlightCli, BadArgumentsAreOneLineInTheSharedWordingAndStatusTwo) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "no command given (see footlight --help)"},
      {"dance", "unknown command \"dance\" (see footlight --help)"},
      {"run --frames", "option --frames needs a value"},
      {"run --frames many", "option --frames takes a whole number from 0, got \"many\""},
      {"run --class NoSuchClass", "the module has no class named \"NoSuchClass\""},
      {"run --resource /nonexistent/tree", "option --resource takes a folder, got \"/nonexistent/tree\""},
      {"run --keys 0x100",
       "option --keys takes virtual keys 1-254, decimal or 0x hex, separated by commas, got \"0x100\""},
      {"run --class CSceneSystem --gamma 0", "option --gamma takes a number above 0, got \"0\""},
      {"run --class CGlow --gamma 2", "--gamma needs a scene system among the classes (--class CSceneSystem)"},
      {"run --class CSceneSystem --gizmo 1,2", "option --gizmo takes a point X,Y,Z, got \"1,2\""},
      {"run --clear 255",
       "option --clear takes a colour RRGGBB or 0xRRGGBB in hexadecimal (255 is 0x0000FF), got \"255\""},
      {"lights", "lights needs FILE (see footlight lights --help)"},
      {"lights a.ini b.ini", "unexpected argument \"b.ini\" for lights (see footlight lights --help)"},
      {"tree", "tree needs a command: run, build, query (see footlight tree --help)"},
      {"path --scene 1 1,2 3,4,5", "FROM takes a point X,Y,Z, got \"1,2\""},
      {"maps --scene 1 --out m --size 4097x16", "option --size takes a size WxH, each 1 to 4096, got \"4097x16\""},
      {"camera --png p.png", "--png needs --scene N: a camera alone draws nothing"},
      {"object 10005 --png p.png", "--png needs --draw: the object is drawn only then"},
      {"object 10005 --draw --png p.png", "--png needs --scene N: without a stage there is no view to draw"},
      {"run --glow-strength 1000", "option --glow-strength takes a whole number from 0 to 100, got \"1000\""},
      {"portals m.obj --frames 2 --next-cell 3", "--next-cell 3 is past the last frame (--frames 2)"},
      {"terrain h.r16 --eye 1,2,3 --at 1,2,3", "--eye and --at are the same point: the view looks nowhere"},
      {"helpers", "helpers needs --scene N or a helper-point FILE"},
      {"--version extra", "unknown command \"extra\" (see footlight --help)"},
  };
  for (const auto& [args, line] : cases) {
    const Result r = RunFootlight(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{"footlight: " + line}) << args;
  }
  const std::string noEntry = std::string(FOOTLIGHT_BINARY_DIR) + "/libfootlight_no_entry.so";
  for (const auto& [args, line] :
       std::vector<std::pair<std::string, std::string>>{{"--lib /nonexistent/libfootlight.so classes",
                                                         "footlight: cannot load /nonexistent/libfootlight.so: "},
                                                        {"--lib " + noEntry + " classes",
                                                         "footlight: " + noEntry + " has no DMAInterface symbol"}}) {
    const Result r = RunFootlight(args);
    EXPECT_EQ(r.status, 2) << args;
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(r.out.rfind(line, 0), 0u) << r.out;
  }
}

// A library whose class list lacks the scene system ends each command that stands on one with the
// same line and status 1, before anything is made of what the library does list.
TEST(FootlightCli, ALibraryWithoutTheSceneSystemIsTheSameOneLineInEveryCommand) {
  const std::string lib = "--lib " + std::string(FOOTLIGHT_BINARY_DIR) + "/libfootlight_other_class.so ";
  for (const char* args : {"run --scene 1", "maps --scene 1 --out m", "path --scene 1 0,0,0 1,0,1", "camera --scene 1",
                           "helpers --scene 1", "object 10005"}) {
    const Result r = RunFootlight(lib + args);
    EXPECT_EQ(r.status, 1) << args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"footlight: the module has no class named \"CSceneSystem\"",
                                                      "live host blocks: 0"}))
        << args;
  }
}

// Every command and subcommand of tree: its help names its own options and no other command's
// (each marker below is an option of one command alone), and an unknown option is refused.
// Over 20 s under the sanitizers, and kept whole: the help and the refusal are what the program
// itself prints, so each of the 37 cases is a start of the instrumented program (about 1 s each).
TEST(FootlightCli, EveryCommandPrintsItsOwnHelpAndRefusesAnUnknownOption) {
  const std::pair<const char*, const char*> commands[] = {
      {"classes", ""},           {"run", "--glow-blend"},       {"lights", "--tick"},
      {"portals", "--next-cell"}, {"tree", ""},                  {"tree run", "--occluder"},
      {"tree build", "--colour"}, {"tree query", "--bounds"},    {"terrain", "--paint-layer"},
      {"video", "--reader"},      {"maps", "--out"},             {"path", "FROM"},
      {"film", "--where"},        {"helpers", "helper-point"},   {"play", "--speed"},
      {"record", "--script"},     {"object", "--afterimage"},    {"camera", "--loop"},
  };
  for (const auto& [command, marker] : commands) {
    const Result help = RunFootlight(std::string(command) + " --help");
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_NE(help.out.find(std::string("Usage: footlight ") + command + " "), std::string::npos) << help.out;
    for (const auto& [other, otherMarker] : commands) {
      if (*otherMarker != '\0') {
        EXPECT_EQ(help.out.find(otherMarker) != std::string::npos, std::string(other) == command)
            << command << " --help and " << otherMarker << "\n" << help.out;
      }
    }
    const Result bad = RunFootlight(std::string(command) + " --bogus");
    EXPECT_EQ(bad.status, 2) << command;
    EXPECT_EQ(Lines(bad.out), std::vector<std::string>{std::string("footlight: unknown option --bogus for ") + command +
                                                        " (see footlight " + command + " --help)"});
  }
  const Result top = RunFootlight("--help");
  EXPECT_EQ(top.status, 0);
  for (const auto& [command, marker] : commands) {
    if (std::string(command).find(' ') == std::string::npos) {
      EXPECT_EQ(CountLines(top.out, std::string("  ") + command + " "), 1u) << command << "\n" << top.out;
    }
  }
}

TEST(FootlightCli, TheVersionAndOptionsWrittenWithAnEqualsSign) {
  const Result version = RunFootlight("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("footlight ", 0), 0u) << version.out;
  EXPECT_EQ(Lines(version.out).size(), 1u) << version.out;
  const Result r = RunFootlight("run --class=CGlow --frames=2 --elapsed=5");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("objects created: 1\nobjects destroyed: 1\nframes: 2\n"), std::string::npos) << r.out;
}

// A module path that starts with / would have been written below the root under another name.
TEST(FootlightCli, AnAbsoluteModulePathIsRefusedAndNothingIsWritten) {
  const std::filesystem::path root =
      std::filesystem::path(::testing::TempDir()) / ("footlight-absolute-" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  const std::string target = root.string() + "/maps";
  const Result r = RunFootlight("maps --scene 1 --resource " + root.string() + " --out " + target);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{"footlight: option --out takes a path below the resource root "
                                                   "(--resource DIR), not \"" + target +
                                                   "\": a path starting with / is refused"});
  EXPECT_TRUE(std::filesystem::is_empty(root));
  std::filesystem::remove_all(root);
}

// The one line for a file that does not open: the file, the root, the reason, and the hint when
// the root is the default.
TEST(FootlightCli, AFileThatDoesNotOpenNamesItsRootAndTheReason) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result here = RunFootlight("lights nosuch.ini", samples);
  EXPECT_EQ(here.status, 1);
  EXPECT_EQ(Lines(here.out), std::vector<std::string>{"footlight: cannot open nosuch.ini below the resource root "
                                                      "\".\": no such file (use --resource DIR)"});
  const Result given = RunFootlight("portals resource/models/none.obj --resource " + samples);
  EXPECT_EQ(given.status, 1);
  EXPECT_EQ(Lines(given.out),
            std::vector<std::string>{"footlight: cannot open resource/models/none.obj below the resource root \"" +
                                     samples + "\": no such file"});
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
  const size_t on = calls.find("\nD3DRS_STENCILENABLE = 1\n");
  const size_t clip = calls.find("\nclip plane 0 = 1 0 0 9.5\n");
  const size_t off = calls.find("\nD3DRS_STENCILENABLE = 0\n");
  EXPECT_TRUE(on < clip && clip < off && off != std::string::npos) << calls;
  EXPECT_NE(calls.find("\ndraw slot 55, "), std::string::npos);
  EXPECT_NE(calls.find("\nstage 0 D3DTSS_COLOROP = "), std::string::npos);
  EXPECT_NE(calls.find("\nD3DTS_VIEW "), std::string::npos);
  EXPECT_NE(r.out.find("live host blocks: 0"), std::string::npos);

  const Result late = RunFootlight("run --scene 1 --frames 3 --trace 4 --resource " + samples);
  EXPECT_EQ(late.status, 2);
  EXPECT_EQ(Lines(late.out), std::vector<std::string>{"footlight: --trace 4 is past the last frame (--frames 3)"});
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

}

TEST(FootlightCli, ABackdropThatIsNoFileIsOneErrorLineAndExitOne) {
  // A device never ends: it is refused before a byte of it is read.
  const Result r = RunFootlight("run --backdrop /dev/zero");
  EXPECT_EQ(r.status, 1) << r.out;
  const auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "footlight: cannot read backdrop file /dev/zero: is not a regular file");
}

TEST(FootlightCli, ASceneThatDoesNotLoadIsOneErrorLineAndExitOne) {
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const Result r = RunFootlight("run --scene 9 --resource " + samples);
  EXPECT_EQ(r.status, 1) << r.out;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0], "footlight: scene 9 did not load: cannot open resource\\ini\\scene\\9.ini below the resource "
                      "root \"" + samples + "\": no such file");
  EXPECT_EQ(lines[1], "live host blocks: 0");
  const Result other = RunFootlight("run --scene 1 --root stages --resource " + samples);
  EXPECT_EQ(other.status, 1) << other.out;

  const std::pair<const char*, const char*> crossed[] = {
      {"run --ground 1,2", "--root, --ground, --pick and --trace need --scene N"},
      {"run --scene 1 --class CSceneSystem",
       "--scene makes its own scene system: no --class, --gamma, --ini, --keys or --clock with it"}};
  for (const auto& [bad, line] : crossed) {
    const Result b = RunFootlight(bad);
    EXPECT_EQ(b.status, 2) << bad;
    EXPECT_EQ(Lines(b.out), std::vector<std::string>{std::string("footlight: ") + line});
  }
}

TEST(FootlightCli, RunListsTheOcclusionSystemsOneSubscriptionAndDestroysItCleanly) {
  const Result r = RunFootlight("run --class COcclusionSystem --frames 2 --verbose");
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
  // Each file written is echoed with the path it has on disk.
  EXPECT_EQ(CountLines(r.out, "wrote "), 5u) << r.out;
  for (const std::string& line : Lines(r.out)) {
    if (line.rfind("wrote ", 0) == 0) {
      EXPECT_EQ(std::filesystem::path(line.substr(6)).parent_path(), root / "maps" / "stage") << line;
    }
  }
  std::filesystem::remove_all(root);
}

}  // namespace
