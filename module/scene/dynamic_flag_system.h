// The scene's waving flags. The scene system holds the flag system as a member and drives it;
// the cloth itself comes with the render members of the scene, and until then these operations
// do nothing.
#pragma once

class CDynamicFlagSystem {
 public:
  CDynamicFlagSystem();
  ~CDynamicFlagSystem();

  // Reads the flag list.
  void Init();
  void SetTime(float seconds);
};
