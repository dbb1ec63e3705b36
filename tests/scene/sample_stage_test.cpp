// The sample tree's flag list, material animation and textures, read as the scene reads them.
#include <memory>
#include <ostream>
#include <set>
#include <vector>

#include "frame/host_blocks.h"
#include "host/generic_object.h"
#include "scene/dynamic_flag_system.h"
#include "scene_fixture.h"

namespace {

struct SampleHost {
  host::StandardHost standard{std::string(FOOTLIGHT_SOURCE_DIR) + "/samples"};
  SampleHost() { standard.host.LoadModule(&DMAInterface); }
  ~SampleHost() {
    standard.host.DestroyAll();
    EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
  }
};

// The texel at (x, y) of a loaded texture, as A8R8G8B8.
uint32_t Texel(host::Renderer& r, int texture, int x, int y) {
  IDirect3DTexture8* object = r.GetTextureObject(texture);
  D3DLOCKED_RECT locked{};
  if (object == nullptr || FAILED(object->LockRect(0, &locked, nullptr, 0))) return 0xDEADBEEFu;
  const uint32_t texel = static_cast<const uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x];
  object->UnlockRect(0);
  return texel;
}

TEST(SampleStage, TheBannerWavesWithBothTexturesAndItsDriftingStripes) {
  SampleHost h;
  ComponentHandle handle{};
  h.standard.host.CreateObject(&handle, "CSceneSystem");
  auto* scene = scene_testing::As<CSceneSystem>(h.standard.host.GetObject(&handle));
  IIniFile* material = h.standard.ini.OpenIni("resource\\ini\\scene\\material\\1.ini", 0);
  ASSERT_NE(material, nullptr);
  const float c0[3] = {-4, 3, 5}, c1[3] = {4, 3, 5}, c2[3] = {-4, 7, 5};
  scene->flags.AddFlag("flag01", "flagBanner", c0, c1, c2, material);
  scene->flags.SetTime(2.0f);
  host::Renderer& r = h.standard.renderer;
  r.ClearRecords();
  scene->flags.Render();
  ASSERT_EQ(r.Draws().size(), 1u);
  const host::DrawRecord& d = r.Draws()[0];
  EXPECT_EQ(d.vertexCount, 9u * 5u);
  EXPECT_EQ(d.primitiveCount, 64u);
  EXPECT_FLOAT_EQ(d.state->textureTransform[0]._31, 0.1f);  // 0.05 a second for 2 s
  EXPECT_EQ(r.TextureName(d.state->textureHandle[0]), "resource\\textures\\flag\\banner.tga");
  EXPECT_EQ(r.TextureName(d.state->textureHandle[1]), "resource\\textures\\flag\\banner_detail.tga");
  EXPECT_TRUE(r.Log().empty()) << r.Log().front();
  // The top band is red, the next white; the detail checker alternates two greys.
  EXPECT_EQ(Texel(r, d.state->textureHandle[0], 3, 0), 0xFFDC2828u);
  EXPECT_EQ(Texel(r, d.state->textureHandle[0], 3, 2), 0xFFFFFFFFu);
  EXPECT_EQ(Texel(r, d.state->textureHandle[1], 0, 0), 0xFFA0A0A0u);
  EXPECT_EQ(Texel(r, d.state->textureHandle[1], 2, 0), 0xFFE0E0E0u);

  CTexCoordModifiers floor;
  floor.LoadFromINI(material, "discoFloor");
  EXPECT_EQ(floor.kinds[0], kModifierScroll);
  EXPECT_EQ(floor.kinds[1], kModifierRotate);
  EXPECT_FLOAT_EQ(floor.scrollU, 0.1f);
  EXPECT_FLOAT_EQ(floor.rotateSpeed, 30.0f);
  ReleaseIniFile(material);
}

TEST(SampleStage, TheSpotTextureIsBrightInTheMiddleAndDarkAtTheRim) {
  SampleHost h;
  host::Renderer& r = h.standard.renderer;
  const int spot = r.LoadTexture("resource\\textures\\light\\spot.tga", 0);
  ASSERT_GE(spot, 0) << r.Log().front();
  const uint32_t centre = Texel(r, spot, 8, 8), rim = Texel(r, spot, 0, 0), halfway = Texel(r, spot, 4, 8);
  EXPECT_GE(centre & 0xFFu, 230u);
  EXPECT_EQ(rim, 0u);
  EXPECT_GT(halfway & 0xFFu, 60u);
  EXPECT_LT(halfway & 0xFFu, centre & 0xFFu);
  EXPECT_EQ(halfway >> 24, halfway & 0xFFu);  // alpha follows the brightness
  r.ReleaseTexture(spot);
}

