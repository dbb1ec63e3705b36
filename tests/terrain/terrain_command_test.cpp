// footlight terrain, run as a process over the committed samples.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <string>

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

TEST(TerrainCommand, BadInputGivesOneErrorLine) {
  for (const auto& [args, status] : std::vector<std::pair<std::string, int>>{
           {"resource/terrain/missing.r16 --resource samples", 1},
           {"resource/terrain/grass.dds --resource samples", 1},
           {"resource/terrain/hills.r16 --resource samples --layer missing.dds", 1},
           {"resource/terrain/hills.r16 --resource samples --eye 1,2", 2},
           {"resource/terrain/hills.r16 --frames 0", 2},
           {"resource/terrain/hills.r16 --size 800", 2},
           {"--resource samples", 2},
           {"resource/terrain/hills.r16 --resource no/such/folder", 2},
       }) {
    const Result r = RunTerrain(args);
    EXPECT_EQ(r.status, status) << args << "\n" << r.out;
    EXPECT_EQ(Lines(r.out), 1) << args << "\n" << r.out;
  }
}
