#include "apps/footlight/film_command.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "apps/footlight/command_support.h"
#include "host/runtime_files.h"
#include "host/standard_host.h"
#include "scene/scene_system.h"
#include "video/texture_renderer.h"
#include "video/video_texture_manager.h"
#include "win32/win32.h"

const char* const kFilmUsage =
    "  film FILE [--where N] [--frames N] [--resource DIR]\n"
    "                               start the film player for FILE (a resource path below DIR,\n"
    "                               default .) through the scene system, run frames until its answer\n"
    "                               is handled (10 s at most), then N frames (default 30) 33 ms apart\n"
    "                               while the film plays; print the exchange's log lines, the frames\n"
    "                               that reached the film texture and what the player left behind\n";

namespace {

constexpr uint32_t kFrameMs = 33;

struct FilmOptions {
  std::string file;
  int where = 0;
  int frames = 30;
  std::string resource = ".";
};

bool Parse(const std::vector<std::string>& args, FilmOptions* o, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--where" || a == "--frames" || a == "--resource") {
      if (i + 1 >= args.size()) {
        *error = "option " + a + " needs a value";
        return false;
      }
      const std::string& v = args[++i];
      if (a == "--resource") {
        o->resource = v;
        continue;
      }
      char* end = nullptr;
      errno = 0;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (a == "--frames") {
        if (end == v.c_str() || *end != '\0' || errno != 0 || n < 1 || n > 100000) {
          *error = "option --frames takes a whole number from 1 to 100000, got \"" + v + "\"";
          return false;
        }
        o->frames = static_cast<int>(n);
        continue;
      }
      if (end == v.c_str() || *end != '\0' || errno != 0 || n < INT_MIN || n > INT_MAX) {
        *error = "option --where takes a whole number, got \"" + v + "\"";
        return false;
      }
      o->where = static_cast<int>(n);
    } else if (!footlight::TakePositional(a, "film", "FILE", &o->file, error)) {
      return false;
    }
  }
  if (o->file.empty()) {
    *error = "film needs a FILE";
    return false;
  }
  return footlight::CheckResourceRoot(o->resource, error);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsFilmLine(const std::string& line) {
  return StartsWith(line, "[Film") || StartsWith(line, "[TV]") || StartsWith(line, "[Warnning]");
}


bool Exists(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0;
}

bool Running(pid_t pid) {
  if (pid <= 0 || kill(pid, 0) != 0) return false;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  in >> pidText >> name >> state;
  return state != "Z" && state != "X";
}

}  // namespace

int RunFilmCommand(const std::vector<std::string>& args, DMAInterfaceFn entry) {
  FilmOptions o;
  if (const int status = footlight::TakeOptions(args, "usage: footlight\n", kFilmUsage, Parse, &o); status >= 0) return status;
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  if (!host.OpenMessageEndpoint()) {
    std::fprintf(stderr, "footlight: the host window's message endpoint cannot be opened\n");
    return 1;
  }
  CSceneSystem* scene = footlight::MakeSceneSystem(host, entry);
  if (scene == nullptr) return 1;
  const int window = static_cast<int>(reinterpret_cast<intptr_t>(host.GetWindowHandle()));
  scene->SetFilmWhere(o.where);
  scene->PlayFilm(o.file.c_str());

  bool answered = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!answered && std::chrono::steady_clock::now() < deadline) {
    answered = host.PumpMessages() > 0;
    host.Execute(16);
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The film plays while frames run; what its texture renderer copied is what reached the film
  // texture.
  long filmFrames = -1;
  std::string filmSize;
  if (scene->videoPlaying != 0) {
    for (int frame = 0; frame < o.frames; ++frame) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMs));
      standard.Frame(kFrameMs);
    }
    auto* film = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(host.GetObject(&scene->filmVideoHandle)));
    if (CTextureRenderer* renderer = film != nullptr ? film->Renderer() : nullptr) {
      filmFrames = renderer->SamplesRendered();
      filmSize = std::to_string(renderer->videoWidth) + "x" + std::to_string(renderer->videoHeight);
    }
  }
  pid_t player = 0;
  {
    std::ifstream in(host::FilmPlayerPidFile(window));
    long long pid = 0;
    if (in >> pid) player = static_cast<pid_t>(pid);
  }
  bool failed = false;
  for (const auto& line : host.LogLines()) {
    if (IsFilmLine(line)) std::printf("%s\n", line.c_str());
    failed = failed || StartsWith(line, "[Film Fail]");
  }
  if (failed) std::fprintf(stderr, "footlight: the film player could not open %s\n", o.file.c_str());
  if (!answered) std::printf("no answer from the film player within 10 s\n");
  if (filmFrames > 0) {
    std::printf("film texture: %s, %ld video frames copied in %d frames of %u ms\n", filmSize.c_str(), filmFrames,
                o.frames, kFrameMs);
  } else if (answered && !failed) {
    std::fprintf(stderr, "footlight: no frame of %s reached the film texture\n", o.file.c_str());
  }

  host.DestroyAll();  // the scene system stops the player as it goes
  bool playerLeft = true, pidLeft = true, mappingLeft = true;
  const auto cleanup = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < cleanup) {
    playerLeft = Running(player);
    pidLeft = Exists(host::FilmPlayerPidFile(window));
    mappingLeft = Exists(host::FilmMappingFile());
    if (!playerLeft && !pidLeft && !mappingLeft) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::string left;
  if (playerLeft) left += " player " + std::to_string(player) + ";";
  if (pidLeft) left += " pid file " + host::FilmPlayerPidFile(window) + ";";
  if (mappingLeft) left += " mapping " + host::FilmMappingFile() + ";";
  std::printf("left behind:%s\n", left.empty() ? " nothing" : left.c_str());
  const size_t live = host.Allocator().LiveBlocks();
  if (live != 0) std::printf("live host blocks: %zu\n", live);
  return answered && !failed && filmFrames > 0 && left.empty() && live == 0 ? 0 : 1;
}
