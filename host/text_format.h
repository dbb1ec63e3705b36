// printf-style formatting into a std::string, for the host's logs.
#pragma once
#include <cstdarg>
#include <string>

namespace host {
std::string FormatV(const char* format, va_list args);
}  // namespace host
