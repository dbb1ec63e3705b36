// The camera's movement per tick: free fly, orbit, the timed transition, mouse look and the
// automatic shots.
#include <cmath>
#include <set>

#include "camera_fixture.h"
#include "math/crt_rand.h"

using namespace camera_testing;

namespace {
constexpr float kPi = 3.14159265f;

// The forward direction the renderer was handed (at - eye), unit length.
D3DXVECTOR3 ViewForward(CameraRig& r) {
  D3DXVECTOR3 d = r.ViewAt() - r.ViewEye();
  D3DXVec3Normalize(&d, &d);
  return d;
}
}  // namespace

TEST(CameraModes, FreeFlyAtRestMakesNoViewAndKeepsTheWheelForTheNextMove) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.EnterFreeFly();
  EXPECT_FLOAT_EQ(c.distance, 0.0f);
  r.Message(WM_MOUSEWHEEL, (240u << 16), 0);
  const size_t views = r.Renderer().LookAtCalls();
  r.Frame(16);
  EXPECT_EQ(r.Renderer().LookAtCalls(), views);
  EXPECT_EQ(c.wheelTarget, 240);
  // W for 100 ms: 1 unit, and the kept wheel 240/240 more, along the forward of yaw pi (-z).
  r.Message(WM_KEYDOWN, 'W', 0);
  r.Frame(100);
  EXPECT_EQ(r.Renderer().LookAtCalls(), views + 1);
  ExpectNear(r.ViewEye(), D3DXVECTOR3(0, 0, -2.0f));
  ExpectNear(r.ViewAt(), D3DXVECTOR3(0, 0, -3.0f));
  EXPECT_EQ(c.wheelTarget, 0);
  EXPECT_FLOAT_EQ(c.distance, 0.0f);
  // A sideways step with D.
  r.Message(WM_KEYUP, 'W', 0);
  r.Message(WM_KEYDOWN, 'D', 0);
  r.Frame(50);
  // The right of yaw pi is (cos pi, 0, -sin pi) = -x.
  ExpectNear(r.ViewEye(), D3DXVECTOR3(-0.5f, 0, -2.0f));
}

TEST(CameraModes, FreeFlyTurnsByTheCursorMeasuredFromTheClientCentre) {
  CameraRig r([](CameraRig& rig) {
    win32::SetClientOrigin(rig.Window(), 100, 50);
    win32::SetForegroundWindow(rig.Window());
  });
  CBaseCamera& c = *r.camera;
  c.EnterFreeFly();
  win32::SetKeyDown(VK_LBUTTON, true);
  // The cursor rests at the client centre (400, 300): no turn, on either tick.
  r.Message(WM_MOUSEMOVE, 0, Words(400, 300));
  r.Frame(10);
  r.Frame(10);
  EXPECT_FLOAT_EQ(c.yaw, kPi);
  EXPECT_FLOAT_EQ(c.pitch, 0.0f);
  // 100 pixels right and 50 down at 10 ms: 0.1 and 0.05 rad.
  r.Message(WM_MOUSEMOVE, 0, Words(500, 350));
  r.Frame(10);
  EXPECT_NEAR(c.yaw, kPi + 0.1f, 1e-5f);
  EXPECT_NEAR(c.pitch, 0.05f, 1e-6f);
  // The cursor went back to the screen centre, the reading to the client centre.
  EXPECT_EQ(win32::CursorPosition().x, 500);
  EXPECT_EQ(win32::CursorPosition().y, 350);
  EXPECT_EQ(c.mouseX, 400);
  EXPECT_EQ(c.mouseY, 300);
  // Without the button held the cursor turns nothing.
  win32::SetKeyDown(VK_LBUTTON, false);
  r.Message(WM_MOUSEMOVE, 0, Words(700, 300));
  r.Frame(10);
  EXPECT_NEAR(c.yaw, kPi + 0.1f, 1e-5f);
}

