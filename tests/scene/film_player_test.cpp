// The film player exchange: the start and stop command lines (with process starts recorded),
// the two answers under a driven clock, and the whole exchange with the real player.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "apps/makeclip/clip_maker.h"
#include "host/d3d_device.h"
#include "host/runtime_files.h"
#include "host/window_messages.h"
#include "scene_fixture.h"
#include "support/wait.h"
#include "support/temp_tree.h"
#include "video/texture_renderer.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace {
using scene_testing::SceneHost;

struct ProcessStart {
  std::string application;
  std::string commandLine;
  DWORD flags;
  DWORD startupFlags;
  HANDLE stdHandles[3];
};
std::vector<ProcessStart> g_starts;

BOOL RecordStart(LPCSTR application, LPCSTR commandLine, DWORD flags, const STARTUPINFOA* startup) {
  g_starts.push_back(ProcessStart{application != nullptr ? application : "", commandLine != nullptr ? commandLine : "",
                                  flags, startup->dwFlags,
                                  {startup->hStdInput, startup->hStdOutput, startup->hStdError}});
  return TRUE;
}

// Shared names of this test program only, so that parallel runs never meet.
void UseOwnSharedNames() {
  static const std::string prefix = "test-film-" + std::to_string(::getpid()) + "-";
  ::setenv("FOOTLIGHT_IPC_PREFIX", prefix.c_str(), 1);
}

// A video texture manager that keeps what it was asked to open and play.
class PinManager : public CVideoTextureManager {
 public:
  HRESULT SetVideoInTexture(const wchar_t* file, const wchar_t* videoPin, int useSourceFilter,
                            const wchar_t* audioPin) override {
    source = file;
    video = videoPin;
    audio = audioPin;
    filter = useSourceFilter;
    ++opens;
    return result;
  }
  void PlayVideoInTexture(CVideoTextureManager* manager) override { playedWith = manager; }
  void SetVolume(long v) override { volume = v; }

  HRESULT result = 0;
  std::wstring source, video, audio;
  int filter = -1;
  int opens = 0;
  long volume = -1;
  CVideoTextureManager* playedWith = nullptr;
};

struct FilmHost {
  SceneHost s;
  CSceneSystem* scene = nullptr;
  std::string window = std::to_string(::getpid());

  explicit FilmHost(bool record = true) {
    UseOwnSharedNames();
    ResetFilmClock();
    if (record) {
      g_starts.clear();
      win32::SetProcessStartHook(&RecordStart);
    }
    s.host.RegisterComponentClass<PinManager>("CVideoTextureManager");
    scene = s.MakeScene();
  }
  ~FilmHost() {
    s.host.DestroyAll();
    win32::SetProcessStartHook(nullptr);
  }
  PinManager* Film() { return s.Object<PinManager>(scene->filmVideoHandle); }
  std::vector<std::string> FilmLines() {
    std::vector<std::string> out;
    for (const auto& l : s.host.LogLines())
      if (l.rfind("[Film", 0) == 0 || l.rfind("[TV]", 0) == 0) out.push_back(l);
    return out;
  }
};

// The film mapping as the player makes it: `text` at its start, zeros after.
struct FilmMapping {
  HANDLE handle = nullptr;
  explicit FilmMapping(const std::string& text) {
    handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "KelvoraVideo");
    void* view = MapViewOfFile(handle, FILE_MAP_WRITE, 0, 0, 4096);
    std::memset(view, 0, 4096);
    std::memcpy(view, text.data(), std::min<size_t>(text.size(), 4096));
    UnmapViewOfFile(view);
  }
  ~FilmMapping() { CloseHandle(handle); }
};

TEST(FilmPlayer, StartAndStopLinesCarryTheWindowTheQuotedNameAndWhere) {
  FilmHost h;
  h.scene->SetFilmWhere(3);
  h.scene->PlayFilm("clip one.avi");
  ASSERT_EQ(g_starts.size(), 1u);
  EXPECT_EQ(g_starts[0].application, "footlight-filmplayer");
  EXPECT_EQ(g_starts[0].commandLine,
            "footlight-filmplayer -handle \"" + h.window + "\" -sourcename \"clip one.avi\" -where \"3\"");
  EXPECT_EQ(g_starts[0].flags, 0x08000100u);
  EXPECT_EQ(g_starts[0].startupFlags, 0x100u);
  EXPECT_EQ(g_starts[0].stdHandles[0], nullptr);
  EXPECT_EQ(g_starts[0].stdHandles[2], nullptr);

  h.scene->PlayFilm("");
  EXPECT_EQ(g_starts.back().commandLine, "footlight-filmplayer -handle \"" + h.window + "\" -sourcename \"\" -where \"3\"");
  g_starts.clear();
  h.scene->PlayFilm(nullptr);
  EXPECT_TRUE(g_starts.empty());
  EXPECT_EQ(h.s.LogCount("[Warnning]CSceneSystem::PlayFilm sourcename == NULL"), 1u);
  EXPECT_EQ(h.scene->filmSourceName, "");

  h.s.host.DestroyAll();
  ASSERT_EQ(g_starts.size(), 1u);
  EXPECT_EQ(g_starts[0].commandLine, "footlight-filmplayer -handle \"" + h.window + "\" -kill ");
}

