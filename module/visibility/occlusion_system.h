// The occluder rasteriser. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class COcclusionSystem : public CComponentBase {
 public:
  COcclusionSystem();
  ~COcclusionSystem() override;
  bool Init() override;
};
