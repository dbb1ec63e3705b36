// Times INI lookups and the load of a 10,000-light file, each against the linear scan the
// indexed INI object replaced, in one run.
//
//   footlight_ini_bench [benchmark options]
//
// The peer is an INI object over the same parsed text whose every keyed read scans all
// sections and keys for matches and collects the values, as the service's reads did before
// they were indexed. "walk" reads one key's N repeated values (GetString, then GetNextString
// to the end): per value the indexed object costs the same for any N, the scan grows with N.
// "load" is CLightingSystem::LoadFromFile of 10,000 lights and a group listing them all,
// through the service's object and through the peer object. The last lines give the ratios
// ours / peer.
//
// "groups" loads light files of nested light groups of growing size: 30 layers of W groups,
// each group listing 8 groups of the layer below, sections from the top layer down, as a save
// writes them. Its peer is the same number of groups and entries nested 2 deep (every group
// lists groups of the bottom layer). The last lines give each size's load time, the ratio deep
// / shallow, and the growth: the time per group of the largest file over that of the smallest
// (1 when the load grows linearly).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "frame/dma_interface.h"
#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "host/host.h"
#include "host/ini_file.h"
#include "host/ini_service.h"
#include "host/renderer.h"
#include "lighting/lighting_system.h"

namespace {

namespace fs = std::filesystem;

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b != nullptr ? b : "") == 0; }