TEST(FilmPlayer, NamesWithQuotesAndBackslashesReachThePlayerUnchanged) {
  FilmHost h;
  h.scene->PlayFilm("say \"hi\"\\");
  ASSERT_EQ(g_starts.size(), 1u);
  EXPECT_NE(g_starts[0].commandLine.find("-sourcename \"say \\\"hi\\\"\\\\\" -where"), std::string::npos)
      << g_starts[0].commandLine;
  for (const std::string name : {"say \"hi\"\\", "C:\\films\\", "a\\\\\"b", "plain\\path\\x.avi", "\""}) {
    g_starts.clear();
    h.scene->PlayFilm(name.c_str());
    ASSERT_EQ(g_starts.size(), 1u);
    const std::vector<std::string> args = win32::SplitCommandLine(g_starts[0].commandLine.c_str());
    ASSERT_EQ(args.size(), 7u) << g_starts[0].commandLine;
    EXPECT_EQ(args[4], name);
    EXPECT_EQ(args[6], "0");
  }
  g_starts.clear();
  h.scene->PlayFilm(std::string(32767, 'x').c_str());
  EXPECT_TRUE(g_starts.empty());  // the line would pass the limit
}

TEST(FilmPlayer, AnswersWithinThreeSecondsOfTheLastAcceptedOneAreDropped) {
  FilmHost h;
  win32::UseManualClock(0);
  // At the clock's start the first answer is taken: there was none before.
  h.scene->OnSystemMessage(0x401, 0, 0);
  EXPECT_EQ(h.FilmLines(), (std::vector<std::string>{"[Film OK]OpenFileMapping", "[Film OK]MapViewOfFile Err:2"}));
  {
    FilmMapping mapping("C:\\films\\a.avi");
    win32::AdvanceManualClock(2999);
    h.s.host.ClearLog();
    h.scene->OnSystemMessage(0x401, 0, 0);
    EXPECT_TRUE(h.FilmLines().empty());
    win32::AdvanceManualClock(1);
    h.scene->filmVolume = 40;
    h.scene->OnSystemMessage(0x401, 0, 0);
    EXPECT_EQ(h.FilmLines(), (std::vector<std::string>{"[Film OK]OpenFileMapping", "[Film OK]MapViewOfFile", "[TV]start",
                                                      "[TV]SetVideoInTexture", "[Film OK]SetVideoInTexture",
                                                      "[TV]PlayVideoInTexture"}));
    PinManager* film = h.Film();
    ASSERT_NE(film, nullptr);
    EXPECT_EQ(film->source, L"C:\\films\\a.avi");
    EXPECT_EQ(film->video, L"Raw Video 1");
    EXPECT_EQ(film->audio, L"Raw Audio 0");
    EXPECT_EQ(film->filter, 0);
    EXPECT_EQ(film->volume, 40);
    EXPECT_EQ(film->playedWith, film);
    EXPECT_EQ(h.scene->videoPlaying, 1);

    h.scene->videoPlaying = 0;
    film->result = static_cast<HRESULT>(0x80004005);
    win32::AdvanceManualClock(3000);
    h.s.host.ClearLog();
    h.scene->OnSystemMessage(0x401, 0, 0);
    EXPECT_EQ(h.FilmLines().back(), "[Film OK]SetVideoInTexture Err:-2147467259");
    EXPECT_EQ(film->opens, 2);
    EXPECT_EQ(h.scene->videoPlaying, 0);
  }
  win32::UseRealClock();
}

TEST(FilmPlayer, FailuresAndSourcesWithoutAnEndAreLoggedAndChangeNothing) {
  FilmHost h;
  win32::UseManualClock(100000);
  h.scene->OnSystemMessage(0x16f0, 1, 2);
  h.scene->OnSystemMessage(0x402, 1, 2);
  EXPECT_EQ(h.FilmLines(), std::vector<std::string>{"[Film Fail]WM_ERR_ONLINE_VIDEO : wparam:1  lparam:2"});
  {
    FilmMapping mapping(std::string(300, 'x'));
    h.s.host.ClearLog();
    h.scene->OnSystemMessage(0x401, 0, 0);
    EXPECT_EQ(h.FilmLines(), (std::vector<std::string>{"[Film OK]OpenFileMapping", "[Film OK]MapViewOfFile",
                                                      "[Film OK]content = NULL Err:122"}));
    EXPECT_EQ(h.Film()->opens, 0);
  }
  {
    // Without a film manager.
    FilmMapping mapping("a.avi");
    h.scene->filmVideoHandle = ComponentHandle{};
    win32::AdvanceManualClock(3000);
    h.s.host.ClearLog();
    h.scene->OnSystemMessage(0x401, 0, 0);
    ASSERT_EQ(h.FilmLines().size(), 3u);
    EXPECT_EQ(h.FilmLines()[2].rfind("[Film OK]vtm = NULL Err:", 0), 0u);
  }
  EXPECT_EQ(h.scene->videoPlaying, 0);
  win32::UseRealClock();
}

