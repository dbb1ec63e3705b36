// The Windows C runtime's case-insensitive comparisons (ASCII folding, as the C locale does).
#pragma once
#include "platform_api.h"
#include <cstddef>

FOOTLIGHT_PLATFORM_API int _stricmp(const char* a, const char* b);
FOOTLIGHT_PLATFORM_API int _strnicmp(const char* a, const char* b, size_t count);
