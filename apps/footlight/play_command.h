// footlight play MOVIE [--resource DIR] [--speed S] [--elapsed MS] [--frames N] [--list]
//
// Makes the recording scene system "SceneSystem", loads the movie MOVIE (a module path below the
// resource root) through its load slot, prints the movie's scene and state, and plays it: each
// frame prints the scene events it applied and every replayed object (movie id, position, yaw,
// title), until the movie's end or N frames. --list prints every event of the movie instead.
#pragma once
#include <string>
#include <vector>

#include "apps/footlight/cli.h"

namespace Playback {
class SceneEvent;
}
// A scene event as the listings show it: its name and payload.
std::string DescribeMovieEvent(const Playback::SceneEvent& event);

namespace footlight {

// The command: 0 when the movie played (or was listed) and nothing leaked; 1 when it does not
// load or a host block is left.
void AddPlayCommand(cli::Program& program);

}  // namespace footlight
