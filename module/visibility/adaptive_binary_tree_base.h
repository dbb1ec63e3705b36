// The geometry base shared by the components that hold static world geometry (the terrain and
// the adaptive binary tree): a component with a world matrix and four geometric queries after
// the twelve component slots.
#pragma once
#include <cstdint>

#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"

// Receives one clipped polygon of a region query: count points of three floats each, packed.
using RegionPolygonFn = void (*)(const float* vertices, int32_t count);

class CAdaptiveBinaryTreeBase : public CComponentBase {
 public:
  CAdaptiveBinaryTreeBase();
  ~CAdaptiveBinaryTreeBase() override;

  // The fraction along a -> b of the first hit with the geometry, 0..1; 2.0 when nothing is hit.
  virtual float RayDistance(const D3DXVECTOR3* a, const D3DXVECTOR3* b) = 0;  // slot 12
  // Hands every triangle inside the sphere, clipped by the planes, to the callback.
  virtual bool ClipTrianglesInSphere(const float (*planes)[4], int32_t planeCount, const D3DXVECTOR3* centre,
                                     float radius, RegionPolygonFn callback) = 0;  // slot 13
  virtual int32_t GeometrySlot14() = 0;             // slot 14
  virtual bool GeometrySlot15(uint32_t arg) = 0;    // slot 15

  D3DXMATRIX m_matWorld;
};
