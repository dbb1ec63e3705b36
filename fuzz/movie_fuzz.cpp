// The movie file: the input is read as a movie. Reading must never fail unsafely; a movie that
// reads writes back exactly the bytes it was read from (the input may run on past them), and
// those bytes read and write the same again. Nothing is kept from a refused input.
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "playback/movie_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(fuzz::AsText(data, size));
  Playback::MovieData movie;
  std::istringstream in(input, std::ios::binary);
  Playback::MovieReadFailure failure;
  if (!movie.Read(in, &failure)) {
    FUZZ_CHECK(movie.sceneEvents.empty() && movie.tracks.empty(), "a refused movie kept events");
    FUZZ_CHECK(failure.offset <= size, "a failure was placed past the input");
    return 0;
  }
  std::ostringstream out(std::ios::binary);
  movie.Write(out);
  const std::string written = out.str();
  FUZZ_CHECK(input.compare(0, written.size(), written) == 0, "the movie wrote other bytes than it read");
  Playback::MovieData again;
  std::istringstream back(written, std::ios::binary);
  FUZZ_CHECK(again.Read(back), "a written movie does not read");
  std::ostringstream second(std::ios::binary);
  again.Write(second);
  FUZZ_CHECK(second.str() == written, "a movie read back writes differently");
  return 0;
}
