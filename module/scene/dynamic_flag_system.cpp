#include "scene/dynamic_flag_system.h"

CDynamicFlagSystem::CDynamicFlagSystem() = default;
CDynamicFlagSystem::~CDynamicFlagSystem() = default;

void CDynamicFlagSystem::Init() {}
void CDynamicFlagSystem::SetTime(float) {}
