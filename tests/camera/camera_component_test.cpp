// The camera as a component: its start, the screen centre, the device reset, the window
// messages in each state and the small operations around the modes.
#include <cmath>

#include "camera_fixture.h"
#include "host/generic_object.h"

using namespace camera_testing;

namespace {
constexpr float kPi = 3.14159265f;
}

TEST(CameraComponent, InitSubscribesInOrderAndLeavesTheCameraStillInFreeFly) {
  CameraRig r;
  ASSERT_NE(r.camera, nullptr);
  auto order = [&](const char* channel) {
    auto subs = r.Host().Subscribers(channel);
    return subs.size() == 1 && subs[0].first == r.cameraHandle ? subs[0].second : -1;
  };
  EXPECT_EQ(order("execute"), 1);
  EXPECT_EQ(order("realize"), 1);
  EXPECT_EQ(order("system_messages"), 3);
  EXPECT_EQ(order("LostDevice"), 0);
  CBaseCamera& c = *r.camera;
  EXPECT_EQ(c.GetMode(), 1);
  EXPECT_EQ(c.controllable, 0);
  EXPECT_FLOAT_EQ(c.yaw, kPi);
  EXPECT_FLOAT_EQ(c.distance, 5.0f);
  EXPECT_FLOAT_EQ(c.speed, 3.0f);
  EXPECT_FLOAT_EQ(c.minDistance, 1.0f);
  EXPECT_FLOAT_EQ(c.maxDistance, 6.0f);
  EXPECT_FLOAT_EQ(c.maxPitch, kPi / 3);
  EXPECT_FLOAT_EQ(c.minPitch, -kPi / 3);
  EXPECT_FLOAT_EQ(c.GetFieldOfView(), 51.481f);
  EXPECT_EQ(c.currentAction, -1);
  EXPECT_EQ(c.backBufferWidth, 800);
  EXPECT_EQ(c.backBufferHeight, 600);

  // Not controllable: a key press and a frame move nothing.
  const size_t views = r.Renderer().LookAtCalls();
  r.Message(WM_KEYDOWN, 'W', 0);
  r.Frame(100);
  EXPECT_EQ(c.keyW, 0);
  EXPECT_EQ(r.Renderer().LookAtCalls(), views);
}

TEST(CameraComponent, TheScreenCentreIsInScreenCoordinatesWhenWindowed) {
  // 800 x 600 on a 1024 x 768 screen, the client area at (100, 50).
  CameraRig windowed([](CameraRig& r) { win32::SetClientOrigin(r.Window(), 100, 50); });
  EXPECT_EQ(windowed.camera->centreX, 500);
  EXPECT_EQ(windowed.camera->centreY, 350);
  EXPECT_EQ(windowed.camera->clientCentreX, 400);
  EXPECT_EQ(windowed.camera->clientCentreY, 300);
}

TEST(CameraComponent, TheScreenCentreIsTheBackBuffersWhenItFillsTheScreen) {
  CameraRig full([](CameraRig& r) {
    win32::SetScreenSize(800, 600);
    win32::SetClientOrigin(r.Window(), 100, 50);
  });
  EXPECT_EQ(full.camera->centreX, 400);
  EXPECT_EQ(full.camera->centreY, 300);
}

TEST(CameraComponent, WithoutTheRendererInitFailsAndNothingReachesForIt) {
  CameraRig r([](CameraRig& rig) { rig.Host().AddService("dx8render", nullptr); });
  ASSERT_NE(r.camera, nullptr);
  EXPECT_EQ(r.camera->renderer, nullptr);
  ComponentHandle object{};
  r.Follow(D3DXVECTOR3(1, 0, 1), 0.0f, &object);
  r.camera->EnterOrbit(&object, 1.0f, 1, 1);
  r.Frame(16);
  r.camera->EnterFreeFly();
  r.Message(WM_KEYDOWN, 'W', 0);
  r.Frame(16);
  r.camera->EnterMouseLook();
  r.Frame(16);
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  r.camera->ApplyAnimatedCamera(&m);
  r.Host().SendEvent(kEventDeviceReset);
  EXPECT_EQ(r.Renderer().LookAtCalls(), 0u);
  // The look-at points are still kept for the scene.
  const D3DXVECTOR3 e(1, 2, 3), a(4, 5, 6);
  r.camera->SetLookAt(&e, &a);
  D3DXVECTOR3 ge, ga;
  r.camera->GetLookAt(&ge, &ga);
  EXPECT_EQ(ge, e);
}

