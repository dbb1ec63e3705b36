#include "host/renderable_animation.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <strings.h>

#include "host/ini_file.h"
#include "host/ini_service.h"
#include "host/object_file.h"

namespace host {
namespace {

constexpr char kSection[] = "animation";
constexpr uint64_t kMaxWrapsPerTick = 64;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// A whole decimal number of milliseconds, 0 to 2^31 - 1.
bool Milliseconds(const std::string& text, uint32_t* out) {
  const std::string t = Trim(text);
  if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const unsigned long long v = std::strtoull(t.c_str(), nullptr, 10);
  if (errno != 0 || v > 0x7fffffffull) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

}  // namespace

bool ReadAnimations(IIniFile* ini, std::vector<RenderableAnimation>* out, std::string* error) {
  if (ini == nullptr) return Fail(error, "no file");
  std::vector<RenderableAnimation> animations;
  std::vector<std::string> lines;
  if (!ReadKeyLines(ini, kSection, "animation", &lines)) return Fail(error, "an animation line is too long");
  auto find = [&](const std::string& name) {
    return std::find_if(animations.begin(), animations.end(),
                        [&](const RenderableAnimation& a) { return strcasecmp(a.name.c_str(), name.c_str()) == 0; });
  };
  for (const std::string& line : lines) {
    const size_t comma = line.find(',');
    RenderableAnimation a;
    a.name = Trim(line.substr(0, comma));
    if (comma == std::string::npos || a.name.empty() || !Milliseconds(line.substr(comma + 1), &a.lengthMs) ||
        a.lengthMs == 0)
      return Fail(error, "an animation is not a name and a length of 1 ms or more");
    if (find(a.name) != animations.end()) return Fail(error, "animation " + a.name + " is named twice");
    animations.push_back(std::move(a));
  }
  lines.clear();
  if (!ReadKeyLines(ini, kSection, "event", &lines)) return Fail(error, "an event line is too long");
  for (const std::string& line : lines) {
    const size_t first = line.find(',');
    const size_t second = first == std::string::npos ? std::string::npos : line.find(',', first + 1);
    if (second == std::string::npos) return Fail(error, "an event is not an animation, a time and a text");
    auto it = find(Trim(line.substr(0, first)));
    AnimationTextEvent event;
    if (it == animations.end()) return Fail(error, "an event names no animation of the file");
    if (!Milliseconds(line.substr(first + 1, second - first - 1), &event.timeMs) || event.timeMs > it->lengthMs)
      return Fail(error, "an event time is not within its animation");
    event.text = Trim(line.substr(second + 1));
    if (event.text.empty()) return Fail(error, "an event without a text");
    it->events.push_back(std::move(event));
  }
  for (RenderableAnimation& a : animations)
    std::stable_sort(a.events.begin(), a.events.end(),
                     [](const AnimationTextEvent& x, const AnimationTextEvent& y) { return x.timeMs < y.timeMs; });
  *out = std::move(animations);
  return true;
}

bool ParseAnimations(std::string_view text, std::vector<RenderableAnimation>* out, std::string* error) {
  auto document = std::make_shared<const IniDocument>(IniDocument::Parse(text));
  IniFile ini(std::make_shared<IniServiceCore>(), "animation", document);
  return ReadAnimations(&ini, out, error);
}

void RenderableAnimator::SetAnimations(std::vector<RenderableAnimation> animations) {
  animations_ = std::move(animations);
  current_ = nullptr;
  startPending_ = false;
  ++generation_;
}

bool RenderableAnimator::Play(const char* name, bool loop, float speed) {
  if (name == nullptr) return false;
  auto it = std::find_if(animations_.begin(), animations_.end(),
                         [&](const RenderableAnimation& a) { return strcasecmp(a.name.c_str(), name) == 0; });
  if (it == animations_.end()) return false;
  current_ = &*it;
  loop_ = loop;
  elapsed_ = 0;
  startPending_ = true;
  fresh_ = true;
  ++generation_;
  RecordingController& controller = handed_.Controller();
  controller.SetSpeed(speed, 0);
  controller.SetPlayback(speed, static_cast<float>(it->lengthMs) * 0.001f);
  controller.SetBusy(!loop);
  return true;
}

bool RenderableAnimator::Plain(RenderableEventFn plain, void* context, int32_t code) {
  const uint32_t generation = generation_;
  if (plain != nullptr) plain(context, &handed_, 0, 0, code);
  return generation == generation_;
}

bool RenderableAnimator::FireEvents(int64_t from, int64_t to, AnimationTextEventFn text, void* context) {
  if (current_ == nullptr) return true;
  const uint32_t generation = generation_;
  const RenderableAnimation* playing = current_;
  for (const AnimationTextEvent& e : playing->events) {
    if (static_cast<int64_t>(e.timeMs) <= from || static_cast<int64_t>(e.timeMs) > to) continue;
    if (text != nullptr) text(context, &handed_, 0, e.text.c_str());
    if (generation != generation_) return false;
  }
  return true;
}

void RenderableAnimator::Advance(uint32_t ms, RenderableEventFn plain, void* plainContext, AnimationTextEventFn text,
                                 void* textContext) {
  if (current_ == nullptr) return;
  if (startPending_) {
    startPending_ = false;
    if (!Plain(plain, plainContext, 5)) return;
  }
  uint64_t left = ms;
  for (;;) {
    const int64_t from = fresh_ ? -1 : static_cast<int64_t>(elapsed_);
    fresh_ = false;
    const uint64_t length = current_->lengthMs;
    const uint64_t reach = elapsed_ + left;
    if (reach < length) {
      elapsed_ = static_cast<uint32_t>(reach);
      FireEvents(from, static_cast<int64_t>(reach), text, textContext);
      return;
    }
    if (!FireEvents(from, static_cast<int64_t>(length), text, textContext)) return;
    left = reach - length;
    if (!loop_) {
      elapsed_ = static_cast<uint32_t>(length);
      handed_.Controller().SetBusy(false);
      const RenderableAnimation* ended = current_;
      if (!Plain(plain, plainContext, 6)) return;
      if (current_ == ended) current_ = nullptr;
      return;
    }
    elapsed_ = 0;
    fresh_ = true;
    if (!Plain(plain, plainContext, 4)) return;
    // A tick many cycles long tells a bounded number of wraps, not one per cycle.
    if (left > kMaxWrapsPerTick * length) left = left % length + length;
  }
}

}  // namespace host
