// The Windows C runtime's case-insensitive comparisons (ASCII folding, as the C locale does).
#pragma once
#include <cstddef>

int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t count);
