// Texture-coordinate animation of materials and flags, driven by five wave tables of 1024 values
// that the scene system builds once in its Init. The animation itself comes with the render
// members of the scene; until then the tables stay zero and Update does nothing.
#pragma once

class IIniFile;

constexpr int kWaveTableSize = 1024;
constexpr int kWaveTableCount = 5;
extern float g_waveTables[kWaveTableCount][kWaveTableSize];

class CTexCoordModifiers {
 public:
  CTexCoordModifiers();
  ~CTexCoordModifiers();

  static void BuildWaveTables();
  void Update(float sceneClock);
  // Reads the modifiers of one model from the scene's material file (section = the model name).
  void LoadFromINI(IIniFile* materialFile, const char* section);
};
