// The options of "footlight lights": the input is the argument list, NUL-separated. Parsing
// either gives options in range, every path one of the arguments and none of them leaving the
// resource root by a leading /, or one line that says what was wrong; it never leaves the light
// file unnamed.
#include <cstdint>
#include <string>
#include <vector>

#include "apps/footlight/lights_command.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  const std::string text(fuzz::AsText(data, size));
  size_t start = 0;
  while (start <= text.size() && args.size() < 64) {
    const size_t end = text.find('\0', start);
    args.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }

  LightsOptions options;
  options.file = "untouched";
  std::string error;
  if (ParseLightsOptions(args, &options, &error)) {
    FUZZ_CHECK(!options.file.empty() && options.file[0] != '/', "the light file is unnamed or absolute");
    FUZZ_CHECK(options.time >= 0 && options.tick >= 1, "a time or tick out of range was taken");
    bool named = false;
    for (const std::string& a : args) named = named || a == options.file;
    FUZZ_CHECK(named, "the light file is not one of the arguments");
    FUZZ_CHECK(options.save.empty() || options.save[0] != '/', "an absolute path to save to");
    for (const std::string* v : {&options.resource, &options.save})
      if (!v->empty() && *v != ".") {
        bool given = false;
        const std::string joined = "=" + *v;  // --save=OUT
        for (const std::string& a : args)
          given = given || a == *v ||
                  (a.size() > joined.size() && a.compare(a.size() - joined.size(), std::string::npos, joined) == 0);
        FUZZ_CHECK(given, "a value that is not one of the arguments");
      }
  } else {
    FUZZ_CHECK(!error.empty(), "a refusal without a reason");
    FUZZ_CHECK(options.file == "untouched", "a refusal changed the options");
  }
  return 0;
}
