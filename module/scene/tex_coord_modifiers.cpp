#include "scene/tex_coord_modifiers.h"

float g_waveTables[kWaveTableCount][kWaveTableSize] = {};

CTexCoordModifiers::CTexCoordModifiers() = default;
CTexCoordModifiers::~CTexCoordModifiers() = default;

void CTexCoordModifiers::BuildWaveTables() {}
void CTexCoordModifiers::Update(float) {}
void CTexCoordModifiers::LoadFromINI(IIniFile*, const char*) {}
