// footlight film and footlight helpers, run as processes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stb/stb_image.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "host/runtime_files.h"
#include "support/run_footlight.h"
#include "support/wait.h"

namespace {

using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

const std::string kSamples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";

// Shared names of this test only.
std::string OwnNames() { return "FOOTLIGHT_IPC_PREFIX=test-cli-" + std::to_string(::getpid()) + "-"; }

// The player's answer and its going are waited for as long as any wait of the suite.
std::string SuiteWait() { return " --wait " + std::to_string(testing_support::WaitDeadline().count() / 1000 + 1); }

TEST(FilmCli, TheSampleFilmReachesTheFilmTextureAndLeavesNothing) {
  // The name with '\' and in another case, a resource path below the root.
  const std::string png = ::testing::TempDir() + "film_" + std::to_string(::getpid()) + ".png";
  const Result r = RunFootlight("film 'Film\\Stage.ASF' --where 2 --frames 20 --resource " + kSamples + "/resource" +
                                    SuiteWait() + " --png " + png,
                                "", OwnNames());
  EXPECT_EQ(r.status, 0) << r.out;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 9u) << r.out;
  EXPECT_EQ(lines[0], "wrote " + png + ": 160x120");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 7),
            (std::vector<std::string>{"[Film OK]OpenFileMapping", "[Film OK]MapViewOfFile", "[TV]start",
                                      "[TV]SetVideoInTexture", "[Film OK]SetVideoInTexture", "[TV]PlayVideoInTexture"}));
  // 20 frames 33 ms apart see about 10 of the film's 15 a second; at least the first arrives.
  int copied = 0;
  ASSERT_EQ(std::sscanf(lines[7].c_str(), "film texture: 160x120, %d video frames copied in 20 frames of 33 ms", &copied),
            1)
      << lines[7];
  EXPECT_GE(copied, 1);
  EXPECT_LE(copied, 45);
  EXPECT_EQ(lines[8], "left behind: nothing");
  // The picture is a frame of the film's colour bars, not an empty texture.
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load(png.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(rgb, nullptr);
  std::set<uint32_t> colours;
  for (int i = 0; i < width * height; ++i) colours.insert(rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2]);
  stbi_image_free(rgb);
  std::filesystem::remove(png);
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);
  EXPECT_GE(colours.size(), 4u);
}

TEST(FilmCli, AMissingFilmAndAFileThatIsNoFilmAreRefused) {
  // A film that does not open never reaches the player.
  Result r = RunFootlight("film resource/film/none.avi --resource " + kSamples, "", OwnNames());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{"footlight: cannot open resource/film/none.avi below the resource "
                                                   "root \"" + kSamples + "\": no such file"});
  // A readable file that is no video is handed over, but nothing reaches the texture.
  r = RunFootlight("film resource/ini/weather.ini --resource " + kSamples + SuiteWait(), "", OwnNames());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("[Film OK]SetVideoInTexture Err:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("footlight: no frame of resource/ini/weather.ini reached the film texture"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("left behind: nothing"), std::string::npos) << r.out;
}

// A film run that plays on until it is killed: its shell tells its pid, the host window's, and
// becomes it.
struct LongFilmRun {
  FILE* out = nullptr;
  pid_t pid = -1;
  LongFilmRun() {
    out = ::popen(("echo $$; exec " + std::string(FOOTLIGHT_BINARY_DIR) + "/footlight film 'Film\\Stage.ASF' " +
                   "--frames 100000 --resource " + kSamples + "/resource >/dev/null 2>&1")
                      .c_str(),
                  "r");
    if (out == nullptr || std::fscanf(out, "%d", &pid) != 1) pid = -1;
  }
  void Kill() {
    if (pid > 0) ::kill(pid, SIGKILL);
    if (out != nullptr) ::pclose(out);
    out = nullptr;
    pid = -1;
  }
  ~LongFilmRun() { Kill(); }
};

TEST(FilmCli, AnotherRunsLiveMappingIsNotLeftBehindAndAKilledHostsPlayerGoesAtOnce) {
  ::setenv("FOOTLIGHT_IPC_PREFIX", OwnNames().substr(OwnNames().find('=') + 1).c_str(), 1);
  LongFilmRun first;
  ASSERT_GT(first.pid, 0);
  const std::string pidFile = host::FilmPlayerPidFile(first.pid);
  pid_t player = 0;
  ASSERT_TRUE(testing_support::WaitUntil("the first run's player holding the mapping", [&] {
    return (std::ifstream(pidFile) >> player) && std::filesystem::exists(host::FilmMappingFile());
  }));
  const int playerEnd = static_cast<int>(::syscall(SYS_pidfd_open, player, 0));
  ASSERT_GE(playerEnd, 0);

  // A second run on the same names: the mapping the first run's player still holds is not its own.
  const Result second = RunFootlight("film 'Film\\Stage.ASF' --frames 20 --resource " + kSamples + "/resource" +
                                         SuiteWait(),
                                     "", OwnNames());
  EXPECT_EQ(second.status, 0) << second.out;
  EXPECT_TRUE(footlight_testing::HasLine(second.out, "left behind: nothing")) << second.out;

  // With its host killed the player goes, taking its pid file and the mapping with it.
  first.Kill();
  EXPECT_TRUE(testing_support::WaitUntil(
      "the killed host's player gone",
      [&] {
        pollfd p{playerEnd, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
      },
      playerEnd));
  ::close(playerEnd);
  EXPECT_FALSE(std::filesystem::exists(pidFile));
  EXPECT_FALSE(std::filesystem::exists(host::FilmMappingFile()));
}

TEST(HelpersCli, TheSampleStagePrintsGroupsPointsAndSocketsAndASaveLoadsBackEqual) {
  const std::string dir = ::testing::TempDir() + "footlight_helpers_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::copy(kSamples, dir, std::filesystem::copy_options::recursive);
  const Result r = RunFootlight("helpers --scene 1 --save 'out\\saved.ini' --resource " + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("group \"entrances\": 2 points\n  \"left\" at -6.000,0.000,2.000\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" fixed\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("light sockets: "), std::string::npos) << r.out;

  // The saved file alone gives back the points that are not fixed, as they were printed.
  const Result back = RunFootlight("helpers out/SAVED.ini --resource " + dir);
  ASSERT_EQ(back.status, 0) << back.out;
  EXPECT_EQ(back.out,
            "helper groups: 1\ngroup \"entrances\": 2 points\n  \"left\" at -6.000,0.000,2.000\n"
            "  \"right\" at 6.000,0.000,2.000\nlight sockets: 0\nlive host blocks: 0\n");
  std::filesystem::remove_all(dir);
}

TEST(HelpersCli, MissingFilesAndFailedSavesAreOneErrorLine) {
  Result r = RunFootlight("helpers nothing.ini --resource " + kSamples);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{"footlight: cannot open nothing.ini below the resource root \"" +
                                                   kSamples + "\": no such file"});
  const std::string dir = ::testing::TempDir() + "footlight_helpers_bad_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/blocker") << "a file where a folder would be";
  std::filesystem::copy(kSamples + "/resource/ini/scene/helperPoint/1.ini", dir + "/h.ini");
  // A save that cannot be written is refused, with the reason, before the work.
  r = RunFootlight("helpers h.ini --save blocker/out.ini --resource " + dir);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{"footlight: cannot write blocker/out.ini below the resource root \"" +
                                                   dir + "\": blocker is not a folder"});
  std::filesystem::remove_all(dir);
}

}  // namespace
