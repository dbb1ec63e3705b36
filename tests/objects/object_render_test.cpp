// What a scene object draws around its model (path line, bounding box, after-images, name plate,
// highlight, shine), its screen points and matrices, and its picks, read back from the recording
// renderer and the host's Renderable.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include "d3dx8/d3dx8math.h"
#include "host/renderable_drawing.h"
#include "object_fixture.h"

namespace {
using object_testing::ObjectHost;

// Four highlight parts; no "build" parts.
constexpr const char* kHighlighted =
    "[object]\nheight=1.0\nbox=-0.5,0,-0.5,0.5,1,0.5\nradius=0.8\n"
    "part=normal\npart=shine\npart=wireframe\npart=wireframehighlight\n";

D3DMATRIX Translation(float x, float y, float z) {
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, x, y, z);
  return m;
}

struct DrawHost : ObjectHost {
  host::Renderer& renderer = standard.renderer;

  DrawHost() {
    WriteFile("resource/ini/objects/10008.ini", kHighlighted);
    // Identity view and projection over an 800 x 600 viewport: a point (x, y, z) lands at
    // ((x + 1) 400, (1 - y) 300) with depth z.
    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    renderer.SetTransform(D3DTS_VIEW, &identity);
    renderer.SetTransform(D3DTS_PROJECTION, &identity);
    const D3DVIEWPORT8 viewport{0, 0, 800, 600, 0.0f, 1.0f};
    renderer.SetViewport(&viewport);
  }

  CSceneBaseObj* Loaded(uint32_t id = 10005) {
    CSceneBaseObj* o = MakeObject();
    EXPECT_TRUE(o->LoadFromIni(id, 0, 0, 0.0f));
    o->Show(true);
    renderer.ClearRecords();
    return o;
  }
  host::RenderableObject* Model(CSceneBaseObj* o) { return RenderableOf(o->renderableHandle); }
  host::RenderableNode* Root(CSceneBaseObj* o) { return Model(o)->Root(); }
  void Place(CSceneBaseObj* o, float x, float y, float z) {
    Root(o)->local = Translation(x, y, z);
    Root(o)->Update();
    o->position = D3DXVECTOR3(x, y, z);
    o->headPointDirty = o->topPointDirty = o->secondDirty = 1;
  }
  std::vector<host::DrawRecord> DrawsOf(int slot) const {
    std::vector<host::DrawRecord> out;
    for (const auto& d : standard.renderer.Draws())
      if (d.slot == slot) out.push_back(d);
    return out;
  }
  std::vector<DWORD> TextureFactors() const {
    std::vector<DWORD> out;
    for (const auto& [state, value] : standard.renderer.RenderStateCalls())
      if (state == 60) out.push_back(value);
    return out;
  }
};

void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z, float tolerance = 1e-4f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

// ---- Path line and bounding box ----

TEST(ObjectDrawing, ThePathLineCarriesEveryWaypointBetweenItsStatesInOrder) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  for (float x : {1.0f, 2.0f, 4.0f}) o->path.waypoints.push_back(NavWaypoint{vector3{x, 0.5f, -x}, nullptr});
  h.renderer.ClearRenderStateCalls();
  o->Render(16);

  const auto lines = h.DrawsOf(55);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].primitiveType, 3u);
  EXPECT_EQ(lines[0].stride, 16u);
  EXPECT_EQ(lines[0].primitiveCount, 2u);
  EXPECT_EQ(lines[0].fvf, 0x42u);
  EXPECT_EQ(lines[0].effect, -1);
  const float xs[3] = {1, 2, 4};
  for (UINT i = 0; i < 3; ++i) {
    const UINT v = lines[0].firstVertex + i;
    EXPECT_FLOAT_EQ(lines[0].VertexFloat(v, 0), xs[i]);
    EXPECT_FLOAT_EQ(lines[0].VertexFloat(v, 4), 0.5f);
    EXPECT_FLOAT_EQ(lines[0].VertexFloat(v, 8), -xs[i]);
    EXPECT_EQ(lines[0].VertexDword(v, 12), 0xFFFFFFFFu);
  }
  EXPECT_FLOAT_EQ(lines[0].state->world._41, 0.0f);
  EXPECT_FLOAT_EQ(lines[0].state->world._11, 1.0f);

  // The states around the line, in the order they came.
  std::vector<std::string> log;
  for (const auto& e : h.renderer.CallLog()) {
    if (e.kind == host::RendererLogEntry::Kind::Draw && e.a != 55) break;
    log.push_back(e.Text());
  }
  const std::vector<std::string> before = {"D3DRS_ZBIAS = 1",
                                           "D3DRS_ALPHABLENDENABLE = 0",
                                           "D3DRS_ALPHATESTENABLE = 0",
                                           "stage 0 D3DTSS_COLORARG1 = 0x0",
                                           "stage 0 D3DTSS_COLOROP = 0x2",
                                           "stage 1 D3DTSS_COLOROP = 0x1",
                                           "stage 0 D3DTSS_ALPHAOP = 0x1"};
  const auto states = h.renderer.RenderStateCalls();
  ASSERT_GE(states.size(), 6u);
  EXPECT_EQ(states[0], std::make_pair(DWORD{47}, DWORD{1}));
  EXPECT_EQ(states[1], std::make_pair(DWORD{27}, DWORD{0}));
  EXPECT_EQ(states[2], std::make_pair(DWORD{15}, DWORD{0}));
  EXPECT_EQ(states[3], std::make_pair(DWORD{27}, DWORD{1}));
  EXPECT_EQ(states[4], std::make_pair(DWORD{15}, DWORD{1}));
  EXPECT_EQ(states[5], std::make_pair(DWORD{47}, DWORD{0}));
  size_t at = 0;
  for (const auto& line : log)
    if (at < before.size() && line == before[at]) ++at;
  EXPECT_EQ(at, before.size());
  // The path's stage states are left as they are.
  EXPECT_EQ(h.renderer.GetTextureStageState(0, 1), 2u);
}