TEST(CameraModes, TheOrbitStaysInsideItsLimitsWhateverTheDragOrZoom) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  ComponentHandle object{};
  r.Follow(D3DXVECTOR3(2, 0, 3), 0.5f, &object);
  c.EnterOrbit(&object, 1.0f, 1, 1);
  EXPECT_NEAR(c.yaw, -0.5f - kPi / 2, 1e-6f);
  EXPECT_NEAR(c.pitch, 0.34906587f, 1e-7f);
  const int moves[][2] = {{0, 5000}, {0, -5000}, {3000, 100}, {-7000, -3000}, {12, 1}};
  const int wheels[] = {1200, -2400, 120, -120, 6000};
  for (int i = 0; i < 5; ++i) {
    r.Message(WM_RBUTTONDOWN, 0, Words(400, 300));
    r.Message(WM_MOUSEMOVE, 0, Words(400 + moves[i][0], 300 + moves[i][1]));
    r.Message(WM_MOUSEWHEEL, static_cast<uint32_t>(wheels[i]) << 16, 0);
    for (int t = 0; t < 40; ++t) {
      r.Frame(33);
      EXPECT_GE(c.pitch, -kPi / 3 - 1e-6f);
      EXPECT_LE(c.pitch, kPi / 3 + 1e-6f);
      EXPECT_GE(c.distance, 1.0f);
      EXPECT_LE(c.distance, 6.0f);
      const D3DXVECTOR3 d = c.eye - c.lookAt;
      EXPECT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), c.distance, 1e-4f);
    }
    r.Message(WM_RBUTTONUP, 0, 0);
  }
  // The look-at point is the object raised by the height.
  ExpectNear(c.lookAt, D3DXVECTOR3(2, 1, 3));
}

TEST(CameraModes, ADragTurnsAndTiltsAFullTurnPerBackBufferWidth) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  ComponentHandle object{};
  r.Orbit(D3DXVECTOR3(0, 0, 0), 0.0f, &object);
  r.Frame(16);
  const float yaw = c.yaw, pitch = c.pitch;
  r.Message(WM_RBUTTONDOWN, 0, Words(400, 300));
  r.Message(WM_MOUSEMOVE, 0, Words(440, 340));
  r.Frame(16);
  // 40 pixels of an 800-pixel-wide back buffer are a twentieth of a turn, down as across.
  EXPECT_NEAR(c.yaw, yaw - 2.0f * kPi / 20.0f, 1e-5f);
  EXPECT_NEAR(c.pitch, pitch + 2.0f * kPi / 20.0f, 1e-5f);
}

TEST(CameraModes, AWheelNotchOf120ZoomsFor240Milliseconds) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  ComponentHandle object{};
  r.Orbit(D3DXVECTOR3(0, 0, 0), 0.0f, &object);
  r.Message(WM_MOUSEWHEEL, 120u << 16, 0);
  for (int t = 0; t < 15; ++t) r.Frame(16);  // 8 of the notch a tick
  EXPECT_EQ(c.wheelProgress, 120);
  EXPECT_NEAR(c.distance, 5.0f - 0.24f * 3.0f, 1e-5f);
  r.Frame(16);
  EXPECT_NEAR(c.distance, 5.0f - 0.24f * 3.0f, 1e-5f);
  // The numpad keys zoom while held, at the Ctrl speed when Ctrl is down.
  r.Message(WM_KEYDOWN, VK_CONTROL, 0);
  r.Message(WM_KEYDOWN, VK_SUBTRACT, 0);
  r.Frame(100);
  EXPECT_NEAR(c.distance, 4.28f + 0.9f, 1e-5f);
}

TEST(CameraModes, AnOrbitedObjectThatIsGoneKeepsItsPlaceWithoutClimbing) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  ComponentHandle object{};
  r.Orbit(D3DXVECTOR3(4, 2, 0), 1.5f, &object);
  c.SetOrbitOffsets(0.0f, 0.5f);
  r.Frame(16);
  ExpectNear(c.lookAt, D3DXVECTOR3(4, 4, 0));
  r.Host().DestroyObject(object);
  for (int t = 0; t < 5; ++t) r.Frame(16);
  ExpectNear(c.lookAt, D3DXVECTOR3(4, 4, 0));
}

TEST(CameraModes, TheOrbitPullsItsEyeInFrontOfGeometry) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  Adjuster* adjuster = r.MakeAdjuster();
  ComponentHandle object{};
  r.Orbit(D3DXVECTOR3(0, 0, 0), 0.0f, &object);
  adjuster->hits = true;
  adjuster->hitPoint = D3DXVECTOR3(0.5f, 0.5f, 0.5f);
  r.Frame(16);
  ASSERT_FALSE(adjuster->segments.empty());
  ExpectNear(adjuster->segments.back().second, c.lookAt);
  ExpectNear(r.ViewEye(), D3DXVECTOR3(0.5f, 0.5f, 0.5f));
  ExpectNear(r.ViewAt(), c.lookAt);
}

