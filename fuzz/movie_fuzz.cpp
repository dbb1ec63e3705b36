// The movie file: the input is read as a movie. Reading must never fail unsafely; a movie that
// reads writes back exactly the bytes it was read from (the input may run on past them), and
// those bytes read and write the same again. Nothing is kept from a refused input. A movie that
// reads is then played to its end on a recording scene system: every event whose time comes is
// replayed, and the stopped player holds no object.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "frame/component_base.h"
#include "math/crt_rand.h"
#include "module_fuzz_host.h"
#include "playback/movie_data.h"
#include "playback/recording_scene_system.h"

namespace {

// Updates of a replay at most, so that a movie of many event times costs no more than a few.
constexpr size_t kMostSteps = 64;

struct State : fuzz::ModuleFuzzHost {
  ComponentHandle handle{};
  Playback::SceneSystem* scene = nullptr;
  State() {
    standard->host.CreateObject(&handle, "SceneSystem");
    scene = dynamic_cast<Playback::SceneSystem*>(static_cast<CComponentBase*>(standard->host.GetObject(&handle)));
    FUZZ_CHECK(scene != nullptr, "no recording scene system was made");
  }
};

// The movie's event times in order, each once, thinned to kMostSteps of them with the last kept.
std::vector<int32_t> StepTimes(const Playback::MovieData& movie) {
  std::vector<int32_t> times;
  for (const auto& entry : movie.sceneEvents) times.push_back(entry.first);
  for (const auto& track : movie.tracks)
    for (const auto& entry : *track.second) times.push_back(entry.first);
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  if (times.size() <= kMostSteps) return times;
  std::vector<int32_t> steps;
  for (size_t i = 1; i <= kMostSteps; ++i) steps.push_back(times[i * (times.size() - 1) / kMostSteps]);
  return steps;
}

// Plays the movie by jumping its time from one event time to the next: the player's updates
// are called directly, so the scene's own frame (and its yield of the processor) never runs.
void Replay(State& s, const Playback::MovieDataPtr& movie) {
  // The creation keys an input draws do not hang on the inputs before it.
  CrtSrand(1);
  Playback::Player* player = s.scene->StartPlaying();
  auto* replay = static_cast<Playback::MoviePlayer*>(player);
  player->Load(movie);
  player->Play();
  replay->Update(0);
  for (const int32_t time : StepTimes(*movie)) {
    if (!player->IsPlaying()) break;
    replay->Update(static_cast<int32_t>(std::clamp<int64_t>(int64_t{time} - player->GetTime(), 0, INT32_MAX)));
  }
  if (player->IsPlaying()) {
    FUZZ_CHECK(replay->SceneCursor() == movie->sceneEvents.end(), "a scene event was never reached");
    for (const auto& [id, entry] : replay->ReplayedObjects())
      FUZZ_CHECK(entry.cursor == movie->tracks.at(id)->end(), "an object's event was never reached");
    player->Stop();
  }
  FUZZ_CHECK(replay->ReplayedObjects().empty(), "a stopped player kept objects");
  s.scene->StopPlaying(player);
  // A second ObjectCreated of one id leaves the first object to the scene: the next input
  // starts without it.
  s.scene->UnloadSceneThunk();
  s.standard->host.ClearMessages();
  s.standard->host.ClearLog();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(fuzz::AsText(data, size));
  Playback::MovieDataPtr movie(new Playback::MovieData);
  std::istringstream in(input, std::ios::binary);
  Playback::MovieReadFailure failure;
  if (!movie->Read(in, &failure)) {
    FUZZ_CHECK(movie->sceneEvents.empty() && movie->tracks.empty(), "a refused movie kept events");
    FUZZ_CHECK(failure.offset <= size, "a failure was placed past the input");
    return 0;
  }
  std::ostringstream out(std::ios::binary);
  movie->Write(out);
  const std::string written = out.str();
  FUZZ_CHECK(input.compare(0, written.size(), written) == 0, "the movie wrote other bytes than it read");
  Playback::MovieData again;
  std::istringstream back(written, std::ios::binary);
  FUZZ_CHECK(again.Read(back), "a written movie does not read");
  std::ostringstream second(std::ios::binary);
  again.Write(second);
  FUZZ_CHECK(second.str() == written, "a movie read back writes differently");
  Replay(fuzz::Once<State>(), movie);
  return 0;
}
