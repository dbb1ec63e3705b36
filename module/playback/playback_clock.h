// The playback clock: one process-wide signed 32-bit millisecond counter that only the recording
// scene system's Execute advances. It wraps as a 32-bit two's-complement number, and so do the
// differences of its values that make movie times.
#pragma once
#include <cstdint>

namespace Playback {

int32_t PlaybackClock();
void AdvancePlaybackClock(int32_t ms);
// Puts the clock at a value, for tests (0 is where the process starts).
void SetPlaybackClockForTests(int32_t value);
// later - earlier, wrapped to 32 bits.
inline int32_t ClockDifference(int32_t later, int32_t earlier) {
  return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}
// A float or double in milliseconds as a 32-bit integer: truncated toward zero, saturated at the
// ends of the range, 0 for NaN.
int32_t SaturatingInt32(double value);

}  // namespace Playback
