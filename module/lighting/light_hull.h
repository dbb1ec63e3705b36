// The visible beam of a light: a textured shape along the light's local +z axis from its origin
// to its range, drawn in the light's colour, optionally through the smoke effect that distorts
// it with a second texture.
#pragma once
#include <cstdint>

#include "d3dx8/d3dx8math.h"

class IRenderer;

// Hull shapes.
constexpr int32_t kHullFan = 1;           // a cone: fan from the origin to the far ring
constexpr int32_t kHullStrip = 2;         // a cylinder of the start radius
constexpr int32_t kHullCrossedPlanes = 6;  // planes through the axis, one per segment
constexpr int32_t kHullMaxSegments = 512;

class CLightHull {
 public:
  CLightHull();
  virtual ~CLightHull();
  CLightHull(const CLightHull&) = delete;
  CLightHull& operator=(const CLightHull&) = delete;

  // Sets the shape and loads the distortion texture when the device can use it (an empty name
  // releases the one held). Segment counts are brought into 1..512.
  void Init(IRenderer* renderer, int32_t hullType, int32_t segments, float startRadius, const char* distortionMap);
  // Fills the renderer's dynamic vertex buffer for the current shape; false when there is
  // nothing to draw (an unknown shape or no vertex memory).
  bool BuildGeometry(IRenderer* renderer, int* buffer, UINT* firstVertex, DWORD* primitiveType, UINT* primitiveCount);
  // Builds and draws the beam.
  void Draw(IRenderer* renderer, int hullTexture, uint32_t colorARGB, const D3DXVECTOR4& color, const D3DXMATRIX& world);

  // Hulls live in counted host blocks: count objects (at least one); null when the allocation fails.
  static CLightHull* NewArray(uint32_t count);
  // Runs the destructor of every element, then frees the block; null is accepted.
  static void DeleteArray(CLightHull* hulls);

  // The time value of the smoke effect, shared by every hull.
  static float SmokeTime();
  static void ResetSmokeTime();

  float length = 10.0f;
  D3DXVECTOR3 viewer{0, 0, 0};
  float coneAngle;
  float tanHalfAngle;
  float endRadius;
  float startRadius = 0.0f;
  float ring[kHullMaxSegments][2];  // {cos, sin} of each segment's angle
  int32_t segments = 0;
  int32_t hullType = 0;
  int distortionTexture = -1;
  int smokeEffect = -1;
  int hullEffect = -1;
  // The renderer the hull was set up with; it releases the distortion texture there.
  IRenderer* renderer = nullptr;
};
