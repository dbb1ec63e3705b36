// A character or prop placed in the scene. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CSceneBaseObj : public CComponentBase {
 public:
  CSceneBaseObj();
  ~CSceneBaseObj() override;
};
