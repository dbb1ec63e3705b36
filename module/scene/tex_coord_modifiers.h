// Texture-coordinate animation of materials and flags: per texture stage a scroll, a rotation
// about the texture centre or a stretch by a periodic wave, kept as the stage's texture matrix.
// The five wave tables of 1024 values are module-wide, built once by the scene system's Init and
// read by the modifiers and by the flags.
#pragma once
#include <cstdint>

#include "d3dx8/d3dx8math.h"

class IIniFile;
class IRenderer;

constexpr int kWaveTableSize = 1024;
constexpr int kWaveTableCount = 5;
// Table k - 1 is wave table number k: 1 sine, 2 triangle, 3 square, 4 sawtooth, 5 inverse sawtooth.
extern float g_waveTables[kWaveTableCount][kWaveTableSize];
// The renderer Apply and Reset set stage states on; fetched by BuildWaveTables.
extern IRenderer* g_pModifierRenderer;

enum WaveTableNumber : int32_t {
  kWaveSine = 1,
  kWaveTriangle = 2,
  kWaveSquare = 3,
  kWaveSawtooth = 4,
  kWaveInverseSawtooth = 5,
};

// The table entry of a phase measured in periods: the fraction of the period picks one of the
// 1024 entries. The phase is reduced modulo one period before it is truncated, so a clock that
// has run for days stays a defined conversion and lands on the entry the plain truncation gives.
int WaveTableIndex(double periods);

struct WaveForm {
  int32_t function = 0;
  float base = 0.0f;
  float amplitude = 0.0f;
  float phase = 0.0f;
  float frequency = 0.0f;
};

enum TexCoordModifierKind : int32_t {
  kModifierNone = 0,
  kModifierScroll = 1,
  kModifierStretch = 2,
  kModifierRotate = 3,
};

class CTexCoordModifiers {
 public:
  static constexpr int kStages = 4;

  CTexCoordModifiers();
  virtual ~CTexCoordModifiers();

  static void BuildWaveTables();
  // The table of a number (1-5), or null for any other.
  static const float* GetWaveTable(int32_t number);
  // base + amplitude x table[frequency x t + phase]; a number with no table yields the base.
  static float EvaluateWave(const WaveForm& wave, float t);

  // Reads "Num_Coord_Tex_Mods_<stage>" entries "Tex_Coord_Mod_<stage>_<n>" of one section.
  void LoadFromINI(IIniFile* ini, const char* section);
  void Update(float seconds);
  // Sets the texture matrix of every animated stage.
  void Apply();
  // Switches the texture transform of every animated stage off again.
  void Reset();

  D3DXMATRIX matrices[kStages];
  int32_t kinds[kStages] = {};
  float scrollU = 0.0f;
  float scrollV = 0.0f;
  float rotateSpeed = 0.0f;
  WaveForm waves[kStages];
};
