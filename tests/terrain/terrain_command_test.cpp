// footlight terrain, run as a process over the committed samples.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/wait.h>

#include <cstdio>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "apps/footlight/terrain_command.h"
#include "sample_generator.h"
#include "support/temp_tree.h"

namespace {

struct Result {
  int status = -1;
  std::string out;
};

Result RunTerrain(const std::string& args) {
  const std::string cmd = "cd '" + std::string(FOOTLIGHT_SOURCE_DIR) + "' && " + FOOTLIGHT_BINARY_DIR +
                          "/footlight terrain " + args + " 2>&1";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST(TerrainCommand, PrintsFramesRaysAndHeightsOfTheSampleHills) {
  const Result r = RunTerrain(
      "resource/terrain/hills.r16 --resource samples --frames 2 --eye 600,120,300 --at 200,0,300 "
      "--ray 300,400,300:300,-100,300 --ray -50,10,-50:-10,-10,-30 --height 256,256 --height 5000,1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("513 x 513 samples"), std::string::npos) << r.out;
  const std::regex frame(R"(frame (\d): (\d+) blocks, patches by level( \d+){6}, (\d+) draws, (\d+) triangles, (\d+) vertices, 0 discards)");
  int frames = 0;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), frame), end; it != end; ++it) {
    ++frames;
    EXPECT_GT(std::stoi((*it)[2]), 0);
    EXPECT_GT(std::stoi((*it)[4]), 0);
  }
  EXPECT_EQ(frames, 2) << r.out;
  // A vertical ray comes down on the ridge at (300, 300): 20 + 3 x 40 of ridge, less or more one.
  const std::regex ray(R"(ray \(300\.000, 400\.000, 300\.000\) to \(300\.000, -100\.000, 300\.000\): t ([0-9.]+) point \(300\.000, ([0-9.]+), 300\.000\) normal)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, ray)) << r.out;
  EXPECT_NEAR(std::stod(m[2]), 140.0, 1.5);
  EXPECT_NEAR(std::stod(m[1]), (400.0 - std::stod(m[2])) / 500.0, 1e-5);
  EXPECT_NE(r.out.find("ray (-50.000, 10.000, -50.000) to (-10.000, -10.000, -30.000): no hit"), std::string::npos);
  EXPECT_NE(r.out.find("height (256.000, 256.000): 14"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("height (5000.000, 1.000): outside the field"), std::string::npos);
  EXPECT_NE(r.out.find("live host blocks: 0"), std::string::npos);
}

// Each check the command makes once: the argument checks in process through the command's own
// parser (a footlight run per case cost minutes under the sanitizers), a check the parser leaves
// to the run as a process; then one run per way the whole command fails. Those ten runs of the
// instrumented program still take 15-25 s under the sanitizers, one per failure the run reports.
TEST(TerrainCommand, BadInputGivesOneErrorLine) {
  const std::string root = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  for (const std::string& args : std::vector<std::string>{
           "--resource " + root,  // no height file
           "h.r16 --resource " + root + "/no/such/folder",
           "h.r16 --eye 1,2",
           "h.r16 --scale 1e38",  // heights times it would put the eye at infinity
           "h.r16 --frames 0",
           "h.r16 --size 800",
           "h.r16 --size 5000x10",
           "h.r16 --brush 0,3",
           "h.r16 --brush 3,3,1",
           "h.r16 --brush 3,3,4,1",
           "h.r16 --raise 1,2",
           "h.r16 --set 1,1,40000",
           "h.r16 --raise 800,1,3",
           "h.r16 --paint 1,1",
           "h.r16 --mask m.pgm",
           "h.r16 --paint 1,1:1,900 --mask m.pgm --paint-layer rock.dds",
           "h.r16 --click 1,1@1",
           "h.r16 --editor --click 1,1",
           "h.r16 --editor --click 1@1",
           "h.r16 --editor --click 1,1@0",
           "h.r16 --editor --click 800,1@1",
           "h.r16 --editor --frames 2 --click 1,1@3",
           "h.r16 --editor --click",
       }) {
    std::vector<std::string> words{"terrain"};
    std::istringstream in(args);
    for (std::string w; in >> w;) words.push_back(w);
    footlight::cli::Program program;
    footlight::AddTerrainCommand(program);
    std::string error;
    if (!program.ParseQuietly(words, &error)) {
      EXPECT_FALSE(error.empty()) << args;
      EXPECT_EQ(error.find('\n'), std::string::npos) << args << "\n" << error;
      continue;
    }
    const Result r = RunTerrain(args + (args.find("--resource") == std::string::npos ? " --resource samples" : ""));
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out), 1) << args << "\n" << r.out;
  }
  for (const auto& [args, status] : std::vector<std::pair<std::string, int>>{
           {"resource/terrain/hills.r16 --resource samples --eye 1,2", 2},
           {"resource/terrain/missing.r16 --resource samples", 1},
           {"resource/terrain/grass.dds --resource samples", 1},
           {"resource/terrain/hills.r16 --resource samples --layer missing.dds", 1},
           {"resource/terrain --resource samples", 1},  // a folder as the height file
           {"resource/terrain/hills.r16 --resource samples --brush 5,5 --paint 1,1 --mask resource/terrain/mask16.pgm "
            "--paint-layer rock.dds", 2},
           {"resource/terrain/hills.r16 --resource samples --paint 1,1 --mask resource/terrain/none.pgm "
            "--paint-layer rock.dds", 1},
           {"resource/terrain/hills.r16 --resource samples --paint 1,1 --mask resource/terrain/grass.dds "
            "--paint-layer rock.dds", 1},
           {"resource/terrain/hills.r16 --resource samples --paint 1,1 --mask resource/terrain "
            "--paint-layer rock.dds", 1},
           {"resource/terrain/hills.r16 --resource samples --paint 1,1 --mask resource/terrain/mask16.pgm "
            "--paint-layer none.dds", 1},
       }) {
    const Result r = RunTerrain(args);
    EXPECT_EQ(r.status, status) << args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out), 1) << args << "\n" << r.out;
  }
}