TEST(ObjectDrawing, WithoutRoomForThePathNothingIsDrawnAndNoStateChanges) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  o->path.waypoints.push_back(NavWaypoint{vector3{1, 0, 1}, nullptr});
  o->path.waypoints.push_back(NavWaypoint{vector3{2, 0, 2}, nullptr});
  h.renderer.ClearRenderStateCalls();
  h.renderer.FailCall(host::RendererCall::LockDynamicVertices);
  o->Render(16);
  EXPECT_TRUE(h.DrawsOf(55).empty());
  EXPECT_TRUE(h.renderer.RenderStateCalls().empty());
}

TEST(ObjectDrawing, TheBoxJoinsItsEightCornersByTheEdgeTableUnderTheRootMatrix) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  h.Place(o, 3.0f, 0.0f, -2.0f);
  o->ShowBoundingBox(1);
  o->Render(16);
  const auto boxes = h.DrawsOf(57);
  // The wireframe box, then the model's own box of triangles.
  ASSERT_EQ(boxes.size(), 2u);
  const auto& box = boxes[0];
  EXPECT_EQ(box.primitiveType, 2u);
  EXPECT_EQ(box.vertexCount, 8u);
  EXPECT_EQ(box.primitiveCount, 12u);
  EXPECT_EQ(box.stride, 16u);
  EXPECT_EQ(box.indexFormat, static_cast<DWORD>(D3DFMT_INDEX16));
  EXPECT_EQ(h.renderer.EffectName(box.effect), "wireframe");
  EXPECT_EQ(box.state->vertexShader, 0x42u);
  const std::vector<uint32_t> edges = {0, 1, 0, 3, 1, 2, 2, 3, 4, 5, 5, 6, 6, 7, 7, 4, 1, 5, 2, 6, 3, 7, 0, 4};
  EXPECT_EQ(box.indices, edges);
  // The dancer's box: (-0.35, 0, -0.25) to (0.35, 1.8, 0.25).
  const float corners[8][3] = {{-0.35f, 0, -0.25f}, {0.35f, 0, -0.25f}, {0.35f, 0, 0.25f}, {-0.35f, 0, 0.25f},
                               {-0.35f, 1.8f, -0.25f}, {0.35f, 1.8f, -0.25f}, {0.35f, 1.8f, 0.25f},
                               {-0.35f, 1.8f, 0.25f}};
  for (UINT i = 0; i < 8; ++i) {
    for (UINT k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(box.VertexFloat(i, 4 * k), corners[i][k]) << i;
    EXPECT_EQ(box.VertexDword(i, 12), 0xFFFFFFFFu);
  }
  EXPECT_FLOAT_EQ(box.state->world._41, 3.0f);
  EXPECT_FLOAT_EQ(box.state->world._43, -2.0f);
}

TEST(ObjectDrawing, TheRenderableDrawsItsBoxInThePassItsAlphaAndPartsAllow) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  h.Place(o, 1.0f, 0.0f, 0.0f);
  o->Render(16);
  o->RenderAfterImages(16);
  auto draws = h.DrawsOf(57);
  ASSERT_EQ(draws.size(), 1u);  // opaque: the main pass only
  EXPECT_EQ(draws[0].primitiveType, 4u);
  EXPECT_EQ(draws[0].primitiveCount, 12u);
  EXPECT_FLOAT_EQ(draws[0].state->world._41, 1.0f);
  EXPECT_EQ(draws[0].VertexDword(0, 12) >> 24, 255u);

  h.renderer.ClearRecords();
  o->SetAlpha(0.5f);
  o->Render(16);
  o->RenderAfterImages(16);
  draws = h.DrawsOf(57);
  ASSERT_EQ(draws.size(), 1u);  // see-through: the blended pass only
  EXPECT_EQ(draws[0].VertexDword(0, 12) >> 24, 128u);

  h.renderer.ClearRecords();
  o->Show(false);  // 400015: the whole model hidden
  h.Model(o)->Draw(16);
  h.Model(o)->DrawBlend(16);
  EXPECT_TRUE(h.DrawsOf(57).empty());
}

// ---- After-images ----

