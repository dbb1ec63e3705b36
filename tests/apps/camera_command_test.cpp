// footlight camera, run as a process on the sample tree, and its input file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "apps/footlight/camera_command.h"
#include "support/run_footlight.h"
#include "win32/win32.h"

namespace {

using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

const std::string kSamples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";

std::string Eye(const std::string& line) {
  const size_t at = line.find("  eye ");
  return at == std::string::npos ? "" : line.substr(at + 6, line.find("  at ") - at - 6);
}

std::string WriteInput(const std::string& text) {
  const std::string path = ::testing::TempDir() + "camera_input_" + std::to_string(::getpid()) + ".txt";
  std::ofstream(path) << text;
  return path;
}

}  // namespace

TEST(CameraCli, TheSampleActionFollowsItsAnimationStepByStep) {
  const Result r = RunFootlight("camera --resource " + kSamples + " --action stage_tour --section opening --frames 12 --elapsed 500");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 13u) << r.out;
  // The dolly runs from (0, 4, 16) to (0, 3, 9) over 3000 ms: a sixth each 500 ms frame.
  EXPECT_EQ(Eye(lines[0]), "0.000,3.833,14.833") << lines[0];
  EXPECT_EQ(Eye(lines[3]), "0.000,3.333,11.333") << lines[3];
  EXPECT_NE(lines[0].find("mode action"), std::string::npos);
  EXPECT_NE(lines[0].find("section opening step 0 (dolly)"), std::string::npos);
  // Its 3000 ms step ends at frame 6 and the crane rises from (10, 1.5, 0) to (10, 6, 0) in 2000.
  EXPECT_EQ(Eye(lines[5]), "10.000,1.500,0.000") << lines[5];
  EXPECT_NE(lines[5].find("step 1 (crane)"), std::string::npos);
  EXPECT_EQ(Eye(lines[6]), "10.000,2.625,0.000") << lines[6];
  // The crane plays once; the section ends with it and the view stays where it stopped.
  EXPECT_NE(lines[9].find("no section running"), std::string::npos) << lines[9];
  EXPECT_EQ(Eye(lines[11]), "10.000,6.000,0.000");
  // The renderer's view stands at the eye, looking along -x.
  EXPECT_NE(lines[6].find("view 10.000,2.625,0.000  -> 9.000,2.625,0.000"), std::string::npos) << lines[6];
  EXPECT_EQ(lines[12], "live host blocks: 0");
}

TEST(CameraCli, TheStagesOwnCameraStartsFromItsOriginCamera) {
  Result r = RunFootlight("camera --resource " + kSamples + " --scene 1 --mode look --frames 2");
  ASSERT_EQ(r.status, 0) << r.out;
  // From (0, 4, 16) towards (0, 2, 0): one unit along (0, -2, -16) / |(0, -2, -16)|.
  EXPECT_NE(r.out.find("frame 1  mode look  eye 0.000,4.000,16.000  at 0.000,2.000,0.000  view 0.000,4.000,16.000  -> "
                       "0.000,3.876,15.008"),
            std::string::npos)
      << r.out;
  r = RunFootlight("camera --resource " + kSamples + " --scene 1 --action stage_tour --section closing --loop --frames 8 "
                   "--elapsed 700");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto lines = Lines(r.out);
  // The sweep at 700 ms: -8 + 16 x 700/1500 ... of its first leg, 8/1500 a ms.
  EXPECT_EQ(Eye(lines[0]), "-4.267,3.000,12.000") << r.out;
  EXPECT_NE(r.out.find("step 1 (dolly)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nlive host blocks: 0\n"), std::string::npos) << r.out;
}

TEST(CameraCli, InputTurnsTheFreeFlyingCamera) {
  const std::string input = WriteInput("# fly forward, then turn by the cursor\n1 keydown W\n1 lbuttondown 400,300\n"
                                       "2 mousemove 500,300\n3 keyup w\n");
  const Result r = RunFootlight("camera --input " + input + " --frames 3 --elapsed 100");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto lines = Lines(r.out);
  // 1 unit along -z, then 1 rad to the right (100 pixels x 0.0001 x 100 ms) and 1 more unit.
  EXPECT_EQ(Eye(lines[0]), "0.000,0.000,-1.000");
  EXPECT_EQ(Eye(lines[1]), "-0.841,0.000,-1.540");
  EXPECT_EQ(Eye(lines[2]), "-0.841,0.000,-1.540");
}

