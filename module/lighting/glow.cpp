#include "lighting/glow.h"

CGlow::CGlow() = default;
CGlow::~CGlow() = default;

bool CGlow::Init() {
  SubscribeChannel("realize", -4095);
  SubscribeChannel("LostDevice", 0);
  SubscribeChannel("system_messages", 7);
  return true;
}
