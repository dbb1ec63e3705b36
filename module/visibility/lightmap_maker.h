// Lightmap patches traced against the tree. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CLightmapMaker : public CComponentBase {
 public:
  CLightmapMaker();
  ~CLightmapMaker() override;
  bool Init() override;
};
