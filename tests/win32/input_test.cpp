#include <gtest/gtest.h>

#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

struct InputTest : ::testing::Test {
  void SetUp() override { win32::ResetState(); }
  void TearDown() override { win32::ResetState(); }
};

HWND Window(uintptr_t n) { return reinterpret_cast<HWND>(n); }

TEST_F(InputTest, AsyncKeyStateIsNegativeWhileDownAndNotesAPressOnce) {
  EXPECT_EQ(GetAsyncKeyState(VK_SNAPSHOT), 0);
  win32::SetKeyDown(VK_SNAPSHOT, true);
  const SHORT first = GetAsyncKeyState(VK_SNAPSHOT);
  EXPECT_LT(first, 0);
  EXPECT_EQ(first & 1, 1);
  const SHORT second = GetAsyncKeyState(VK_SNAPSHOT);
  EXPECT_LT(second, 0);  // still held
  EXPECT_EQ(second & 1, 0);
  win32::SetKeyDown(VK_SNAPSHOT, false);
  EXPECT_EQ(GetAsyncKeyState(VK_SNAPSHOT), 0);
  // A press and release between two queries still shows as pressed.
  win32::SetKeyDown(VK_LBUTTON, true);
  win32::SetKeyDown(VK_LBUTTON, false);
  EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 1);
  EXPECT_EQ(GetAsyncKeyState(-1), 0);
  EXPECT_EQ(GetAsyncKeyState(256), 0);
}

TEST_F(InputTest, KeyboardStateHasDownAndToggleBits) {
  win32::SetKeyDown(VK_CAPITAL, true);
  win32::SetKeyDown(VK_CAPITAL, false);
  win32::SetKeyDown('W', true);
  BYTE keys[256];
  ASSERT_TRUE(GetKeyboardState(keys));
  EXPECT_EQ(keys[VK_CAPITAL], 0x01);
  EXPECT_EQ(keys[static_cast<unsigned char>('W')] & 0x80, 0x80);
  EXPECT_EQ(keys[static_cast<unsigned char>('A')], 0);
  EXPECT_FALSE(GetKeyboardState(nullptr));
}

TEST_F(InputTest, CursorStaysOnTheScreen) {
  POINT p{};
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.x, 0);
  win32::SetScreenSize(800, 600);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
  EXPECT_EQ(GetSystemMetrics(99), 0);
  ASSERT_TRUE(SetCursorPos(400, 300));
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 400);
  EXPECT_EQ(p.y, 300);
  SetCursorPos(5000, -20);
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 799);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(win32::SetCursorPosCalls(), 2u);
  win32::SetCursorPosition(10, 20);  // the user moves the mouse
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(win32::SetCursorPosCalls(), 2u);
  EXPECT_FALSE(GetCursorPos(nullptr));
}

TEST_F(InputTest, ClientAndScreenCoordinates) {
  win32::SetClientOrigin(Window(0x40), 100, 50);
  POINT p{10, 20};
  ASSERT_TRUE(ClientToScreen(Window(0x40), &p));
  EXPECT_EQ(p.x, 110);
  EXPECT_EQ(p.y, 70);
  ASSERT_TRUE(ScreenToClient(Window(0x40), &p));
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
  POINT q{3, 4};
  EXPECT_TRUE(ClientToScreen(Window(0x80), &q));  // a window at the screen's corner
  EXPECT_EQ(q.x, 3);
  EXPECT_FALSE(ClientToScreen(nullptr, &q));
}

TEST_F(InputTest, CaptureAndForeground) {
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  win32::SetForegroundWindow(Window(0x40));
  EXPECT_EQ(GetForegroundWindow(), Window(0x40));
  EXPECT_EQ(SetCapture(Window(0x40)), nullptr);
  EXPECT_EQ(GetCapture(), Window(0x40));
  EXPECT_EQ(SetCapture(Window(0x80)), Window(0x40));
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(win32::CaptureWindow(), nullptr);
}

TEST_F(InputTest, GammaRampThroughTheWindowDeviceContext) {
  const auto identity = win32::GammaRamp();
  EXPECT_EQ(identity[255], 0xFFFF);
  EXPECT_EQ(identity[256 + 128], 128 * 257);

  HDC dc = GetWindowDC(Window(0x40));
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(win32::OpenDeviceContexts(), 1u);
  WORD ramp[768];
  for (int i = 0; i < 768; ++i) ramp[i] = static_cast<WORD>(i * 3);
  ASSERT_TRUE(SetDeviceGammaRamp(dc, ramp));
  WORD back[768] = {};
  ASSERT_TRUE(GetDeviceGammaRamp(dc, back));
  EXPECT_EQ(back[767], 767 * 3);
  EXPECT_EQ(win32::GammaRamp()[300], 900);
  EXPECT_EQ(win32::GammaRampSetCalls(), 1u);
  EXPECT_EQ(ReleaseDC(Window(0x40), dc), 1);
  EXPECT_EQ(ReleaseDC(Window(0x40), dc), 0);
  EXPECT_EQ(win32::OpenDeviceContexts(), 0u);
  EXPECT_FALSE(SetDeviceGammaRamp(dc, ramp));  // a released context is gone
  EXPECT_EQ(win32::GammaRampSetCalls(), 1u);
  HDC other = GetWindowDC(Window(0x40));
  EXPECT_NE(other, dc);
  EXPECT_FALSE(SetDeviceGammaRamp(other, nullptr));
  ReleaseDC(Window(0x40), other);
}

}  // namespace
