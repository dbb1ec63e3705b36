#include "visibility/lightmap_maker.h"

#include <climits>

CLightmapMaker::CLightmapMaker() = default;
CLightmapMaker::~CLightmapMaker() = default;

bool CLightmapMaker::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  return true;
}
