#include "apps/footlight/run_state.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "win32/win32_state.h"

namespace footlight {
namespace {

// An unsigned number in full: no sign, no blanks, no trailing characters.
bool ParseUnsigned(const std::string& text, int base, unsigned long long* value) {
  if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text.c_str(), &end, base);
  return errno == 0 && *end == '\0';
}

}  // namespace

bool ParseVirtualKeys(const std::string& text, std::vector<int>* keys, std::string* error) {
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const bool hex = item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X');
    unsigned long long value = 0;
    if (!ParseUnsigned(hex ? item.substr(2) : item, hex ? 16 : 10, &value) || value < 1 || value > 254) {
      *error = "option --keys takes virtual keys 1-254, decimal or 0x hex, separated by commas; got \"" + item + "\"";
      return false;
    }
    keys->push_back(static_cast<int>(value));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool ParseMilliseconds(const std::string& text, DWORD* ms, std::string* error) {
  unsigned long long value = 0;
  if (!ParseUnsigned(text, 10, &value) || value > 0xFFFFFFFFull) {
    *error = "option --clock takes milliseconds from 0 to 4294967295, got \"" + text + "\"";
    return false;
  }
  *ms = static_cast<DWORD>(value);
  return true;
}

void GammaWatch::Sample() {
  const std::array<WORD, 768> ramp = win32::GammaRamp();
  for (size_t i = 0; i < ramp.size(); ++i) {
    if (ramp[i] != (i % 256) * 257) {  // the identity ramp spreads 0-255 over 0-65535
      changed_ = true;
      last_ = ramp;
      return;
    }
  }
}

std::string GammaWatch::Summary() const {
  if (!changed_) return std::string();
  std::string line = "gamma ramp (entries 0, 128, 255):";
  const char* names[3] = {"red", "green", "blue"};
  for (int c = 0; c < 3; ++c) {
    char part[64];
    std::snprintf(part, sizeof part, "%s %s %u %u %u", c == 0 ? "" : ",", names[c], last_[c * 256],
                  last_[c * 256 + 128], last_[c * 256 + 255]);
    line += part;
  }
  return line;
}

}  // namespace footlight
