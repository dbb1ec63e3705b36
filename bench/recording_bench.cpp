// The cost of recording: one frame of the recording scene system on sample stage 1 with 16
// recording objects that walk to and fro while a parameter of each model changes every frame,
// with a recorder attached to all of them, against the same frame with no recorder (its peer).
// Both run the same calls; with the recorder each walk and each parameter change also becomes an
// event, and every object's parameters are checked after its step. The scene's update yields the
// processor for a millisecond, so the figure compared is the thread's CPU time.
//
// The cost of a replay that makes many objects at once: one player update of a movie whose
// ObjectCreated events all fall in its first frame, per object made, at 20,000 objects against
// the same at 1,000 (its peer); a cost that grows with the objects already made shows as a ratio
// above 1.
//
// The round trip of a script of many objects, as `footlight record` and `footlight play` run
// one: on sample stage 1 each object loads a dancer's model and stands in the first frame, takes
// a title in the second and walks in the third, every other one leaves in the fifth; eight
// frames are recorded and the movie is then played to its end in a host of its own, both hosts
// taken down with what is left. CPU time per object at 20,000 against 1,000 (its peer): the
// host's part of it must not grow with the objects alive.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "frame/dma_interface.h"
#include "frame/renderable.h"
#include "host/renderable.h"
#include "host/standard_host.h"
#include "playback/playback_clock.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"
#include "ratio_reporter.h"

namespace {

constexpr int kObjects = 16;
constexpr int kFrames = 3000;  // the same frames for both, so the movie's growth is the same each run

const std::string kSamples = FOOTLIGHT_SOURCE_DIR "/samples";

void Frames(benchmark::State& state, bool recording) {
  host::StandardHost standard(kSamples);
  if (standard.host.LoadModule(&DMAInterface) == nullptr) {
    state.SkipWithError("the module does not load");
    return;
  }
  ComponentHandle handle{};
  standard.host.CreateObject(&handle, "SceneSystem");
  auto* scene = dynamic_cast<Playback::SceneSystem*>(static_cast<CComponentBase*>(standard.host.GetObject(&handle)));
  if (scene == nullptr || scene->LoadScene(1) == 0) {
    state.SkipWithError("sample stage 1 does not load");
    standard.host.DestroyAll();
    return;
  }
  std::vector<Playback::SceneBaseObj*> objects;
  std::vector<host::RenderableObject*> models;
  for (int i = 0; i < kObjects; ++i) {
    const uint32_t key[2] = {static_cast<uint32_t>(i + 1), 0xBE4Cu};
    auto* object = dynamic_cast<Playback::SceneBaseObj*>(scene->CreateSceneObject(key));
    if (object == nullptr || !object->LoadFromIni(10005, 1, 0, 0.0f)) {
      state.SkipWithError("a dancer does not load");
      standard.host.DestroyAll();
      return;
    }
    object->SetTag(0);
    const D3DXVECTOR3 where(static_cast<float>(i % 4) * 2.0f - 3.0f, 0.0f, static_cast<float>(i / 4) * 2.0f - 3.0f);
    object->SetPositionAction(&where, 0.0f, 0);
    objects.push_back(object);
    models.push_back(static_cast<host::RenderableObject*>(
        static_cast<IRenderableObject*>(standard.host.GetObject(object->GetHandle()))));
  }
  Playback::Recorder* recorder = recording ? scene->StartRecording() : nullptr;
  standard.renderer.SetRecording(false);

  int frame = 0;
  char value[16];
  for (auto _ : state) {
    for (int i = 0; i < kObjects; ++i) {
      Playback::SceneBaseObj* object = objects[static_cast<size_t>(i)];
      if (!object->IsMoving()) {
        D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
        float yaw = 0.0f;
        object->GetPosition(&at, &yaw);
        object->MoveToRecorded(at.x, -at.z, at.z > 0.0f ? 3.1415927f : 0.0f, 2.0f, 6.2831853f, 3, 0);
      }
      std::snprintf(value, sizeof value, "%d", frame + i);
      models[static_cast<size_t>(i)]->SetParameter("face", value);
    }
    scene->Execute(16);
    // The reference host keeps every message it carries; a game's host does not.
    standard.host.ClearMessages();
    ++frame;
  }
  if (recorder != nullptr) {
    Playback::MovieDataPtr movie;
    recorder->GetMovie(&movie);
    size_t events = 0;
    for (const auto& track : movie->tracks) events += track.second->size();
    state.counters["events"] = static_cast<double>(events);
    scene->StopRecording(recorder);
  }
  standard.host.DestroyAll();
}

// One update that replays `objects` ObjectCreated events of time 0, each object's track one
// SetTag; the host and the movie are made and taken down outside the time measured.
void Created(benchmark::State& state, int objects) {
  Playback::MovieDataPtr movie(new Playback::MovieData);
  for (int i = 0; i < objects; ++i) {
    const auto id = static_cast<uint32_t>(i);
    movie->sceneEvents.emplace_back(0, Playback::MakeSceneEvent<Playback::kSceneObjectCreated>(id));
    Playback::MovieData::TrackPtr track(new Playback::MovieData::Track);
    track->emplace_back(0, Playback::MakeObjectEvent<Playback::kObjectSetTag>(1u));
    movie->tracks[id] = track;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto standard = std::make_unique<host::StandardHost>(kSamples);
    standard->host.LoadModule(&DMAInterface);
    ComponentHandle handle{};
    standard->host.CreateObject(&handle, "SceneSystem");
    auto* scene =
        dynamic_cast<Playback::SceneSystem*>(static_cast<CComponentBase*>(standard->host.GetObject(&handle)));
    auto* player = static_cast<Playback::MoviePlayer*>(scene->StartPlaying());
    player->Load(movie);
    player->Play();
    state.ResumeTiming();
    player->Update(16);
    state.PauseTiming();
    if (scene->GetSceneObjectCount() != static_cast<uint32_t>(objects)) state.SkipWithError("objects were not made");
    standard->host.DestroyAll();
    standard.reset();
    state.ResumeTiming();
  }
  state.counters["ops"] = static_cast<double>(objects);
}

// A host with the module and the recording scene system on sample stage 1; null scene when
// either does not load.
struct StageHost {
  std::unique_ptr<host::StandardHost> standard = std::make_unique<host::StandardHost>(kSamples);
  Playback::SceneSystem* scene = nullptr;