TEST(TerrainCommand, TheDefaultEyeSeesAFieldLyingFarBelowTheGround) {
  // Every sample at the lowest height: the eye must come down to the field to see it.
  testing_support::TempTree tree;
  std::filesystem::create_directories(tree.Root() + "/resource/terrain");
  std::filesystem::copy(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/terrain", tree.Root() + "/resource/terrain",
                        std::filesystem::copy_options::recursive);
  std::vector<uint8_t> low(513 * 513 * 2);
  for (size_t i = 1; i < low.size(); i += 2) low[i] = 0x80;
  tree.Put("resource/terrain/low.r16", low);
  const Result r = RunTerrain("resource/terrain/low.r16 --resource " + tree.Root());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("at (256.000, -32768.000, 256.000)"), std::string::npos) << r.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(frame 1: (\d+) blocks)"))) << r.out;
  EXPECT_GT(std::stoi(m[1]), 0) << r.out;
}

// Straight down on the hills at (300, 300): the middle pixel of a 200 x 200 view.
constexpr char kOverHills[] =
    "resource/terrain/hills.r16 --resource samples --eye 300,400,300 --at 300,0,300 --size 200x200 ";

TEST(TerrainCommand, RaisesTheGroundUnderThePixelWithAConeBrush) {
  const Result r = RunTerrain(std::string(kOverHills) + "--brush 5,5 --raise 100,100,10 --height 300,300");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_NE(r.out.find("raise 10 at pixel (100, 100): 9 heights changed"), std::string::npos) << r.out;
  const std::vector<int16_t> hills = terrain_samples::HillHeights();
  const std::regex line(R"(  \((\d+), (\d+)\): (-?\d+) -> (-?\d+))");
  std::map<std::pair<int, int>, std::pair<int, int>> changes;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), line), end; it != end; ++it)
    changes[{std::stoi((*it)[1]), std::stoi((*it)[2])}] = {std::stoi((*it)[3]), std::stoi((*it)[4])};
  ASSERT_EQ(changes.size(), 9u);
  // The hot spot of a 5 x 5 brush is its middle cell: weight 1 on (300, 300), 1/2 beside it,
  // 1 - sqrt(1/2) on the diagonals, 0 on the rim.
  for (const auto& [point, heights] : changes) {
    const int dx = point.first - 300, dz = point.second - 300;
    ASSERT_TRUE(std::abs(dx) <= 1 && std::abs(dz) <= 1) << point.first << "," << point.second;
    EXPECT_EQ(heights.first, hills[static_cast<size_t>(point.first) * 513 + point.second]);
    const double w = 1.0 - std::sqrt(dx * dx / 4.0 + dz * dz / 4.0);
    EXPECT_EQ(heights.second, static_cast<int>(std::trunc(heights.first + 10.0 * w)));
  }
  const int top = changes[{300, 300}].second;
  EXPECT_NE(r.out.find("height (300.000, 300.000): " + std::to_string(top) + ".000"), std::string::npos) << r.out;

  const Result set = RunTerrain(std::string(kOverHills) + "--brush 3,3,1,1 --set 100,100,-8");
  ASSERT_EQ(set.status, 0) << set.out;
  // The hot spot on the corner cell: (300, 300) only is weighted 1, the rest of the brush 0 or less than 1.
  EXPECT_NE(set.out.find("(300, 300): " + std::to_string(hills[300 * 513 + 300]) + " -> -8"), std::string::npos)
      << set.out;
  const Result sky = RunTerrain(std::string(kOverHills) + "--eye 300,400,5000 --at 300,500,6000 --raise 100,0,5");
  EXPECT_EQ(sky.status, 0);
  EXPECT_NE(sky.out.find("raise 5 at pixel (100, 0): no ground under the pixel"), std::string::npos) << sky.out;
}

