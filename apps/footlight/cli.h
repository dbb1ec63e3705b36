// What every footlight command shares: one CLI11 program with a subcommand per command, the
// value formats, the resource-path rule, the error lines and the echo of written files.
//
// A command declares itself in its own file, its options one declaration each:
//
//   void AddPortalsCommand(cli::Program& program) {
//     auto* o = program.Keep<PortalsOptions>();
//     CLI::App* cmd = program.Command("portals", "build cells and portals over an OBJ mesh",
//                                     [o](const cli::Context& c) { return RunPortals(*o, c); });
//     cli::ResourcePath(cmd, "MESH", &o->mesh, "the OBJ mesh")->required();
//     cli::ResourceRoot(cmd, &o->resource);
//     cli::Whole(cmd, "--frames", &o->frames, 0, 100000, "frames to draw (default 1)");
//     cli::Value(cmd, "--eye", &o->eye, "where the eye stands");      // X,Y,Z; a Ray, Size, Colour alike
//     cmd->add_flag("--model", o->model, "hand the mesh over as a host mesh object");
//     program.Check(cmd, [o] { return o->frames == 0 && o->model ? "--model needs a frame" : ""; });
//   }
//
// Values are checked as they are parsed: a bad one, an unknown option, a missing value or a
// missing argument is one line "footlight: ..." on stderr and exit status 2, before the module
// is loaded. A Check sees the options together (a line, or "" when they go together). At run
// time a command reports with Fail (a failed load, save or build: status 1) or Usage (an
// argument found wrong only then: status 2), and echoes every file it wrote with Wrote.
//
// Files the module reads or writes are resource paths below --resource DIR (default: the
// current folder), declared with ResourcePath: one starting with / is refused, never moved below
// the root. Files only the command line reads or writes (--png, --backdrop, a script) are plain
// paths.
#pragma once
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "frame/dma_interface.h"

