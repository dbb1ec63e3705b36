#include "host/technique_programs.h"

#include "host/fixed_function_program.h"

namespace host {

namespace {

// What every technique's vertex stage shares: the constant registers, the pixel-centre shift of
// the fixed-function programs, and a position carried through four of the registers as the
// module's shaders do (clip.x = dot(position, c[r]), ...).
constexpr const char* kVertexPrelude = R"(#version 450 compatibility
invariant gl_Position;
layout(location = 0) in vec4 aPosition;
layout(location = 3) in vec2 aTex0;
uniform vec4 uC[96];
uniform vec2 uShift;
vec4 Through(vec4 p, int r) { return vec4(dot(p, uC[r]), dot(p, uC[r + 1]), dot(p, uC[r + 2]), dot(p, uC[r + 3])); }
vec4 Placed(vec4 clip) { clip.xy += uShift * clip.w; return clip; }
vec4 Position() { return vec4(aPosition.xyz, 1.0); }
)";

constexpr const char* kFragmentPrelude = R"(#version 450 compatibility
uniform vec4 uP[8];
uniform vec4 uTFactor;
uniform sampler2D uTexture0, uTexture1, uTexture2, uTexture3, uTexture4;
layout(location = 0) out vec4 fragColor;
)";

constexpr const char* kTerrainVertex = R"(
out vec3 vWorld;
out vec2 vLayer, vBlend;
void main() {
  vec4 world = vec4(aPosition.x, aPosition.y * uC[4].y, aPosition.z, 1.0);
  gl_Position = Placed(Through(world, 0));
  vWorld = world.xyz;
#ifdef LAYER
  vLayer = world.xz * uC[5].x;
  vBlend = (world.xz + uC[5].yz) * uC[5].w;
#else
  vLayer = (world.xz + uC[5].yz) * uC[5].w * uC[5].x;
  vBlend = vec2(0.0);
#endif
}
)";

constexpr const char* kTerrainFragment = R"(
in vec3 vWorld;
in vec2 vLayer, vBlend;
uniform vec4 uAmbient;
uniform int uLit;
uniform vec4 uLightDirection[8], uLightDiffuse[8];
void main() {
  vec3 colour = texture(uTexture0, vLayer).rgb;
  // The face's own normal, turned up: the ground is lit from above whichever way it winds.
  vec3 n = normalize(cross(dFdx(vWorld), dFdy(vWorld)));
  if (n.y < 0.0) n = -n;
  vec3 light;
  if (uLit != 0) {
    light = uAmbient.rgb;
    for (int i = 0; i < 8; ++i) light += uLightDiffuse[i].rgb * max(dot(n, uLightDirection[i].xyz), 0.0);
  } else {
    // Ground with no light of its own would show no hill at all: a fixed sun lights it.
    light = vec3(0.4 + 0.6 * max(dot(n, vec3(-0.48, 0.8, -0.36)), 0.0));
  }
  colour *= clamp(light, 0.0, 1.0);
#ifdef LAYER
  fragColor = vec4(colour, texture(uTexture1, vBlend).a);
#else
  fragColor = vec4(colour, 1.0);
#endif
}
)";

constexpr const char* kTexturedVertex = R"(
out vec2 vUv;
void main() {
  gl_Position = Placed(Through(Position(), 0));
  vUv = aTex0;
}
)";

constexpr const char* kBrushFragment = R"(
in vec2 vUv;
void main() {
  float d = length(vUv * 2.0 - 1.0);
  float ring = smoothstep(0.75, 0.9, d) * (1.0 - smoothstep(0.95, 1.0, d));
  float a = 0.2 * clamp(1.0 - d, 0.0, 1.0) + 0.7 * ring;
  fragColor = vec4(uTFactor.rgb, a * uTFactor.a);
}
)";

constexpr const char* kSmokeVertex = R"(
out vec2 vUv;
out float vTime;
out vec4 vColour;
void main() {
  gl_Position = Placed(Through(Position(), 0));
  vUv = aTex0;
  vTime = uC[5].x;
  vColour = uC[4];
}
)";

constexpr const char* kSmokeFragment = R"(
in vec2 vUv;
in float vTime;
in vec4 vColour;
void main() {
  // Two layers of the distortion drift at their own rates; together they push the beam's
  // coordinates about.
  vec2 a = texture(uTexture1, vUv * 2.0 + vec2(uP[0].x, uP[1].x) * vTime * 100.0).rg;
  vec2 b = texture(uTexture1, vUv * 3.0 - vec2(uP[2].x, uP[0].x) * vTime * 100.0).rg;
  vec2 offset = (a + b - 1.0) * uP[3].xy;
  vec4 hull = texture(uTexture0, vUv + offset);
  fragColor = hull * vColour;
}
)";

constexpr const char* kGenerateVertex = R"(
out vec2 vDepth;
void main() {
  vec4 clip = Through(Position(), 0);
  gl_Position = Placed(clip);
  vDepth = clip.zw;
}
)";

constexpr const char* kGenerateFragment = R"(
in vec2 vDepth;
void main() {
  float d = clamp(vDepth.x / vDepth.y, 0.0, 1.0);
  // Texel i of the table holds code i; the last texel ends the range.
  fragColor = texture(uTexture0, vec2((min(floor(d * 2048.0), 2047.0) + 0.5) / 2048.0, 0.5));
}
)";

constexpr const char* kProjectVertex = R"(
out vec4 vTap[4];
void main() {
  vec4 p = Position();
  gl_Position = Placed(Through(p, 0));
  for (int k = 0; k < 4; ++k)
    vTap[k] = p.x * uC[8 + 4 * k] + p.y * uC[9 + 4 * k] + p.z * uC[10 + 4 * k] + uC[11 + 4 * k];
}
)";