// Over 20 s under the thread checker: two runs of the instrumented program, each loading the
// hills and building every patch before it paints; a stroke must cross a patch border to show
// the blend maps of two patches, so neither run can be made smaller.
TEST(TerrainCommand, PaintsALayerAlongAStroke) {
  // One click: the 9 x 9 brush round (300, 300) lies inside patch (9, 9) and takes the whole mask.
  const Result click =
      RunTerrain(std::string(kOverHills) + "--paint 100,100 --mask resource/terrain/mask16.pgm --paint-layer rock.dds");
  ASSERT_EQ(click.status, 0) << click.out;
  const std::vector<uint8_t> mask = terrain_samples::BrushMask();
  int lit = 0;
  for (size_t i = mask.size() - 256; i < mask.size(); ++i) lit += mask[i] != 0;
  EXPECT_NE(click.out.find("patch (9, 9): 2 slots: grass.dds | rock.dds + blendMap_0_9_9.dds (" + std::to_string(lit) +
                           " painted texels)"),
            std::string::npos)
      << click.out;
  EXPECT_NE(click.out.find("1 patches painted"), std::string::npos);

  const Result stroke = RunTerrain(std::string(kOverHills) +
                                   "--paint 100,100:130,100 --mask resource/terrain/mask16.pgm --paint-layer rock.dds");
  ASSERT_EQ(stroke.status, 0) << stroke.out;
  const std::regex patch(R"(patch \((\d+), (\d+)\): 2 slots: grass\.dds \| rock\.dds \+ blendMap_0_(\d+)_(\d+)\.dds \((\d+) painted texels\))");
  int patches = 0;
  for (std::sregex_iterator it(stroke.out.begin(), stroke.out.end(), patch), end; it != end; ++it) {
    ++patches;
    EXPECT_EQ((*it)[1], (*it)[3]);
    EXPECT_EQ((*it)[2], (*it)[4]);
    EXPECT_GT(std::stoi((*it)[5]), 0);
    EXPECT_LE(std::stoi((*it)[5]), 4096);
  }
  EXPECT_GE(patches, 2) << stroke.out;  // a stroke of 30 pixels crosses a patch border
  EXPECT_NE(stroke.out.find(std::to_string(patches) + " patches painted"), std::string::npos) << stroke.out;
  EXPECT_NE(stroke.out.find("live host blocks: 0"), std::string::npos);
}

