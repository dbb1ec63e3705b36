#include "scene/tex_coord_modifiers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/host_interfaces.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "win32/crt_string.h"

float g_waveTables[kWaveTableCount][kWaveTableSize] = {};
IRenderer* g_pModifierRenderer = nullptr;

namespace {
// Degrees a table entry stands for (360 / 1023, so entry 1023 closes the circle) and radians per
// degree, as the sine table is built from them.
constexpr float kDegreesPerEntry = 0.35190615f;
constexpr float kRadiansPerDegree = 0.017453292f;
// Table entries per degree of rotation (1024 / 360).
constexpr float kEntriesPerDegree = 2.8444445f;
// A stage keeps the kind of its last entry, so a material needs a few entries per stage; a count
// from the file is read up to this many, where a count of two billion would keep the load
// looking up keys for minutes.
constexpr int kMaxEntriesPerStage = 256;
}  // namespace

int WaveTableIndex(double periods) {
  const double scaled = periods * 1024.0;
  if (!std::isfinite(scaled)) return 0;
  // fmod keeps the sign, so the truncation below rounds towards zero exactly as the plain
  // conversion would; masking the two's complement then picks the same entry.
  const double reduced = std::fmod(scaled, 1024.0);
  return static_cast<int>(reduced) & (kWaveTableSize - 1);
}

CTexCoordModifiers::CTexCoordModifiers() {
  for (D3DXMATRIX& m : matrices) D3DXMatrixIdentity(&m);
}

CTexCoordModifiers::~CTexCoordModifiers() = default;

void CTexCoordModifiers::BuildWaveTables() {
  float* sine = g_waveTables[kWaveSine - 1];
  float* triangle = g_waveTables[kWaveTriangle - 1];
  float* square = g_waveTables[kWaveSquare - 1];
  float* sawtooth = g_waveTables[kWaveSawtooth - 1];
  float* inverse = g_waveTables[kWaveInverseSawtooth - 1];
  for (int i = 0; i < kWaveTableSize; ++i) {
    sine[i] = std::sin(static_cast<float>(i) * kDegreesPerEntry * kRadiansPerDegree);
    if (i < 256) {
      triangle[i] = static_cast<float>(i) * 0.00390625f;
    } else if (i < 512) {
      triangle[i] = 1.0f - triangle[i - 256];
    } else {
      triangle[i] = -triangle[i - 512];
    }
    square[i] = i < 512 ? 1.0f : -1.0f;
    sawtooth[i] = static_cast<float>(i) * 0.0009765625f;
    inverse[i] = 1.0f - sawtooth[i];
  }
  // The sine of 360 degrees in float is not quite zero; the table closes the circle exactly.
  sine[kWaveTableSize - 1] = 0.0f;
  g_pModifierRenderer = g_pHost != nullptr ? static_cast<IRenderer*>(g_pHost->GetService("dx8render")) : nullptr;
}

const float* CTexCoordModifiers::GetWaveTable(int32_t number) {
  if (number < kWaveSine || number > kWaveInverseSawtooth) return nullptr;
  return g_waveTables[number - 1];
}

float CTexCoordModifiers::EvaluateWave(const WaveForm& wave, float t) {
  const float* table = GetWaveTable(wave.function);
  if (table == nullptr) return wave.base;
  const float periods = wave.frequency * t + wave.phase;
  return wave.base + wave.amplitude * table[WaveTableIndex(periods)];
}

void CTexCoordModifiers::LoadFromINI(IIniFile* ini, const char* section) {
  if (ini == nullptr || section == nullptr) return;
  for (int s = 0; s < kStages; ++s) {
    char key[64];
    std::snprintf(key, sizeof key, "Num_Coord_Tex_Mods_%d", s);
    int count = ini->GetInt(section, key, 0);
    if (count > kMaxEntriesPerStage) {
      if (g_pHost != nullptr)
        g_pHost->Log("[WARNING] CTexCoordModifiers::LoadFromINI: [%s] %s=%d, only the first %d entries are read.",
                     section, key, count, kMaxEntriesPerStage);
      count = kMaxEntriesPerStage;
    }
    for (int j = 0; j < count; ++j) {
      std::snprintf(key, sizeof key, "Tex_Coord_Mod_%d_%d", s, j);
      char text[128] = {};
      ini->GetString(section, key, text, 127, "");
      char* rest = nullptr;
      const char* kind = strtok_r(text, ",", &rest);
      if (kind == nullptr) continue;
      if (_stricmp(kind, "scroll") == 0) {
        kinds[s] = kModifierScroll;
        if (const char* u = strtok_r(nullptr, ",", &rest)) {
          scrollU = static_cast<float>(std::atof(u));
          if (const char* v = strtok_r(nullptr, ",", &rest)) scrollV = static_cast<float>(std::atof(v));
        }
      } else if (_stricmp(kind, "rotate") == 0) {
        kinds[s] = kModifierRotate;
        if (const char* speed = strtok_r(nullptr, ",", &rest)) rotateSpeed = static_cast<float>(std::atof(speed));
      }
    }
  }
}

void CTexCoordModifiers::Update(float t) {
  for (int s = 0; s < kStages; ++s) {
    D3DXMATRIX& m = matrices[s];
    switch (kinds[s]) {
      case kModifierScroll:
        m._31 = t * scrollU;
        m._32 = t * scrollV;
        break;
      case kModifierStretch: {
        const float value = EvaluateWave(waves[s], t);
        // A wave through zero would scale the coordinates without bound; it reads as no stretch.
        const float k = value != 0.0f && std::isfinite(value) ? 1.0f / value : 1.0f;
        m._11 = k;
        m._12 = 0.0f;
        m._21 = 0.0f;
        m._22 = k;
        m._31 = m._32 = 0.5f - 0.5f * k;
        break;
      }
      case kModifierRotate: {
        // The angle runs backwards in table entries: -(degrees) x 1024 / 360.
        const float entries = -(t * rotateSpeed) * kEntriesPerDegree;
        const int a = WaveTableIndex(static_cast<double>(entries) / 1024.0);
        const float* sine = g_waveTables[kWaveSine - 1];
        const float sn = sine[a & 1023];
        const float cs = sine[(a + 256) & 1023];
        m._11 = cs;
        m._12 = sn;
        m._21 = -sn;
        m._22 = cs;
        m._31 = 0.5f - 0.5f * cs + 0.5f * sn;
        m._32 = 0.5f - 0.5f * sn - 0.5f * cs;
        break;
      }
      default:
        break;
    }
  }
}

void CTexCoordModifiers::Apply() {
  if (g_pModifierRenderer == nullptr) return;
  for (int s = 0; s < kStages; ++s) {
    if (kinds[s] == kModifierNone) continue;
    g_pModifierRenderer->SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    g_pModifierRenderer->SetTransform(D3DTS_TEXTURE0 + s, &matrices[s]);
  }
}

void CTexCoordModifiers::Reset() {
  if (g_pModifierRenderer == nullptr) return;
  for (int s = 0; s < kStages; ++s) {
    if (kinds[s] == kModifierNone) continue;
    g_pModifierRenderer->SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  }
}