namespace footlight::cli {

constexpr int kFailed = 1;  // the work failed: a load, a save, a build
constexpr int kUsage = 2;   // bad arguments

// ---- Values --------------------------------------------------------------------------------------

struct Point {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};
struct Ray {
  Point from, to;
};
struct Size {
  int width = 0, height = 0;
};
struct Colour {
  uint32_t rgb = 0;  // 0xRRGGBB
};
// A point on the ground, "X,Z".
struct GroundPoint {
  float x = 0.0f, z = 0.0f;
};
// A pixel of the view, "X,Y", each 0 to 65535.
struct Pixel {
  int x = 0, y = 0;
};

// "X,Y,Z": three finite numbers.
bool ParsePoint(const std::string& text, Point* out);
// "X,Y,Z:X,Y,Z".
bool ParseRay(const std::string& text, Ray* out);
// "WxH", each 1 to `most`.
bool ParseSize(const std::string& text, int most, Size* out);
// "RRGGBB" or "0xRRGGBB", hexadecimal.
bool ParseColour(const std::string& text, Colour* out);
// Why a text is no colour, with the hex form of a decimal one: "a colour RRGGBB or 0xRRGGBB in
// hexadecimal (255 is 0x0000FF)".
std::string ColourWants(const std::string& text);
// A whole number in [least, most], decimal, all of the text.
bool ParseWhole(const std::string& text, long long least, long long most, long long* out);
// "X,Z": two finite numbers.
bool ParseGroundPoint(const std::string& text, GroundPoint* out);
// "X,Y": two whole numbers from 0 to 65535.
bool ParsePixel(const std::string& text, Pixel* out);
// The pieces of a comma-separated text, empty ones kept ("a,,b" gives three).
std::vector<std::string> SplitCommas(const std::string& text);

// "option --eye" for an option, "MESH" for a positional argument.
std::string Named(const std::string& name);
// The one line for a value that does not parse: "option --eye takes a point X,Y,Z, got "1,2"".
std::string Takes(const std::string& name, const std::string& wants, const std::string& text);

// ---- Declaring options ---------------------------------------------------------------------------

namespace detail {
template <class T, class V>
void Store(T* target, V value) {
  *target = std::move(value);
}
template <class E, class V>
void Store(std::vector<E>* target, V value) {
  target->push_back(static_cast<E>(std::move(value)));
}
template <class E>
void Store(std::vector<E>* target, std::vector<E> values) {
  target->insert(target->end(), values.begin(), values.end());
}
template <class T>
constexpr bool kRepeated = false;
template <class V>
constexpr bool kRepeated<std::vector<V>> = true;
template <class T>
struct Unwrap {
  using type = T;
};
template <class V>
struct Unwrap<std::optional<V>> {
  using type = V;
};
template <class V>
struct Unwrap<std::vector<V>> {
  using type = V;
};
template <class T>
using ValueOf = typename Unwrap<T>::type;
}  // namespace detail

// An option (or, for a name without dashes, a positional argument) whose text `parse` turns into
// a V, stored into *target: a V, a std::optional<V> or a std::vector<V> (the option then may come
// again, each value added in the order given). `metavar` shows in the help ("X,Y,Z"), `wants`
// in the error ("a point X,Y,Z").
template <class V, class Target>
CLI::Option* Custom(CLI::App* cmd, const std::string& name, Target* target, const std::string& metavar,
                    const std::string& wants, std::function<bool(const std::string&, V*)> parse,
                    const std::string& help) {
  auto take = [name, target, wants, parse](const std::string& text) {
    V value{};
    if (!parse(text, &value)) throw CLI::ValidationError(Takes(name, wants, text));
    detail::Store(target, std::move(value));
  };
  CLI::Option* option = nullptr;
  if constexpr (detail::kRepeated<Target>) {
    option = cmd->add_option_function<std::vector<std::string>>(
        name,
        [take](const std::vector<std::string>& texts) {
          for (const std::string& text : texts) take(text);
        },
        help);
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    // One value each time the option comes, taken as it comes, so that options adding to one
    // list keep the order they were given in; a positional argument takes every value left.
    if (!option->get_positional()) option->allow_extra_args(false)->trigger_on_parse();
  } else {
    option = cmd->add_option_function<std::string>(name, take, help);
  }
  return option->type_name(metavar);
}

// A size WxH, each side 1 to `most`.
CLI::Option* Value(CLI::App* cmd, const std::string& name, Size* target, const std::string& help, int most);
// A colour RRGGBB or 0xRRGGBB; a decimal one is refused with its hex form.
CLI::Option* Value(CLI::App* cmd, const std::string& name, std::optional<Colour>* target, const std::string& help);

// The shared formats, one declaration each, into a value, an optional or (an option that may
// come again) a vector.
template <class Target>
CLI::Option* Value(CLI::App* cmd, const std::string& name, Target* target, const std::string& help) {
  using V = detail::ValueOf<Target>;
  if constexpr (std::is_same_v<V, Point>) {
    return Custom<Point>(cmd, name, target, "X,Y,Z", "a point X,Y,Z", ParsePoint, help);
  } else if constexpr (std::is_same_v<V, Ray>) {
    return Custom<Ray>(cmd, name, target, "X,Y,Z:X,Y,Z", "a ray X,Y,Z:X,Y,Z", ParseRay, help);
  } else if constexpr (std::is_same_v<V, GroundPoint>) {
    return Custom<GroundPoint>(cmd, name, target, "X,Z", "a ground point X,Z", ParseGroundPoint, help);
  } else if constexpr (std::is_same_v<V, Pixel>) {
    return Custom<Pixel>(cmd, name, target, "X,Y", "a pixel X,Y (each 0 to 65535)", ParsePixel, help);
  } else {
    static_assert(std::is_same_v<V, Size>, "a value of a shared format");
    return Value(cmd, name, target, help, 4096);
  }
}
// What a whole number from `least` to `most` is called in an error: "a whole number from 1 to 9".
std::string WholeWants(long long least, long long most);

// A whole number from `least` to `most`, into an integer, an optional or a vector of them.
template <class Target>
CLI::Option* Whole(CLI::App* cmd, const std::string& name, Target* target, long long least, long long most,
                   const std::string& help) {
  return Custom<long long>(
      cmd, name, target, name[0] == '-' ? "N" : "", WholeWants(least, most),
      [least, most](const std::string& text, long long* value) { return ParseWhole(text, least, most, value); }, help);
}

// The bounds of a Number: open ends leave the bound out.
struct Range {
  double least = -HUGE_VAL, most = HUGE_VAL;
  bool aboveLeast = false, belowMost = false;
  static Range From(double least) { return {least, HUGE_VAL, false, false}; }
  static Range Above(double least) { return {least, HUGE_VAL, true, false}; }
  static Range Between(double least, double most) { return {least, most, true, true}; }
};
// "a number from 0", "a number between 0 and 180", ...
std::string NumberWants(const Range& range);
// A finite number within the range, all of the text.
bool ParseNumber(const std::string& text, const Range& range, float* out);

// A finite number within the range, into a float or an optional one.
template <class Target>
CLI::Option* Number(CLI::App* cmd, const std::string& name, Target* target, const std::string& help,
                    Range range = {}) {
  return Custom<float>(
      cmd, name, target, "F", NumberWants(range),
      [range](const std::string& text, float* value) { return ParseNumber(text, range, value); }, help);
}

// The resource root of the command's module files: --resource DIR, a folder, default ".".
CLI::Option* ResourceRoot(CLI::App* cmd, std::string* root);
// A file or folder of the module, below the resource root; one starting with / is refused.
CLI::Option* ResourcePath(CLI::App* cmd, const std::string& name, std::string* target, const std::string& help);
// A file of the command line itself, a plain path.
CLI::Option* PlainPath(CLI::App* cmd, const std::string& name, std::string* target, const std::string& help);
// A file the command line writes itself (--png), a plain path: one that cannot be written (see
// Writable) is refused as it is parsed, before any frame is run to make it.
CLI::Option* OutputPath(CLI::App* cmd, const std::string& name, std::string* target, const std::string& help);

// ---- The program ---------------------------------------------------------------------------------

// What a command runs with once its arguments parsed.
struct Context {
  DMAInterfaceFn entry = nullptr;
  std::string library;  // where the module came from

