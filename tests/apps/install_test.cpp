// The programs and libraries as `cmake --install` lays them out, run from there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/run_footlight.h"

namespace {

using footlight_testing::Lines;
using testing_support::RunProcess;

TEST(Install, TheInstalledFootlightFindsItsModuleAndPlatformThroughItsRunPath) {
  namespace fs = std::filesystem;
  const fs::path prefix = fs::path(::testing::TempDir()) / ("footlight-install-" + std::to_string(::getpid()));
  fs::remove_all(prefix);
  const auto install = RunProcess(std::string(FOOTLIGHT_CMAKE_COMMAND) + " --install '" + FOOTLIGHT_BINARY_DIR +
                                  "' --prefix '" + prefix.string() + "' 2>&1");
  ASSERT_EQ(install.status, 0) << install.out;
  for (const char* file : {"bin/footlight", "bin/footlight-filmplayer", "bin/footlight-makeclip",
                           "lib/libfootlight.so", "lib/libfootlight_platform.so"})
    EXPECT_TRUE(fs::exists(prefix / file)) << file;
  // Run from another folder, with nothing on the library path that leads back to the build.
  const auto classes =
      RunProcess("cd / && env -u LD_LIBRARY_PATH '" + (prefix / "bin" / "footlight").string() + "' classes 2>&1");
  EXPECT_EQ(classes.status, 0) << classes.out;
  const auto lines = Lines(classes.out);
  ASSERT_EQ(lines.size(), 13u) << classes.out;
  EXPECT_EQ(lines.front(), "CGlow");
  fs::remove_all(prefix);
}

}  // namespace