TEST(CameraModes, ATransitionCoversTheElapsedShareOfWhatIsLeft) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  const D3DXVECTOR3 start(10, 0, 0), centre(0, 0, 0);
  c.SetLookAt(&start, &centre);
  // The end: 20 sqrt 2 from the centre, heading pi/2 and 45 degrees up.
  const D3DXVECTOR3 endEye(0, 20, 20), endAt(0, 0, 0);
  c.StartTransition(&endEye, &endAt, 100);
  r.Frame(16);
  const float f = 16.0f / 116.0f;
  EXPECT_NEAR(c.yaw, f * kPi / 2, 1e-5f);
  EXPECT_NEAR(c.pitch, f * kPi / 4, 1e-5f);
  const float radius = (100.0f * 10.0f + 16.0f * 20.0f * std::sqrt(2.0f)) / 116.0f;
  EXPECT_NEAR(c.distance, radius, 1e-4f);
  ExpectNear(c.eye, radius * D3DXVECTOR3(std::cos(c.pitch) * std::cos(c.yaw), std::sin(c.pitch),
                                         std::sin(c.yaw) * std::cos(c.pitch)));
  ExpectNear(c.lookAt, endAt);
  EXPECT_EQ(c.transitionRemaining, 84);
}

TEST(CameraModes, ATransitionTurnsTheShortWayRound) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  const D3DXVECTOR3 centre(0, 0, 0);
  // Headings 3.0 and -3.0 (2 pi - 3.0): half way is pi, not 0.
  const D3DXVECTOR3 start(std::cos(3.0f), 0, std::sin(3.0f)), end(std::cos(-3.0f), 0, std::sin(-3.0f));
  c.SetLookAt(&start, &centre);
  c.StartTransition(&end, &centre, 100);
  r.Frame(100);
  EXPECT_NEAR(std::fmod(c.yaw + 2 * kPi, 2 * kPi), kPi, 1e-4f);
  ExpectNear(c.eye, D3DXVECTOR3(-1, 0, 0));

  // Across the wrap: from heading -1.5 to 3pi/4 + pi/2 ... the short way is 0.856 rad.
  const D3DXVECTOR3 a(std::cos(-1.5f), 0, std::sin(-1.5f)), b(-1, 0, -1);
  c.SetLookAt(&a, &centre);
  c.StartTransition(&b, &centre, 100);
  r.Frame(100);
  const float mid = (-1.5f + (-3.0f * kPi / 4)) / 2;
  EXPECT_NEAR(c.yaw, mid, 1e-4f);
}

TEST(CameraModes, MouseLookLooksAtItsPointsAlongEachAxisAndAbove) {
  struct Case {
    D3DXVECTOR3 at, forward;
  };
  const float h = std::sqrt(0.5f);
  const Case cases[] = {{D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(1, 0, 0)},   {D3DXVECTOR3(-10, 0, 0), D3DXVECTOR3(-1, 0, 0)},
                        {D3DXVECTOR3(0, 0, 10), D3DXVECTOR3(0, 0, 1)},   {D3DXVECTOR3(0, 0, -10), D3DXVECTOR3(0, 0, -1)},
                        {D3DXVECTOR3(0, 10, 10), D3DXVECTOR3(0, h, h)},  {D3DXVECTOR3(3, -4, 0), D3DXVECTOR3(0.6f, -0.8f, 0)}};
  for (const Case& k : cases) {
    CameraRig r;
    const D3DXVECTOR3 eye(1, 2, 3);
    const D3DXVECTOR3 at = eye + k.at;
    // Through EnterMouseLook.
    r.camera->SetMouseLookPoints(&eye, &at);
    r.camera->EnterMouseLook();
    r.Frame(16);
    ExpectNear(r.ViewEye(), eye);
    ExpectNear(ViewForward(r), k.forward);
    // And through SetMouseLookPoints while looking.
    const D3DXVECTOR3 away(50, 50, 50);
    r.camera->SetMouseLookPoints(&away, &away);
    r.camera->yaw = 2.0f;
    r.camera->SetMouseLookPoints(&eye, &at);
    r.Frame(16);
    ExpectNear(ViewForward(r), k.forward);
  }
}

TEST(CameraModes, MouseLookMovesAreUndoneWhenTheyRunIntoGeometry) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  Adjuster* adjuster = r.MakeAdjuster();
  const D3DXVECTOR3 eye(0, 1, 0), at(0, 1, 10);
  c.SetMouseLookPoints(&eye, &at);
  c.EnterMouseLook();
  r.Message(WM_KEYDOWN, 'W', 0);
  adjuster->hits = true;
  r.Frame(100);
  ExpectNear(c.eye, eye);
  adjuster->hits = false;
  r.Message(WM_KEYDOWN, 'E', 0);
  r.Frame(100);  // 0.6 ahead and 0.6 up
  ExpectNear(c.eye, D3DXVECTOR3(0, 1.6f, 0.6f));
  ExpectNear(adjuster->segments.back().second, eye);
}

