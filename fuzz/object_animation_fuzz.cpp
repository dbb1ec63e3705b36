// The animation section of a "Renderable"'s object file: the input is the file. Whatever it holds,
// the reader takes it whole or refuses it; what it takes has named animations of at least 1 ms,
// each once, with events in time order within their length; and a renderable plays any of them
// for any tick without an event outside the animation.
#include <cstdint>
#include <string>
#include <strings.h>
#include <vector>

#include "fuzz_support.h"
#include "host/renderable_animation.h"

namespace {
int g_events = 0;
void CountEvent(void*, IAnimation*, int32_t, const char* text) {
  FUZZ_CHECK(text != nullptr && text[0] != '\0', "an empty text event was told");
  ++g_events;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<host::RenderableAnimation> animations;
  std::string error;
  if (!host::ParseAnimations(fuzz::AsText(data, size), &animations, &error)) {
    FUZZ_CHECK(!error.empty(), "a refusal gave no reason");
    return 0;
  }
  for (size_t i = 0; i < animations.size(); ++i) {
    const host::RenderableAnimation& a = animations[i];
    FUZZ_CHECK(!a.name.empty() && a.lengthMs >= 1, "an unnamed or empty animation was taken");
    for (size_t j = 0; j < i; ++j)
      FUZZ_CHECK(strcasecmp(animations[j].name.c_str(), a.name.c_str()) != 0, "a name was taken twice");
    for (size_t k = 0; k < a.events.size(); ++k) {
      FUZZ_CHECK(a.events[k].timeMs <= a.lengthMs, "an event beyond its animation was taken");
      FUZZ_CHECK(k == 0 || a.events[k - 1].timeMs <= a.events[k].timeMs, "events out of time order");
    }
  }
  host::RenderableAnimator animator;
  animator.SetAnimations(animations);
  for (const host::RenderableAnimation& a : animator.Animations()) {
    g_events = 0;
    FUZZ_CHECK(animator.Play(a.name.c_str(), false, 1.0f), "a taken animation does not play");
    animator.Advance(a.lengthMs, nullptr, nullptr, &CountEvent, nullptr);
    FUZZ_CHECK(g_events == static_cast<int>(a.events.size()), "one run did not tell every event once");
    FUZZ_CHECK(animator.Current() == nullptr, "a one-shot animation did not end at its length");
  }
  return 0;
}
