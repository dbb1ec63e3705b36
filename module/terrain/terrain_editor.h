// Picking the terrain and moving the view. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CTerrainEditor : public CComponentBase {
 public:
  CTerrainEditor();
  ~CTerrainEditor() override;
  bool Init() override;
};
