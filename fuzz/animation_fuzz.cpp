// The host's animation text: a text either gives a clip or one line of reason; a clip written
// back reads back into the same text, and every node evaluates on every track.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "host/animation_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  host::AnimationClip clip;
  std::string error;
  if (!host::ParseAnimationText(std::string(fuzz::AsText(data, size)), &clip, &error)) {
    FUZZ_CHECK(error.rfind("line ", 0) == 0, "a refusal without its line");
    return 0;
  }
  for (const host::AnimationTrack& track : clip.tracks)
    FUZZ_CHECK(track.lengthMs > 0 && track.keys.size() == clip.nodes.size(), "a track out of shape");
  const std::string text = host::WriteAnimationText(clip);
  host::AnimationClip again;
  FUZZ_CHECK(host::ParseAnimationText(text, &again, &error), "a written clip does not read");
  FUZZ_CHECK(host::WriteAnimationText(again) == text, "a written clip reads back otherwise");
  for (size_t t = 0; t < clip.tracks.size(); ++t)
    for (size_t n = 0; n < clip.nodes.size(); ++n)
      for (float time : {-1.0f, 0.0f, static_cast<float>(clip.tracks[t].lengthMs) / 3.0f, 1e9f})
        (void)clip.Evaluate(static_cast<int>(t), static_cast<int>(n), time);
  return 0;
}
