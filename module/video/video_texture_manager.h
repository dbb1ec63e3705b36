// Video decoded into a texture. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CVideoTextureManager : public CComponentBase {
 public:
  CVideoTextureManager();
  ~CVideoTextureManager() override;
  bool Init() override;
};