TEST(CameraComponent, ADeviceResetFitsTheProjectionToTheNewAspect) {
  CameraRig r;
  r.camera->EnterFreeFly();  // a 75 degree projection over 800 x 600
  const float yScale = 1.0f / std::tan(1.3089969f / 2.0f);
  EXPECT_NEAR(r.Transform(D3DTS_PROJECTION)._11, yScale * 600.0f / 800.0f, 1e-5f);
  ASSERT_TRUE(r.Renderer().OnDeviceReset(1000, 500));
  r.Host().SendEvent(kEventDeviceReset);
  EXPECT_EQ(r.camera->backBufferWidth, 1000);
  EXPECT_NEAR(r.Transform(D3DTS_PROJECTION)._11, yScale * 500.0f / 1000.0f, 1e-5f);
  EXPECT_NEAR(r.Transform(D3DTS_PROJECTION)._22, yScale, 1e-5f);
  // Another event changes nothing.
  r.Host().SendEvent(kEventDeviceLost);
  EXPECT_NEAR(r.Transform(D3DTS_PROJECTION)._11, yScale * 0.5f, 1e-5f);
}

TEST(CameraComponent, KeysMovesAndButtonsSetTheirStateWhileControllable) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.SetControllable(1);
  r.Message(WM_MOUSEMOVE, 0, Words(700, 500));
  EXPECT_EQ(c.mouseX, 700);
  EXPECT_EQ(c.mouseY, 500);
  for (char key : {'A', 'S', 'D', 'W', 'E', 'C'}) r.Message(WM_KEYDOWN, static_cast<uint32_t>(key), 0);
  EXPECT_TRUE(c.keyA && c.keyS && c.keyD && c.keyW && c.keyE && c.keyC);
  r.Message(WM_KEYDOWN, 'Q', 0);
  r.Message(WM_KEYDOWN, VK_CONTROL, 0);
  EXPECT_FLOAT_EQ(c.speed, 9.0f);
  r.Message(WM_KEYDOWN, VK_SUBTRACT, 0);
  EXPECT_EQ(c.zoomIn, 0);
  EXPECT_EQ(c.zoomKeyHeld, 1);
  r.Message(WM_KEYDOWN, VK_ADD, 0);
  EXPECT_EQ(c.zoomIn, 1);
  r.Message(WM_KEYUP, VK_ADD, 0);
  EXPECT_EQ(c.zoomKeyHeld, 0);
  r.Message(WM_KEYUP, 'W', 0);
  EXPECT_EQ(c.keyW, 0);
  EXPECT_EQ(c.keyA, 1);

  // A right press in the orbit starts a drag from the orbit's angles and ends a transition.
  ComponentHandle object{};
  r.Follow(D3DXVECTOR3(0, 0, 0), 0.0f, &object);
  c.EnterOrbit(&object, 0.0f, 0, 0);
  c.yaw = 1.25f;
  c.pitch = 0.5f;
  const D3DXVECTOR3 p(0, 0, 0);
  c.StartTransition(&p, &p, 500);
  r.Message(WM_RBUTTONDOWN, 0, Words(30, 40));
  EXPECT_EQ(c.dragging, 1);
  EXPECT_EQ(c.dragStartX, 30);
  EXPECT_EQ(c.dragStartY, 40);
  EXPECT_FLOAT_EQ(c.dragYaw, 1.25f);
  EXPECT_FLOAT_EQ(c.dragPitch, 0.5f);
  EXPECT_EQ(c.transitionRemaining, 0);
  EXPECT_EQ(win32::CaptureWindow(), r.Window());
  r.Message(WM_RBUTTONUP, 0, 0);
  EXPECT_EQ(c.dragging, 0);
  EXPECT_EQ(win32::CaptureWindow(), nullptr);
}