TEST(AfterImages, TheSettingsReadTheTokensAndKeepRingAndIntervalInRange) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  const char* plain[] = {"50", "8", "0.8", "1000", "16777215"};
  o->ApplyAfterImageSettings(nullptr, 0, plain);
  EXPECT_EQ(o->captureInterval, 50);
  EXPECT_EQ(o->ringCount, 8);
  EXPECT_FLOAT_EQ(o->startAlpha, 0.8f);
  EXPECT_FLOAT_EQ(o->fadeRate, 0.8f / 400.0f);
  EXPECT_EQ(o->captureTimer, 1000);
  EXPECT_EQ(o->unlimited, 0);
  EXPECT_EQ(o->afterImageColour, 0xFFFFFFu);

  const char* wide[] = {"0", "17", "1", "0", "255"};
  o->ApplyAfterImageSettings(nullptr, 0, wide);
  EXPECT_EQ(o->captureInterval, 1);
  EXPECT_EQ(o->ringCount, 16);
  EXPECT_FLOAT_EQ(o->fadeRate, 1.0f / 16.0f);
  EXPECT_EQ(o->captureTimer, 99999999);
  EXPECT_EQ(o->unlimited, 1);

  const char* none[] = {"10", "0", "1", "-5", "0"};
  o->ApplyAfterImageSettings(nullptr, 0, none);
  EXPECT_EQ(o->ringCount, 1);
  EXPECT_EQ(o->captureTimer, 99999999);

  // A missing token leaves everything as it was.
  const char* shortEvent[] = {"70", "3", "0.5", "200", nullptr};
  o->ApplyAfterImageSettings(nullptr, 0, shortEvent);
  EXPECT_EQ(o->captureInterval, 10);
  EXPECT_EQ(o->ringCount, 1);

  // The longest interval still fades (the product passes 32 bits), and one past it is the
  // longest, not 0.
  const char* longest[] = {"2147483647", "16", "0.8", "1000", "255"};
  o->ApplyAfterImageSettings(nullptr, 0, longest);
  EXPECT_EQ(o->captureInterval, 2147483647);
  EXPECT_FLOAT_EQ(o->fadeRate, static_cast<float>(0.8 / (2147483647.0 * 16.0)));
  const char* past[] = {"4294967296", "2", "1", "1000", "255"};
  o->ApplyAfterImageSettings(nullptr, 0, past);
  EXPECT_EQ(o->captureInterval, 2147483647);
  EXPECT_GT(o->fadeRate, 0.0f);
}

TEST(AfterImages, APercentDurationIsAShareOfTheAnimationAtItsPace) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  host::RecordingAnimation animation("dance");
  animation.Controller().SetPlayback(2.0f, 3.0f);  // speed 2, three seconds long
  animation.SetTimeScale(0.5f);
  // 3 s at a pace of 1: half of it is 1500 ms.
  const char* half[] = {"20", "4", "1", "50%", "0"};
  o->ApplyAfterImageSettings(&animation, 0, half);
  EXPECT_EQ(o->captureTimer, 1500);
  EXPECT_EQ(o->unlimited, 0);

  // A pace of 0 or one that is not a number has no length to share: the run lasts as the
  // animation does.
  animation.Controller().SetPlayback(0.0f, 3.0f);
  o->ApplyAfterImageSettings(&animation, 0, half);
  EXPECT_EQ(o->captureTimer, 99999999);
  EXPECT_EQ(o->unlimited, 1);
  animation.Controller().SetPlayback(std::numeric_limits<float>::quiet_NaN(), 3.0f);
  o->ApplyAfterImageSettings(&animation, 0, half);
  EXPECT_EQ(o->unlimited, 1);
}

