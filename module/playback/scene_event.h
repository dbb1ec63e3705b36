// Scene events: things done to the scene system, in the order and with the payloads a movie
// keeps. An event is made once (by the recorder or the reader) and shared through
// boost::shared_ptr, whose atomic count lets movies and lists on any thread hold it.
#pragma once
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>
#include <tuple>

#include "playback/event_payload.h"

class CSceneSystem;

namespace Playback {

enum SceneEventType : uint32_t {
  kSceneLoadScene = 0,
  kSceneUnloadScene = 1,
  kSceneObjectCreated = 2,
  kSceneLightActive = 3,
  kSceneEndOfMovie = 4,
  kSceneStateString = 5,
  kScenePendingStateName = 6,
};
inline constexpr uint32_t kSceneEventTypeCount = 7;

class SceneEvent {
 public:
  explicit SceneEvent(uint32_t eventType) : type(eventType) {}
  virtual ~SceneEvent();                                // slot 0
  virtual void Apply(CSceneSystem* scene) const = 0;    // slot 1

  const uint32_t type;
};
using SceneEventPtr = boost::shared_ptr<const SceneEvent>;

// The payload of each type (fields in stream order) and its name.
template <uint32_t Code>
struct ScenePayload;
template <> struct ScenePayload<kSceneLoadScene> { using Fields = std::tuple<uint32_t>; static constexpr const char* kName = "LoadScene"; };
template <> struct ScenePayload<kSceneUnloadScene> { using Fields = std::tuple<>; static constexpr const char* kName = "UnloadScene"; };
template <> struct ScenePayload<kSceneObjectCreated> { using Fields = std::tuple<uint32_t>; static constexpr const char* kName = "ObjectCreated"; };
template <> struct ScenePayload<kSceneLightActive> { using Fields = std::tuple<std::string, uint8_t>; static constexpr const char* kName = "LightActive"; };
template <> struct ScenePayload<kSceneEndOfMovie> { using Fields = std::tuple<>; static constexpr const char* kName = "EndOfMovie"; };
template <> struct ScenePayload<kSceneStateString> { using Fields = std::tuple<std::string, uint8_t, uint32_t>; static constexpr const char* kName = "StateString"; };
template <> struct ScenePayload<kScenePendingStateName> { using Fields = std::tuple<std::string>; static constexpr const char* kName = "PendingStateName"; };

template <uint32_t Code>
class SceneEventOf final : public SceneEvent {
 public:
  using Fields = typename ScenePayload<Code>::Fields;
  explicit SceneEventOf(Fields payload) : SceneEvent(Code), fields(std::move(payload)) {}
  void Apply(CSceneSystem* scene) const override;

  const Fields fields;
};

// A new shared event of type Code with these payload fields.
template <uint32_t Code, class... Args>
SceneEventPtr MakeSceneEvent(Args&&... args) {
  return detail::MakeEvent<SceneEventOf, Code>(std::forward<Args>(args)...);
}

// f(std::integral_constant<uint32_t, Code>{}) for a known type; false for an unknown one.
template <class F>
bool VisitSceneType(uint32_t code, F&& f) {
  return detail::VisitType<kSceneEventTypeCount>(code, std::forward<F>(f));
}

// The name of a type, "?" for an unknown one.
inline const char* SceneEventName(uint32_t code) { return detail::TypeName<ScenePayload, kSceneEventTypeCount>(code); }

}  // namespace Playback