TEST(CameraComponent, MouseLookHidesTheCursorOnlyForTheForegroundWindow) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.EnterMouseLook();
  r.Message(WM_RBUTTONDOWN, 0, Words(5, 5));
  EXPECT_EQ(c.mouseLookActive, 0);
  EXPECT_TRUE(r.Renderer().device().CursorVisible());
  r.Message(WM_RBUTTONUP, 0, 0);

  win32::SetForegroundWindow(r.Window());
  win32::SetCursorPosition(10, 10);
  r.Message(WM_RBUTTONDOWN, 0, Words(5, 5));
  EXPECT_EQ(c.mouseLookActive, 1);
  EXPECT_FALSE(r.Renderer().device().CursorVisible());
  EXPECT_EQ(win32::CursorPosition().x, c.centreX);
  EXPECT_EQ(c.mouseX, c.centreX);
  r.Message(WM_RBUTTONUP, 0, 0);
  EXPECT_EQ(c.mouseLookActive, 0);
  EXPECT_TRUE(r.Renderer().device().CursorVisible());
}

TEST(CameraComponent, LockedInputDropsPressesButEveryReleaseIsHandled) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  win32::SetForegroundWindow(r.Window());
  c.EnterMouseLook();
  r.Message(WM_KEYDOWN, 'W', 0);
  r.Message(WM_KEYDOWN, VK_CONTROL, 0);
  r.Message(WM_KEYDOWN, VK_ADD, 0);
  r.Message(WM_RBUTTONDOWN, 0, Words(1, 1));
  ASSERT_FALSE(r.Renderer().device().CursorVisible());

  // Control is taken away while everything is held.
  c.SetControllable(0);
  r.Message(WM_KEYDOWN, 'S', 0);
  r.Message(WM_MOUSEMOVE, 0, Words(300, 200));
  r.Message(WM_MOUSEWHEEL, Words(0, 120), 0);
  EXPECT_EQ(c.keyS, 0);
  EXPECT_NE(c.mouseX, 300);
  EXPECT_EQ(c.wheelTarget, 0);
  r.Message(WM_KEYUP, 'W', 0);
  r.Message(WM_KEYUP, VK_CONTROL, 0);
  r.Message(WM_KEYUP, VK_ADD, 0);
  r.Message(WM_RBUTTONUP, 0, 0);
  EXPECT_EQ(c.keyW, 0);
  EXPECT_FLOAT_EQ(c.speed, 3.0f);
  EXPECT_EQ(c.zoomKeyHeld, 0);
  EXPECT_EQ(c.dragging, 0);
  EXPECT_EQ(c.mouseLookActive, 0);
  EXPECT_EQ(win32::CaptureWindow(), nullptr);
  EXPECT_TRUE(r.Renderer().device().CursorVisible());

  // The automatic shots lock input too; a release there is still taken.
  c.SetControllable(1);
  r.Message(WM_KEYDOWN, 'D', 0);
  ComponentHandle none{};
  c.EnterAutoShots(&none, 100);
  r.Message(WM_KEYDOWN, 'A', 0);
  r.Message(WM_KEYUP, 'D', 0);
  EXPECT_EQ(c.keyA, 0);
  EXPECT_EQ(c.keyD, 0);
}

TEST(CameraComponent, TheWheelAsksTheGameFirst) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.SetControllable(1);
  // No game: the wheel is the camera's.
  r.Message(WM_MOUSEWHEEL, Words(0, -240), 0);
  EXPECT_EQ(c.wheelTarget, -240);
  EXPECT_EQ(c.zoomIn, 0);

  auto game = host::RegisterRecordingClass(r.Host(), "Game");
  uint8_t answer = 1;
  game->Handle(90809, [&](host::RecordingObject&, const host::RecordedMessage&, const MessageArg* raw) {
    *static_cast<uint8_t*>(raw[0].p) = answer;
    return 1;
  });
  ComponentHandle gameHandle{};
  r.Host().CreateObject(&gameHandle, "Game");
  r.Host().ClearMessages();
  c.wheelProgress = 7;
  r.Message(WM_MOUSEWHEEL, Words(0, 120), 0);
  EXPECT_EQ(c.wheelTarget, -240);
  EXPECT_EQ(c.wheelProgress, 7);
  ASSERT_EQ(r.Host().Messages().size(), 1u);
  EXPECT_EQ(r.Host().Messages()[0].signature, "lp");
  EXPECT_EQ(r.Host().Messages()[0].id, 90809);

  answer = 0;
  r.Message(WM_MOUSEWHEEL, Words(0, 120), 0);
  EXPECT_EQ(c.wheelTarget, 120);
  EXPECT_EQ(c.zoomIn, 1);
  EXPECT_EQ(c.wheelProgress, 0);
}

