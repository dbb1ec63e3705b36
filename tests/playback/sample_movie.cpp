#include "sample_movie.h"

#include <sstream>

namespace playback_testing {

using namespace Playback;

MovieData SampleMovie() {
  MovieData movie;
  auto scene = [&](int32_t t, SceneEventPtr e) { movie.sceneEvents.emplace_back(t, std::move(e)); };
  scene(0, MakeSceneEvent<kScenePendingStateName>(std::string()));
  scene(0, MakeSceneEvent<kSceneLoadScene>(1u));
  scene(0, MakeSceneEvent<kSceneStateString>(std::string("warmup"), uint8_t{0}, 0u));
  scene(0, MakeSceneEvent<kSceneObjectCreated>(0u));
  scene(0, MakeSceneEvent<kSceneObjectCreated>(1u));
  scene(800, MakeSceneEvent<kSceneLightActive>(std::string("spotLeft"), uint8_t{0}));
  scene(1000, MakeSceneEvent<kSceneStateString>(std::string("dance"), uint8_t{1}, 0u));
  scene(1600, MakeSceneEvent<kSceneLightActive>(std::string("spotLeft"), uint8_t{1}));
  scene(2400, MakeSceneEvent<kSceneStateString>(std::string("finale"), uint8_t{1}, 200u));
  scene(3000, MakeSceneEvent<kSceneEndOfMovie>());

  // Each dancer: loaded, titled, placed, then two walks and a turn; the second leaves at 2600.
  auto dancer = [](const char16_t* title, float x, float z, float yaw, float toX, float toZ, bool leaves) {
    MovieData::TrackPtr track(new MovieData::Track);
    auto add = [&](int32_t t, ObjectEventPtr e) { track->emplace_back(t, std::move(e)); };
    add(0, MakeObjectEvent<kObjectLoadFromIni>(10005u, uint8_t{1}));
    add(0, MakeObjectEvent<kObjectSetTitle>(std::u16string(title), 0u, 12u));
    add(0, MakeObjectEvent<kObjectSetPositionAction>(D3DXVECTOR3(x, 0.0f, z), yaw, 1u));
    add(0, MakeObjectEvent<kObjectSetTag>(0u));
    add(0, MakeObjectEvent<kObjectSetScale>(1.0f));
    add(0, MakeObjectEvent<kObjectRegisterAnimationEvents>());
    add(200, MakeObjectEvent<kObjectPlayAnimationRequest>(std::string("walk"), uint8_t{1}, 1.0f, 0u, 0.0f, 0.0f,
                                                          0.0f, 0u));
    add(200, MakeObjectEvent<kObjectMoveTo>(toX, toZ, yaw, 0.004f, 3.14f, 2u, 1u));
    add(1200, MakeObjectEvent<kObjectMoveTo>(x, z, yaw + 3.14159f, 0.004f, 3.14f, 2u, 1u));
    add(2200, MakeObjectEvent<kObjectSetPositionAction>(D3DXVECTOR3(x, 0.0f, z), yaw, 3u));
    if (leaves) add(2600, MakeObjectEvent<kObjectShutdown>());
    return track;
  };
  movie.tracks[0] = dancer(u"Mira", -2.0f, 0.0f, 0.0f, -2.0f, 4.0f, false);
  movie.tracks[1] = dancer(u"J\u00f6rn \U0001F57A", 2.0f, 0.0f, 3.14159f, 2.0f, -4.0f, true);
  return movie;
}

std::string SampleMovieBytes() {
  std::ostringstream out(std::ios::binary);
  SampleMovie().Write(out);
  return out.str();
}

}  // namespace playback_testing
