// The height-field terrain. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CTerrainManager : public CComponentBase {
 public:
  CTerrainManager();
  ~CTerrainManager() override;
  bool Init() override;
};
