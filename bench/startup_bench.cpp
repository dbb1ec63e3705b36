// The cost of starting the command line for commands that decode nothing and draw no text:
// `footlight classes` (the module loaded, its classes listed) and `footlight lights` (a sample
// light file run for half a second), each run as a child process, against `footlight
// --version` (its peer: the program and the libraries it is linked with, no module). Each run
// reports its wall time per start, the peak resident memory of the child (wait4's rusage) and
// the shared objects the child mapped, counted from one extra run under the dynamic loader's
// LD_DEBUG=libs report; the last lines print the ratios to the peer.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ratio_reporter.h"

extern char** environ;

namespace {

struct Child {
  bool ok = false;
  pid_t pid = 0;
  double seconds = 0;
  long peakKilobytes = 0;
};

// `footlight` with `args`, its output thrown away, with `extra` added to the environment.
Child Run(const std::vector<std::string>& args, const std::vector<std::string>& extra = {}) {
  const std::string program = FOOTLIGHT_BINARY_DIR "/footlight";
  std::vector<std::string> owned{program};
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment(extra);
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Child child;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return child;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return child;
  child.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  child.peakKilobytes = usage.ru_maxrss;
  child.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  child.pid = pid;
  return child;
}

// The shared objects one run of `footlight args` maps, the loader itself included: the loader
// names each object once as it starts it ("calling init: PATH"), into a file whose name it ends
// with the process id. Processes the command starts in turn write files of their own, not
// counted.
int MappedObjects(const std::vector<std::string>& args) {
  char folder[] = "/tmp/footlight-startup-XXXXXX";
  if (mkdtemp(folder) == nullptr) return -1;
  const std::string prefix = std::string(folder) + "/libs";
  const Child child = Run(args, {"LD_DEBUG=libs", "LD_DEBUG_OUTPUT=" + prefix});
  int count = -1;
  if (child.ok) {
    std::ifstream in(prefix + "." + std::to_string(child.pid));
    std::string line;
    for (count = 0; std::getline(in, line);) count += line.find("calling init:") != std::string::npos ? 1 : 0;
  }
  if (DIR* written = opendir(folder)) {
    while (const dirent* entry = readdir(written))
      if (entry->d_name[0] != '.') unlink((std::string(folder) + "/" + entry->d_name).c_str());
    closedir(written);
  }
  rmdir(folder);
  return count;
}

struct Figures {
  double peakMegabytes = 0;
  int objects = 0;
};
std::map<std::string, Figures> g_figures;

void Start(benchmark::State& state, const std::string& name, const std::vector<std::string>& args) {
  const int objects = MappedObjects(args);
  if (objects < 0) {
    state.SkipWithError("footlight did not run");
    return;
  }
  long peak = 0;
  for (auto _ : state) {
    const Child child = Run(args);
    if (!child.ok) {
      state.SkipWithError("footlight failed");
      return;
    }
    state.SetIterationTime(child.seconds);
    peak = std::max(peak, child.peakKilobytes);
  }
  const Figures figures{static_cast<double>(peak) / 1024.0, objects};
  g_figures[name] = figures;
  state.counters["peak_MB"] = figures.peakMegabytes;
  state.counters["objects"] = figures.objects;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string samples = FOOTLIGHT_SOURCE_DIR "/samples";
  const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
      {"version", {"--version"}},
      {"classes", {"classes"}},
      {"lights",
       {"lights", "resource/ini/scene/light/1.ini", "--resource", samples, "--time", "500", "--tick", "100"}}};
  for (const auto& [name, args] : commands)
    benchmark::RegisterBenchmark(("start/" + name).c_str(), Start, name, args)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto seconds = [&](const std::string& name) { return reporter.Get("start/" + name + "/iterations:20/manual_time"); };
  const auto peer = g_figures.find("version");
  for (const char* name : {"classes", "lights"}) {
    const auto ours = g_figures.find(name);
    if (ours == g_figures.end() || peer == g_figures.end() || seconds(name) <= 0.0 || seconds("version") <= 0.0)
      continue;
    std::printf("%s: %.3f s, %.1f MB, %d shared objects\n", name, seconds(name) / 1e3, ours->second.peakMegabytes,
                ours->second.objects);
    std::printf("ratio %s/version time %.2f memory %.2f objects %.2f\n", name, seconds(name) / seconds("version"),
                ours->second.peakMegabytes / peer->second.peakMegabytes,
                static_cast<double>(ours->second.objects) / peer->second.objects);
  }
  return 0;
}
