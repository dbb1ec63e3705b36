// The debug gizmo: three axes drawn about a centre. The scene system holds it as a member; its
// drawing comes with the render members of the scene.
#pragma once
#include "d3dx8/d3dx8math.h"

class CDebugGizmo {
 public:
  CDebugGizmo();
  virtual ~CDebugGizmo();

  D3DXVECTOR3 centre{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  float size = 0.2f;
  D3DXVECTOR3 extent{1000.0f, 1000.0f, 1000.0f};
};
