#include "apps/footlight/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "host/file_bytes.h"
#include "win32/file_system.h"
#include "win32/win32.h"

#ifndef FOOTLIGHT_VERSION
#define FOOTLIGHT_VERSION "0"
#endif

namespace footlight::cli {

// ---- Values --------------------------------------------------------------------------------------

namespace {

bool ParseFloat(const std::string& text, float* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno != 0 || !std::isfinite(value) || std::fabs(value) > 3.0e38) return false;
  *out = static_cast<float>(value);
  return true;
}

bool ParseFloats(const std::string& text, size_t count, float* out) {
  const std::vector<std::string> parts = SplitCommas(text);
  if (parts.size() != count) return false;
  for (size_t i = 0; i < count; ++i)
    if (!ParseFloat(parts[i], &out[i])) return false;
  return true;
}

bool IsHex(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

std::string Format(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

bool ParsePoint(const std::string& text, Point* out) {
  float v[3];
  if (!ParseFloats(text, 3, v)) return false;
  *out = Point{v[0], v[1], v[2]};
  return true;
}

bool ParseRay(const std::string& text, Ray* out) {
  const size_t colon = text.find(':');
  Ray ray;
  if (colon == std::string::npos || !ParsePoint(text.substr(0, colon), &ray.from) ||
      !ParsePoint(text.substr(colon + 1), &ray.to))
    return false;
  *out = ray;
  return true;
}

bool ParseSize(const std::string& text, int most, Size* out) {
  const size_t x = text.find('x');
  long long w = 0, h = 0;
  if (x == std::string::npos || !ParseWhole(text.substr(0, x), 1, most, &w) ||
      !ParseWhole(text.substr(x + 1), 1, most, &h))
    return false;
  *out = Size{static_cast<int>(w), static_cast<int>(h)};
  return true;
}

bool ParseColour(const std::string& text, Colour* out) {
  const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = prefixed ? text.substr(2) : text;
  if (digits.size() != 6 || !IsHex(digits)) return false;
  out->rgb = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
  return true;
}

std::string ColourWants(const std::string& text) {
  std::string wants = "a colour RRGGBB or 0xRRGGBB in hexadecimal";
  long long decimal = 0;
  if (ParseWhole(text, 0, 0xFFFFFF, &decimal)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%06llX", decimal);
    wants += " (" + text + " is " + hex + ")";
  }
  return wants;
}

bool ParseWhole(const std::string& text, long long least, long long most, long long* out) {
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '+'))
    return false;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < least || value > most) return false;
  *out = value;
  return true;
}

bool ParseGroundPoint(const std::string& text, GroundPoint* out) {
  float v[2];
  if (!ParseFloats(text, 2, v)) return false;
  *out = GroundPoint{v[0], v[1]};
  return true;
}

bool ParsePixel(const std::string& text, Pixel* out) {
  const std::vector<std::string> parts = SplitCommas(text);
  long long x = 0, y = 0;
  if (parts.size() != 2 || !ParseWhole(parts[0], 0, 65535, &x) || !ParseWhole(parts[1], 0, 65535, &y)) return false;
  *out = Pixel{static_cast<int>(x), static_cast<int>(y)};
  return true;
}

std::string NumberWants(const Range& range) {
  std::string wants = "a number";
  const bool low = std::isfinite(range.least), high = std::isfinite(range.most);
  if (low && high)
    wants += (range.aboveLeast ? " between " : " from ") + Format(range.least) + (range.aboveLeast ? " and " : " to ") +
             Format(range.most);
  else if (low)
    wants += (range.aboveLeast ? " above " : " from ") + Format(range.least);
  else if (high)
    wants += (range.belowMost ? " below " : " up to ") + Format(range.most);
  return wants;
}

bool ParseNumber(const std::string& text, const Range& range, float* out) {
  float v = 0.0f;
  if (!ParseFloat(text, &v)) return false;
  const double d = v;
  if (range.aboveLeast ? !(d > range.least) : !(d >= range.least)) return false;
  if (range.belowMost ? !(d < range.most) : !(d <= range.most)) return false;
  *out = v;
  return true;
}

