#include "scene/dynamic_flag_system.h"

CDynamicFlagSystem::CDynamicFlagSystem() = default;
CDynamicFlagSystem::~CDynamicFlagSystem() = default;

void CDynamicFlagSystem::Init() {}
void CDynamicFlagSystem::SetTime(float) {}

void CDynamicFlagSystem::AddFlag(const char* name, const char* kind, const D3DXVECTOR3* corner0,
                                 const D3DXVECTOR3* corner1, const D3DXVECTOR3* corner2, IIniFile*) {
  FlagRecord flag{name != nullptr ? name : "", kind != nullptr ? kind : "", {*corner0, *corner1, *corner2}};
  flags_.push_back(std::move(flag));
}

void CDynamicFlagSystem::Clear() { flags_.clear(); }
