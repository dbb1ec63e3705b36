// The scene's shadow map. The scene system holds it as a member; its rendering comes with the
// render members of the scene.
#pragma once

class CShadowMap {
 public:
  CShadowMap();
  ~CShadowMap();
};