void CopyOut(char* buffer, int size, const std::string& text) {
  if (buffer == nullptr || size <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// The peer: reads by scanning every section and key, as the INI object did before its index.
class LinearIniFile final : public IIniFile {
 public:
  explicit LinearIniFile(std::shared_ptr<const host::IniDocument> doc) : doc_(std::move(doc)) {}
  void AddString(const char*, const char*, const char*) override {}
  void WriteString(const char*, const char*, const char*) override {}
  void WriteInt(const char*, const char*, int) override {}
  void WriteFloat(const char*, const char*, double) override {}
  bool GetString(const char* section, const char* key, char* buffer, int size, const char* defaultText) override {
    const auto values = Values(section, key);
    cursors_[Fold(section) + '\x1f' + Fold(key)] = 0;
    CopyOut(buffer, size, values.empty() ? std::string(defaultText != nullptr ? defaultText : "") : *values.front());
    return !values.empty();
  }
  bool GetNextString(const char* section, const char* key, char* buffer, int size) override {
    const auto values = Values(section, key);
    size_t& cursor = cursors_[Fold(section) + '\x1f' + Fold(key)];
    if (cursor + 1 >= values.size()) {
      cursor = values.size();
      CopyOut(buffer, size, std::string());
      return false;
    }
    CopyOut(buffer, size, *values[++cursor]);
    return true;
  }
  int GetInt(const char* section, const char* key, int defaultValue) override {
    const auto values = Values(section, key);
    int n = 0;
    return !values.empty() && host::ParseIniInt(*values.front(), &n) ? n : defaultValue;
  }
  float GetFloat(const char* section, const char* key, float defaultValue) override {
    const auto values = Values(section, key);
    float f = 0;
    return !values.empty() && host::ParseIniFloat(*values.front(), &f) ? f : defaultValue;
  }
  bool GetBool(const char* section, const char* key, bool defaultValue) override {
    const auto values = Values(section, key);
    bool b = false;
    return !values.empty() && host::ParseIniBool(*values.front(), &b) ? b : defaultValue;
  }
  bool GetFirstSection(char* buffer, int size) override {
    next_ = 1;
    return GetNextSection(buffer, size);
  }
  bool GetNextSection(char* buffer, int size) override {
    if (next_ == 0) next_ = 1;
    if (next_ >= doc_->sections.size()) {
      CopyOut(buffer, size, std::string());
      return false;
    }
    CopyOut(buffer, size, doc_->sections[next_++].name);
    return true;
  }
  bool Commit() override { return false; }

 private:
  static std::string Fold(const char* s) { return host::FoldIniName(s != nullptr ? s : ""); }
  std::vector<const std::string*> Values(const char* section, const char* key) const {
    std::vector<const std::string*> values;
    if (key == nullptr) return values;
    for (const host::IniSection& s : doc_->sections) {
      if (!Same(s.name, section)) continue;
      for (const host::IniEntry& e : s.entries)
        if (Same(e.key, key)) values.push_back(&e.value);
    }
    return values;
  }

  std::shared_ptr<const host::IniDocument> doc_;
  std::map<std::string, size_t> cursors_;
  size_t next_ = 0;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Hands the module peer objects for plain paths, in counted host blocks as the service does.
class LinearIniService final : public IIniService {
 public:
  HANDLE OpenFile(const char*, uint32_t, uint32_t, uint32_t) override { return INVALID_HANDLE_VALUE; }
  void CloseFile(HANDLE) override {}
  BOOL WriteFile(HANDLE, const void*, uint32_t, uint32_t*) override { return FALSE; }
  BOOL ReadFile(HANDLE, void*, uint32_t, uint32_t*) override { return FALSE; }
  uint32_t GetFileSize(HANDLE, uint32_t*) override { return 0xFFFFFFFFu; }
  IIniFile* OpenIni(const char* path, int) override {
    auto doc = std::make_shared<const host::IniDocument>(host::IniDocument::Parse(ReadText(path)));
    void* block = HostNewArrayBytes(1, sizeof(LinearIniFile));
    return new (block) LinearIniFile(std::move(doc));
  }
  IIniFile* CreateIni(const char*, int) override { return nullptr; }
  void Flush() override {}
};

// A temporary resource tree with the files the benchmarks read.
struct Files {
  fs::path root;
  Files() {
    std::string pattern = (fs::temp_directory_path() / "footlight_ini_bench_XXXXXX").string();
    root = mkdtemp(pattern.data());
  }
  ~Files() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::string Put(const std::string& name, const std::string& text) {
    std::ofstream(root / name, std::ios::binary) << text;
    return (root / name).string();
  }
};

Files& Tree() {
  static Files files;
  return files;
}

// The reference host with the module loaded, a renderer, the service rooted at the tree.
struct Stage {
  host::Renderer renderer;
  host::ReferenceHost host;
  host::IniService ini{Tree().root.string(), &host};
  LinearIniService linear;
  Stage() {
    host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    host.SetIniService(&ini);
    host.LoadModule(&DMAInterface);
  }
};

Stage& TheStage() {
  static Stage stage;
  return stage;
}

std::string RepeatedKeyFile(int n) {
  std::string text = "[other]\nkey=x\n[walk]\n";
  for (int i = 0; i < n; ++i) text += "value=" + std::to_string(i) + "\nnoise=" + std::to_string(i) + "\n";
  return text;
}

void Walk(benchmark::State& state, bool ours) {
  const int n = static_cast<int>(state.range(0));
  Stage& stage = TheStage();
  const std::string name = "walk" + std::to_string(n) + ".ini";
  const std::string path = Tree().Put(name, RepeatedKeyFile(n));
  IIniFile* file = ours ? stage.ini.OpenIni(name.c_str(), 0) : stage.linear.OpenIni(path.c_str(), 0);
  char buffer[64];
  for (auto _ : state) {
    int values = file->GetString("walk", "VALUE", buffer, sizeof(buffer), "") ? 1 : 0;
    while (file->GetNextString("walk", "value", buffer, sizeof(buffer))) ++values;
    if (values != n) state.SkipWithError("a value was missed");
    benchmark::DoNotOptimize(buffer);
  }
  ReleaseIniFile(file);
  state.counters["ns/value"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["values"] = n;
}

constexpr int kLights = 10000;

std::string TenThousandLights() {
  std::string text;
  char line[256];
  for (int i = 0; i < kLights; ++i) {
    std::snprintf(line, sizeof(line),
                  "[lamp%d]\ntype=2\nGlobalLight=1\nposition=0,0,0,%d.000000,2.500000,%d.000000\n"
                  "color=1,0,0,1.000000,0.500000,0.250000,1.000000,1000,0.250000,0.500000,1.000000,1.000000\n"
                  "range=0,0,0,8.000000\nattenuation=0,0,0,0.000000,0.500000,0.000000\nActive=1\n\n",
                  i, i % 100, i / 100);
    text += line;
  }
  text += "[show]\ntype=6\nactive=1\n";
  for (int i = 0; i < kLights; i += 100) {
    std::string names;
    for (int j = i; j < i + 100; ++j) names += (names.empty() ? "" : ";") + std::string("lamp") + std::to_string(j);
    text += "key=0," + names + "," + std::to_string(i) + ",1\n";
  }
  return text;
}

void Load(benchmark::State& state, bool ours) {
  Stage& stage = TheStage();
  static const std::string path = Tree().Put("lights.ini", TenThousandLights());
  IIniService* saved = g_pIniService;
  g_pIniService = ours ? static_cast<IIniService*>(&stage.ini) : &stage.linear;
  CLightingSystem* system = CLightingSystem::NewArray(1);
  system->Init(nullptr);
  for (auto _ : state) {
    stage.ini.Flush();  // the service parses the file again, as the peer does
    system->LoadFromFile(ours ? "lights.ini" : path.c_str());
    state.PauseTiming();
    if (system->GetLightCount() != kLights || system->GetLightGroupCount() != 1)
      state.SkipWithError("the file did not load whole");
    system->DeleteAll();
    state.ResumeTiming();
  }
  CLightingSystem::DeleteArray(system);
  g_pIniService = saved;
  state.counters["lights"] = kLights;
}

constexpr int kLayers = 30;
constexpr int kSubGroups = 8;

std::string GroupName(int layer, int i) { return "L" + std::to_string(layer) + "G" + std::to_string(i); }

// `layers` layers of `width` groups; each group of a layer above the last lists kSubGroups groups
// of the next layer down (deep) or of the last layer (shallow), one step each.
std::string NestedGroups(int width, bool deep) {
  std::string text;
  for (int layer = 0; layer < kLayers; ++layer)
    for (int i = 0; i < width; ++i) {
      text += "[" + GroupName(layer, i) + "]\ntype=6\n";
      if (layer + 1 == kLayers) continue;
      for (int m = 0; m < kSubGroups; ++m)
        text += "key=1," + GroupName(deep ? layer + 1 : kLayers - 1, (i + m * 7) % width) + "," +
                std::to_string(m * 100) + ",1\n";
    }
  return text;
}

void Groups(benchmark::State& state, bool deep) {
  const int width = static_cast<int>(state.range(0));
  Stage& stage = TheStage();
  const std::string name = std::string(deep ? "deep" : "shallow") + std::to_string(width) + ".ini";
  Tree().Put(name, NestedGroups(width, deep));
  IIniService* saved = g_pIniService;
  g_pIniService = &stage.ini;
  CLightingSystem* system = CLightingSystem::NewArray(1);
  system->Init(nullptr);
  for (auto _ : state) {
    stage.ini.Flush();
    system->LoadFromFile(name.c_str());
    state.PauseTiming();
    if (system->GetLightGroupCount() != kLayers * width)
      state.SkipWithError("the file did not load whole");
    system->DeleteAll();
    state.ResumeTiming();
  }
  CLightingSystem::DeleteArray(system);
  g_pIniService = saved;
  state.counters["groups"] = kLayers * width;
}

void WalkOurs(benchmark::State& state) { Walk(state, true); }
void WalkLinear(benchmark::State& state) { Walk(state, false); }
void LoadOurs(benchmark::State& state) { Load(state, true); }
void LoadLinear(benchmark::State& state) { Load(state, false); }
void GroupsDeep(benchmark::State& state) { Groups(state, true); }
void GroupsShallow(benchmark::State& state) { Groups(state, false); }

// Collects the times of each run while the console reporter prints as usual.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const auto perValue = r.counters.find("ns/value");
      // Seconds per value for the walks (the counter is a rate inverted), per load otherwise.
      std::string name = r.benchmark_name();
      name = name.substr(0, name.find("/iterations:"));
      seconds_[name] = perValue != r.counters.end() ? perValue->second.value
                                                    : r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::string& name) const {
    const auto it = seconds_.find(name);
    return it == seconds_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<int> ours = {1000, 4000, 16000, 40000};
  const std::vector<int> linear = {1000, 4000, 16000};
  for (int n : ours) benchmark::RegisterBenchmark("walk/ours", WalkOurs)->Arg(n)->Unit(benchmark::kMicrosecond);
  for (int n : linear) benchmark::RegisterBenchmark("walk/linear", WalkLinear)->Arg(n)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("load/ours", LoadOurs)->Unit(benchmark::kMillisecond)->Iterations(5);
  benchmark::RegisterBenchmark("load/linear", LoadLinear)->Unit(benchmark::kMillisecond)->Iterations(1);
  const std::vector<int> widths = {15, 30, 60, 120};
  for (int w : widths) {
    benchmark::RegisterBenchmark("groups/deep", GroupsDeep)->Arg(w)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("groups/shallow", GroupsShallow)->Arg(w)->Unit(benchmark::kMillisecond);
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n");
  for (int n : ours) {
    const double t = reporter.Get("walk/ours/" + std::to_string(n));
    if (t > 0.0) std::printf("walk/ours/%d %.1f ns per value\n", n, t * 1e9);
  }
  for (int n : linear) {
    const double o = reporter.Get("walk/ours/" + std::to_string(n)), l = reporter.Get("walk/linear/" + std::to_string(n));
    if (o > 0.0 && l > 0.0) std::printf("ratio walk/%d %.5f\n", n, o / l);
  }
  const double o = reporter.Get("load/ours"), l = reporter.Get("load/linear");
  if (o > 0.0) std::printf("load of %d lights: %.3f s\n", kLights, o);
  if (o > 0.0 && l > 0.0) std::printf("ratio load/%d %.5f\n", kLights, o / l);
  for (int w : widths) {
    const double deep = reporter.Get("groups/deep/" + std::to_string(w)),
                 shallow = reporter.Get("groups/shallow/" + std::to_string(w));
    if (deep > 0.0) std::printf("load of %d nested groups: %.4f s\n", kLayers * w, deep);
    if (deep > 0.0 && shallow > 0.0) std::printf("ratio groups/%d %.5f\n", kLayers * w, deep / shallow);
  }
  const double first = reporter.Get("groups/deep/" + std::to_string(widths.front())),
               last = reporter.Get("groups/deep/" + std::to_string(widths.back()));
  if (first > 0.0 && last > 0.0)
    std::printf("growth groups/%d-%d %.3f\n", kLayers * widths.front(), kLayers * widths.back(),
                (last / widths.back()) / (first / widths.front()));
  return 0;
}
