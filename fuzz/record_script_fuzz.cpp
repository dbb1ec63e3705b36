// The recording script of footlight record: any text either reads into actions that a recording
// can run (frames in order and below the recording's end, known verbs, objects that exist) or is
// refused with one line naming the script's line.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "apps/footlight/record_command.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const std::set<std::string> kVerbs = {"object", "walk",    "title",  "effect", "param",
                                               "light",  "state",   "destroy", "unload", "load"};
  for (const int frames : {0, 300}) {
    std::istringstream in(text);
    std::vector<RecordAction> actions;
    std::string error;
    if (!ReadRecordScript(in, "s", frames, &actions, &error)) {
      FUZZ_CHECK(error.rfind("s line ", 0) == 0, "a refusal names the line");
      FUZZ_CHECK(error.find('\n') == std::string::npos, "a refusal is one line");
      continue;
    }
    FUZZ_CHECK(error.empty(), "an accepted script has no error");
    long last = 0;
    int objects = 0;
    for (const RecordAction& a : actions) {
      FUZZ_CHECK(a.frame >= last && a.frame < frames, "frames run forward below the end");
      last = a.frame;
      FUZZ_CHECK(kVerbs.count(a.verb) == 1, "only known actions");
      if (a.verb == "object") FUZZ_CHECK(a.object == ++objects, "objects are numbered in order");
      const bool onObject = a.verb == "walk" || a.verb == "title" || a.verb == "effect" || a.verb == "param" ||
                            a.verb == "destroy";
      if (onObject) FUZZ_CHECK(a.object >= 1 && a.object <= objects, "actions name a made object");
    }
  }
  return 0;
}
