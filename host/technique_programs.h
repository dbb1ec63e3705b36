// The GLSL programs of the techniques the fixed-function pipeline cannot draw: those whose
// transforms and parameters the module hands over in vertex- and pixel-shader constants, and
// the renderer's own text quad. What each reads:
//
// - "GenericTerrain_Tex0" and "GenericTerrain_Tex1": vertices of four 16-bit integers (x, raw
//   height, z, 1); world = (x, height x c4.y, z); clip = world through c0-c3 (the transposed
//   view-projection). c5 = (0.1, offset x, offset z, scale) of the slot's last layer: the base
//   layer (Tex0) reads stage 0 at (world.xz + offset) x scale x 0.1, so a layer of scale 1
//   repeats every 10 units; a painted layer (Tex1) reads stage 0 at world.xz x 0.1 and takes
//   its alpha from the blend map on stage 1 at (world.xz + offset) x scale, its patch's 0..1.
//   Both are lit on the face's own normal by the ambient colour and the directional lights
//   enabled (the fixed-function lighting switch aside, as a shader lights); with no directional
//   light enabled, by a fixed sun: 0.4 + 0.6 x (n . (-0.48, 0.8, -0.36)), so flat ground shows
//   its textures at 0.88 and the slopes that face the sun or turn from it show the hills. The
//   layer is read through its mip levels.
// - "PaintBrush": positions and one coordinate pair, through c0-c3; the texture factor's colour,
//   faint in the middle and strongest at a ring near the brush's edge (coordinates 0..1).
// - "disturbedSmoke": positions and one coordinate pair through c0-c3 (the transposed
//   world-view-projection); the hull texture (stage 0) read at coordinates moved by the
//   distortion texture (stage 1), which drifts with the time in c5.x at the rates of pixel
//   constants c0-c2 and moves them by up to c3.xy; times the colour in c4.
// - "shadow_map_generate": positions through c0-c3; the colour is the texel of the depth code
//   table on stage 0 at the depth (0..1) of the pixel.
// - "project_shadow_map_apply": positions through c0-c3; four taps, each the position through
//   the rows of c8-c11, c12-c15, c16-c19 and c20-c23, read the shadow map on stages 1-4; a tap
//   that finds a caster (a code of alpha 0, where the map's clear colour is opaque) darkens the
//   pixel by an eighth.
// - "self_shadow_map_apply": positions through c0-c3, their light depth through c4-c7; the tap
//   of c8-c11 on stage 1 decodes the caster depth there (red + 256 x the top three bits of
//   green, over 2048) and darkens the pixel by half where it lies further than that.
//
// The vertex attribute locations are those of the fixed-function programs.
#pragma once
#include <string>

#include "host/gl_context.h"

namespace host {

enum class ShaderTechnique {
  TerrainBase,
  TerrainLayer,
  PaintBrush,
  Smoke,
  ShadowGenerate,
  ShadowProject,
  ShadowSelf,
  Text,  // the renderer's texts: a coverage picture in a colour, at a pixel rectangle
  kCount
};

std::string TechniqueVertexSource(ShaderTechnique technique);
std::string TechniqueFragmentSource(ShaderTechnique technique);

class TechniqueProgram {
 public:
  // Compiles and links; false with `error` set on failure.
  bool Build(const GlFunctions& gl, ShaderTechnique technique, std::string* error);
  void Destroy(const GlFunctions& gl);
  GLuint name() const { return program_; }

  struct Locations {
    GLint constants = -1, pixelConstants = -1, shift = -1;
    GLint textureFactor = -1, ambient = -1, lit = -1, lightDirection = -1, lightDiffuse = -1;
    GLint rect = -1, colour = -1;
  };
  const Locations& at() const { return at_; }

 private:
  GLuint program_ = 0;
  Locations at_;
};

}  // namespace host
