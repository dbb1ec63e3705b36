// footlight-filmplayer: the film player a scene starts for a film source and stops again.
//
//   footlight-filmplayer -handle "N" -sourcename "SOURCE" -where "W"
//     Ends an older player of window N, then, when SOURCE is a resource path of a readable file,
//     puts that file's path below the resource root into the shared mapping "KelvoraVideo"
//     (4096 bytes, zero-filled) and posts 0x401 to window N; otherwise posts 0x16f0 (wParam the
//     error class, lParam errno). Runs until SIGTERM, SIGINT or SIGHUP, or until the process
//     that started it (its host) ends, ten minutes at most, then lets go of the mapping (its name
//     goes with the last player that holds it) and removes its pid file. The pid file lives in
//     the user's private runtime folder (host/runtime_files.h); without one the player posts
//     0x16f0 with error class 3 and ends.
//
//     The platform starts the player in the resource root, so its current folder is the root:
//     SOURCE is resolved there by the platform's resolver ('\' or '/', any case per component)
//     and a name that leaves the root (a drive, "\\server", ".." above it) is refused, as the
//     scene's video manager would refuse it.
//   footlight-filmplayer -handle "N" -kill
//     Ends window N's player (SIGTERM, SIGKILL after one second) and removes what it left (the
//     mapping only when no other player holds it); exits 0 also when none runs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "host/runtime_files.h"
#include "host/window_messages.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace {

constexpr uint32_t kFilmReady = 0x401;
constexpr uint32_t kFilmFailed = 0x16f0;
constexpr const char* kMappingName = "KelvoraVideo";
constexpr DWORD kMappingBytes = 4096;
constexpr int kRunSeconds = 600;
// Error classes of 0x16f0.
constexpr uint32_t kErrorSource = 1;   // the source is no readable file
constexpr uint32_t kErrorMapping = 2;  // the shared mapping could not be made
constexpr uint32_t kErrorRuntime = 3;  // no private folder for the pid file

struct Options {
  bool haveHandle = false;
  long long handle = 0;
  bool kill = false;
  std::string source;
  long long where = 0;
};

int Usage(const char* why) {
  std::fprintf(stderr, "footlight-filmplayer: %s\n", why);
  std::fprintf(stderr, "usage: footlight-filmplayer -handle N (-sourcename SOURCE [-where W] | -kill)\n");
  return 2;
}

bool ParseNumber(const char* text, long long* out) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return false;
  *out = value;
  return true;
}

// A pid file holds the player's pid.
bool ReadPidFile(const std::string& path, pid_t* out) {
  std::ifstream in(path);
  long long pid = 0;
  if (!(in >> pid) || pid <= 1) return false;
  *out = static_cast<pid_t>(pid);
  return true;
}

bool WritePidFile(const std::string& path, pid_t pid) {
  const std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << pid << '\n';
    if (!out) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

// Holds the mapping for a moment and lets it go: the name goes unless a running player holds
// it, so what a player that was killed left behind is removed.
void ReleaseLeftMapping() {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMappingBytes, kMappingName);
  if (mapping != nullptr) CloseHandle(mapping);
}

// True while `pid` runs as a film player (a recycled pid of another program is left alone).
bool IsPlayer(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string first;
  if (!std::getline(in, first, '\0')) return false;
  const size_t slash = first.rfind('/');
  return first.substr(slash == std::string::npos ? 0 : slash + 1) == "footlight-filmplayer";
}

bool Gone(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  // A player ended but not yet reaped by its parent is gone as well.
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  in >> pidText >> name >> state;
  return state == "Z" || state == "X";
}

// Ends the player recorded for `handle` and removes what it left behind.
void EndPlayer(long long handle) {
  const std::string pidFile = host::FilmPlayerPidFile(handle);
  if (pidFile.empty()) return;
  pid_t pid = 0;
  if (!ReadPidFile(pidFile, &pid)) {
    std::remove(pidFile.c_str());
    return;
  }
  bool killed = false;
  if (pid != getpid() && IsPlayer(pid)) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && !Gone(pid); ++i) usleep(10000);
    if (!Gone(pid)) {
      kill(pid, SIGKILL);
      killed = true;
      for (int i = 0; i < 100 && !Gone(pid); ++i) usleep(10000);
    }
  } else {
    killed = true;  // it ended without cleaning up
  }
  if (killed) ReleaseLeftMapping();
  pid_t now = 0;
  if (ReadPidFile(pidFile, &now) && now == pid) std::remove(pidFile.c_str());
}

