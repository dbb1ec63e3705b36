// Video on the scene's screens through the module's own video texture managers: a videoTexture
// record plays its file when the scene loads, and the opaque pass draws the manager's current
// frame through its texture matrix on the rasterising device, then leaves the frame lock.
#include <thread>

#include "apps/makeclip/clip_maker.h"
#include "camera/base_camera.h"
#include "dshow/streaming.h"
#include "host/d3d_device.h"
#include "scene_fixture.h"
#include "support/wait.h"
#include "video/texture_renderer.h"
#include "win32/win32.h"

namespace {
using scene_testing::SceneHost;

// A 4 x 3 screen in the plane z = 0 facing -z, corners in clockwise order as the camera sees
// them; texture v runs from 0 at its bottom edge to 1 at its top.
constexpr const char* kScreenObj =
    "v -2 -1.5 0\nv -2 1.5 0\nv 2 1.5 0\nv 2 -1.5 0\n"
    "vt 0 0\nvt 0 1\nvt 1 1\nvt 1 0\n"
    "f 1/1 2/2 3/3\nf 1/1 3/3 4/4\n";

bool Near(uint32_t argb, uint32_t r, uint32_t g, uint32_t b, uint32_t tolerance) {
  auto close = [&](uint32_t have, uint32_t want) { return (have > want ? have - want : want - have) <= tolerance; };
  return close((argb >> 16) & 0xFF, r) && close((argb >> 8) & 0xFF, g) && close(argb & 0xFF, b);
}

// Whether another thread can take `lock`.
testing::AssertionResult FreeForOthers(CRITICAL_SECTION* lock, CVideoTextureManager* manager) {
  testing_support::Steps entered;
  std::thread other([&] {
    EnterCriticalSection(lock);
    entered.Reach(1);
    LeaveCriticalSection(lock);
  });
  testing::AssertionResult free = entered.Await(1, "another thread entering the frame lock");
  if (!free) manager->UnlockTexture();  // a lock left held: let the other thread through
  other.join();
  return free;
}

TEST(SceneVideoTexture, AVideoRecordDrawsTheCurrentFrameUprightAndLeavesTheFrameLock) {
  SceneHost s;
  win32::UseManualClock(1000);
  clip::ClipOptions options;  // 320 x 240 lossless, ten frames a second
  options.frames = 5;
  options.rate = 10;
  options.audio = false;
  std::string error;
  std::filesystem::create_directories(s.root + "/Video");
  ASSERT_TRUE(clip::MakeClip(s.root + "/Video/screen.mkv", options, &error)) << error;
  s.WriteFile("screen.obj", kScreenObj);
  s.WriteFile("resource/ini/scene/1.ini",
              "[screen]\nModelType=1\nVisible=1\nRenderStyle=videoTexture\nModelName=screen.obj\n"
              "VideoFile=video\\SCREEN.mkv\nSceneVideoPlayerID=1\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  // Loading opened the file through the source filter's "Output" and played it.
  EXPECT_EQ(scene->videoPlaying, 1);
  auto* manager = s.Object<CVideoTextureManager>(scene->videoManager1);
  ASSERT_NE(manager, nullptr);
  CTextureRenderer* renderer = manager->Renderer();
  ASSERT_NE(renderer, nullptr);
  win32::AdvanceManualClock(0);
  ASSERT_TRUE(testing_support::Await("the streaming threads idle", dshow::WaitForStreamingIdle));
  IDirect3DTexture8* first = manager->LockTexture(nullptr);
  manager->UnlockTexture();
  ASSERT_NE(first, nullptr);

  const D3DXVECTOR3 eye(0, 0, -4), at(0, 0, 0), up(0, 1, 0);
  scene->GetCamera()->SetLookAt(&eye, &at);
  D3DXMATRIX view, projection;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 2.0f, 1.0f, 1.0f, 1000.0f);
  host::Renderer& r = s.standard.renderer;
  r.SetTransform(D3DTS_VIEW, &view);
  r.SetTransform(D3DTS_PROJECTION, &projection);
  r.SetRecording(true);
  r.ClearRecords();
  r.BeginScene();
  r.Clear(0, nullptr, s.standard.FullClearFlags(), 0xFF000000u, 1.0f, 0);
  scene->Realize(0);
  r.EndScene();

  const host::DrawRecord* screen = nullptr;
  for (const auto& d : r.Draws())
    if (d.state->texture[0] == first) screen = &d;
  ASSERT_NE(screen, nullptr) << "no draw with the video's current texture";
  EXPECT_TRUE(screen->rasterised);
  // The matrix scales 0..1 to the picture's share of the 512 texture: 320 / 512, 240 / 512.
  EXPECT_EQ(screen->state->StageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), static_cast<DWORD>(D3DTTFF_COUNT2));
  EXPECT_FLOAT_EQ(screen->state->textureTransform[0].m[0][0], 0.625f);
  EXPECT_FLOAT_EQ(screen->state->textureTransform[0].m[1][1], 0.46875f);
  EXPECT_EQ(screen->state->StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_SELECTARG2));
  // After the draw the transform is off again.
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), static_cast<DWORD>(D3DTTFF_DISABLE));

  // On the 800 x 600 screen the quad spans x 200..600 and y 187.5..412.5: the picture stands
  // upright, the red band in its upper quarter, the blue one in its lower quarter.
  host::Surface* back = r.device().BackBuffer();
  EXPECT_TRUE(Near(back->PixelArgb(400, 210), 255, 0, 0, 8)) << std::hex << back->PixelArgb(400, 210);
  EXPECT_TRUE(Near(back->PixelArgb(400, 390), 0, 0, 255, 8)) << std::hex << back->PixelArgb(400, 390);
  EXPECT_TRUE(Near(back->PixelArgb(100, 300), 0, 0, 0, 0)) << "outside the screen nothing is drawn";

  // The pass left the frame lock: another thread takes it, and the next frame becomes current.
  EXPECT_TRUE(FreeForOthers(&renderer->frameLock, manager));
  win32::AdvanceManualClock(100);
  ASSERT_TRUE(testing_support::Await("the streaming threads idle", dshow::WaitForStreamingIdle));
  IDirect3DTexture8* second = manager->LockTexture(nullptr);
  manager->UnlockTexture();
  EXPECT_NE(second, first);
  EXPECT_NE(second, nullptr);

  s.host.DestroyAll();
  win32::UseRealClock();
}

}  // namespace