TEST(AfterImages, CapturesWrapTheRingAndCopiesFadeWithTheirAlphaByte) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  const char* tokens[] = {"10", "3", "0.8", "1000", "4278255360"};  // colour with an alpha byte of its own
  o->ApplyAfterImageSettings(nullptr, 0, tokens);
  for (int frame = 0; frame < 5; ++frame) {
    h.Place(o, static_cast<float>(frame), 0.0f, 0.0f);
    o->Render(10);
  }
  EXPECT_EQ(o->storedCount, 3);
  EXPECT_EQ(o->ringIndex, 2);  // five captures into three entries
  // Entries 0 and 1 were written again by the fourth and fifth captures.
  EXPECT_FLOAT_EQ(o->afterImageWorld[0]._41, 3.0f);
  EXPECT_FLOAT_EQ(o->afterImageWorld[1]._41, 4.0f);
  EXPECT_FLOAT_EQ(o->afterImageWorld[2]._41, 2.0f);

  h.renderer.ClearRenderStateCalls();
  h.renderer.ClearRecords();
  h.Place(o, 9.0f, 0.0f, 0.0f);
  // The model's own pose, which the copies (captured at rest) must not leave behind.
  const D3DMATRIX pose = Translation(0.0f, 0.25f, 0.0f);
  IRenderableSkeleton* skeleton = h.Root(o)->GetSkeleton();
  ASSERT_NE(skeleton, nullptr);
  skeleton->GetBoneMatrices()[1] = pose;
  o->RenderAfterImages(100);  // fade 0.8 / 30 per ms: 0.8 - 2.667 is gone for all
  EXPECT_TRUE(h.TextureFactors().empty());
  EXPECT_EQ(h.Model(o)->copies, 0);

  o->afterImageAlpha[0] = 0.9f;
  o->afterImageAlpha[1] = -0.1f;
  o->afterImageAlpha[2] = 0.5f;
  o->RenderAfterImages(3);  // minus 0.08 each
  const int a0 = static_cast<int>((0.9f - 3 * (0.8f / 30.0f)) * 255.0f);
  const int a2 = static_cast<int>((0.5f - 3 * (0.8f / 30.0f)) * 255.0f);
  const std::vector<DWORD> expected = {(static_cast<DWORD>(a0) << 24) | 0xFF00u,
                                       (static_cast<DWORD>(a2) << 24) | 0xFF00u};
  EXPECT_EQ(h.TextureFactors(), expected);
  EXPECT_EQ(h.Model(o)->copies, 2);
  const auto copies = h.DrawsOf(57);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(h.renderer.EffectName(copies[0].effect), "afterImage");
  EXPECT_FLOAT_EQ(copies[0].state->world._41, 3.0f);
  EXPECT_FLOAT_EQ(copies[1].state->world._41, 2.0f);
  // The node and its skeleton are the model's own again: drawn, picked and followed where it is.
  EXPECT_FLOAT_EQ(h.Root(o)->local._41, 9.0f);
  EXPECT_FLOAT_EQ(h.Root(o)->world._41, 9.0f);
  EXPECT_EQ(std::memcmp(&skeleton->GetBoneMatrices()[1], &pose, sizeof pose), 0);
  D3DXMATRIX world;
  ASSERT_TRUE(o->GetWorldMatrix(&world));
  EXPECT_FLOAT_EQ(world._41, 9.0f);

  // A start alpha above 1 gives the full alpha byte, not one that runs into the colour.
  o->afterImageAlpha[0] = 3.0f;
  h.renderer.ClearRenderStateCalls();
  o->RenderAfterImages(0);
  ASSERT_FALSE(h.TextureFactors().empty());
  EXPECT_EQ(h.TextureFactors()[0], 0xFF00FF00u);
}

TEST(AfterImages, ASkeletonThatOutgrewTheBuffersIsNeitherCapturedNorDrawn) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  ASSERT_EQ(o->bytesPerBuffer, 5 * 64);
  const char* tokens[] = {"1", "4", "1", "1000", "0"};
  o->ApplyAfterImageSettings(nullptr, 0, tokens);
  o->Render(1);
  ASSERT_EQ(o->storedCount, 1);
  // The renderable takes a model of nine bones under the same node.
  std::vector<host::ObjectBone> bones(9);
  for (auto& b : bones) b.matrix = Translation(0, 0, 0);
  h.Root(o)->SetBones(bones);
  o->Render(1);
  EXPECT_EQ(o->storedCount, 1);
  o->RenderAfterImages(1);
  EXPECT_EQ(h.Model(o)->copies, 0);
  // A load of the bigger model makes buffers to fit, and capture goes on.
  h.WriteFile("resource/ini/objects/10009.ini",
              std::string("[object]\nheight=1\nbox=0,0,0,1,1,1\nradius=1\npart=body\n") +
                  "bone=a,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\nbone=b,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\n"
                  "bone=c,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\nbone=d,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\n"
                  "bone=e,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\nbone=f,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\n");
  ASSERT_TRUE(o->LoadFromIni(10009, 0, 0, 0.0f));
  o->Show(true);
  EXPECT_EQ(o->bytesPerBuffer, 6 * 64);
  o->ApplyAfterImageSettings(nullptr, 0, tokens);
  o->Render(1);
  EXPECT_EQ(o->storedCount, 1);
}

// ---- Highlight ----

TEST(Highlight, APairTogglesWithExactLogLinesAndNoChangeSaysNothing) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded(10008);
  auto* face = &h.Model(o)->face;
  h.host.ClearLog();
  o->SetHighlightMode(2);
  EXPECT_FLOAT_EQ(face->alpha, 0.2f);
  EXPECT_TRUE(h.host.LogLines().empty());
  o->SetHighlight(false);  // 2 is already plain
  EXPECT_EQ(o->highlightMode, 2);
  EXPECT_TRUE(h.host.LogLines().empty());
  o->SetHighlight(true);
  EXPECT_EQ(o->highlightMode, 3);
  const std::vector<std::string> lines = {"highLight : 10008 wireframe -> wireframehighlight",
                                          "highLight : 10008 hide wireframe",
                                          "highLight : 10008 show wireframehighlight"};
  EXPECT_EQ(h.host.LogLines(), lines);
  EXPECT_FLOAT_EQ(face->alpha, 0.4f);
  const auto& parts = h.Model(o)->parts;
  EXPECT_FALSE(parts[2]->visible);
  EXPECT_TRUE(parts[3]->visible);
  h.host.ClearLog();
  o->SetHighlight(true);  // 3 is already highlighted
  EXPECT_TRUE(h.host.LogLines().empty());
}