// The resource path of `source` as the video manager resolves it: the file the platform's
// resolver finds below the current folder (the root), named relative to it with '\'. "" with
// errno's reason when there is none, it leaves the root, or it is no readable file.
std::string ResourceFile(const std::string& source, int* error) {
  const std::string found = win32::ResolvePath("", source.c_str(), win32::PathMode::Read);
  if (found.empty()) {
    *error = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return std::string();
  }
  struct stat st;
  if (stat(found.c_str(), &st) != 0) {
    *error = errno;
    return std::string();
  }
  if (!S_ISREG(st.st_mode)) {
    *error = EISDIR;
    return std::string();
  }
  const int fd = open(found.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return std::string();
  }
  close(fd);
  // The resolver answers "./" followed by the matched components.
  std::string name = found.rfind("./", 0) == 0 ? found.substr(2) : found;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

volatile sig_atomic_t g_ending = 0;
void NoteEnding(int) { g_ending = 1; }

// Until an ending signal comes, the host behind `hostEnd` ends, or the run's time is up. The
// ending signals are blocked until now; the wait alone takes them.
void AwaitEnd(const sigset_t& ending, int hostEnd) {
  struct sigaction note {};
  note.sa_handler = NoteEnding;
  sigset_t waiting;
  sigprocmask(SIG_BLOCK, nullptr, &waiting);
  for (int s = 1; s < NSIG; ++s) {
    if (sigismember(&ending, s) != 1) continue;
    sigaction(s, &note, nullptr);
    sigdelset(&waiting, s);
  }
  pollfd host{hostEnd, POLLIN, 0};
  const timespec limit{kRunSeconds, 0};
  while (g_ending == 0 && ppoll(&host, hostEnd >= 0 ? 1 : 0, &limit, &waiting) < 0 && errno == EINTR) {
  }
}

int Play(const Options& o) {
  // Readable once the host that started the player ends: nobody would stop the player then, so
  // it goes at once rather than hold its pid file and the mapping for the rest of its run. Taken
  // first, while the host is still the parent.
  const int hostEnd = static_cast<int>(syscall(SYS_pidfd_open, getppid(), 0));
  EndPlayer(o.handle);
  std::string why;
  const std::string pidFile = host::FilmPlayerPidFile(o.handle, &why);
  if (pidFile.empty()) {
    std::fprintf(stderr, "footlight-filmplayer: %s\n", why.c_str());
    host::PostWindowMessage(o.handle, {kFilmFailed, kErrorRuntime, 0});
    return 1;
  }

  // Block the ending signals before anything is made, so that one cannot come between.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGHUP);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
  WritePidFile(pidFile, getpid());

  HANDLE mapping = nullptr;
  int error = 0;
  const std::string file = ResourceFile(o.source, &error);
  if (file.empty()) {
    host::PostWindowMessage(o.handle, {kFilmFailed, kErrorSource, static_cast<uint32_t>(error)});
  } else {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMappingBytes, kMappingName);
    void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kMappingBytes) : nullptr;
    if (view == nullptr) {
      host::PostWindowMessage(o.handle, {kFilmFailed, kErrorMapping, static_cast<uint32_t>(errno)});
    } else {
      std::memset(view, 0, kMappingBytes);
      std::memcpy(view, file.data(), std::min<size_t>(file.size(), kMappingBytes - 1));
      host::PostWindowMessage(o.handle, {kFilmReady, 0, 0});
    }
    if (view != nullptr) UnmapViewOfFile(view);
  }

  AwaitEnd(ending, hostEnd);
  if (hostEnd >= 0) close(hostEnd);
  // The last player to let go of the mapping removes its name.
  if (mapping != nullptr) CloseHandle(mapping);
  pid_t now = 0;
  if (ReadPidFile(pidFile, &now) && now == getpid()) std::remove(pidFile.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  bool haveSource = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        Usage((std::string(name) + " needs a value").c_str());
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "-handle") {
      const char* v = value("-handle");
      if (v == nullptr) return 2;
      if (!ParseNumber(v, &o.handle)) return Usage("-handle takes a number");
      o.haveHandle = true;
    } else if (a == "-sourcename") {
      const char* v = value("-sourcename");
      if (v == nullptr) return 2;
      o.source = v;
      haveSource = true;
    } else if (a == "-where") {
      const char* v = value("-where");
      if (v == nullptr) return 2;
      if (!ParseNumber(v, &o.where)) return Usage("-where takes a number");
    } else if (a == "-kill") {
      o.kill = true;
    } else if (a == "--help" || a == "-help") {
      std::printf("usage: footlight-filmplayer -handle N (-sourcename SOURCE [-where W] | -kill)\n");
      return 0;
    } else {
      return Usage(("unknown argument " + a).c_str());
    }
  }
  if (!o.haveHandle) return Usage("-handle is missing");
  if (o.kill) {
    EndPlayer(o.handle);
    return 0;
  }
  if (!haveSource) return Usage("-sourcename is missing");
  return Play(o);
}