// The sample tree with scene 1's walk patch widened to a flat ground under the whole field: the
// sample stage's own patch covers only the stage round the origin, far from the walker.
// Over 20 s under the thread checker: one run of the instrumented program that loads the
// sample tree, the hills and the editor and draws eight frames; the walker needs three frames
// still and five moving to show its heading and speed.
TEST(TerrainCommand, TheEditorWalksTheWalkerTowardTheClickedGround) {
  testing_support::TempTree tree;
  std::filesystem::copy(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", tree.Root(),
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  // The sample field walk patch over the whole terrain, as scripts/editor.sh puts it in place.
  std::filesystem::copy_file(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/editor/walk_patch.obj",
                             tree.Root() + "/resource/models/stage/walk_patch.obj",
                             std::filesystem::copy_options::overwrite_existing);
  // The top left corner of the view looks past the field and finds no ground; a pixel low on the
  // left finds it near the walker.
  const Result r = RunTerrain("resource/terrain/hills.r16 --resource " + tree.Root() +
                              " --editor --frames 8 --click 20,20@2 --click 100,500@4 --height 222,333");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("click (20, 20) before frame 2: no ground under the pixel"), std::string::npos) << r.out;
  std::smatch m;
  // The walker stands on the field, not under it: the patch follows the ground every 8 samples,
  // the ground ripples by a unit between them.
  const std::regex ground(R"(height \(222\.000, 333\.000\): (-?[0-9.]+) )");
  ASSERT_TRUE(std::regex_search(r.out, m, ground)) << r.out;
  const double groundHeight = std::stod(m[1]);
  const std::regex placed(R"(  walker \(222\.000, (-?[0-9.]+), 333\.000\))");
  ASSERT_TRUE(std::regex_search(r.out, m, placed)) << r.out;
  EXPECT_NEAR(std::stod(m[1]), groundHeight, 2.0) << r.out;
  const std::regex click(R"(click \(100, 500\) before frame 4: ground \((-?[0-9.]+), -?[0-9.]+, (-?[0-9.]+)\))");
  ASSERT_TRUE(std::regex_search(r.out, m, click)) << r.out;
  const double gx = std::stod(m[1]), gz = std::stod(m[2]);
  std::vector<std::array<double, 3>> walker;  // x, z, yaw per frame
  const std::regex line(R"(  walker \((-?[0-9.]+), (-?[0-9.]+), (-?[0-9.]+)\) yaw (-?[0-9.]+))");
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), line), end; it != end; ++it)
    walker.push_back({std::stod((*it)[1]), std::stod((*it)[3]), std::stod((*it)[4])});
  ASSERT_EQ(walker.size(), 8u) << r.out;
  // Placed where the editor puts it, it stays there until the click that finds ground.
  for (size_t f = 0; f < 3; ++f) {
    EXPECT_DOUBLE_EQ(walker[f][0], 222.0);
    EXPECT_DOUBLE_EQ(walker[f][1], 333.0);
  }
  ASSERT_GT(std::hypot(gx - 222.0, gz - 333.0), 0.5) << r.out;  // a point it does not reach in 5 frames
  // Then it faces the point (heading from +z toward +x, in 0..2 pi) and closes in 3 units a second,
  // 0.048 a frame of 16 ms.
  const double twoPi = 6.283185307179586;
  const double heading = std::fmod(std::atan2(gx - 222.0, gz - 333.0) + twoPi, twoPi);
  double distance = std::hypot(gx - 222.0, gz - 333.0);
  for (size_t f = 3; f < walker.size(); ++f) {
    const double now = std::hypot(gx - walker[f][0], gz - walker[f][1]);
    EXPECT_NEAR(distance - now, 0.048, 0.002) << "frame " << f + 1;
    EXPECT_NEAR(walker[f][2], heading, 0.002);
    distance = now;
  }
  EXPECT_NE(r.out.find("live host blocks: 0"), std::string::npos);
}

TEST(TerrainCommand, WritesTheLastFrameAsAPictureOfTheViewsSize) {
  testing_support::TempTree tree;
  const std::string png = tree.Root() + "/terrain.png";
  const Result r = RunTerrain(std::string(kOverHills) + "--png " + png);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("wrote " + png), std::string::npos) << r.out;
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load(png.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 200);
  // The lit hills fill part of the view: the picture is not one flat colour.
  int differing = 0;
  for (int i = 3; i < width * height * 3; i += 3)
    differing += rgb[i] != rgb[0] || rgb[i + 1] != rgb[1] || rgb[i + 2] != rgb[2];
  stbi_image_free(rgb);
  EXPECT_GT(differing, width * height / 10);
}
