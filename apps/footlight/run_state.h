// The operating-system state that footlight run sets for the module and reports on: keys held
// down during the frames (--keys), the manual clock (--clock) and the display's gamma ramp.
// The platform is one library per process, so what is set here is what the module reads.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "win32/win32_types.h"

namespace footlight {

// "36,0x25": virtual keys 1-254, each decimal or 0x hex, comma-separated. False with the
// reason in *error for anything else.
bool ParseVirtualKeys(const std::string& text, std::vector<int>* keys, std::string* error);
// A time in milliseconds, decimal, 0 to 4294967295.
bool ParseMilliseconds(const std::string& text, DWORD* ms, std::string* error);

// Watches the gamma ramp over a run: Sample() at each point the module may have changed it;
// the summary line names entries 0, 128 and 255 of each channel of the last ramp seen that was
// not the identity, or is empty when every sample was the identity.
class GammaWatch {
 public:
  void Sample();
  bool Changed() const { return changed_; }
  std::string Summary() const;

 private:
  bool changed_ = false;
  std::array<WORD, 768> last_{};
};

}  // namespace footlight
