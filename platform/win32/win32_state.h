// The state behind the input, window, display and clock functions of win32/win32.h, as the
// host and tests set and read it. Every function here is safe to call from any thread.
// The platform is one shared library, so this state is one per process: what the host sets
// here, a module loaded with dlopen sees.
#pragma once
#include "platform_api.h"
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "win32/win32_types.h"

namespace win32 {

// The last lines given to OutputDebugStringA (at most 256), oldest first; clearing empties it.
FOOTLIGHT_PLATFORM_API std::vector<std::string> DebugOutput();
FOOTLIGHT_PLATFORM_API void ClearDebugOutput();

// Back to the start: no key down, cursor at (0, 0), screen 1024 x 768, no foreground or
// capture window, client origins (0, 0), identity gamma ramp, no device context out, the
// real clock.
FOOTLIGHT_PLATFORM_API void ResetState();

// Keys (virtual-key codes 0-255; mouse buttons are keys too). A key going down flips its
// toggle state and is remembered as pressed for the next GetAsyncKeyState of that key.
FOOTLIGHT_PLATFORM_API void SetKeyDown(int virtualKey, bool down);
FOOTLIGHT_PLATFORM_API bool IsKeyDown(int virtualKey);

// The cursor in screen coordinates, as the user moves it (SetCursorPos moves it as well).
FOOTLIGHT_PLATFORM_API void SetCursorPosition(int x, int y);
FOOTLIGHT_PLATFORM_API POINT CursorPosition();
// How often SetCursorPos was called since the last reset.
FOOTLIGHT_PLATFORM_API size_t SetCursorPosCalls();

// Screen size in pixels (GetSystemMetrics SM_CXSCREEN / SM_CYSCREEN); the cursor is kept on it.
FOOTLIGHT_PLATFORM_API void SetScreenSize(int width, int height);

// Windows: the foreground window, the window holding the mouse capture, and where a window's
// client area starts on the screen (ClientToScreen / ScreenToClient).
FOOTLIGHT_PLATFORM_API void SetForegroundWindow(HWND window);
FOOTLIGHT_PLATFORM_API HWND CaptureWindow();
FOOTLIGHT_PLATFORM_API void SetClientOrigin(HWND window, int x, int y);

// The display: the gamma ramp last set (identity until then), how often it was set, and the
// device contexts handed out and not yet released.
FOOTLIGHT_PLATFORM_API std::array<WORD, 768> GammaRamp();
FOOTLIGHT_PLATFORM_API size_t GammaRampSetCalls();
FOOTLIGHT_PLATFORM_API size_t OpenDeviceContexts();

// The clock behind timeGetTime: the real monotonic clock, or a manual one that only moves
// when told.
FOOTLIGHT_PLATFORM_API void UseManualClock(DWORD nowMs);
FOOTLIGHT_PLATFORM_API void AdvanceManualClock(DWORD ms);
FOOTLIGHT_PLATFORM_API void UseRealClock();
// Called after every change of the clock above (a manual move, a switch of clocks).
FOOTLIGHT_PLATFORM_API void AddClockListener(void (*listener)());

// COM initialisations still open on the calling thread.
FOOTLIGHT_PLATFORM_API int ComInitCount();

}  // namespace win32
