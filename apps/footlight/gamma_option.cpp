#include "apps/footlight/gamma_option.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "win32/win32_state.h"

bool ParseGamma(const char* text, float* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (*end != '\0' || errno != 0 || !std::isfinite(value) || value <= 0.0 || value > 1e30) return false;
  *out = static_cast<float>(value);
  return true;
}

std::string GammaRampLine(const std::string& label) {
  const auto ramp = win32::GammaRamp();
  char line[128];
  std::snprintf(line, sizeof line, ": 0 0x%04x, 128 0x%04x, 255 0x%04x", ramp[0], ramp[128], ramp[255]);
  return label + line;
}
