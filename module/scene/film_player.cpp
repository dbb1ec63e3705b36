// The scene's side of the external film player: starting and stopping it by command line, and
// the two window messages by which it answers. On 0x401 the player has put the film's source
// into the shared mapping "KelvoraVideo"; the film video texture manager then plays it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

namespace {

constexpr const char* kFilmPlayerProgram = "footlight-filmplayer";
constexpr const char* kFilmMapping = "KelvoraVideo";
constexpr uint32_t kFilmReady = 0x401;
constexpr uint32_t kFilmFailed = 0x16f0;
constexpr DWORD kFilmReopenMs = 3000;
constexpr size_t kMaxCommandLine = 32767;
constexpr int kMaxSourceChars = 260;  // MAX_PATH, the NUL included
constexpr DWORD kNoWindowRealtime = 0x08000100;

// When the film was last (re)opened; the player's repeated answers within 3000 ms of it are
// dropped. Unset until the first accepted answer, so that one coming within 3000 ms of the
// clock's start is not taken for a repeat.
bool g_filmOpened = false;
DWORD g_filmOpenedAt = 0;

// A name between double quotes as the Windows C runtime splits it back: backslashes before a
// quote (an inner one or the closing one) are doubled and an inner quote is escaped, so that
// the player gets exactly the name; names without quotes or trailing backslashes stay as they are.
std::string QuotedArgument(const std::string& text) {
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      out.append(slashes * 2 + 1, '\\');
    } else {
      out.append(slashes, '\\');
    }
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  out += '"';
  return out;
}

int WindowNumber() { return static_cast<int>(reinterpret_cast<intptr_t>(g_pHost->GetWindowHandle())); }

// Starts the player with `arguments` after its name; the process is not waited for.
void StartPlayerProcess(const std::string& arguments) {
  std::string line = std::string(kFilmPlayerProgram) + " " + arguments;
  if (line.size() > kMaxCommandLine) return;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(kFilmPlayerProgram, line.data(), nullptr, nullptr, FALSE, kNoWindowRealtime, nullptr, nullptr,
                      &startup, &process))
    return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// The mapped source: a NUL within the first 260 bytes, and its text fits 260 wide characters.
bool ReadMappedSource(const void* view, wchar_t (&source)[kMaxSourceChars]) {
  const char* text = static_cast<const char*>(view);
  if (std::memchr(text, '\0', kMaxSourceChars) == nullptr) return false;
  return MultiByteToWideChar(CP_ACP, 0, text, -1, source, kMaxSourceChars) > 0;
}

}  // namespace

void CSceneSystem::SetFilmWhere(int32_t where) { filmWhere = where; }

void CSceneSystem::SetFilmSourceName(const char* name) { filmSourceName = name != nullptr ? name : ""; }

void CSceneSystem::PlayFilm(const char* sourceName) {
  if (sourceName == nullptr) {
    g_pHost->Log("[Warnning]CSceneSystem::PlayFilm sourcename == NULL");
    return;
  }
  filmSourceName = sourceName;
  StartFilmPlayer();
}

void CSceneSystem::StartFilmPlayer() {
  char head[64];
  std::snprintf(head, sizeof head, "-handle \"%d\" -sourcename ", WindowNumber());
  char tail[64];
  std::snprintf(tail, sizeof tail, " -where \"%d\"", filmWhere);
  StartPlayerProcess(head + QuotedArgument(filmSourceName) + tail);
}

void CSceneSystem::KillFilmPlayer() {
  char arguments[64];
  std::snprintf(arguments, sizeof arguments, "-handle \"%d\" -kill ", WindowNumber());
  StartPlayerProcess(arguments);
}

void CSceneSystem::OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) {
  if (message == kFilmFailed) {
    g_pHost->Log("[Film Fail]WM_ERR_ONLINE_VIDEO : wparam:%d  lparam:%d", static_cast<int>(wParam),
                 static_cast<int>(lParam));
    return;
  }
  if (message != kFilmReady) return;

  if (g_filmOpened && timeGetTime() - g_filmOpenedAt < kFilmReopenMs) return;
  g_filmOpened = true;
  g_filmOpenedAt = timeGetTime();

  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kFilmMapping);
  g_pHost->Log("[Film OK]OpenFileMapping");
  if (mapping == nullptr) {
    g_pHost->Log("[Film OK]MapViewOfFile Err:%d", static_cast<int>(GetLastError()));
    return;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  g_pHost->Log("[Film OK]MapViewOfFile");
  wchar_t source[kMaxSourceChars];
  CVideoTextureManager* manager = nullptr;
  if (view == nullptr) {
    g_pHost->Log("[Film OK]content = NULL Err:%d", static_cast<int>(GetLastError()));
  } else if (!ReadMappedSource(view, source)) {
    g_pHost->Log("[Film OK]content = NULL Err:%d", static_cast<int>(ERROR_INSUFFICIENT_BUFFER));
  } else if ((manager = Manager(&filmVideoHandle)) == nullptr) {
    g_pHost->Log("[Film OK]vtm = NULL Err:%d", static_cast<int>(GetLastError()));
  } else {
    g_pHost->Log("[TV]start");
    const HRESULT result = manager->SetVideoInTexture(source, L"Raw Video 1", 0, L"Raw Audio 0");
    g_pHost->Log("[TV]SetVideoInTexture");
    manager->SetVolume(filmVolume);
    if (result == 0) {
      g_pHost->Log("[Film OK]SetVideoInTexture");
      manager->PlayVideoInTexture(manager);
      g_pHost->Log("[TV]PlayVideoInTexture");
      videoPlaying = 1;
    } else {
      g_pHost->Log("[Film OK]SetVideoInTexture Err:%d", static_cast<int>(result));
    }
  }
  if (view != nullptr) UnmapViewOfFile(view);
  CloseHandle(mapping);
}

// Tests put the film's clock back to its start.
void ResetFilmClock() {
  g_filmOpened = false;
  g_filmOpenedAt = 0;
}