// ---- The real player ----

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The player is found beside the test program (the build puts one there), as beside footlight.
std::string PidFile() { return host::FilmPlayerPidFile(::getpid()); }
std::string MappingFile() { return host::FilmMappingFile(); }

// The player's answer, through the host window's socket.
testing::AssertionResult AnswerCame(host::ReferenceHost& host) {
  return testing_support::WaitUntil(
      "the player's answer", [&] { return host.PumpMessages() > 0; }, host.MessageDescriptor());
}

// The player ended: its pid file and the mapping it made are gone.
void ExpectPlayerGone() {
  EXPECT_TRUE(testing_support::WaitUntilGone(PidFile()));
  EXPECT_TRUE(testing_support::WaitUntilGone(MappingFile()));
}

TEST(FilmPlayerProcess, TheAnswerComesThroughTheSocketAndNothingIsLeft) {
  FilmHost h(false);
  ASSERT_TRUE(h.s.host.OpenMessageEndpoint());
  h.s.WriteFile("films/show.avi", "not a real film, but a readable file");
  // Our folder is not the resource root: the player starts in the root and finds the name there,
  // '/' or '\\' and any case, and hands over the name the manager resolves below the root.
  h.scene->PlayFilm("Films/SHOW.avi");
  ASSERT_TRUE(AnswerCame(h.s.host));
  EXPECT_EQ(h.FilmLines(), (std::vector<std::string>{"[Film OK]OpenFileMapping", "[Film OK]MapViewOfFile", "[TV]start",
                                                    "[TV]SetVideoInTexture", "[Film OK]SetVideoInTexture",
                                                    "[TV]PlayVideoInTexture"}));
  EXPECT_EQ(h.Film()->source, L"films\\show.avi");
  EXPECT_TRUE(Exists(PidFile()));
  pid_t player = 0;
  std::ifstream(PidFile()) >> player;
  ASSERT_GT(player, 0);

  h.s.host.DestroyAll();
  ExpectPlayerGone();
  // The pid file was in a folder only we may enter.
  struct stat folder {};
  ASSERT_EQ(::stat(std::filesystem::path(PidFile()).parent_path().c_str(), &folder), 0);
  EXPECT_EQ(folder.st_uid, ::geteuid());
  EXPECT_EQ(folder.st_mode & 077, 0u);
  // Ended and reaped: no zombie stays behind.
  EXPECT_TRUE(testing_support::WaitUntil("the player reaped", [&] { return ::kill(player, 0) != 0; }));
}

TEST(FilmPlayerProcess, MissingSourcesAndNamesOutsideTheRootAreAnsweredWithTheFailure) {
  FilmHost h(false);
  ASSERT_TRUE(h.s.host.OpenMessageEndpoint());
  h.s.WriteFile("inside/film.avi", "a readable file");
  const std::string outside = h.s.root + "-outside.avi";
  std::ofstream(outside) << "a readable file beside the root";
  // Error class 1 (no readable file) with errno: ENOENT for a name not found below the root (a
  // host path included: it names a path below the root too), EACCES for one that leaves it,
  // EISDIR for a folder.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"no such film.avi", "lparam:2"},
      {outside, "lparam:2"},
      {"inside\\..\\..\\" + std::filesystem::path(outside).filename().string(), "lparam:13"},
      {"C:\\inside\\film.avi", "lparam:13"},
      {"http://example.org/film.avi", "lparam:2"},
      {"inside", "lparam:21"}};
  for (const auto& [name, error] : cases) {
    ResetFilmClock();
    h.s.host.ClearLog();
    h.scene->PlayFilm(name.c_str());
    ASSERT_TRUE(AnswerCame(h.s.host)) << name;
    EXPECT_EQ(h.FilmLines(), std::vector<std::string>{"[Film Fail]WM_ERR_ONLINE_VIDEO : wparam:1  " + error}) << name;
  }
  h.s.host.DestroyAll();
  ExpectPlayerGone();
  std::filesystem::remove(outside);
}