  StageHost() {
    if (standard->host.LoadModule(&DMAInterface) == nullptr) return;
    ComponentHandle handle{};
    standard->host.CreateObject(&handle, "SceneSystem");
    auto* made = dynamic_cast<Playback::SceneSystem*>(static_cast<CComponentBase*>(standard->host.GetObject(&handle)));
    if (made != nullptr && made->LoadScene(1) != 0) scene = made;
  }
  void Close() {
    standard->host.DestroyAll();
    standard.reset();
  }
};

constexpr int kRoundTripFrames = 8;

// One script run: the movie recorded, or null when an object did not load.
Playback::MovieDataPtr RecordScript(StageHost& stage, int objects) {
  Playback::Recorder* recorder = stage.scene->StartRecording();
  const std::wstring title = L"dancer";
  const auto key = [](int k, uint32_t out[2]) {
    out[0] = static_cast<uint32_t>(k);
    out[1] = 0x5C12u;
  };
  const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(objects))));
  const auto place = [&](int k) { return D3DXVECTOR3(static_cast<float>(k % side), 0.0f, static_cast<float>(k / side)); };
  for (int frame = 0; frame < kRoundTripFrames; ++frame) {
    for (int k = 1; k <= objects; ++k) {
      uint32_t id[2];
      key(k, id);
      if (frame == 0) {
        CSceneBaseObj* object = stage.scene->CreateSceneObject(id);
        if (object == nullptr || !object->LoadFromIni(10005, 1, 0, 0.0f)) return nullptr;
        object->SetTag(0);
        const D3DXVECTOR3 where = place(k);
        object->SetPositionAction(&where, 0.0f, 0);
      } else if (frame == 1) {
        stage.scene->FindSceneObjectById(id)->SetTitle(title.c_str(), 0, 12, 1);
      } else if (frame == 2) {
        const D3DXVECTOR3 to = place(k) + D3DXVECTOR3(0.5f, 0.0f, 0.5f);
        static_cast<Playback::SceneBaseObj*>(stage.scene->FindSceneObjectById(id))
            ->MoveToRecorded(to.x, to.z, 0.785f, 2.0f, 6.2831853f, 3, 0);
      } else if (frame == 4 && k % 2 == 0) {
        stage.scene->DestroySceneObject(id);
      }
    }
    stage.standard->host.Execute(16);
  }
  Playback::MovieDataPtr movie;
  recorder->GetMovie(&movie);
  stage.scene->StopRecording(recorder);
  return movie;
}

