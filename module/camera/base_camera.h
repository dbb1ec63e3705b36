// The view of the scene. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CBaseCamera : public CComponentBase {
 public:
  CBaseCamera();
  ~CBaseCamera() override;
  bool Init() override;
};