TEST(Highlight, AMissingPartStopsTheShowButTheModeMoves) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded(10008);
  auto* face = &h.Model(o)->face;
  o->SetHighlightMode(4);  // no "build" part: the mode is kept, nothing is shown
  EXPECT_EQ(o->highlightMode, 4);
  EXPECT_FLOAT_EQ(face->alpha, 1.0f);
  h.host.ClearLog();
  o->SetHighlight(true);
  EXPECT_EQ(o->highlightMode, 5);
  EXPECT_EQ(h.host.LogLines(), std::vector<std::string>{"highLight : 10008 build -> buildhighlight"});
  EXPECT_FLOAT_EQ(face->alpha, 1.0f);

  // 5 is refused as a mode; the current part is shown again all the same.
  o->SetHighlightMode(1);
  EXPECT_EQ(o->highlightMode, 1);
  o->SetHighlightMode(5);
  EXPECT_EQ(o->highlightMode, 1);
  o->SetHighlightMode(-1);
  EXPECT_EQ(o->highlightMode, 1);
  EXPECT_TRUE(h.Model(o)->parts[1]->visible);
}

// ---- Title and name plate ----

const char* Shout(const char* text) {
  static std::string out;
  out = text;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out.c_str();
}
const char* Nothing(const char*) { return ""; }

TEST(NamePlate, TheTitleTakesTheConverterOrFallsBackAndHalvesItsWidth) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  const int font = h.renderer.GetFont("plate");
  o->SetTitle(L"Name", font, 12, 0);
  EXPECT_EQ(o->displayText, L"Name");
  EXPECT_EQ(o->titleHalfWidth, h.renderer.GetTextWidth(L"Name", font, -1, 0) / 2);
  EXPECT_GT(o->titleHalfWidth, 0);
  EXPECT_EQ(std::wstring(o->GetTitle()), L"Name");
  h.scene->SetTextCodePage(&Shout, 0);
  o->SetTitle(L"Name", font, 12, 1);
  EXPECT_EQ(o->displayText, L"NAME");
  EXPECT_EQ(std::wstring(o->GetTitle()), L"Name");
  h.scene->SetTextCodePage(&Nothing, 0);
  o->SetTitle(L"Guard", font, 12, 1);
  EXPECT_EQ(o->displayText, L"Guard");
  // A title too long for the conversion buffer is shown as given.
  h.scene->SetTextCodePage(nullptr, 0);
  const std::wstring longTitle(300, L'x');
  o->SetTitle(longTitle.c_str(), font, 0, 1);
  EXPECT_EQ(o->displayText, longTitle);
}

TEST(NamePlate, ThePlateIsDrawnAtTheHeadOnlyWhenItCanBeSeen) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded(10006);  // no bones: the head is the node's matrix
  const int font = h.renderer.GetFont("plate");
  o->SetTitle(L"Name", font, 10, 0);
  o->scale = 0.5f;
  o->adjustH = 0.05f;
  h.Place(o, 0.2f, 0.0f, 0.35f);
  o->RenderAfterImages(16);
  ASSERT_EQ(h.renderer.Texts().size(), 1u);
  // Head at (0.2, 0.9 x 0.5 + 0.05, 0.35): screen (480, 150), depth 0.35.
  const auto& t = h.renderer.Texts()[0];
  EXPECT_EQ(t.text, "Name");
  EXPECT_EQ(t.x, 480 - h.renderer.GetTextWidth(L"Name", font, -1, 0) / 2);
  EXPECT_EQ(t.y, 150 - 10);
  EXPECT_NEAR(t.z, 0.35f, 1e-5f);
  EXPECT_EQ(t.colour, 0xFFFFFFFFu);

  auto drawnAfter = [&](auto change) {
    h.renderer.ClearRecords();
    change();
    o->secondDirty = 1;
    o->RenderAfterImages(16);
    return h.renderer.Texts().size();
  };
  EXPECT_EQ(drawnAfter([&] { h.Place(o, 0.2f, 0.0f, 1.0f); }), 0u);   // depth 1: beyond
  EXPECT_EQ(drawnAfter([&] { h.Place(o, -1.5f, 0.0f, 0.3f); }), 0u);  // left of the screen
  EXPECT_EQ(drawnAfter([&] { h.Place(o, 0.2f, 0.0f, 0.35f); }), 1u);
  EXPECT_EQ(drawnAfter([&] { h.scene->mirrorGuard = 1; }), 0u);
  EXPECT_EQ(drawnAfter([&] { h.scene->mirrorGuard = 0; o->SetTitleVisible(0); }), 0u);
  EXPECT_EQ(drawnAfter([&] { o->SetTitleVisible(1); o->SetTag(1); }), 0u);  // a player's own plate
  EXPECT_EQ(drawnAfter([&] { o->SetTag(2); o->hidden = 1; }), 0u);
  EXPECT_EQ(drawnAfter([&] { o->hidden = 0; o->SetTitle(L"Name", -1, 10, 0); }), 0u);
}

// ---- Screen points and matrices ----

