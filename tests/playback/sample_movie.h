// A small movie made with the movie writer: scene 1, two dancers who are placed, titled and walk
// across the stage, a spot switched off and on, and the scene's state changing on the way; the
// second dancer leaves before the end. (The committed sample movie is footlight record's.)
#pragma once
#include <string>

#include "playback/movie_data.h"

namespace playback_testing {

Playback::MovieData SampleMovie();
// The file's bytes.
std::string SampleMovieBytes();

}  // namespace playback_testing