std::string Named(const std::string& name) { return !name.empty() && name[0] == '-' ? "option " + name : name; }

std::string Takes(const std::string& name, const std::string& wants, const std::string& text) {
  return Named(name) + " takes " + wants + ", got \"" + text + "\"";
}

std::string WholeWants(long long least, long long most) {
  const bool bottom = least <= INT_MIN, top = most >= INT_MAX;
  if (bottom && top) return "a whole number";
  if (bottom) return "a whole number up to " + std::to_string(most);
  if (top) return "a whole number from " + std::to_string(least);
  return "a whole number from " + std::to_string(least) + " to " + std::to_string(most);
}

// ---- Declaring options ---------------------------------------------------------------------------

CLI::Option* Value(CLI::App* cmd, const std::string& name, Size* target, const std::string& help, int most) {
  return Custom<Size>(
      cmd, name, target, "WxH", "a size WxH, each 1 to " + std::to_string(most),
      [most](const std::string& text, Size* size) { return ParseSize(text, most, size); }, help);
}

CLI::Option* Value(CLI::App* cmd, const std::string& name, std::optional<Colour>* target, const std::string& help) {
  // The error names the hex form of a decimal colour, so the wording depends on the text.
  CLI::Option* option = cmd->add_option_function<std::string>(
      name,
      [name, target](const std::string& text) {
        Colour colour;
        if (!ParseColour(text, &colour)) throw CLI::ValidationError(Takes(name, ColourWants(text), text));
        *target = colour;
      },
      help);
  return option->type_name("RRGGBB");
}