TEST(ScreenPoints, HeadAndTopFollowTheHeadBoneScaleAndAdjustmentWithoutStalePoints) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();  // "Head" bone at (0, 1.6, 0.05)
  o->scale = 0.2f;
  o->adjustH = 0.1f;
  h.Place(o, 0.2f, 0.0f, 0.3f);
  const D3DXMATRIX head = *o->GetHeadMatrix();
  ExpectVector(D3DXVECTOR3(head._41, head._42, head._43), 0.2f, 1.6f, 0.35f);
  // y is (1.75 x 0.2 + 0.1 + 0) = 0.45: (480, 165), depth 0.35.
  ExpectVector(*o->GetHeadScreenPos(), 480.0f, 165.0f, 0.35f, 1e-3f);
  // Top: (0.2, 1.75 x 0.2 + 0, 0.3).
  ExpectVector(*o->GetTopScreenPos(), 480.0f, 195.0f, 0.3f, 1e-3f);
  EXPECT_EQ(o->headPointDirty, 0);
  EXPECT_EQ(o->topPointDirty, 0);

  // A new frame moves the model: the head point follows at once, not a frame late.
  h.Place(o, -0.5f, 0.0f, 0.1f);
  ExpectVector(*o->GetHeadScreenPos(), 200.0f, 165.0f, 0.15f, 1e-3f);
  // The head bone's current matrix is applied between its bind matrix and the node.
  auto* skeleton = h.Root(o)->GetSkeleton();
  *const_cast<D3DMATRIX*>(skeleton->GetBoneMatrix(2)) = Translation(0.0f, 0.0f, 0.5f);
  o->secondDirty = 1;
  EXPECT_NEAR(o->GetHeadMatrix()->_43, 0.05f + 0.5f + 0.1f, 1e-5f);
}

TEST(ScreenPoints, WithoutAModelTheHeadIsWhereTheObjectStands) {
  DrawHost h;
  CSceneBaseObj* a = h.MakeObject();
  CSceneBaseObj* b = h.MakeObject();
  const D3DXVECTOR3 here(0.25f, 0.0f, 0.5f), there(-0.5f, 0.0f, 0.25f);
  a->SetPositionState(&here, 0.0f, 0);
  b->SetPositionState(&there, 0.0f, 0);
  const D3DXMATRIX headA = *a->GetHeadMatrix();
  const D3DXMATRIX headB = *b->GetHeadMatrix();
  ExpectVector(D3DXVECTOR3(headA._41, headA._42, headA._43), 0.25f, 0.0f, 0.5f);
  ExpectVector(D3DXVECTOR3(headB._41, headB._42, headB._43), -0.5f, 0.0f, 0.25f);
  // Their plates stand apart, each over its own object: (0.25 + 1) 400 and (-0.5 + 1) 400.
  EXPECT_NEAR(a->GetHeadScreenPos()->x, 500.0f, 1e-3f);
  EXPECT_NEAR(b->GetHeadScreenPos()->x, 200.0f, 1e-3f);
}

TEST(ScreenPoints, WorldMatrixHeadCentreAndTheSpin) {
  DrawHost h;
  CSceneBaseObj* bare = h.MakeObject();
  D3DXMATRIX world;
  EXPECT_FALSE(bare->GetWorldMatrix(&world));

  CSceneBaseObj* o = h.Loaded(10006);
  h.Place(o, 1.0f, 2.0f, 3.0f);
  ASSERT_TRUE(o->GetWorldMatrix(&world));
  EXPECT_FLOAT_EQ(world._42, 2.0f);
  // Box (-0.5, 0, -0.5) to (0.5, 0.9, 0.5): centre (0, 0.45, 0); y takes the position, not the node.
  o->position.y = 0.25f;
  D3DXVECTOR3 centre;
  uint32_t word = 0;
  o->GetHeadCenter(&centre, &word);
  ExpectVector(centre, 1.0f, 0.7f, 3.0f);
  float radius = 0.0f;
  std::memcpy(&radius, &word, sizeof(radius));
  EXPECT_FLOAT_EQ(radius, 0.75f);

  // Two calls of 500 ms turn the shine by one radian. A point 5 below the head and a quarter to
  // its side: straight down the view, turned, and halved by the unit-wide projection.
  g_shineSpinAngle = 0.0f;
  o->EnableShine();
  D3DXMATRIX shine;
  o->GetHeadBillboard(&shine, 500);
  o->GetHeadBillboard(&shine, 500);
  EXPECT_FLOAT_EQ(g_shineSpinAngle, 1.0f);
  D3DXVECTOR3 p(1.25f, -3.0f, 3.0f), q;
  D3DXVec3TransformCoord(&q, &p, &shine);
  ExpectVector(q, 0.5f * std::cos(1.0f), 0.5f * std::sin(1.0f), 0.05f);
}

// ---- Picking ----