// The film as it really goes: the player, the scene's film manager (the module's own), a clip of
// the film's kind (sound as stream 0, video as stream 1) and frames reaching the film texture.
TEST(FilmPlayerProcess, ARealFilmReachesTheFilmTexture) {
  UseOwnSharedNames();
  ResetFilmClock();
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(s.host.OpenMessageEndpoint());
  std::filesystem::create_directories(s.root + "/Film");
  clip::ClipOptions options;
  options.width = 64;
  options.height = 48;
  options.frames = 20;
  options.rate = 10;
  std::string error;
  ASSERT_TRUE(clip::MakeClip(s.root + "/Film/Show.asf", options, &error)) << error;

  scene->PlayFilm("film\\show.asf");
  ASSERT_TRUE(AnswerCame(s.host));
  EXPECT_EQ(s.LogCount("[Film OK]SetVideoInTexture"), 1u);
  EXPECT_EQ(s.LogCount("[TV]PlayVideoInTexture"), 1u);
  EXPECT_EQ(scene->videoPlaying, 1);
  auto* film = s.Object<CVideoTextureManager>(scene->filmVideoHandle);
  ASSERT_NE(film, nullptr);
  ASSERT_NE(film->Renderer(), nullptr);
  ASSERT_TRUE(testing_support::WaitUntil("three frames of the film rendered", [&] {
    s.host.Execute(10);
    return film->Renderer()->SamplesRendered() >= 3;
  }));
  const D3DMATRIX* matrix = nullptr;
  IDirect3DTexture8* texture = film->LockTexture(&matrix);
  ASSERT_NE(texture, nullptr);
  // 64 x 48 in a 256 texture.
  EXPECT_FLOAT_EQ(matrix->_11, 0.25f);
  EXPECT_FLOAT_EQ(matrix->_22, 0.1875f);
  // Texture row 0 is the picture's bottom: the blue band; the last row the red one (WMV2 within
  // a tolerance).
  const auto* level = static_cast<host::Texture*>(texture)->Level(0);
  const uint32_t bottom = level->PixelValue(40, 5) & 0xFFFFFF, top = level->PixelValue(40, 42) & 0xFFFFFF;
  film->UnlockTexture();
  EXPECT_LT(bottom >> 16, 40u) << std::hex << bottom;
  EXPECT_GT(bottom & 0xFF, 215u) << std::hex << bottom;
  EXPECT_GT(top >> 16, 215u) << std::hex << top;
  EXPECT_LT(top & 0xFF, 40u) << std::hex << top;

  s.host.DestroyAll();
  ExpectPlayerGone();
}

// Two players of two windows share the one mapping: the second writes its source over the
// first's, and the first ending leaves the mapping to the second, which removes it as it ends.
TEST(FilmPlayerProcess, TheMappingLivesUntilItsLastPlayerEnds) {
  UseOwnSharedNames();
  testing_support::TempTree tree;
  tree.PutText("first.avi", "a readable file");
  tree.PutText("second.avi", "a readable file");
  win32::SetResourceRoot(tree.Root());
  const int64_t windows[2] = {::getpid() * 10LL + 1, ::getpid() * 10LL + 2};
  host::MessageEndpoint endpoints[2];
  // Started, and with `wait` ended too.
  auto run = [](const std::string& arguments, bool wait) {
    std::string line = "footlight-filmplayer " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("footlight-filmplayer", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
      return testing::AssertionFailure() << line << " did not start";
    testing::AssertionResult done = testing::AssertionSuccess();
    if (wait)
      done = testing_support::Await(line + " ended", [&](uint32_t ms) {
        return WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0;
      });
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return done;
  };
  auto mapped = [] {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "KelvoraVideo");
    if (mapping == nullptr) return std::string("(none)");
    const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    const std::string text = view != nullptr ? view : "(no view)";
    if (view != nullptr) UnmapViewOfFile(view);
    CloseHandle(mapping);
    return text;
  };
  const char* sources[2] = {"first.avi", "second.avi"};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(endpoints[i].Open(windows[i]));
    ASSERT_TRUE(run("-handle \"" + std::to_string(windows[i]) + "\" -sourcename \"" + sources[i] + "\"", false));
    std::vector<host::WindowMessage> answer;
    ASSERT_TRUE(testing_support::WaitUntil("the player's answer", [&] { return !(answer = endpoints[i].Drain()).empty(); }));
    EXPECT_EQ(answer[0].message, 0x401u);
  }
  EXPECT_EQ(mapped(), "second.avi");
  ASSERT_TRUE(run("-handle \"" + std::to_string(windows[0]) + "\" -kill", true));
  EXPECT_EQ(mapped(), "second.avi");
  ASSERT_TRUE(run("-handle \"" + std::to_string(windows[1]) + "\" -kill", true));
  EXPECT_TRUE(testing_support::WaitUntilGone(MappingFile()));
  for (int64_t window : windows) EXPECT_FALSE(Exists(host::FilmPlayerPidFile(window)));
  win32::SetResourceRoot("");
}

}  // namespace