CLI::Option* ResourceRoot(CLI::App* cmd, std::string* root) {
  return Custom<std::string>(
             cmd, "--resource", root, "DIR", "a folder",
             [](const std::string& text, std::string* value) {
               struct stat info{};
               if (text.empty() || stat(text.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
               *value = text;
               return true;
             },
             "the resource root: module files are named below it (default: the current folder)");
}

CLI::Option* ResourcePath(CLI::App* cmd, const std::string& name, std::string* target, const std::string& help) {
  CLI::Option* option = cmd->add_option_function<std::string>(
      name,
      [name, target](const std::string& text) {
        if (text.empty()) throw CLI::ValidationError(Named(name) + " takes a path below the resource root, got \"\"");
        if (text[0] == '/')
          throw CLI::ValidationError(Named(name) + " takes a path below the resource root (--resource DIR), not \"" +
                                     text + "\": a path starting with / is refused");
        *target = text;
      },
      help);
  // A positional argument's name says what it is.
  return option->type_name(option->get_positional() ? "" : "PATH");
}

CLI::Option* PlainPath(CLI::App* cmd, const std::string& name, std::string* target, const std::string& help) {
  return Custom<std::string>(
      cmd, name, target, "FILE", "a file name",
      [](const std::string& text, std::string* value) {
        *value = text;
        return !text.empty();
      },
      help);
}

CLI::Option* OutputPath(CLI::App* cmd, const std::string& name, std::string* target, const std::string& help) {
  CLI::Option* option = cmd->add_option_function<std::string>(
      name,
      [name, target](const std::string& text) {
        if (text.empty()) throw CLI::ValidationError(Takes(name, "a file name", text));
        if (std::string line; !Writable("", text, &line)) throw CLI::ValidationError(line);
        *target = text;
      },
      help);
  return option->type_name("FILE");
}

// ---- The program ---------------------------------------------------------------------------------

Program::Program() : app_("footlight: the dance game's 3D scene module, driven from the command line", "footlight") {
  // An option given twice counts once, the last time.
  app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // Unknown options and extra arguments are gathered and reported in footlight's own words.
  app_.allow_extras();
  app_.set_help_flag("-h,--help", "print this help and exit");
  app_.set_version_flag("--version", std::string("footlight ") + FOOTLIGHT_VERSION, "print the version and exit");
  app_.add_option("--lib", library_, "the module library (default: libfootlight.so beside the program)")
      ->type_name("PATH");
  app_.get_formatter()->column_width(36);
  app_.footer("Each command prints its own options: footlight COMMAND --help");
}

CLI::App* Program::Command(const std::string& name, const std::string& description, Runner run, CLI::App* parent) {
  CLI::App* command = (parent != nullptr ? parent : &app_)->add_subcommand(name, description);
  command->allow_extras();
  command->set_help_flag("-h,--help", "print this help and exit");
  command->footer("");
  if (run) runners_.emplace_back(command, std::move(run));
  return command;
}

void Program::Check(CLI::App* command, std::function<std::string()> check) {
  checks_.emplace_back(command, std::move(check));
}

CLI::App* Program::Selected() {
  CLI::App* at = &app_;
  for (;;) {
    const std::vector<CLI::App*> chosen = at->get_subcommands();
    if (chosen.empty()) return at;
    at = chosen.front();
  }
}

namespace {

std::string CommandPath(const CLI::App* command) {
  std::string path;
  for (const CLI::App* at = command; at != nullptr && at->get_parent() != nullptr; at = at->get_parent())
    path = at->get_name() + (path.empty() ? "" : " " + path);
  return path;
}

std::string SeeHelp(const CLI::App* command) {
  const std::string path = CommandPath(command);
  return " (see footlight " + (path.empty() ? std::string() : path + " ") + "--help)";
}

// The name in front of CLI11's own messages ("--frames: 1 required TEXT missing").
std::string LeadingName(const std::string& message, const std::string& end) {
  const size_t at = message.find(end);
  return at == std::string::npos ? message : message.substr(0, at);
}

}  // namespace

std::string Program::Unknown() {
  CLI::App* command = Selected();
  // Unknown options and arguments stay with the command that met them, or with its parents.
  for (const CLI::App* at = command; at != nullptr; at = at->get_parent()) {
    const std::vector<std::string> left = at->remaining();
    if (left.empty()) continue;
    const std::string& first = left.front();
    const bool option = first.size() > 1 && first[0] == '-';
    if (command == &app_)
      return (option ? "unknown option " + first : "unknown command \"" + first + "\"") + SeeHelp(command);
    return (option ? "unknown option " + first : "unexpected argument \"" + first + "\"") + " for " +
           CommandPath(command) + SeeHelp(command);
  }
  return "";
}

Program::Outcome Program::Evaluate(const std::vector<std::string>& args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  Outcome refused;
  try {
    app_.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return {0, app_.help()};
  } catch (const CLI::CallForAllHelp&) {
    return {0, app_.help()};
  } catch (const CLI::CallForVersion& version) {
    // The version is all that is printed: anything else given with it is refused.
    if (std::string line = Unknown(); !line.empty()) return {kUsage, line};
    if (Selected() != &app_) return {kUsage, "--version takes no command" + SeeHelp(&app_)};
    return {0, std::string(version.what()) + "\n"};
  } catch (const CLI::ArgumentMismatch& e) {
    refused = {kUsage, Named(LeadingName(e.what(), ":")) + " needs a value"};
  } catch (const CLI::RequiredError& e) {
    CLI::App* command = Selected();
    const std::string name = LeadingName(e.what(), " is required");
    const CLI::Option* option = command->get_option_no_throw(name);
    const std::string shown =
        option != nullptr && !option->get_positional() ? name + " " + option->get_type_name() : name;
    refused = {kUsage, CommandPath(command) + " needs " + shown + SeeHelp(command)};
  } catch (const CLI::ParseError& e) {
    // The option formats' own lines, and the rest of CLI11's as they are.
    refused = {kUsage, e.what()};
  }
  // An option or argument nobody knows explains the rest best.
  if (std::string line = Unknown(); !line.empty()) return {kUsage, line};
  if (refused.status >= 0) return refused;
  CLI::App* command = Selected();
  if (command == &app_) return {kUsage, "no command given" + SeeHelp(command)};
  const std::vector<CLI::App*> subcommands = command->get_subcommands([](CLI::App*) { return true; });
  if (!subcommands.empty() &&
      std::none_of(runners_.begin(), runners_.end(), [command](const auto& r) { return r.first == command; })) {
    std::string names;
    for (const CLI::App* sub : subcommands) names += (names.empty() ? "" : ", ") + sub->get_name();
    return {kUsage, CommandPath(command) + " needs a command: " + names + SeeHelp(command)};
  }
  for (const auto& [at, check] : checks_) {
    if (at != command) continue;
    const std::string line = check();
    if (!line.empty()) return {kUsage, line};
  }
  return {-1, ""};
}

int Program::Parse(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  const Outcome outcome = Evaluate(args);
  if (outcome.status == 0) std::fputs(outcome.text.c_str(), out);
  if (outcome.status > 0) std::fprintf(err, "footlight: %s\n", outcome.text.c_str());
  return outcome.status;
}

bool Program::ParseQuietly(const std::vector<std::string>& args, std::string* error) {
  const Outcome outcome = Evaluate(args);
  *error = outcome.status > 0 ? outcome.text : std::string();
  return outcome.status < 0;
}

int Program::Run(const Context& context) {
  CLI::App* command = Selected();
  for (const auto& [at, run] : runners_)
    if (at == command) return run(context);
  return Usage("no command given (see footlight --help)");
}

bool ParseCommand(const std::string& name, const std::vector<std::string>& args,
                  const std::function<void(Program&, CLI::App*)>& declare, std::string* error) {
  Program program;
  CLI::App* command = program.Command(name, "", [](const Context&) { return 0; });
  declare(program, command);
  std::vector<std::string> all{name};
  all.insert(all.end(), args.begin(), args.end());
  if (program.ParseQuietly(all, error)) return true;
  // Asked for its help, the command line prints it and runs nothing: no error, but no run either.
  if (error->empty()) *error = "asked for the help of footlight " + name + ", which runs nothing";
  return false;
}

// ---- Reports -------------------------------------------------------------------------------------

namespace {

int Report(const std::string& line, int status) {
  // What the command printed so far comes first, as on a terminal.
  std::fflush(stdout);
  std::fprintf(stderr, "footlight: %s\n", line.c_str());
  return status;
}

}  // namespace

int Fail(const std::string& line) { return Report(line, kFailed); }

int Context::EmptyClassList() const { return Usage(library + " returned an empty class list"); }

int Usage(const std::string& line) { return Report(line, kUsage); }

bool ReadPlain(const std::string& path, const char* what, uint64_t limit, std::vector<uint8_t>* out,
               std::string* line, bool* opened) {
  if (host::ReadFileBytes(path, what, limit, out, line)) return true;
  // A file that does not open gets the line every command gives one.
  const bool notOpened = line->rfind("cannot open ", 0) == 0;
  if (notOpened) Readable("", path, line);
  if (opened != nullptr) *opened = !notOpened;
  return false;
}

std::string NotOpened(const std::string& root, const std::string& path, const std::string& reason) {
  if (root.empty()) return "cannot open " + path + ": " + reason;
  return "cannot open " + path + " below the resource root \"" + root + "\": " + reason +
         (root == "." ? " (use --resource DIR)" : "");
}

bool Readable(const std::string& root, const std::string& path, std::string* line, uint64_t limit) {
  std::string file = path;
  if (!root.empty()) {
    file = win32::ResolvePath(root, path.c_str(), win32::PathMode::Read);
    if (file.empty()) {
      const DWORD why = GetLastError();
      *line = NotOpened(root, path,
                        why == ERROR_ACCESS_DENIED    ? "the path leads out of the resource root"
                        : why == ERROR_PATH_NOT_FOUND ? "no such folder"
                                                      : "no such file");
      return false;
    }
  }
  std::string reason;
  const win32::FileRead status = win32::CheckRegularFile(file, limit, &reason);
  if (status == win32::FileRead::Read) return true;
  if (status == win32::FileRead::NotOpened) {
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    *line = NotOpened(root, path, reason);
  } else {
    // Found, so naming the root would not help.
    *line = std::string(status == win32::FileRead::TooLarge ? "cannot read " : "cannot open ") + path +
            (root.empty() ? "" : " below the resource root \"" + root + "\"") + ": it " + reason;
  }
  return false;
}

std::string OnDisk(const std::string& root, const std::string& path) {
  const std::string file = win32::ResolvePath(root, path.c_str(), win32::PathMode::Read);
  if (!file.empty()) return file;
  std::string joined = path;
  for (char& c : joined)
    if (c == '\\') c = '/';
  return (root.empty() ? std::string(".") : root) + "/" + joined;
}

namespace {

std::string Reason(int error) {
  std::string reason = std::strerror(error);
  if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  return reason;
}

// Why the folder `folder` takes no new file, or "".
std::string FolderRefuses(const std::string& folder, const std::string& shown) {
  struct stat info{};
  if (stat(folder.c_str(), &info) != 0) return errno == ENOENT ? "no such folder" : Reason(errno);
  if (!S_ISDIR(info.st_mode)) return shown + " is not a folder";
  return access(folder.c_str(), W_OK | X_OK) == 0 ? "" : Reason(errno);
}

// Why the file `file`, which is there, cannot be written over, or "".
std::string FileRefuses(const std::string& file) {
  struct stat info{};
  if (stat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return "it is a folder";
  return access(file.c_str(), W_OK) == 0 ? "" : Reason(errno);
}

}  // namespace

bool Writable(const std::string& root, const std::string& path, std::string* line) {
  std::string why;
  if (root.empty()) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat info{};
    why = stat(path.c_str(), &info) == 0 ? FileRefuses(path) : FolderRefuses(folder, folder);
    if (why.empty()) return true;
    *line = "cannot write " + path + ": " + why;
    return false;
  }
  // The write makes the folders that are missing: the deepest one there must take new ones, and
  // none on the way may be a file.
  std::string folder = root, prefix;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = path.find_first_of("\\/", start);
    parts.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (size_t i = 0; i < parts.size() && why.empty(); ++i) {
    if (parts[i].empty() || parts[i] == ".") continue;
    prefix += (prefix.empty() ? "" : "\\") + parts[i];
    const std::string found = win32::ResolvePath(root, prefix.c_str(), win32::PathMode::Read);
    if (found.empty()) {
      if (GetLastError() == ERROR_ACCESS_DENIED) why = "the path leads out of the resource root";
      else why = FolderRefuses(folder, folder);
      break;
    }
    struct stat info{};
    const bool isFolder = stat(found.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (i + 1 == parts.size()) why = FileRefuses(found);
    else if (!isFolder) why = prefix + " is not a folder";
    folder = found;
  }
  if (why.empty()) return true;
  *line = "cannot write " + path + " below the resource root \"" + root + "\": " + why;
  return false;
}

void Wrote(const std::string& path) { std::printf("wrote %s\n", path.c_str()); }

void PrintLog(std::FILE* out, const std::vector<std::string>& lines) {
  std::map<std::string, size_t> seen;
  for (const std::string& line : lines) ++seen[line];
  for (const std::string& line : lines) {
    auto at = seen.find(line);
    if (at->second == 0) continue;
    if (at->second == 1)
      std::fprintf(out, "%s\n", line.c_str());
    else
      std::fprintf(out, "%s (%zu times)\n", line.c_str(), at->second);
    at->second = 0;
  }
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(std::min<size_t>(utf8.size(), INT_MAX));
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), size, out.data(), n);
  return out;
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace footlight::cli
