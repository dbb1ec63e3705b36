// The state behind the input, window, display and clock functions of win32/win32.h, as the
// host and tests set and read it. Every function here is safe to call from any thread.
//
// Note: each copy of the platform layer has its own state; a module loaded as a shared
// library carries its own copy, separate from the host program's.
#pragma once
#include <array>
#include <cstddef>

#include "win32/win32_types.h"

namespace win32 {

// Back to the start: no key down, cursor at (0, 0), screen 1024 x 768, no foreground or
// capture window, client origins (0, 0), identity gamma ramp, no device context out, the
// real clock.
void ResetState();

// Keys (virtual-key codes 0-255; mouse buttons are keys too). A key going down flips its
// toggle state and is remembered as pressed for the next GetAsyncKeyState of that key.
void SetKeyDown(int virtualKey, bool down);
bool IsKeyDown(int virtualKey);

// The cursor in screen coordinates, as the user moves it (SetCursorPos moves it as well).
void SetCursorPosition(int x, int y);
POINT CursorPosition();
// How often SetCursorPos was called since the last reset.
size_t SetCursorPosCalls();

// Screen size in pixels (GetSystemMetrics SM_CXSCREEN / SM_CYSCREEN); the cursor is kept on it.
void SetScreenSize(int width, int height);

// Windows: the foreground window, the window holding the mouse capture, and where a window's
// client area starts on the screen (ClientToScreen / ScreenToClient).
void SetForegroundWindow(HWND window);
HWND CaptureWindow();
void SetClientOrigin(HWND window, int x, int y);

// The display: the gamma ramp last set (identity until then), how often it was set, and the
// device contexts handed out and not yet released.
std::array<WORD, 768> GammaRamp();
size_t GammaRampSetCalls();
size_t OpenDeviceContexts();

// The clock behind timeGetTime: the real monotonic clock, or a manual one that only moves
// when told.
void UseManualClock(DWORD nowMs);
void AdvanceManualClock(DWORD ms);
void UseRealClock();

// COM initialisations still open on the calling thread.
int ComInitCount();

}  // namespace win32