TEST(CameraModes, AutomaticShotsStartOnTheFirstTickWithoutADelay) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  ComponentHandle object{};
  r.Follow(D3DXVECTOR3(1, 0, 2), 0.0f, &object);
  c.EnterAutoShots(&object, 0);
  r.Frame(16);
  ExpectNear(c.lookAt, D3DXVECTOR3(1, 1.5f, 2));
  // The points: ring k at 4 + 3k, elevations 0, 50 and -35 degrees (raised by the sine only),
  // directions yaw, yaw - pi/3, yaw + pi/3.
  ExpectNear(c.shotPoints[0], D3DXVECTOR3(1, 1.5f, 6));
  const float e50 = 0.87266463f, a = kPi / 3;
  ExpectNear(c.shotPoints[9 * 2 + 3 * 1 + 2],
             D3DXVECTOR3(1 + std::sin(a) * 10 * std::cos(e50), 1.5f + std::sin(e50), 2 + std::cos(a) * 10 * std::cos(e50)));
  ExpectNear(c.shotPoints[9 * 1 + 3 * 2 + 1], D3DXVECTOR3(1 + std::sin(-a) * 7 * std::cos(-0.61086524f),
                                                          1.5f + std::sin(-0.61086524f),
                                                          2 + std::cos(-a) * 7 * std::cos(-0.61086524f)));
}

TEST(CameraModes, AutomaticShotsWaitTheirDelayThenRunThroughPausesAndCuts) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  ComponentHandle object{};
  r.Follow(D3DXVECTOR3(0, 0, 0), 0.0f, &object);
  c.EnterAutoShots(&object, 50);
  r.Frame(30);
  r.Frame(30);
  EXPECT_EQ(c.lookAt, D3DXVECTOR3(0, 0, 0));  // still waiting
  r.Frame(30);
  EXPECT_EQ(c.lookAt, D3DXVECTOR3(0, 1.5f, 0));  // started, and the first shot picked
  EXPECT_EQ(g_cameraShots.autoShotCount, 2);
  ASSERT_GT(c.shotRemaining, std::sqrt(12.0f));
  // Moving: 0.7 a second along the shot.
  const D3DXVECTOR3 before = c.eye;
  r.Frame(1000);
  ExpectNear(c.eye, before + 0.7f * c.shotDirection);
  // More than five shots: a pause of 5000 ms without a view.
  g_cameraShots.autoShotCount = 6;
  r.Frame(16);
  EXPECT_EQ(c.autoShotPause, 1);
  EXPECT_EQ(g_cameraShots.autoShotRounds, 1);
  const size_t views = r.Renderer().LookAtCalls();
  for (int t = 0; t < 5; ++t) r.Frame(1000);
  EXPECT_EQ(r.Renderer().LookAtCalls(), views);
  r.Frame(1);
  EXPECT_EQ(c.autoShotPause, 0);
  EXPECT_EQ(r.Renderer().LookAtCalls(), views + 1);
  // After the third pause the shot is cut short.
  g_cameraShots.autoShotRounds = 3;
  r.Frame(16);
  EXPECT_EQ(c.eye, c.shotTarget);
  EXPECT_EQ(c.shotRemaining, 0.0f);
  EXPECT_EQ(g_cameraShots.autoShotRounds, 0);
}

TEST(CameraModes, ARandomShotIsNeverTheLastOneNorCloseToTheEye) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.lookAt = D3DXVECTOR3(0, 0, 0);
  c.followedYaw = 0.0f;
  c.BuildShotPoints();
  std::set<int> picked;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    CrtSrand(seed);
    const int last = static_cast<int>(seed % 27);
    g_cameraShots.lastShotIndex = last;
    c.eye = c.shotPoints[(seed * 7) % 27];  // the eye stands on some shot point
    c.PickRandomShot();
    const int index = g_cameraShots.lastShotIndex;
    ASSERT_NE(index, last) << "seed " << seed;
    const D3DXVECTOR3 d = c.shotPoints[index] - c.eye;
    EXPECT_GT(d.x * d.x + d.y * d.y + d.z * d.z, 12.0f) << "seed " << seed;
    EXPECT_EQ(c.shotTarget, c.shotPoints[index]);
    EXPECT_NEAR(c.shotRemaining, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 1e-4f);
    picked.insert(index);
  }
  EXPECT_GT(picked.size(), 15u);
}

