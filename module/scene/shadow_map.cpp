#include "scene/shadow_map.h"

CShadowMap::CShadowMap() = default;
CShadowMap::~CShadowMap() = default;
