#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/wait.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsByTheWindowsRuntimeRules) {
  EXPECT_EQ(win32::SplitCommandLine("player.exe -handle \"123\" -sourcename \"abc\" -where \"0\""),
            (Args{"player.exe", "-handle", "123", "-sourcename", "abc", "-where", "0"}));
  EXPECT_EQ(win32::SplitCommandLine("player.exe -handle \"5\" -kill "), (Args{"player.exe", "-handle", "5", "-kill"}));
  EXPECT_EQ(win32::SplitCommandLine("p -sourcename \"\" x"), (Args{"p", "-sourcename", "", "x"}));
  EXPECT_EQ(win32::SplitCommandLine(R"(p a\"b "c d" e\\f "g\\" h\\\"i)"),
            (Args{"p", "a\"b", "c d", "e\\\\f", "g\\", "h\\\"i"}));
  EXPECT_EQ(win32::SplitCommandLine(R"(p "say ""hi""" x"y z"w)"), (Args{"p", "say \"hi\"", "xy zw"}));
  EXPECT_EQ(win32::SplitCommandLine("p\ta  \t b"), (Args{"p", "a", "b"}));
  // The program word: quotes group it and backslashes are plain.
  EXPECT_EQ(win32::SplitCommandLine(R"("C:\Program Files\player.exe" -x)"),
            (Args{"C:\\Program Files\\player.exe", "-x"}));
  EXPECT_EQ(win32::SplitCommandLine(R"(dir\sub\p.exe "unterminated arg)"), (Args{"dir\\sub\\p.exe", "unterminated arg"}));
  EXPECT_TRUE(win32::SplitCommandLine("   ").empty());
  EXPECT_TRUE(win32::SplitCommandLine(nullptr).empty());
}

struct ProcessTest : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char pattern[] = "/tmp/footlight-w32-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Starts the command line, waits for the child and closes its handles.
  void RunAndWait(const char* application, std::string commandLine, STARTUPINFOA* info = nullptr,
                  const char* directory = nullptr, void* environment = nullptr) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(application, commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW | REALTIME_PRIORITY_CLASS, environment, directory,
                               info != nullptr ? info : &si, &pi))
        << "error " << GetLastError();
    EXPECT_GT(pi.dwProcessId, 0u);
    EXPECT_TRUE(testing_support::Await("the child's end", [&](uint32_t ms) {
      return WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0;
    }));
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_OBJECT_0);
    // Reaped once it is seen to end: no zombie is left.
    EXPECT_EQ(kill(static_cast<pid_t>(pi.dwProcessId), 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_TRUE(CloseHandle(pi.hThread));
  }
};

TEST_F(ProcessTest, ChildGetsItsArgumentsSplitLikeWindows) {
  const std::string out = dir + "/args";
  RunAndWait(nullptr, R"(sh -c "printf '%s\n' \"$@\" > )" + out +
                          R"(" sh plain "two words" a\"b "c:\dir\\" x\\\"y "")");
  EXPECT_EQ(Slurp(out), "plain\ntwo words\na\"b\nc:\\dir\\\nx\\\"y\n\n");

  // With an application name the first word is only the child's own name for itself.
  const std::string out2 = dir + "/name";
  RunAndWait("/bin/sh", R"(film-player -c "printf '%s' \"$0\" > )" + out2 + "\"");
  EXPECT_EQ(Slurp(out2), "film-player");
}

TEST_F(ProcessTest, StandardHandlesDirectoryAndEnvironment) {
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;  // with null handles: no standard streams
  // The shell's own stdout is read while the shell's output is not redirected.
  RunAndWait("/bin/sh", "sh -c \"x=$(readlink /proc/$$/fd/1); echo $x > " + dir + "/fd1\"", &si);
  EXPECT_EQ(Slurp(dir + "/fd1"), "/dev/null\n");

  char ours[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/fd/1", ours, sizeof(ours) - 1), 0);
  RunAndWait("/bin/sh", "sh -c \"x=$(readlink /proc/$$/fd/1); echo $x > " + dir + "/inherited\"");
  EXPECT_EQ(Slurp(dir + "/inherited"), std::string(ours) + "\n");

  std::filesystem::create_directory(dir + "/work");
  RunAndWait("/bin/sh", "sh -c \"pwd > ../pwd\"", nullptr, (dir + "/work").c_str());
  EXPECT_EQ(Slurp(dir + "/pwd"), dir + "/work\n");
  // Without a folder of its own the child starts in the resource root, not in ours.
  win32::SetResourceRoot(dir + "/work");
  RunAndWait("/bin/sh", "sh -c \"pwd > ../root-pwd\"");
  win32::SetResourceRoot("");
  EXPECT_EQ(Slurp(dir + "/root-pwd"), dir + "/work\n");

  char block[] = "FILM=kelvora\0OTHER=1\0";
  RunAndWait("/bin/sh", "sh -c \"printf %s \\\"$FILM-$HOME\\\" > " + dir + "/env\"", nullptr, nullptr, block);
  EXPECT_EQ(Slurp(dir + "/env"), "kelvora-");
}

TEST_F(ProcessTest, ChildNobodyWaitsForIsStillReaped) {
  std::string line = "sh -c \"exit 3\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  const pid_t pid = static_cast<pid_t>(pi.dwProcessId);
  EXPECT_TRUE(testing_support::WaitUntil("the child reaped", [&] { return kill(pid, 0) == -1 && errno == ESRCH; }));
}

TEST_F(ProcessTest, FailuresAreReported) {
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::string line = "nothing -x";
  EXPECT_FALSE(CreateProcessA((dir + "/no-such-player").c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::string missing = "no-such-program-anywhere -x";
  EXPECT_FALSE(CreateProcessA(nullptr, missing.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_FALSE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(
      CreateProcessA("/bin/sh", line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi));
}

std::string UniqueName(const char* what) { return std::string("footlight-test-") + what + "-" + std::to_string(getpid()); }

TEST(FileMapping, NamedMappingSharedWithinTheProcess) {
  const std::string name = UniqueName("local");
  HANDLE made = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* writable = static_cast<char*>(MapViewOfFile(made, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(writable, nullptr);
  std::strcpy(writable, "film.asf");

  HANDLE again = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  HANDLE opened = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr);
  const auto* view = static_cast<const char*>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_STREQ(view, "film.asf");
  writable[0] = 'F';
  EXPECT_EQ(view[0], 'F');  // one memory

  EXPECT_EQ(MapViewOfFile(opened, FILE_MAP_WRITE, 0, 0, 0), nullptr);  // a read handle
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(MapViewOfFile(made, FILE_MAP_READ, 0, 100, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MAPPED_ALIGNMENT);
  EXPECT_EQ(MapViewOfFile(made, FILE_MAP_READ, 0, 0, 8192), nullptr);  // beyond the end
  EXPECT_EQ(WaitForSingleObject(made, 0), WAIT_FAILED);

  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_TRUE(CloseHandle(opened));
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_TRUE(CloseHandle(made));
  // The creator still has a view: the name stays.
  HANDLE still = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
  ASSERT_NE(still, nullptr);
  CloseHandle(still);
  EXPECT_TRUE(UnmapViewOfFile(writable));
  // Nothing of the creator is left: the name is gone.
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FileMapping, BadRequests) {
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, UniqueName("never").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, nullptr), nullptr);
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, "x"), nullptr);
  EXPECT_EQ(CreateFileMappingA(nullptr, nullptr, PAGE_READWRITE, 0, 16, "x"), nullptr);
  HANDLE anonymous = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, nullptr);
  ASSERT_NE(anonymous, nullptr);
  void* v = MapViewOfFile(anonymous, FILE_MAP_WRITE, 0, 0, 16);
  ASSERT_NE(v, nullptr);
  UnmapViewOfFile(v);
  CloseHandle(anonymous);
  EXPECT_EQ(MapViewOfFile(anonymous, FILE_MAP_READ, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(ProcessTest, MappingSeenFromAnotherProcessBothWays) {
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  // Ours, read by a child.
  const std::string name = UniqueName("out");
  HANDLE made = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, name.c_str());
  ASSERT_NE(made, nullptr);
  char* view = static_cast<char*>(MapViewOfFile(made, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  std::strcpy(view, "source-one");
  RunAndWait("/bin/sh", "sh -c \"head -c 10 /dev/shm/" + name + " > " + dir + "/seen\"");
  EXPECT_EQ(Slurp(dir + "/seen"), "source-one");
  UnmapViewOfFile(view);
  CloseHandle(made);

  // Made by a child, as the film player makes its mapping, and read here.
  const std::string theirs = UniqueName("in");
  RunAndWait("/bin/sh", "sh -c \"printf 'rtsp://film\\000' > /dev/shm/" + theirs + "\"");
  HANDLE opened = OpenFileMappingA(FILE_MAP_READ, FALSE, theirs.c_str());
  ASSERT_NE(opened, nullptr) << "error " << GetLastError();
  const char* content = static_cast<const char*>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(content, nullptr);
  EXPECT_STREQ(content, "rtsp://film");
  UnmapViewOfFile(content);
  CloseHandle(opened);
  // Not ours to remove: the name outlives our handles.
  EXPECT_TRUE(std::filesystem::exists("/dev/shm/" + theirs));
  shm_unlink(("/" + theirs).c_str());
}

}  // namespace

namespace {

// The folder of the running test program.
std::string ProgramFolder() {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

BOOL RefuseStart(LPCSTR, LPCSTR, DWORD, const STARTUPINFOA*) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

}  // namespace

TEST_F(ProcessTest, ABareNameIsLookedUpBesideTheProgramThenInTheCurrentFolder) {
  const std::string name = "footlight-probe-" + std::to_string(getpid());
  const std::string beside = ProgramFolder() + "/" + name;
  const std::string here = dir + "/" + name;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  auto writeScript = [](const std::string& path, const std::string& mark) {
    std::ofstream(path) << "#!/bin/sh\necho " << mark << " > \"$1\"\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  };
  // Only in the current folder: found there.
  writeScript(here, "here");
  RunAndWait(name.c_str(), name + " " + dir + "/which");
  EXPECT_EQ(Slurp(dir + "/which"), "here\n");
  // Beside the program as well: that one comes first.
  writeScript(beside, "beside");
  RunAndWait(name.c_str(), name + " " + dir + "/which");
  EXPECT_EQ(Slurp(dir + "/which"), "beside\n");
  std::filesystem::remove(beside);
  std::filesystem::remove(here);
  // Nowhere: refused.
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = name;
  EXPECT_FALSE(CreateProcessA(name.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  std::filesystem::current_path(before);
}

TEST_F(ProcessTest, AStartHookTakesTheStartInPlaceOfAProgram) {
  win32::SetProcessStartHook(&RefuseStart);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{reinterpret_cast<HANDLE>(1), reinterpret_cast<HANDLE>(1), 5, 5};
  std::string line = "sh -c \"touch " + dir + "/ran\"";
  EXPECT_FALSE(CreateProcessA("/bin/sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(pi.hProcess, nullptr);
  EXPECT_EQ(pi.dwProcessId, 0u);
  win32::SetProcessStartHook(nullptr);
  RunAndWait("/bin/sh", line);
  EXPECT_TRUE(std::filesystem::exists(dir + "/ran"));
}

TEST(FileMapping, TheSharedNamePrefixSeparatesRuns) {
  const std::string mine = "test-prefix-" + std::to_string(getpid()) + "-";
  setenv("FOOTLIGHT_IPC_PREFIX", mine.c_str(), 1);
  EXPECT_EQ(win32::IpcPrefix(), mine);
  HANDLE a = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "Shared\\Name");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(std::filesystem::exists("/dev/shm/" + mine + "Shared_Name"));
  setenv("FOOTLIGHT_IPC_PREFIX", (mine + "other-").c_str(), 1);
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, "Shared\\Name"), nullptr);  // another run's name
  unsetenv("FOOTLIGHT_IPC_PREFIX");
  EXPECT_EQ(win32::IpcPrefix(), "");
  CloseHandle(a);
  EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + mine + "Shared_Name"));
}
