// Cells and portals over static geometry. Only the component frame exists so far.
#pragma once
#include "frame/component_base.h"

class CCellPortalGraphBuilder : public CComponentBase {
 public:
  CCellPortalGraphBuilder();
  ~CCellPortalGraphBuilder() override;
  bool Init() override;
};