constexpr const char* kProjectFragment = R"(
in vec4 vTap[4];
float Caster(sampler2D map, vec4 tap) { return texture(map, tap.xy / tap.w).a < 0.5 ? 1.0 : 0.0; }
void main() {
  float covered = Caster(uTexture1, vTap[0]) + Caster(uTexture2, vTap[1]) + Caster(uTexture3, vTap[2]) +
                  Caster(uTexture4, vTap[3]);
  fragColor = vec4(0.0, 0.0, 0.0, covered * 0.125);
}
)";

constexpr const char* kSelfVertex = R"(
out vec4 vTap;
out vec2 vLight;
void main() {
  vec4 p = Position();
  gl_Position = Placed(Through(p, 0));
  vLight = Through(p, 4).zw;
  vTap = p.x * uC[8] + p.y * uC[9] + p.z * uC[10] + uC[11];
}
)";

constexpr const char* kSelfFragment = R"(
in vec4 vTap;
in vec2 vLight;
void main() {
  vec4 code = texture(uTexture1, vTap.xy / vTap.w) * 255.0;
  float stored = (floor(code.r + 0.5) + 256.0 * floor((code.g + 0.5) / 32.0)) / 2048.0;
  bool shadowed = code.a < 127.5 && vLight.x / vLight.y > stored + 1.0 / 256.0;
  fragColor = vec4(0.0, 0.0, 0.0, shadowed ? 0.5 : 0.0);
}
)";

constexpr const char* kTextVertex = R"(#version 450 compatibility
uniform vec4 uRect;  // left, top, right, bottom in normalised device coordinates
out vec2 vUv;
void main() {
  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
  vUv = corner;
  gl_Position = vec4(mix(uRect.xy, uRect.zw, corner), 0.0, 1.0);
}
)";

constexpr const char* kTextFragment = R"(#version 450 compatibility
uniform sampler2D uTexture0;
uniform vec4 uColour;
layout(location = 0) out vec4 fragColor;
in vec2 vUv;
void main() { fragColor = vec4(uColour.rgb, uColour.a * texture(uTexture0, vUv).r); }
)";

std::string WithDefine(const char* define, const char* prelude, const char* body) {
  std::string s = prelude;
  // The version line stays first.
  if (define != nullptr) s.insert(s.find('\n') + 1, std::string("#define ") + define + "\n");
  return s + body;
}

}  // namespace

std::string TechniqueVertexSource(ShaderTechnique technique) {
  switch (technique) {
    case ShaderTechnique::TerrainBase: return WithDefine(nullptr, kVertexPrelude, kTerrainVertex);
    case ShaderTechnique::TerrainLayer: return WithDefine("LAYER", kVertexPrelude, kTerrainVertex);
    case ShaderTechnique::PaintBrush: return WithDefine(nullptr, kVertexPrelude, kTexturedVertex);
    case ShaderTechnique::Smoke: return WithDefine(nullptr, kVertexPrelude, kSmokeVertex);
    case ShaderTechnique::ShadowGenerate: return WithDefine(nullptr, kVertexPrelude, kGenerateVertex);
    case ShaderTechnique::ShadowProject: return WithDefine(nullptr, kVertexPrelude, kProjectVertex);
    case ShaderTechnique::ShadowSelf: return WithDefine(nullptr, kVertexPrelude, kSelfVertex);
    default: return kTextVertex;
  }
}

std::string TechniqueFragmentSource(ShaderTechnique technique) {
  switch (technique) {
    case ShaderTechnique::TerrainBase: return WithDefine(nullptr, kFragmentPrelude, kTerrainFragment);
    case ShaderTechnique::TerrainLayer: return WithDefine("LAYER", kFragmentPrelude, kTerrainFragment);
    case ShaderTechnique::PaintBrush: return WithDefine(nullptr, kFragmentPrelude, kBrushFragment);
    case ShaderTechnique::Smoke: return WithDefine(nullptr, kFragmentPrelude, kSmokeFragment);
    case ShaderTechnique::ShadowGenerate: return WithDefine(nullptr, kFragmentPrelude, kGenerateFragment);
    case ShaderTechnique::ShadowProject: return WithDefine(nullptr, kFragmentPrelude, kProjectFragment);
    case ShaderTechnique::ShadowSelf: return WithDefine(nullptr, kFragmentPrelude, kSelfFragment);
    default: return kTextFragment;
  }
}

bool TechniqueProgram::Build(const GlFunctions& gl, ShaderTechnique technique, std::string* error) {
  program_ = LinkProgram(gl, TechniqueVertexSource(technique), TechniqueFragmentSource(technique), error);
  if (!program_) return false;
  auto at = [&](const char* name) { return gl.glGetUniformLocation(program_, name); };
  at_.constants = at("uC");
  at_.pixelConstants = at("uP");
  at_.shift = at("uShift");
  at_.textureFactor = at("uTFactor");
  at_.ambient = at("uAmbient");
  at_.lit = at("uLit");
  at_.lightDirection = at("uLightDirection");
  at_.lightDiffuse = at("uLightDiffuse");
  at_.rect = at("uRect");
  at_.colour = at("uColour");
  gl.glUseProgram(program_);
  for (int i = 0; i < 5; ++i) {
    const std::string name = "uTexture" + std::to_string(i);
    const GLint unit = gl.glGetUniformLocation(program_, name.c_str());
    if (unit >= 0) gl.glUniform1i(unit, i);
  }
  return true;
}

void TechniqueProgram::Destroy(const GlFunctions& gl) {
  if (program_) gl.glDeleteProgram(program_);
  program_ = 0;
}

}  // namespace host