TEST(CameraComponent, FirstPersonKeepsTheObjectFollowedBeforeAndStoresItsView) {
  CameraRig r;
  ComponentHandle object{};
  r.Follow(D3DXVECTOR3(1, 0, 2), kPi / 2, &object);
  r.camera->EnterOrbit(&object, 0.0f, 0, 0);
  r.camera->EnterFirstPerson(0);
  EXPECT_EQ(r.camera->GetMode(), 2);
  EXPECT_EQ(*r.camera->GetTargetHandle(), object);
  r.Frame(16);
  D3DXVECTOR3 eye, at;
  r.camera->GetLookAt(&eye, &at);
  ExpectNear(eye, D3DXVECTOR3(1, 1.5f, 2));
  ExpectNear(at, D3DXVECTOR3(2, 1.5f, 2));
  ExpectNear(r.ViewAt(), at);

  // Gone: the eye stands at 1.5 over the origin looking along +z.
  r.Host().DestroyObject(object);
  r.Frame(16);
  r.camera->GetLookAt(&eye, &at);
  ExpectNear(eye, D3DXVECTOR3(0, 1.5f, 0));
  ExpectNear(at, D3DXVECTOR3(0, 1.5f, 1));
}

TEST(CameraComponent, MouseLookPointsThatAreEqualChangeNothing) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  const D3DXVECTOR3 same(3, 4, 5);
  c.EnterMouseLook();
  c.yaw = 0.7f;
  c.pitch = 0.2f;
  c.SetMouseLookPoints(&same, &same);
  EXPECT_FLOAT_EQ(c.yaw, 0.7f);
  EXPECT_FLOAT_EQ(c.pitch, 0.2f);
  EXPECT_EQ(c.eye, D3DXVECTOR3(0, 0, 0));
  // Outside mouse look, differing points are only kept.
  const D3DXVECTOR3 other(3, 4, 9);
  c.EnterFreeFly();
  c.SetMouseLookPoints(&same, &other);
  EXPECT_FLOAT_EQ(c.yaw, 0.7f);
  EXPECT_EQ(c.mouseLookAt, &other);
}

TEST(CameraComponent, NamedValuesAndCallbacksReplaceAndSwapOutTheirPairs) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.SetNamedValue(1, 10);
  c.SetNamedValue(2, 20);
  c.SetNamedValue(3, 30);
  c.SetNamedValue(1, 11);
  c.RemoveNamedValue(1);
  c.RemoveNamedValue(99);
  EXPECT_EQ(c.namedValues, (std::vector<std::pair<uint32_t, uint32_t>>{{3, 30}, {2, 20}}));

  auto a = [](void*, intptr_t, intptr_t, intptr_t, int32_t) {};
  auto b = [](void*, intptr_t, intptr_t, intptr_t, int32_t) {};
  int x = 0, y = 0;
  c.AddEventCallback(a, &x);
  c.AddEventCallback(b, &x);
  c.AddEventCallback(a, &y);
  ASSERT_EQ(c.eventCallbacks.size(), 2u);
  EXPECT_EQ(c.eventCallbacks[0].second, &y);
  c.RemoveEventCallback(a);
  ASSERT_EQ(c.eventCallbacks.size(), 1u);
  EXPECT_EQ(c.eventCallbacks[0].first, static_cast<CameraEventCallback>(b));
}

TEST(CameraComponent, ADeferredModeTakesOverAtTheNextRenderPhase) {
  CameraRig r;
  r.camera->pendingMode = 5;
  r.camera->controllable = 0;
  r.Host().Realize(0);
  EXPECT_EQ(r.camera->GetMode(), 5);
  EXPECT_EQ(r.camera->controllable, 1);
  EXPECT_EQ(r.camera->pendingMode, 0);
}
