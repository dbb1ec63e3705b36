#include "playback/playback_clock.h"

#include <atomic>
#include <cmath>
#include <limits>

namespace Playback {
namespace {
std::atomic<uint32_t> g_clock{0};
}

int32_t PlaybackClock() { return static_cast<int32_t>(g_clock.load()); }
void AdvancePlaybackClock(int32_t ms) { g_clock.fetch_add(static_cast<uint32_t>(ms)); }
void SetPlaybackClockForTests(int32_t value) { g_clock.store(static_cast<uint32_t>(value)); }

int32_t SaturatingInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace Playback
