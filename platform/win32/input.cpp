// Keyboard, cursor, window, screen and display state, and the functions that read it.
#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

std::array<WORD, 768> IdentityRamp() {
  std::array<WORD, 768> ramp{};
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ramp[c * 256 + i] = static_cast<WORD>(i * 257);
  return ramp;
}

struct State {
  std::mutex lock;
  bool down[256] = {};
  bool pressed[256] = {};  // went down since the last GetAsyncKeyState of the key
  bool toggled[256] = {};
  POINT cursor{0, 0};
  size_t setCursorCalls = 0;
  int screenWidth = 1024;
  int screenHeight = 768;
  HWND foreground = nullptr;
  HWND capture = nullptr;
  std::map<HWND, POINT> origins;
  std::array<WORD, 768> ramp = IdentityRamp();
  size_t rampCalls = 0;
  std::set<uintptr_t> openDcs;
  uintptr_t nextDc = 0x10;

  void Reset() {
    std::fill(std::begin(down), std::end(down), false);
    std::fill(std::begin(pressed), std::end(pressed), false);
    std::fill(std::begin(toggled), std::end(toggled), false);
    cursor = POINT{0, 0};
    setCursorCalls = 0;
    screenWidth = 1024;
    screenHeight = 768;
    foreground = nullptr;
    capture = nullptr;
    origins.clear();
    ramp = IdentityRamp();
    rampCalls = 0;
    openDcs.clear();
  }

  void ClampCursor() {
    cursor.x = std::clamp<LONG>(cursor.x, 0, std::max(0, screenWidth - 1));
    cursor.y = std::clamp<LONG>(cursor.y, 0, std::max(0, screenHeight - 1));
  }

  POINT Origin(HWND window) const {
    auto it = origins.find(window);
    return it == origins.end() ? POINT{0, 0} : it->second;
  }
};

State& S() {
  static State state;
  return state;
}

bool ValidKey(int vk) { return vk >= 0 && vk < 256; }

}  // namespace

namespace win32 {

void ResetState() {
  {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    s.Reset();
  }
  UseRealClock();
}

void SetKeyDown(int virtualKey, bool down) {
  if (!ValidKey(virtualKey)) return;
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  if (down && !s.down[virtualKey]) {
    s.pressed[virtualKey] = true;
    s.toggled[virtualKey] = !s.toggled[virtualKey];
  }
  s.down[virtualKey] = down;
}

bool IsKeyDown(int virtualKey) {
  if (!ValidKey(virtualKey)) return false;
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.down[virtualKey];
}

void SetCursorPosition(int x, int y) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.cursor = POINT{x, y};
  s.ClampCursor();
}

POINT CursorPosition() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.cursor;
}

size_t SetCursorPosCalls() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.setCursorCalls;
}

void SetScreenSize(int width, int height) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.screenWidth = std::max(0, width);
  s.screenHeight = std::max(0, height);
  s.ClampCursor();
}

void SetForegroundWindow(HWND window) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.foreground = window;
}

HWND CaptureWindow() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.capture;
}

void SetClientOrigin(HWND window, int x, int y) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.origins[window] = POINT{x, y};
}

std::array<WORD, 768> GammaRamp() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.ramp;
}

size_t GammaRampSetCalls() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.rampCalls;
}

size_t OpenDeviceContexts() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.openDcs.size();
}

}  // namespace win32

SHORT GetAsyncKeyState(int virtualKey) {
  if (!ValidKey(virtualKey)) return 0;
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  unsigned result = s.down[virtualKey] ? 0x8000u : 0u;
  if (s.pressed[virtualKey]) result |= 1u;
  s.pressed[virtualKey] = false;
  return static_cast<SHORT>(static_cast<uint16_t>(result));
}

BOOL GetKeyboardState(PBYTE keyState) {
  if (keyState == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  for (int i = 0; i < 256; ++i)
    keyState[i] = static_cast<BYTE>((s.down[i] ? 0x80 : 0) | (s.toggled[i] ? 1 : 0));
  return TRUE;
}

BOOL GetCursorPos(LPPOINT point) {
  if (point == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *point = win32::CursorPosition();
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.cursor = POINT{x, y};
  s.ClampCursor();
  ++s.setCursorCalls;
  return TRUE;
}

namespace {
// Moves a point between client and screen coordinates of a window: sign 1 towards the
// screen, -1 towards the client area.
BOOL OffsetByWindowOrigin(HWND window, LPPOINT point, LONG sign) {
  if (window == nullptr || point == nullptr) {
    SetLastError(window == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  const POINT o = s.Origin(window);
  point->x += sign * o.x;
  point->y += sign * o.y;
  return TRUE;
}
}  // namespace

BOOL ClientToScreen(HWND window, LPPOINT point) { return OffsetByWindowOrigin(window, point, 1); }

BOOL ScreenToClient(HWND window, LPPOINT point) { return OffsetByWindowOrigin(window, point, -1); }

HWND SetCapture(HWND window) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  HWND previous = s.capture;
  s.capture = window;
  return previous;
}

BOOL ReleaseCapture() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.capture = nullptr;
  return TRUE;
}

HWND GetCapture() { return win32::CaptureWindow(); }

HWND GetForegroundWindow() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.foreground;
}

int GetSystemMetrics(int index) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  switch (index) {
    case SM_CXSCREEN: return s.screenWidth;
    case SM_CYSCREEN: return s.screenHeight;
    default: return 0;
  }
}

HDC GetWindowDC(HWND) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  const uintptr_t dc = s.nextDc;
  s.nextDc += 0x10;
  s.openDcs.insert(dc);
  return reinterpret_cast<HDC>(dc);
}

int ReleaseDC(HWND, HDC dc) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.openDcs.erase(reinterpret_cast<uintptr_t>(dc)) != 0 ? 1 : 0;
}

BOOL SetDeviceGammaRamp(HDC dc, LPVOID ramp) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  if (ramp == nullptr || s.openDcs.count(reinterpret_cast<uintptr_t>(dc)) == 0) {
    SetLastError(ramp == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const auto* words = static_cast<const WORD*>(ramp);
  std::copy(words, words + 768, s.ramp.begin());
  ++s.rampCalls;
  return TRUE;
}

BOOL GetDeviceGammaRamp(HDC dc, LPVOID ramp) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  if (ramp == nullptr || s.openDcs.count(reinterpret_cast<uintptr_t>(dc)) == 0) {
    SetLastError(ramp == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::copy(s.ramp.begin(), s.ramp.end(), static_cast<WORD*>(ramp));
  return TRUE;
}