// What the renderer holds of its records: the count of each list and their bytes, each state
// block counted once however many draws share it.
struct RecordSizes {
  size_t draws = 0, texts = 0, clears = 0, stateCalls = 0, calls = 0, bytes = 0;
  bool operator==(const RecordSizes&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const RecordSizes& s) {
    return out << s.draws << " draws, " << s.texts << " texts, " << s.clears << " clears, " << s.stateCalls
               << " state calls, " << s.calls << " logged calls, " << s.bytes << " bytes";
  }
};

RecordSizes SizesOf(const host::Renderer& r) {
  RecordSizes s{r.Draws().size(), r.Texts().size(), r.Clears().size(), r.RenderStateCalls().size(),
                r.CallLog().size(), 0};
  std::set<const host::RenderSnapshot*> states;
  for (const host::DrawRecord& d : r.Draws()) {
    s.bytes += sizeof d + d.vertices.size() + d.indices.size() * sizeof(uint32_t) + d.error.size();
    states.insert(d.state.get());
  }
  s.bytes += states.size() * sizeof(host::RenderSnapshot);
  for (const host::TextRecord& t : r.Texts()) s.bytes += sizeof t + t.text.size();
  s.bytes += s.clears * sizeof(host::ClearRecord) + s.stateCalls * sizeof(std::pair<DWORD, DWORD>) +
             s.calls * sizeof(host::RendererLogEntry);
  return s;
}

// What the host and its recording objects hold: the host's messages, the models' draws and
// messages, the effects' calls and messages and the geometry service's calls.
std::vector<size_t> HostRecordSizes(const host::StandardHost& standard, const host::RecordingClass& effects) {
  std::vector<size_t> sizes{standard.host.Messages().size(), standard.objects->geometry.Calls().size()};
  for (const host::ModelObject* m : standard.objects->models->Objects()) {
    sizes.push_back(m->Draws().size());
    sizes.push_back(m->Messages().size());
  }
  for (const host::RecordingObject* e : effects.Objects()) {
    sizes.push_back(e->Calls().size());
    sizes.push_back(e->Messages().size());
  }
  return sizes;
}

TEST(SampleStage, ARunHoldsTheSameRecordsAfterAThousandFramesAsAfterTen) {
  host::RendererConfig noRaster;
  noRaster.rasterize = false;
  host::StandardHost standard(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", noRaster);
  ASSERT_NE(standard.host.LoadModule(&DMAInterface), nullptr);
  auto effects = std::make_shared<host::RecordingClass>("effect");
  standard.host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  ComponentHandle handle{};
  standard.host.CreateObject(&handle, "CSceneSystem");
  auto* scene = scene_testing::As<CSceneSystem>(standard.host.GetObject(&handle));
  ASSERT_TRUE(scene->LoadScene(1));
  // Frames of no time draw the same each time, so what the renderer holds depends only on how
  // many frames it keeps.
  for (int frame = 0; frame < 10; ++frame) standard.Frame(0);
  const RecordSizes ten = SizesOf(standard.renderer);
  const std::vector<size_t> hostTen = HostRecordSizes(standard, *effects);
  EXPECT_GT(ten.draws, 0u);
  // The frame before the current one and the current one, no more.
  EXPECT_EQ(ten.draws, 2 * standard.renderer.FrameDraws().size());
  const size_t sentTen = standard.host.MessagesSent();
  // The rest as the commands that drive the host's update themselves run their frames: the
  // renderer's records begin their frame there too.
  for (int frame = 0; frame < 990; ++frame) {
    standard.host.Execute(0);
    standard.renderer.BeginScene();
    standard.host.Realize(0);
    standard.renderer.EndScene();
  }
  EXPECT_EQ(SizesOf(standard.renderer), ten);
  EXPECT_EQ(HostRecordSizes(standard, *effects), hostTen);
  EXPECT_GT(standard.host.MessagesSent(), sentTen);
  standard.host.DestroyAll();
  EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
}

}  // namespace
