// The dance scene. Only the component frame exists so far: the scene loading, update and
// render passes come with the scene system itself.
#pragma once
#include "frame/component_base.h"

class CSceneSystem : public CComponentBase {
 public:
  CSceneSystem();
  ~CSceneSystem() override;
  bool Init() override;
};
