// footlight run --gamma G: the display gamma a scene system sets after its Init (its slot 113),
// and the ramp entries a person checks it by.
#pragma once
#include <string>

// A gamma as the option takes it: a finite number above 0. False for anything else.
bool ParseGamma(const char* text, float* out);

// "LABEL: 0 0x0000, 128 0x8000, 255 0xff00": ramp entries 0, 128 and 255 (red) as the display
// holds them now.
std::string GammaRampLine(const std::string& label);
