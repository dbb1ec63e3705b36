#include "host/obj_text.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>

namespace host {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The words of a line, split at blanks as the parser splits them.
class Words {
 public:
  explicit Words(std::string_view line) : rest_(line) {}
  bool Next(std::string_view* word) {
    size_t at = 0;
    while (at < rest_.size() && IsBlank(rest_[at])) ++at;
    size_t end = at;
    while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
    *word = rest_.substr(at, end - at);
    rest_.remove_prefix(end);
    return !word->empty();
  }

 private:
  std::string_view rest_;
};

std::string Quoted(std::string_view word) {
  constexpr size_t kShown = 24;
  return "\"" + std::string(word.substr(0, kShown)) + (word.size() > kShown ? "...\"" : "\"");
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The power of ten of the first significant digit of a decimal number (2 for "123e0", -2 for
// "0.05"), for one a double does not hold: below 0 it is too small, and the parser reads 0.
long DecimalScale(const char* p, const char* end) {
  long whole = 0, zeros = 0;
  bool significant = false;
  for (; p < end && IsDigit(*p); ++p)
    if (significant || *p != '0') {
      significant = true;
      ++whole;
    }
  if (p < end && *p == '.')
    for (++p; p < end && IsDigit(*p); ++p)
      if (!significant) {
        significant = *p != '0';
        zeros += significant ? 0 : 1;
      }
  long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const bool down = p + 1 < end && p[1] == '-';
    const char* digits = p + 1 + (p + 1 < end && (p[1] == '-' || p[1] == '+') ? 1 : 0);
    if (std::from_chars(digits, end, exponent).ec == std::errc::result_out_of_range) exponent = LONG_MAX / 2;
    if (down) exponent = -exponent;
  }
  return (whole > 0 ? whole - 1 : -zeros - 1) + exponent;
}

// Why a word of a vertex line is refused, or "" when it is a number a float holds or no number.
std::string NumberProblem(std::string_view word) {
  const std::string_view number = !word.empty() && word[0] == '+' ? word.substr(1) : word;
  const char* first = number.data();
  double value = 0.0;
  const auto [end, ec] = std::from_chars(first, first + number.size(), value, std::chars_format::general);
  if (ec == std::errc::invalid_argument) return "";
  if (ec == std::errc::result_out_of_range) {
    if (DecimalScale(first + (*first == '-' ? 1 : 0), end) < 0) return "";
  } else if (std::isnan(value) || std::isinf(value)) {
    return Quoted(word) + " is not a finite number";
  } else if (std::fabs(value) <= FLT_MAX) {
    return "";
  }
  return Quoted(word) + " is beyond the range of a float";
}

std::string LineProblem(std::string_view line) {
  Words words(line);
  std::string_view keyword;
  if (!words.Next(&keyword)) return "";
  if (keyword == "f") {
    size_t corners = 0;
    for (std::string_view word; words.Next(&word);) ++corners;
    if (corners > kMaxObjFaceCorners)
      return "a face of " + std::to_string(corners) + " corners; a face has at most " +
             std::to_string(kMaxObjFaceCorners);
    return "";
  }
  if (keyword != "v" && keyword != "vn" && keyword != "vt") return "";
  for (std::string_view word; words.Next(&word) && word[0] != '#';)
    if (std::string why = NumberProblem(word); !why.empty()) return why;
  return "";
}

}  // namespace

std::string ObjTextProblem(std::string_view text) {
  for (size_t number = 1; !text.empty(); ++number) {
    size_t end = 0;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string_view line = text.substr(0, end);
    // The parser reads a line as a C string: what follows a NUL is not there for it.
    line = line.substr(0, line.find('\0'));
    if (std::string why = LineProblem(line); !why.empty()) return "line " + std::to_string(number) + ": " + why;
    size_t next = end;
    if (next < text.size()) next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;
    text.remove_prefix(next);
  }
  return "";
}

}  // namespace host