TEST(Picking, TheCoarseSphereHitsGrazesAndMisses) {
  DrawHost h;
  CSceneBaseObj* o = h.Loaded();
  h.Place(o, 2.0f, 0.0f, 0.0f);
  // Centre (2, 0.9, 0); radius half the diagonal of 0.7 x 1.8 x 0.5.
  const float r = 0.5f * std::sqrt(0.7f * 0.7f + 1.8f * 1.8f + 0.5f * 0.5f);
  D3DXVECTOR3 hit;
  const D3DXVECTOR3 ahead(0, 0, 20);
  D3DXVECTOR3 from(2.0f, 0.9f, -10.0f);
  ASSERT_TRUE(o->HitTest(&hit, &from, &ahead, 0));
  ExpectVector(hit, 2.0f, 0.9f, -r);
  from = D3DXVECTOR3(2.0f + r + 0.2f, 0.9f, -10.0f);  // within the margin: the nearest point
  ASSERT_TRUE(o->HitTest(&hit, &from, &ahead, 0));
  ExpectVector(hit, 2.0f + r + 0.2f, 0.9f, 0.0f);
  from = D3DXVECTOR3(2.0f + r + 0.4f, 0.9f, -10.0f);
  EXPECT_FALSE(o->HitTest(&hit, &from, &ahead, 0));
  ExpectVector(hit, 0, 0, 0);
  from = D3DXVECTOR3(2.0f, 0.9f, 10.0f);  // the sphere is behind
  EXPECT_FALSE(o->HitTest(&hit, &from, &ahead, 0));
  from = D3DXVECTOR3(2.0f, 0.9f, -10.0f);
  const D3DXVECTOR3 tooShort(0, 0, 5);
  EXPECT_FALSE(o->HitTest(&hit, &from, &tooShort, 0));
}

TEST(Picking, TheScenePickFindsTheObjectFromAnEyeAwayFromTheOrigin) {
  DrawHost h;
  const uint32_t pair[2] = {4, 4};
  CSceneBaseObj* o = h.scene->CreateSceneObject(pair);
  ASSERT_NE(o, nullptr);
  ASSERT_TRUE(o->LoadFromIni(10005, 0, 0, 0.0f));
  o->Show(true);
  h.Place(o, 2.0f, 0.0f, 0.0f);
  const D3DXVECTOR3 eye(2.0f, 0.9f, -10.0f), at(2.0f, 0.9f, 0.0f), up(0, 1, 0);
  D3DXMATRIX view, projection;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 4.0f / 3.0f, 0.1f, 100.0f);
  h.renderer.SetTransform(D3DTS_VIEW, &view);
  h.renderer.SetTransform(D3DTS_PROJECTION, &projection);
  // The scene's point is its ground (there is none); the object is the one the ray met.
  ScenePick pick{};
  h.scene->PickScenePoint(&pick, 400, 300, 0);
  EXPECT_EQ(pick.object, o);
  // Looking a little to the side misses it by more than the margin.
  h.scene->pickDirty = 1;
  h.scene->PickScenePoint(&pick, 700, 300, 0);
  EXPECT_EQ(pick.object, nullptr);
}