void RoundTrip(benchmark::State& state, int objects) {
  for (auto _ : state) {
    state.PauseTiming();
    StageHost recording;
    state.ResumeTiming();
    if (recording.scene == nullptr) {
      state.SkipWithError("sample stage 1 does not load");
      return;
    }
    Playback::MovieDataPtr movie = RecordScript(recording, objects);
    recording.Close();
    if (!movie) {
      state.SkipWithError("a dancer does not load");
      return;
    }
    state.PauseTiming();
    StageHost playing;
    state.ResumeTiming();
    Playback::Player* player = playing.scene->StartPlaying();
    player->Load(movie);
    player->Play();
    uint32_t most = 0;
    for (int frame = 0; player->IsPlaying() && frame < 10 * kRoundTripFrames; ++frame) {
      playing.standard->host.Execute(16);
      most = std::max(most, playing.scene->GetSceneObjectCount());
    }
    playing.scene->StopPlaying(player);
    playing.Close();
    if (most < static_cast<uint32_t>(objects)) {
      state.SkipWithError("the replay did not make every object");
      break;
    }
  }
  state.counters["ops"] = static_cast<double>(objects);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("frame/recording", Frames, true)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("frame/plain", Frames, false)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("created/1000", Created, 1000)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("created/20000", Created, 20000)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("round_trip/1000", RoundTrip, 1000)->Iterations(2)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("round_trip/20000", RoundTrip, 20000)->Iterations(1)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double recording = reporter.Cpu("frame/recording/iterations:3000");
  const double plain = reporter.Cpu("frame/plain/iterations:3000");
  if (recording > 0.0 && plain > 0.0) std::printf("ratio recording/plain %.2f\n", recording / plain);
  const double recordingReal = reporter.Get("frame/recording/iterations:3000");
  const double plainReal = reporter.Get("frame/plain/iterations:3000");
  if (recordingReal > 0.0 && plainReal > 0.0)
    std::printf("ratio recording/plain in real time, the 1 ms yield included %.2f\n", recordingReal / plainReal);
  const double many = reporter.PerOp("created/20000/iterations:5");
  const double few = reporter.PerOp("created/1000/iterations:5");
  if (many > 0.0 && few > 0.0)
    std::printf("per object made: %.2f us at 1000, %.2f us at 20000; ratio created 20000/1000 %.2f\n", few * 1e3,
                many * 1e3, many / few);
  const double tripMany = reporter.CpuPerOp("round_trip/20000/iterations:1");
  const double tripFew = reporter.CpuPerOp("round_trip/1000/iterations:2");
  if (tripMany > 0.0 && tripFew > 0.0)
    std::printf("round trip per object: %.3f ms CPU at 1000, %.3f ms at 20000; ratio round_trip 20000/1000 %.2f\n",
                tripFew, tripMany, tripMany / tripFew);
  return 0;
}
