// footlight film FILE [--where N] [--frames N] [--wait S] [--png OUT] [--resource DIR]
//
// Starts the film player for FILE through the scene system (its PlayFilm slot), runs frames
// until the player's answer has been handled (--wait seconds at most, 10 by default), prints
// the exchange's log lines, destroys the scene system and reports any player, pid file or
// shared mapping left (after waiting --wait seconds again for them to go).
// No scene shows the film texture, so --png writes the texture's own last picture.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command: 0 when the player's answer came, was not a failure and nothing was left; 1
// otherwise.
void AddFilmCommand(cli::Program& program);

}  // namespace footlight
