// How internal failures leave the module: raised as _EXS, traced in the registry log on the
// way out by every named operation they pass, and handed to the host.
//
//   Raise      logs an entry, "User Rised Exception" and "<source> line <n>", then throws
//              _EXS "URE" (flag 0).
//   Assert     logs "Assert failed in <source> line <n>, expression string <expr>" and throws
//              the character string "assert".
//   Guard      wraps the body of a named operation:
//              - an _EXS with flag 0: logs the name, begins an entry and lets it go on;
//              - an _EXS with another flag: logs the name and takes it in; the operation
//                returns the result given for that case;
//              - a character string: entry, "User Rised Exception", the name; goes on as an
//                _EXS holding the string ("EXS( unknown )" for a null one);
//              - anything else: entry, "System Rised Exception", the name; goes on as an
//                _EXS "unknown".
//
// Processor faults (access violations, division by zero) are signals on Linux, not C++
// exceptions, and no handler turns them into exceptions: such a fault ends the process as
// it would any program. Only C++ exceptions of other types take the "System Rised
// Exception" path.
#pragma once
#include <type_traits>
#include <utility>

#include "frame/exs.h"

namespace exs_detail {
// The bare file name of a source path ("scene_system.cpp" for ".../scene/scene_system.cpp").
constexpr const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}

// Runs inside a catch block of a guarded operation named `name` and deals with the exception
// in flight. Returns only when it was an _EXS with a flag other than 0 (taken in);
// otherwise it throws (the same _EXS, or a new one made from what was caught).
void HandleInGuard(const char* name);
}  // namespace exs_detail

// Raises the module's own failure at a source position.
[[noreturn]] void RaiseExs(const char* sourceName, int line);

// A failed assertion at a source position.
[[noreturn]] void AssertFailed(const char* sourceName, int line, const char* expression);

// Runs `body` as the named operation `name` and returns its result. When an _EXS with a
// nonzero flag is taken in, the operation returns `resultWhenTakenIn` (converted to the
// body's result type, so that e.g. nullptr serves for a pointer).
template <class Body, class Result = std::invoke_result_t<Body&>>
  requires(!std::is_void_v<Result>)
Result Guard(const char* name, Body&& body, std::type_identity_t<Result> resultWhenTakenIn) {
  try {
    return body();
  } catch (...) {
    exs_detail::HandleInGuard(name);
  }
  return resultWhenTakenIn;
}

// The same for an operation without a result.
template <class Body>
  requires std::is_void_v<std::invoke_result_t<Body&>>
void Guard(const char* name, Body&& body) {
  try {
    body();
  } catch (...) {
    exs_detail::HandleInGuard(name);
  }
}

#define FL_SOURCE_NAME (::exs_detail::BaseName(__FILE__))
// Raises the module's failure here.
#define FL_RAISE() ::RaiseExs(FL_SOURCE_NAME, __LINE__)
// Checks an expression; always compiled in.
#define FL_ASSERT(expr)                                             \
  do {                                                              \
    if (!(expr)) ::AssertFailed(FL_SOURCE_NAME, __LINE__, #expr);   \
  } while (0)
