// The command-line host, run as a process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Result {
  int status = -1;
  std::string out;
};

Result RunFootlight(const std::string& args) {
  const std::string cmd = std::string(FOOTLIGHT_BINARY_DIR) + "/footlight " + args + " 2>&1";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

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
  EXPECT_NE(r.out.find("objects created: 13\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("objects destroyed: 13\n"), std::string::npos);
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
  const Result missing = RunFootlight(std::string("run --frames 1 --resource ") + FOOTLIGHT_SOURCE_DIR +
                                      "/samples --ini nothing.ini");
  EXPECT_EQ(missing.status, 0);
  EXPECT_NE(missing.out.find("[footlight] cannot read nothing.ini"), std::string::npos) << missing.out;
}

TEST(FootlightCli, LightsRunsTheSampleLightFileAndSavesItBackEqual) {
  const std::string sample = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/ini/scene/light/1.ini";
  const std::string saved = ::testing::TempDir() + "footlight_lights_saved.ini";
  const Result first = RunFootlight("lights " + sample + " --time 500 --tick 100 --save " + saved);
  ASSERT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find("9 lights, 3 groups"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("\"sun\" type 1 on slot 0"), std::string::npos) << first.out;
  // The written file, run the same way, reports the same lights, groups and slots.
  const Result second = RunFootlight("lights " + saved + " --time 500 --tick 100");
  ASSERT_EQ(second.status, 0) << second.out;
  auto report = [](const std::string& out) { return out.substr(out.find("== ")); };
  EXPECT_EQ(report(first.out).substr(0, report(first.out).find("saved")), report(second.out)) << first.out;
  std::remove(saved.c_str());
  const Result missing = RunFootlight("lights /nonexistent/light.ini");
  EXPECT_EQ(missing.status, 2) << missing.out;
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
