// The private runtime folder the film player keeps its pid file in.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/runtime_files.h"

namespace {

namespace fs = std::filesystem;

TEST(RuntimeFolder, OnlyAFolderOfOursThatNoOneElseMayEnterIsTaken) {
  char pattern[] = "/tmp/footlight-runtime-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string parent = pattern;
  const std::string own = parent + "/footlight-" + std::to_string(geteuid());
  const std::string open = parent + "/open", closed = parent + "/closed";
  fs::create_directory(open);
  fs::permissions(open, fs::perms::all);
  fs::create_directory(closed);
  fs::permissions(closed, fs::perms::owner_all);
  std::string error;

  EXPECT_EQ(host::RuntimeFolderIn(closed.c_str(), parent, &error), closed);
  // Unset, open to others or not a full path: a folder of our own is made, 0700.
  for (const char* variable : {static_cast<const char*>(nullptr), open.c_str(), "closed"}) {
    EXPECT_EQ(host::RuntimeFolderIn(variable, parent, &error), own);
    struct stat st {};
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  // One that others may enter, or a link in its place, is refused with a reason.
  fs::permissions(own, fs::perms::all);
  EXPECT_EQ(host::RuntimeFolderIn(nullptr, parent, &error), "");
  EXPECT_EQ(error, "no private runtime folder: " + own + " may be entered by others");
  fs::remove(own);
  fs::create_directory_symlink(closed, own);
  EXPECT_EQ(host::RuntimeFolderIn(nullptr, parent, &error), "");
  EXPECT_EQ(error, "no private runtime folder: " + own + " is no folder");
  fs::remove_all(parent);
}

}  // namespace
