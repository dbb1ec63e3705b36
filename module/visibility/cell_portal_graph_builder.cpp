#include "visibility/cell_portal_graph_builder.h"

#include <climits>

CCellPortalGraphBuilder::CCellPortalGraphBuilder() = default;
CCellPortalGraphBuilder::~CCellPortalGraphBuilder() = default;

bool CCellPortalGraphBuilder::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  return true;
}
