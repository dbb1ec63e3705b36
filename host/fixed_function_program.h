// The fixed-function pipeline as GLSL: a key of everything that changes the code of a draw
// (vertex layout, lights by type, fog mode, alpha test, clip planes, texture stages), the
// vertex and fragment sources generated from it, and the program with its uniform locations.
// Values that change without changing code (matrices, colours, light parameters) are uniforms.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/gl_context.h"

namespace host {

constexpr int kRasterStages = 8;
constexpr int kRasterLights = 8;
constexpr int kRasterClipPlanes = 6;

// Texture-coordinate sources of a stage.
enum : uint8_t { kSourceSet = 0, kSourceCameraPosition = 1, kSourceReflection = 2 };
// Fog modes.
enum : uint8_t { kFogNone = 0, kFogExp = 1, kFogExp2 = 2, kFogLinear = 3 };

struct StageKey {
  uint8_t colorOp, alphaOp;  // D3DTOP numbers
  uint8_t colorArg1, colorArg2, alphaArg1, alphaArg2;  // D3DTA values (selector and modifiers)
  uint8_t toTemp;    // the result goes to TEMP instead of CURRENT
  uint8_t source;    // kSource*
  uint8_t set;       // the coordinate set of kSourceSet; >= the vertex's sets reads 0
  uint8_t transform; // 0 none, else the count of the transform flags (2-4)
  uint8_t projected; // divide by the last transformed component
  uint8_t texture;   // a texture is bound; without one TEXTURE reads opaque white
};

// A plain byte record: compared and hashed as its bytes, so it is always zeroed first.
struct FixedFunctionKey {
  uint8_t pretransformed;  // screen-space positions with 1/w
  uint8_t normal, diffuse, sets;
  uint8_t lighting, normalize;
  uint8_t lightType[kRasterLights];  // 0 off, else the D3DLIGHT type
  uint8_t fogMode, fogPerPixel;
  uint8_t alphaFunc;  // 0 no alpha test, else the D3DCMP number
  uint8_t clipMask;
  uint8_t stages;     // stages before the first COLOROP DISABLE (at least 1)
  uint8_t stage0Disabled;  // stage 0 COLOROP DISABLE: the diffuse passes
  StageKey stage[kRasterStages];

  bool operator==(const FixedFunctionKey& other) const;
};

struct FixedFunctionKeyHash {
  size_t operator()(const FixedFunctionKey& key) const;
};

std::string FixedFunctionVertexSource(const FixedFunctionKey& key);
std::string FixedFunctionFragmentSource(const FixedFunctionKey& key);

// Compiles and links the two shaders into a program; 0 with `error` set on failure.
GLuint LinkProgram(const GlFunctions& gl, const std::string& vertexSource, const std::string& fragmentSource,
                   std::string* error);

// Vertex attribute locations.
enum : GLuint { kAttribPosition = 0, kAttribNormal = 1, kAttribColor = 2, kAttribTexture = 3 };

class FixedFunctionProgram {
 public:
  // Compiles and links; false with `error` set on failure.
  bool Build(const GlFunctions& gl, const FixedFunctionKey& key, std::string* error);
  void Destroy(const GlFunctions& gl);
  GLuint name() const { return program_; }

  struct Locations {
    GLint world = -1, view = -1, projection = -1, normalMatrix = -1;
    GLint screen = -1, shift = -1;
    GLint material = -1, ambient = -1;
    GLint lightPosition = -1, lightDirection = -1, lightDiffuse = -1, lightAmbient = -1, lightAttenuation = -1,
          lightSpot = -1;
    GLint textureMatrix = -1;
    GLint fog = -1, fogColor = -1;
    GLint textureFactor = -1, alphaRef = -1;
    GLint clipPlanes = -1;
  };
  const Locations& at() const { return at_; }

 private:
  GLuint program_ = 0;
  Locations at_;
};

}  // namespace host
