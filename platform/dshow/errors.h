// Result codes of the video layer in words, as DirectShow's AMGetErrorText gives them: a short
// reason for each code the layer and its file sources return, for a person to read beside the
// code itself.
#pragma once
#include "dshow/com.h"

#define E_ACCESSDENIED (static_cast<HRESULT>(0x80070005u))

// The failure of a Win32 error code as a result code.
inline HRESULT HRESULT_FROM_WIN32(DWORD error) {
  return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

// Writes the reason for `hr` into `buffer` (at most `length` characters with the NUL, cut where
// it does not fit) and gives the characters written; 0, with nothing written, for a code it has
// no words for.
FOOTLIGHT_PLATFORM_API DWORD AMGetErrorTextA(HRESULT hr, char* buffer, DWORD length);
