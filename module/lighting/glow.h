// The full-screen glow pass. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CGlow : public CComponentBase {
 public:
  CGlow();
  ~CGlow() override;
  bool Init() override;
};
