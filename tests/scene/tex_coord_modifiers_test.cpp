// Texture-coordinate modifiers: the wave tables, the INI entries, the per-kind matrices and the
// stage states they set.
#include <cmath>

#include "frame/host_blocks.h"
#include "scene/tex_coord_modifiers.h"
#include "scene_fixture.h"

namespace {
using scene_testing::SceneHost;

constexpr double kPi = 3.14159265358979323846;

// An INI file written below the host's root and opened through its service.
struct IniFixture {
  SceneHost s;
  IIniFile* ini = nullptr;
  explicit IniFixture(const std::string& text) {
    s.WriteFile("Resource/ini/mods.ini", text);
    ini = s.standard.ini.OpenIni("Resource\\ini\\mods.ini", 0);
    CTexCoordModifiers::BuildWaveTables();
  }
  ~IniFixture() { ReleaseIniFile(ini); }
};

TEST(WaveTables, CornersOfEveryTableMatchTheirFormulas) {
  SceneHost s;
  CTexCoordModifiers::BuildWaveTables();
  const float* sine = CTexCoordModifiers::GetWaveTable(1);
  ASSERT_NE(sine, nullptr);
  for (int i : {0, 1, 255, 256, 512, 768, 1000}) EXPECT_NEAR(sine[i], std::sin(i * 2.0 * kPi / 1023.0), 1e-5) << i;
  EXPECT_EQ(sine[1023], 0.0f);
  const float* triangle = CTexCoordModifiers::GetWaveTable(2);
  EXPECT_FLOAT_EQ(triangle[255], 255.0f / 256.0f);
  EXPECT_FLOAT_EQ(triangle[256], 1.0f);
  EXPECT_FLOAT_EQ(triangle[511], 1.0f / 256.0f);
  EXPECT_FLOAT_EQ(triangle[512], 0.0f);
  EXPECT_FLOAT_EQ(triangle[767], -255.0f / 256.0f);
  const float* square = CTexCoordModifiers::GetWaveTable(3);
  EXPECT_EQ(square[511], 1.0f);
  EXPECT_EQ(square[512], -1.0f);
  EXPECT_FLOAT_EQ(CTexCoordModifiers::GetWaveTable(4)[512], 0.5f);
  EXPECT_FLOAT_EQ(CTexCoordModifiers::GetWaveTable(5)[256], 0.75f);
  EXPECT_EQ(CTexCoordModifiers::GetWaveTable(0), nullptr);
  EXPECT_EQ(CTexCoordModifiers::GetWaveTable(6), nullptr);
}

TEST(WaveTables, EvaluateWaveReadsTheEntryOfTheFractionAndYieldsTheBaseWithoutATable) {
  SceneHost s;
  CTexCoordModifiers::BuildWaveTables();
  // 0.25 periods: entry 256 of the square table is 1; base 2 + amplitude 3.
  EXPECT_FLOAT_EQ(CTexCoordModifiers::EvaluateWave(WaveForm{3, 2.0f, 3.0f, 0.0f, 0.125f}, 2.0f), 5.0f);
  // 0.75 periods: entry 768 of the square table is -1.
  EXPECT_FLOAT_EQ(CTexCoordModifiers::EvaluateWave(WaveForm{3, 2.0f, 3.0f, 0.5f, 0.125f}, 2.0f), -1.0f);
  EXPECT_FLOAT_EQ(CTexCoordModifiers::EvaluateWave(WaveForm{9, 2.5f, 3.0f, 0.0f, 1.0f}, 1.0f), 2.5f);
  // Negative phases wrap like the two's complement of the truncated index: -0.25 periods is 768.
  EXPECT_FLOAT_EQ(CTexCoordModifiers::EvaluateWave(WaveForm{4, 0.0f, 1.0f, -0.25f, 0.0f}, 0.0f), 0.75f);
}

TEST(WaveTables, AClockOfDaysStillPicksTheEntryOfItsFraction) {
  // 10^7 s x 0.25 per second x 1024 entries is beyond a 32-bit integer; the fraction 0.25 of the
  // period (entry 256 of the sawtooth; 2500000.25 periods is exact in a float) must still be read.
  SceneHost s;
  CTexCoordModifiers::BuildWaveTables();
  EXPECT_FLOAT_EQ(CTexCoordModifiers::EvaluateWave(WaveForm{4, 0.0f, 1.0f, 0.25f, 0.25f}, 1.0e7f), 0.25f);
  EXPECT_EQ(WaveTableIndex(1.0e12 + 0.25), 256);
  EXPECT_EQ(WaveTableIndex(std::nan("")), 0);

  CTexCoordModifiers m;
  m.kinds[0] = kModifierRotate;
  m.rotateSpeed = 360.0f;
  m.Update(1.0e7f);  // whole turns: no rotation at all
  EXPECT_NEAR(m.matrices[0]._11, 1.0f, 1e-5f);
  EXPECT_NEAR(m.matrices[0]._12, 0.0f, 1e-5f);
}

TEST(TexCoordModifiers, LoaderKeepsTheLastRecognisedEntryAndSharedSpeeds) {
  IniFixture f(
      "[wall]\n"
      "Num_Coord_Tex_Mods_0=1\nTex_Coord_Mod_0_0=scroll,0.5\n"
      "Num_Coord_Tex_Mods_1=2\nTex_Coord_Mod_1_0=Scroll,1,1\nTex_Coord_Mod_1_1=stretch,3\n"
      "Num_Coord_Tex_Mods_2=2\nTex_Coord_Mod_2_0=ROTATE,90\nTex_Coord_Mod_2_1=scroll,0.25\n"
      "Tex_Coord_Mod_3_0=rotate,45\n"
      "[huge]\nNum_Coord_Tex_Mods_1=2000000000\nTex_Coord_Mod_1_0=rotate,30\n");
  CTexCoordModifiers m;
  m.LoadFromINI(f.ini, "wall");
  EXPECT_EQ(m.kinds[0], kModifierScroll);
  EXPECT_EQ(m.kinds[1], kModifierScroll);  // stretch is not an entry the loader knows
  EXPECT_EQ(m.kinds[2], kModifierScroll);  // the later entry wins
  EXPECT_EQ(m.kinds[3], kModifierNone);    // no count key for stage 3
  EXPECT_FLOAT_EQ(m.scrollU, 0.25f);       // the last speed read in any stage
  EXPECT_FLOAT_EQ(m.scrollV, 1.0f);        // kept from Scroll,1,1
  EXPECT_FLOAT_EQ(m.rotateSpeed, 90.0f);

  // A count no material needs is read only as far as a stage is ever given entries, and said.
  CTexCoordModifiers huge;
  huge.LoadFromINI(f.ini, "huge");
  EXPECT_EQ(huge.kinds[1], kModifierRotate);
  EXPECT_EQ(f.s.LogCount("[WARNING] CTexCoordModifiers::LoadFromINI: [huge] Num_Coord_Tex_Mods_1=2000000000, "
                         "only the first 256 entries are read."),
            1u);

  CTexCoordModifiers none;
  none.LoadFromINI(f.ini, "missing");
  none.LoadFromINI(nullptr, "wall");
  none.LoadFromINI(f.ini, nullptr);
  for (int k : none.kinds) EXPECT_EQ(k, kModifierNone);
}

TEST(TexCoordModifiers, ScrollMovesOnlyTheTranslationAndRotateTurnsAboutTheCentre) {
  IniFixture f("[m]\nNum_Coord_Tex_Mods_0=1\nTex_Coord_Mod_0_0=scroll,0.5\n");
  CTexCoordModifiers m;
  m.LoadFromINI(f.ini, "m");
  m.Update(2.0f);
  EXPECT_FLOAT_EQ(m.matrices[0]._31, 1.0f);
  EXPECT_FLOAT_EQ(m.matrices[0]._32, 0.0f);
  EXPECT_FLOAT_EQ(m.matrices[0]._11, 1.0f);

  CTexCoordModifiers r;
  r.kinds[1] = kModifierRotate;
  r.rotateSpeed = 90.0f;
  r.Update(1.0f);
  const float* sine = CTexCoordModifiers::GetWaveTable(1);
  const D3DXMATRIX& q = r.matrices[1];
  EXPECT_EQ(q._11, sine[0]);
  EXPECT_EQ(q._12, sine[768]);
  EXPECT_NEAR(q._12, -1.0f, 1e-4f);
  // The centre (0.5, 0.5) stays where it is; the corner (1, 0.5) goes a quarter turn to (0.5, 0).
  const auto apply = [&](float u, float v) {
    return std::pair<float, float>(u * q._11 + v * q._21 + q._31, u * q._12 + v * q._22 + q._32);
  };
  EXPECT_NEAR(apply(0.5f, 0.5f).first, 0.5f, 1e-4f);
  EXPECT_NEAR(apply(0.5f, 0.5f).second, 0.5f, 1e-4f);
  EXPECT_NEAR(apply(1.0f, 0.5f).first, 0.5f, 1e-3f);
  EXPECT_NEAR(apply(1.0f, 0.5f).second, 0.0f, 1e-3f);

  CTexCoordModifiers stretch;
  stretch.kinds[2] = kModifierStretch;
  stretch.waves[2] = WaveForm{3, 1.0f, 1.0f, 0.0f, 0.0f};  // constant 2: half size about the centre
  stretch.Update(5.0f);
  EXPECT_FLOAT_EQ(stretch.matrices[2]._11, 0.5f);
  EXPECT_FLOAT_EQ(stretch.matrices[2]._31, 0.25f);
  stretch.waves[2] = WaveForm{3, 0.0f, 0.0f, 0.0f, 0.0f};  // a wave of zero: no stretch
  stretch.Update(5.0f);
  EXPECT_FLOAT_EQ(stretch.matrices[2]._22, 1.0f);
  EXPECT_FLOAT_EQ(stretch.matrices[2]._32, 0.0f);
}

TEST(TexCoordModifiers, ApplyAndResetTouchOnlyAnimatedStages) {
  SceneHost s;
  CTexCoordModifiers::BuildWaveTables();
  host::Renderer& r = s.standard.renderer;
  for (DWORD stage = 0; stage < 4; ++stage) r.SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, 7);
  CTexCoordModifiers m;
  m.kinds[1] = kModifierScroll;
  m.kinds[3] = kModifierRotate;
  m.scrollU = 0.5f;
  m.Update(1.0f);
  m.Apply();
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), 7u);
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS), 2u);
  EXPECT_EQ(r.GetTextureStageState(2, D3DTSS_TEXTURETRANSFORMFLAGS), 7u);
  EXPECT_EQ(r.GetTextureStageState(3, D3DTSS_TEXTURETRANSFORMFLAGS), 2u);
  D3DMATRIX t17{}, t16{};
  r.GetTransform(17, &t17);
  r.GetTransform(16, &t16);
  EXPECT_FLOAT_EQ(t17._31, 0.5f);
  EXPECT_FLOAT_EQ(t16._31, 0.0f);
  m.Reset();
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS), 0u);
  EXPECT_EQ(r.GetTextureStageState(3, D3DTSS_TEXTURETRANSFORMFLAGS), 0u);
  EXPECT_EQ(r.GetTextureStageState(2, D3DTSS_TEXTURETRANSFORMFLAGS), 7u);
}

}  // namespace