TEST(Picking, ThePreciseTestTakesTheFractionOfTheInterfaceOrTheBaseModel) {
  DrawHost h;
  for (uint32_t id : {10005u, 10006u}) {
    CSceneBaseObj* o = h.Loaded(id);
    EXPECT_EQ(o->baseModel, id == 10006u ? 1 : 0);
    h.Place(o, 0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 hit;
    const D3DXVECTOR3 from(0.0f, 0.5f, -10.0f);
    const float face = id == 10006u ? -0.5f : -0.25f;
    // Reaching exactly the box's face: a fraction of 1.
    const D3DXVECTOR3 exact(0, 0, 10.0f + face);
    ASSERT_TRUE(o->HitTest(&hit, &from, &exact, 1)) << id;
    ExpectVector(hit, 0.0f, 0.5f, face);
    const D3DXVECTOR3 through(0, 0, 20);
    ASSERT_TRUE(o->HitTest(&hit, &from, &through, 1));
    ExpectVector(hit, 0.0f, 0.5f, face);
    // Stopping short of it: the fraction is above 1.
    const D3DXVECTOR3 shortOf(0, 0, 9.0f + face);
    EXPECT_FALSE(o->HitTest(&hit, &from, &shortOf, 1));
    ExpectVector(hit, 0, 0, 0);
  }
}

// A renderable whose interface (400008) and object both answer a scripted segment fraction.
class FractionModel final : public host::HostObject, public IRenderableObject, public IRenderableInterface {
 public:
  void* InterfacePointer() override { return static_cast<IRenderableObject*>(this); }
  int OnMessage(const host::RecordedMessage& m, const MessageArg* raw) override {
    if (m.id != kObjMsgGetInterface) return 0;
    *static_cast<IRenderableInterface**>(raw[0].p) = this;
    return 1;
  }
  float IntersectSegment(const D3DVECTOR* start, const D3DVECTOR* end) override {
    segments.emplace_back(D3DXVECTOR3(*start), D3DXVECTOR3(*end));
    return fraction;
  }
  // IRenderableObject
  bool Init() override { return true; }
  void Destroy() override {}
  uint32_t Tick(uint32_t) override { return 0; }
  void Draw(uint32_t) override {}
  void DrawBlend(uint32_t) override {}
  void DrawPost(uint32_t) override {}
  int OnEvent(IEventArgs*) override { return 0; }
  void OnSystemMessage(uint32_t, uint32_t, uint32_t) override {}
  bool Slot8(uint32_t) override { return true; }
  bool Slot9(uint32_t) override { return true; }
  uint32_t ApplyParameters(uint32_t) override { return 0; }
  // IRenderableInterface
  IRenderablePart* GetPart(int32_t) override { return nullptr; }
  IRenderablePart* FindPart(const char*) override { return nullptr; }
  void SwitchPart(IRenderablePart*, int32_t, int32_t) override {}
  const char* GetPartName(IRenderablePart*) override { return nullptr; }
  void DrawCopy(int32_t, int) override {}
  void SetLighting(int32_t) override {}
  void SetAlpha(float) override {}
  float GetHeight() override { return 0.0f; }
  void SetEventCallback(RenderableEventFn, void*) override {}
  void SetTextEventCallback(AnimationTextEventFn, void*) override {}
  void SetShown(uint8_t) override {}
  void Slot32(int32_t) override {}
  void AddCompleteListener(IRenderableCompleteListener*) override {}
  void RemoveCompleteListener(IRenderableCompleteListener*) override {}

  float fraction = 2.0f;
  std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> segments;
};

TEST(Picking, OnlyAFractionFromZeroToOneIsAHit) {
  DrawHost h;
  FractionModel* model = nullptr;
  h.host.RegisterHostClass("Renderable", [&model] {
    auto made = std::make_unique<FractionModel>();
    model = made.get();
    return made;
  });
  CSceneBaseObj* o = h.MakeObject();
  ASSERT_TRUE(h.host.CreateObject(&o->renderableHandle, "Renderable"));
  ASSERT_NE(model, nullptr);
  const D3DXVECTOR3 from(1.0f, 2.0f, 3.0f), along(0.0f, 0.0f, 8.0f);
  for (uint8_t base : {uint8_t{0}, uint8_t{1}}) {
    o->baseModel = base;
    D3DXVECTOR3 hit;
    model->fraction = 0.25f;
    ASSERT_TRUE(o->HitTest(&hit, &from, &along, 1));
    ExpectVector(hit, 1.0f, 2.0f, 5.0f);
    // The renderable is asked about the segment from the origin to origin + direction.
    ExpectVector(model->segments.back().first, 1.0f, 2.0f, 3.0f);
    ExpectVector(model->segments.back().second, 1.0f, 2.0f, 11.0f);
    model->fraction = 1.0f;
    ASSERT_TRUE(o->HitTest(&hit, &from, &along, 1));
    ExpectVector(hit, 1.0f, 2.0f, 11.0f);
    for (float f : {1.01f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
      model->fraction = f;
      EXPECT_FALSE(o->HitTest(&hit, &from, &along, 1)) << f;
      ExpectVector(hit, 0.0f, 0.0f, 0.0f);
    }
  }
  EXPECT_EQ(model->segments.size(), 10u);
}

TEST(Picking, SegmentFractionsOfTheHostBox) {
  const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
  const D3DMATRIX at5 = Translation(5, 0, 0);
  EXPECT_FLOAT_EQ(host::SegmentBoxFraction(lo, hi, at5, D3DVECTOR{0, 0, 0}, D3DVECTOR{10, 0, 0}), 0.4f);
  EXPECT_FLOAT_EQ(host::SegmentBoxFraction(lo, hi, at5, D3DVECTOR{5, 0, 0}, D3DVECTOR{10, 0, 0}), 0.0f);
  EXPECT_GT(host::SegmentBoxFraction(lo, hi, at5, D3DVECTOR{0, 0, 0}, D3DVECTOR{3, 0, 0}), 1.0f);
  EXPECT_GT(host::SegmentBoxFraction(lo, hi, at5, D3DVECTOR{0, 2, 0}, D3DVECTOR{10, 2, 0}), 1.0f);
  D3DXMATRIX flat;
  D3DXMatrixScaling(&flat, 1, 0, 1);
  EXPECT_GT(host::SegmentBoxFraction(lo, hi, flat, D3DVECTOR{0, 0, -5}, D3DVECTOR{0, 0, 5}), 1.0f);
}

// ---- Shine ----

TEST(Shine, EnablingTwiceLoadsOnceAndEntersTheReceiversOnce) {
  DrawHost h;
  // A 1 x 1 true-colour picture.
  const unsigned char tga[22] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8, 255, 255, 255, 255};
  h.WriteFile("shine001.tga", std::string(reinterpret_cast<const char*>(tga), sizeof(tga)));
  CSceneBaseObj* o = h.Loaded();
  const size_t loadsBefore = h.renderer.TextureLoads();
  o->EnableShine();
  o->EnableShine();
  EXPECT_EQ(h.renderer.TextureLoads(), loadsBefore + 1);
  ASSERT_GE(o->GetShineTexture(0), 0);
  EXPECT_EQ(h.renderer.TextureName(o->GetShineTexture(0)), "shine001.tga");
  EXPECT_EQ(h.scene->projectorReceivers, std::vector<CSceneBaseObj*>{o});
  EXPECT_FLOAT_EQ(o->shineMatrix._11, 2.0f);
  EXPECT_FLOAT_EQ(o->shineMatrix._33, 0.01f);
  o->DisableShine();
  EXPECT_TRUE(h.scene->projectorReceivers.empty());
  const size_t live = h.renderer.LiveTextures();
  o->Destroy();
  EXPECT_EQ(h.renderer.LiveTextures(), live - 1);
  EXPECT_EQ(o->GetShineTexture(0), -1);
}

}  // namespace
