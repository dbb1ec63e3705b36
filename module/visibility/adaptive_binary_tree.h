// The spatial tree over static scene geometry. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CAdaptiveBinaryTree : public CComponentBase {
 public:
  CAdaptiveBinaryTree();
  ~CAdaptiveBinaryTree() override;
  bool Init() override;
};
