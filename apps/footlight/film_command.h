// footlight film FILE [--where N] [--resource DIR]
//
// Starts the film player for FILE through the scene system (its PlayFilm slot), runs frames
// until the player's answer has been handled (10 seconds at most), prints the exchange's log
// lines, destroys the scene system and reports any player, pid file or shared mapping left.
#pragma once
#include <string>
#include <vector>

#include "frame/dma_interface.h"

extern const char* const kFilmUsage;

// 0 when the player's answer came, was not a failure and nothing was left; 1 otherwise; 2 on
// bad arguments.
int RunFilmCommand(const std::vector<std::string>& args, DMAInterfaceFn entry);