TEST(CameraModes, AShotPointExactlyTheSmallestDistanceAwayIsStillTooClose) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  c.eye = D3DXVECTOR3(0, 0, 0);
  // Every point on the eye but two: one at a squared distance of exactly 12, one just beyond.
  for (auto& point : c.shotPoints) point = c.eye;
  c.shotPoints[5] = D3DXVECTOR3(2, 2, 2);
  c.shotPoints[20] = D3DXVECTOR3(2, 2, 2.25f);
  for (unsigned seed = 1; seed <= 50; ++seed) {
    CrtSrand(seed);
    g_cameraShots.lastShotIndex = -1;
    c.PickRandomShot();
    ASSERT_EQ(g_cameraShots.lastShotIndex, 20) << "seed " << seed;
  }
}

TEST(CameraModes, TheTargetOrbitCirclesItsPointWithoutMovingTheLookAt) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  const D3DXVECTOR3 target(5, 1, 5), before(9, 9, 9);
  c.lookAt = before;
  c.SetOrbitTarget(&target);
  c.yaw = 0.0f;
  c.pitch = 0.0f;
  c.distance = 3.0f;
  r.Frame(16);
  ExpectNear(r.ViewEye(), D3DXVECTOR3(8, 1, 5));
  ExpectNear(r.ViewAt(), target);
  EXPECT_EQ(c.lookAt, before);
}

TEST(CameraModes, OverTheShoulderShiftsTheViewSidewaysAndKeepsTheShiftInFrontOfGeometry) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  Adjuster* adjuster = r.MakeAdjuster();
  ComponentHandle object{};
  r.Orbit(D3DXVECTOR3(0, 0, 0), 0.0f, &object);
  c.yaw = 0.0f;
  c.pitch = 0.0f;
  c.SetOrbitOffsets(0.5f, 0.0f);
  // The eye 5 along +x; half the horizontal distance (2.5) to the side, 0.1 up, for both points.
  r.Frame(16);
  ExpectNear(c.eye, D3DXVECTOR3(5, 0, 0));
  ExpectNear(r.ViewEye(), D3DXVECTOR3(5, 0.1f, 2.5f));
  ExpectNear(r.ViewAt(), D3DXVECTOR3(0, 0.1f, 2.5f));
  // Geometry pulls the shifted eye to (2, 0.1, 1): 2.236 of 5.590 left, so the look-at point
  // shifts by 0.2 of the distance.
  adjuster->hits = true;
  adjuster->hitPoint = D3DXVECTOR3(2, 0.1f, 1);
  r.Frame(16);
  ExpectNear(r.ViewEye(), D3DXVECTOR3(2, 0.1f, 1));
  ExpectNear(r.ViewAt(), D3DXVECTOR3(0, 0.1f, 1.0f));
  ExpectNear(c.eye, D3DXVECTOR3(5, 0, 0));
}

TEST(CameraModes, EachEnterSetsItsProjection) {
  CameraRig r;
  CBaseCamera& c = *r.camera;
  auto yScale = [&] { return r.Transform(D3DTS_PROJECTION)._22; };
  auto expected = [](float fov) { return 1.0f / std::tan(fov / 2.0f); };
  ComponentHandle none{};
  c.SetFieldOfView(60.0f);
  c.EnterOrbit(&none, 0.0f, 0, 0);
  EXPECT_NEAR(yScale(), expected(60.0f * kPi / 180.0f), 1e-4f);
  c.EnterAutoShots(&none, 10);
  EXPECT_NEAR(yScale(), expected(0.8985130f), 1e-4f);
  c.EnterMouseLook();
  EXPECT_NEAR(yScale(), expected(1.3089969f), 1e-4f);
  // First person and the point orbit keep the projection they find.
  c.EnterFirstPerson(0);
  const D3DXVECTOR3 p(1, 2, 3);
  c.SetOrbitTarget(&p);
  EXPECT_NEAR(yScale(), expected(1.3089969f), 1e-4f);
  // Near 0.1, far 3000, aspect 800 x 600.
  const D3DXMATRIX m = r.Transform(D3DTS_PROJECTION);
  EXPECT_NEAR(m._11, expected(1.3089969f) * 0.75f, 1e-4f);
  EXPECT_NEAR(m._33, 3000.0f / (3000.0f - 0.1f), 1e-5f);
  EXPECT_NEAR(m._43, -0.1f * 3000.0f / (3000.0f - 0.1f), 1e-5f);
}
