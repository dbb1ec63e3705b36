// The debug gizmo: marks a point of the scene with three translucent crossed quads, one in each
// axis plane, and three opaque axis lines (red X, green Y, blue Z) through it. It draws
// additively without writing depth, so it never hides what is drawn after it.
#pragma once
#include <cstdint>

class IRenderer;

// FVF 0x42: position and a 32-bit ARGB colour.
struct GizmoVertex {
  float x, y, z;
  uint32_t colour;
};
static_assert(sizeof(GizmoVertex) == 16);

constexpr uint32_t kGizmoVertexFormat = 0x42;

class CDebugGizmo {
 public:
  CDebugGizmo();
  virtual ~CDebugGizmo();
  // Draws with every state it changes saved before and restored after.
  virtual void Draw(IRenderer* renderer);

  // Moves the centre; the vertices follow at the next draw.
  void SetCentre(float x, float y, float z);

  float colours[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  float alpha = 0.2f;
  float size[3] = {1000.0f, 1000.0f, 1000.0f};
  float centre[3] = {0.0f, 0.0f, 0.0f};
  GizmoVertex quads[18] = {};
  GizmoVertex lines[6] = {};
  uint8_t rebuild = 1;

 private:
  void Build();
};