  // The line and status of a module whose entry gave the host no classes.
  int EmptyClassList() const;
};
using Runner = std::function<int(const Context&)>;

class Program {
 public:
  Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // A command of the program, or of `parent` (a command that takes commands of its own).
  CLI::App* Command(const std::string& name, const std::string& description, Runner run, CLI::App* parent = nullptr);
  // A check of a command's options together, after they all parsed: the one error line, or "".
  void Check(CLI::App* command, std::function<std::string()> check);
  // Storage for a command's options, alive as long as the program.
  template <class T>
  T* Keep() {
    auto kept = std::make_shared<T>();
    T* raw = kept.get();
    kept_.push_back(std::move(kept));
    return raw;
  }
  CLI::App& app() { return app_; }

  // Parses the arguments that follow the program's name. -1: they are good and Run() runs the
  // command; otherwise the exit status, the help or version printed on `out` or the one error
  // line on `err`.
  int Parse(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
  // As Parse, printing nothing: true when they are good, else false with the error line (empty
  // for help and version).
  bool ParseQuietly(const std::vector<std::string>& args, std::string* error);
  // The --lib option's value ("": the default library).
  const std::string& library() const { return library_; }
  // Runs the command that parsed.
  int Run(const Context& context);

 private:
  struct Outcome {
    int status = -1;
    std::string text;
  };
  Outcome Evaluate(const std::vector<std::string>& args);
  // The command that parsed, the program itself when none did.
  CLI::App* Selected();
  // The line for the first option or argument no command took, or "".
  std::string Unknown();

  CLI::App app_;
  std::string library_;
  std::vector<std::pair<CLI::App*, Runner>> runners_;
  std::vector<std::pair<CLI::App*, std::function<std::string()>>> checks_;
  std::vector<std::shared_ptr<void>> kept_;
};

// Parses `args` for one command alone (its options declared by `declare`): true when they are
// good, else false with the error line, or with a line that says so when they ask for the help.
// For the tests and fuzz targets of a command's options.
bool ParseCommand(const std::string& name, const std::vector<std::string>& args,
                  const std::function<void(Program&, CLI::App*)>& declare, std::string* error);

// ---- Reports -------------------------------------------------------------------------------------

// "footlight: LINE" on stderr; the status of a failure (1) or a bad argument (2).
int Fail(const std::string& line);
int Usage(const std::string& line);

// Whether a file opens for reading by the read step's rules (a regular file, opened without
// waiting, of at most `limit` bytes): a resource path below `root`, or with `root` empty a plain
// path. False with the one line that names the file, the root and the reason, with the hint
// "(use --resource DIR)" when the root is the default.
bool Readable(const std::string& root, const std::string& path, std::string* line, uint64_t limit = UINT64_MAX);
// The bytes of a plain file the command line reads itself (a backdrop, a script, an input),
// through the host's one read step: a folder, a device or a file above `limit` bytes is refused
// before a byte is read. False with the one line: as Readable gives it when the file does not
// open (*opened false), else why it did not read (*opened true).
bool ReadPlain(const std::string& path, const char* what, uint64_t limit, std::vector<uint8_t>* out,
               std::string* line, bool* opened = nullptr);
// Whether a file can be written: a resource path below `root`, whose missing folders the write
// makes, or with `root` empty a plain path, whose folder must be there. False with the one line
// "cannot write PATH: REASON" (with the root after PATH for a resource path).
bool Writable(const std::string& root, const std::string& path, std::string* line);
// The line of a file that does not open, as Readable gives it.
std::string NotOpened(const std::string& root, const std::string& path, const std::string& reason);
// The path on disk of a resource path below `root` that was written.
std::string OnDisk(const std::string& root, const std::string& path);
// "wrote PATH" on stdout.
void Wrote(const std::string& path);

// Text between the command line (UTF-8) and the module's wide strings, through the platform's
// UTF-8 code page.
std::wstring Wide(const std::string& utf8);
std::string Utf8(std::wstring_view text);

// The lines of a log, each distinct line once where it first came, with "(N times)" after a line
// that came again.
void PrintLog(std::FILE* out, const std::vector<std::string>& lines);

}  // namespace footlight::cli
