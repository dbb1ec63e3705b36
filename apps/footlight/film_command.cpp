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
#include "apps/footlight/video_command.h"
#include "host/runtime_files.h"
#include "host/standard_host.h"
#include "scene/scene_system.h"
#include "video/texture_renderer.h"
#include "video/video_texture_manager.h"
#include "win32/win32.h"

namespace {

constexpr uint32_t kFrameMs = 33;

struct FilmOptions {
  std::string file;
  int where = 0;
  int frames = 30;
  int wait = 10;
  std::string png;
  std::string resource = ".";
};

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

int RunFilm(const FilmOptions& o, DMAInterfaceFn entry) {
  if (std::string line; !footlight::cli::Readable(o.resource, o.file, &line)) return footlight::cli::Fail(line);
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
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.wait);
  while (!answered && std::chrono::steady_clock::now() < deadline) {
    answered = host.PumpMessages() > 0;
    host.Execute(16);
    if (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The film plays while frames run; what its texture renderer copied is what reached the film
  // texture.
  long filmFrames = -1;
  std::string filmSize;
  bool pictureFailed = false;
  if (scene->videoPlaying != 0) {
    for (int frame = 0; frame < o.frames; ++frame) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMs));
      standard.Frame(kFrameMs);
    }
    auto* film = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(host.GetObject(&scene->filmVideoHandle)));
    if (CTextureRenderer* renderer = film != nullptr ? film->Renderer() : nullptr) {
      filmFrames = renderer->SamplesRendered();
      filmSize = std::to_string(renderer->videoWidth) + "x" + std::to_string(renderer->videoHeight);
      if (!o.png.empty() && filmFrames > 0) {
        IDirect3DTexture8* texture = film->LockTexture(nullptr);
        std::string error = "no picture in the film texture";
        if (texture != nullptr && footlight::WriteVideoPicture(renderer, texture, o.png, &error)) {
          std::printf("wrote %s: %s\n", o.png.c_str(), filmSize.c_str());
        } else {
          std::fprintf(stderr, "footlight: %s\n", error.c_str());
          pictureFailed = true;
        }
        film->UnlockTexture();
      }
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
  if (!answered) std::printf("no answer from the film player within %d s\n", o.wait);
  if (filmFrames > 0) {
    std::printf("film texture: %s, %ld video frames copied in %d frames of %u ms\n", filmSize.c_str(), filmFrames,
                o.frames, kFrameMs);
  } else if (answered && !failed) {
    std::fprintf(stderr, "footlight: no frame of %s reached the film texture\n", o.file.c_str());
  }

  host.DestroyAll();  // the scene system stops the player as it goes
  bool playerLeft = true, pidLeft = true, mappingLeft = true;
  const auto cleanup = std::chrono::steady_clock::now() + std::chrono::seconds(o.wait);
  while (std::chrono::steady_clock::now() < cleanup) {
    playerLeft = Running(player);
    pidLeft = Exists(host::FilmPlayerPidFile(window));
    mappingLeft = host::FilmMappingLeftBehind();
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
  return answered && !failed && filmFrames > 0 && !pictureFailed && left.empty() && live == 0 ? 0 : 1;
}

}  // namespace

namespace footlight {

void AddFilmCommand(cli::Program& program) {
  auto* o = program.Keep<FilmOptions>();
  CLI::App* cmd = program.Command("film", "play a film through the film player a scene starts",
                                  [o](const cli::Context& context) { return RunFilm(*o, context.entry); });
  cli::ResourcePath(cmd, "FILE", &o->file, "the film")->required();
  cli::Whole(cmd, "--where", &o->where, INT_MIN, INT_MAX, "the scene's -where value (default 0)");
  cli::Whole(cmd, "--frames", &o->frames, 1, 100000, "frames to run once the film plays (default 30)");
  cli::Whole(cmd, "--wait", &o->wait, 1, 3600,
             "seconds to wait for the player's answer, and again for it to leave (default 10)");
  cli::ResourceRoot(cmd, &o->resource);
  // No scene is loaded, so no screen of one shows the film.
  cli::OutputPath(cmd, "--png", &o->png, "write the film texture's last picture, upright, at the film's own size");
}

}  // namespace footlight
