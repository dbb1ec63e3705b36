// How the host's "Renderable" draws and picks. A model whose parts name meshes is drawn as the
// meshes of its visible parts (position, normal and the mesh's colours, with no texture bound
// for the draw); any other as its box (the object file's minimum and maximum), twelve
// triangles. Either goes through the renderer under the root node's world matrix:
// - slot 3 draws it while the model is shown and its alpha (interface slot 20) is 1, slot 4 while
//   it is shown and its alpha is below 1; the alpha goes into the corners' diffuse alpha. A model
//   hidden by 400015 (mode 2) or with every part switched off draws nothing.
// - interface slot 12 draws a copy with the bones the skeleton holds now: the meshes or the box
//   moved by the first bone's matrix, then by the node's world, with the effect given and white
//   (the caller's texture factor tints it).
// - interface slot 24 and slot 12 answer where the segment first meets the box in world space, as
//   a fraction of the segment (0 when it starts inside), above 1 when it misses.
#pragma once
#include "d3d8/d3d8types.h"
#include "host/mesh_object.h"

class IRenderer;

namespace host {

// The fraction along `start` -> `end` where it enters the box [lo, hi] placed by `world`; 2 when
// it misses, when the segment is a point outside, or when `world` cannot be inverted.
float SegmentBoxFraction(const float lo[3], const float hi[3], const D3DMATRIX& world, const D3DVECTOR& start,
                         const D3DVECTOR& end);

// Twelve triangles of the box [lo, hi], each corner moved by `bone` (null: as it is), with the
// world transform set to `world` and the given corner colour and effect.
void DrawBox(IRenderer& renderer, const float lo[3], const float hi[3], const D3DMATRIX* bone, const D3DMATRIX& world,
             D3DCOLOR colour, int effect);

// The mesh's triangles, each vertex moved by `bone` (null: as it is), with the world transform
// set to `world`; its colours with the alpha given, or `white` in place of every colour when
// it is set. Stage 0 holds no texture during the draw and is given back afterwards.
void DrawMesh(IRenderer& renderer, const MeshData& mesh, const D3DMATRIX* bone, const D3DMATRIX& world,
              uint8_t alpha, bool white, int effect);

}  // namespace host
