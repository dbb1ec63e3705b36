// The animations of a "Renderable" (host/renderable.h), read from the object file's own section:
//
//   [animation]
//   animation=walk,1000                  a name and its length in milliseconds (1 or more)
//   event=walk,250,sound,step            an animation's name, a time in milliseconds within its
//                                        length, then the text event (the rest of the line)
//
// Names are unique (case ignored) and not empty; an event names an animation of the file. A
// file that breaks this is refused whole; a file without the section has no animations.
//
// Playing: 400001 starts a known animation (answer 1; unknown: 0, nothing changes), from its
// start, looping or not. Only the renderable's tick (slot 2) moves it on, by the value the tick
// passes, and only there are the callbacks called: the plain one (interface slot 25) with code 5
// once an animation has started, 4 each time a looping one wraps, 6 when a non-looping one ends
// (it then stops); the text one (slot 27) with each text event whose time was reached, in time
// order (an event at time 0 on the first tick, one at the length before the wrap or end). A
// callback that starts another animation ends the tick's work on the old one.
//
// The animation handed to the callbacks answers slot 1 (its controller, whatever the index)
// and 14 (time scale, 1); the controller 17 (busy: while a non-looping animation plays), 19 (the
// speed 400001 gave) and 21 (the length in seconds). Tests may set all of them after a start.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host_interfaces.h"
#include "frame/renderable.h"
#include "host/lighting_objects.h"

namespace host {

struct AnimationTextEvent {
  uint32_t timeMs = 0;
  std::string text;
};

struct RenderableAnimation {
  std::string name;
  uint32_t lengthMs = 0;
  std::vector<AnimationTextEvent> events;  // in time order
};

// Reads the animation section; false with the reason in `error` when it is malformed.
bool ReadAnimations(IIniFile* ini, std::vector<RenderableAnimation>* out, std::string* error);
// The same from the text of a file.
bool ParseAnimations(std::string_view text, std::vector<RenderableAnimation>* out, std::string* error);

class RenderableAnimator {
 public:
  void SetAnimations(std::vector<RenderableAnimation> animations);
  const std::vector<RenderableAnimation>& Animations() const { return animations_; }

  // 400001: starts the named animation; false for an unknown one.
  bool Play(const char* name, bool loop, float speed);
  // Slot 2: moves the current animation on by `ms` and calls the callbacks of what happened.
  void Advance(uint32_t ms, RenderableEventFn plain, void* plainContext, AnimationTextEventFn text, void* textContext);

  // The animation playing (null when none) and where it stands.
  const RenderableAnimation* Current() const { return current_; }
  uint32_t ElapsedMs() const { return elapsed_; }
  bool Looping() const { return loop_; }
  RecordingAnimation& Handed() { return handed_; }

 private:
  // Calls the text events with times in (from, to]; from -1 takes an event at 0 in. False when a
  // callback started another animation.
  bool FireEvents(int64_t from, int64_t to, AnimationTextEventFn text, void* context);
  bool Plain(RenderableEventFn plain, void* context, int32_t code);

  std::vector<RenderableAnimation> animations_;
  const RenderableAnimation* current_ = nullptr;
  bool loop_ = false;
  bool startPending_ = false;
  bool fresh_ = false;  // nothing of the current cycle told yet
  uint32_t elapsed_ = 0;
  uint32_t generation_ = 0;
  RecordingAnimation handed_{"renderable"};
};

}  // namespace host