TEST(CameraCli, BadInputIsOneLineAndAFailingStatus) {
  struct Case {
    std::string args;
    int status;
    std::string message;
  };
  const std::string bad = WriteInput("1 keydown W\n\n9 wheel 120\n");
  // An action whose animation names a folder.
  const std::string tree = ::testing::TempDir() + "camera_tree_" + std::to_string(::getpid());
  std::filesystem::create_directories(tree + "/resource/ini/Brivanta/common");
  std::ofstream(tree + "/resource/ini/Brivanta/common/folder.ini") << "defaultPaths=resource\\ini\n[opening]\naction=dolly\n";
  const Case cases[] = {
      {"camera --mode fly", 2,
       "footlight: option --mode takes a camera mode: free, first, orbit, auto, look or point, got \"fly\""},
      {"camera --input /no/such/input.txt", 2, "footlight: cannot open /no/such/input.txt: no such file or directory"},
      {"camera --input " + kSamples, 1, "footlight: cannot read input file " + kSamples + ": is a folder"},
      {"camera --frames 4 --input " + bad, 2, "footlight: " + bad + " line 3: frame 9 is past the last frame (4)"},
      {"camera --resource " + kSamples + " --action nothing", 1,
       "footlight: the camera action \"nothing\" did not load: cannot open resource\\ini\\Brivanta\\common\\nothing.ini "
       "below the resource root \"" + kSamples + "\": no such file"},
      {"camera --resource " + tree + " --action folder", 1,
       "footlight: the camera action \"folder\" did not load: its file resource\\ini\\Brivanta\\common\\folder.ini "
       "opened but its animation did not load: resource\\ini: cannot read animation file " + tree +
           "/resource/ini: is a folder"},
      {"camera --section intro", 2, "footlight: --section and --loop need --action NAME"},
      {"camera --resource " + kSamples + " --scene 99", 1,
       "footlight: scene 99 did not load: cannot open resource\\ini\\scene\\99.ini below the resource root \"" +
           kSamples + "\": no such file"},
  };
  for (const Case& c : cases) {
    const Result r = RunFootlight(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out).front(), c.message) << c.args;
  }
  std::filesystem::remove_all(tree);
}

TEST(CameraCli, InputLinesNameTheirMessageKeyAndPosition) {
  std::vector<footlight::CameraInputLine> lines;
  std::string error;
  ASSERT_TRUE(footlight::ParseCameraInput("# a comment\n2 keydown ctrl\n2 keyup a\n3 rbuttondown 10,20\n4 wheel -120\n"
                                          "5 keydown 107\n",
                                          5, &lines, &error))
      << error;
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].key, VK_CONTROL);
  EXPECT_EQ(lines[1].key, 'A');
  EXPECT_EQ(lines[1].message, WM_KEYUP);
  EXPECT_EQ(lines[2].x, 10);
  EXPECT_EQ(lines[2].y, 20);
  EXPECT_EQ(lines[3].wheel, -120);
  EXPECT_EQ(lines[4].key, VK_ADD);
  const std::pair<const char*, const char*> bad[] = {
      {"0 keydown A\n", "line 1: the frame \"0\" is not a whole number from 1"},
      {"1 press A\n", "line 1: unknown message \"press\""},
      {"1 keydown shift\n", "line 1: \"shift\" is no key"},
      {"1 mousemove 3\n", "line 1: \"3\" is no position X,Y"},
      {"1 wheel 99999\n", "line 1: the wheel delta \"99999\" is not a whole number"},
      {"1 keyup A B\n", "line 1: one argument too many, \"B\""},
      {"3 keydown A\n\n2 keyup A\n", "line 3: frame 2 comes after frame 3 (lines go in frame order)"},
  };
  for (const auto& [text, why] : bad) {
    lines.clear();
    EXPECT_FALSE(footlight::ParseCameraInput(text, 5, &lines, &error)) << text;
    EXPECT_EQ(error, why);
  }
}
