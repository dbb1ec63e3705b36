#include "host/fixed_function_program.h"

#include <cstring>

#include "d3d8/d3d8types.h"

namespace host {
namespace {

std::string N(int value) { return std::to_string(value); }

// The GLSL comparison of an 8-bit value with the reference for a D3DCMP number.
const char* Compare(int func) {
  switch (func) {
    case D3DCMP_NEVER: return "false";
    case D3DCMP_LESS: return "a8 < uAlphaRef";
    case D3DCMP_EQUAL: return "a8 == uAlphaRef";
    case D3DCMP_LESSEQUAL: return "a8 <= uAlphaRef";
    case D3DCMP_GREATER: return "a8 > uAlphaRef";
    case D3DCMP_NOTEQUAL: return "a8 != uAlphaRef";
    case D3DCMP_GREATEREQUAL: return "a8 >= uAlphaRef";
    default: return "true";
  }
}

// A stage argument: its register with the alpha-replicate and complement modifiers.
std::string Argument(int arg, int stage) {
  std::string base;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "diffuse"; break;
    case D3DTA_CURRENT: base = "cur"; break;
    case D3DTA_TEXTURE: base = "tex" + N(stage); break;
    case D3DTA_TFACTOR: base = "uTFactor"; break;
    case D3DTA_TEMP: base = "temp"; break;
    default: base = "vec4(0.0)"; break;  // no specular colour is kept
  }
  if (arg & D3DTA_ALPHAREPLICATE) base = "vec4((" + base + ").a)";
  if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
  return base;
}

std::string Operation(int op, const std::string& a1, const std::string& a2) {
  switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return "(" + a1 + " * " + a2 + ")";
    case D3DTOP_MODULATE2X: return "(2.0 * " + a1 + " * " + a2 + ")";
    case D3DTOP_ADD: return "(" + a1 + " + " + a2 + ")";
    default: return "cur";
  }
}

}  // namespace

bool FixedFunctionKey::operator==(const FixedFunctionKey& other) const {
  return std::memcmp(this, &other, sizeof *this) == 0;
}

size_t FixedFunctionKeyHash::operator()(const FixedFunctionKey& key) const {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&key);
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < sizeof key; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return static_cast<size_t>(h);
}

std::string FixedFunctionVertexSource(const FixedFunctionKey& k) {
  // Invariant: a second draw of the same vertices through another program (a projected
  // texture under ZFUNC EQUAL) lands on the same depths.
  std::string s =
      "#version 450 compatibility\n"
      "invariant gl_Position;\n"
      "layout(location = 0) in vec4 aPosition;\n"
      "layout(location = 1) in vec3 aNormal;\n"
      "layout(location = 2) in vec4 aColor;\n";
  for (int i = 0; i < k.sets; ++i) s += "layout(location = " + N(3 + i) + ") in vec2 aTex" + N(i) + ";\n";
  s +=
      "uniform mat4 uWorld, uView, uProjection;\n"
      "uniform mat3 uNormalMatrix;\n"
      "uniform vec4 uScreen;\n"  // viewport x, y, 2 / width, 2 / height
      "uniform vec2 uShift;\n"
      "uniform vec4 uMaterial, uAmbient;\n"
      "uniform vec4 uLightPosition[8], uLightDirection[8], uLightDiffuse[8], uLightAmbient[8];\n"
      "uniform vec4 uLightAttenuation[8], uLightSpot[8];\n"
      "uniform mat4 uTextureMatrix[8];\n"
      "uniform vec4 uFog;\n"
      "uniform vec4 uClipPlanes[6];\n"
      "out vec4 vColor;\n"
      "out float vFog;\n";
  for (int i = 0; i < k.stages; ++i) s += "out vec4 vT" + N(i) + ";\n";
  s += "void main() {\n";
  if (k.pretransformed) {
    // Screen space: pixel coordinates and 1/w, neither lit nor fogged nor clipped by planes.
    s +=
        "  float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n"
        "  vec2 ndc = vec2((aPosition.x - uScreen.x) * uScreen.z - 1.0, 1.0 - (aPosition.y - uScreen.y) * uScreen.w)"
        " + uShift;\n"
        "  gl_Position = vec4(ndc * w, aPosition.z * w, w);\n"
        "  vec4 world = vec4(aPosition.xyz, 1.0);\n"
        "  vec4 view = world;\n"
        "  vec3 normal = vec3(0.0);\n";
  } else {
    s +=
        "  vec4 world = uWorld * vec4(aPosition.xyz, 1.0);\n"
        "  vec4 view = uView * world;\n"
        "  vec4 clip = uProjection * view;\n"
        "  clip.xy += uShift * clip.w;\n"
        "  gl_Position = clip;\n";
    s += k.normal ? "  vec3 normal = uNormalMatrix * aNormal;\n" : "  vec3 normal = vec3(0.0);\n";
    if (k.normal && k.normalize) s += "  if (dot(normal, normal) > 0.0) normal = normalize(normal);\n";
    for (int i = 0; i < kRasterClipPlanes; ++i)
      if (k.clipMask & (1 << i)) s += "  gl_ClipDistance[" + N(i) + "] = dot(uClipPlanes[" + N(i) + "], world);\n";
  }
  const std::string material = k.diffuse ? "aColor" : "uMaterial";
  if (k.lighting && !k.pretransformed) {
    // Ambient and diffuse per vertex in world space; the ambient material is the diffuse one.
    s += "  vec4 mat = " + material + ";\n  vec3 amb = uAmbient.rgb;\n  vec3 dif = vec3(0.0);\n";
    for (int i = 0; i < kRasterLights; ++i) {
      const int type = k.lightType[i];
      if (!type) continue;
      const std::string I = "[" + N(i) + "]";
      s += "  {\n";
      if (type == D3DLIGHT_DIRECTIONAL) {
        s += "    vec3 L = uLightDirection" + I + ".xyz;\n    float att = 1.0;\n";
      } else {
        s += "    vec3 d = uLightPosition" + I + ".xyz - world.xyz;\n"
             "    float dist = length(d);\n"
             "    vec3 L = dist > 0.0 ? d / dist : vec3(0.0);\n"
             "    vec4 A = uLightAttenuation" + I + ";\n"
             "    float att = dist > A.w ? 0.0 : 1.0 / max(A.x + A.y * dist + A.z * dist * dist, 1e-20);\n";
        if (type == D3DLIGHT_SPOT)
          s += "    vec4 S = uLightSpot" + I + ";\n"
               "    float rho = dot(uLightDirection" + I + ".xyz, L);\n"
               "    att *= rho > S.x ? 1.0 : rho <= S.y ? 0.0 : pow((rho - S.y) / (S.x - S.y), S.z);\n";
      }
      s += "    amb += att * uLightAmbient" + I + ".rgb;\n"
           "    dif += att * max(dot(normal, L), 0.0) * uLightDiffuse" + I + ".rgb;\n  }\n";
    }
    s += "  vColor = vec4(clamp((amb + dif) * mat.rgb, 0.0, 1.0), mat.a);\n";
  } else {
    s += std::string("  vColor = ") + (k.diffuse ? "aColor" : "vec4(1.0)") + ";\n";
  }
  // Fog on the view depth: the factor per vertex, or the depth for the per-pixel factor.
  if (k.fogMode && !k.pretransformed) {
    s += "  float depth = view.z;\n";
    if (k.fogPerPixel) {
      s += "  vFog = depth;\n";
    } else {
      if (k.fogMode == kFogLinear) s += "  vFog = clamp((uFog.y - depth) / (uFog.y - uFog.x), 0.0, 1.0);\n";
      if (k.fogMode == kFogExp) s += "  vFog = clamp(exp(-uFog.z * depth), 0.0, 1.0);\n";
      if (k.fogMode == kFogExp2) s += "  vFog = clamp(exp(-(uFog.z * depth) * (uFog.z * depth)), 0.0, 1.0);\n";
    }
  } else {
    s += "  vFog = 1.0;\n";
  }
  bool viewNormal = false;
  for (int i = 0; i < k.stages; ++i) {
    const StageKey& st = k.stage[i];
    std::string in;
    if (st.source == kSourceCameraPosition) {
      in = "vec4(view.xyz, 1.0)";
    } else if (st.source == kSourceReflection) {
      if (!viewNormal) {
        s += "  vec3 vn = normalize(mat3(uView) * normal + vec3(0.0, 0.0, 1e-30));\n"
             "  vec3 eye = -normalize(view.xyz);\n"
             "  vec3 reflection = 2.0 * dot(eye, vn) * vn - eye;\n";
        viewNormal = true;
      }
      in = "vec4(reflection, 1.0)";
    } else {
      in = st.set < k.sets ? "vec4(aTex" + N(st.set) + ", 1.0, 0.0)" : "vec4(0.0, 0.0, 1.0, 0.0)";
    }
    if (st.transform) in = "(uTextureMatrix[" + N(i) + "] * " + in + ")";
    s += "  vT" + N(i) + " = " + in + ";\n";
  }
  s += "}\n";
  return s;
}

std::string FixedFunctionFragmentSource(const FixedFunctionKey& k) {
  std::string s =
      "#version 450 compatibility\n"
      "in vec4 vColor;\n"
      "in float vFog;\n"
      "uniform vec4 uTFactor, uFog, uFogColor;\n"
      "uniform float uAlphaRef;\n"
      "layout(location = 0) out vec4 fragColor;\n";
  for (int i = 0; i < k.stages; ++i) s += "in vec4 vT" + N(i) + ";\nuniform sampler2D uTexture" + N(i) + ";\n";
  s += "void main() {\n  vec4 diffuse = vColor;\n  vec4 cur = diffuse;\n  vec4 temp = vec4(0.0);\n";
  if (!k.stage0Disabled) {
    for (int i = 0; i < k.stages; ++i) {
      const StageKey& st = k.stage[i];
      const std::string I = N(i);
      if (st.texture) {
        std::string uv = "vT" + I + ".xy";
        if (st.projected) {
          const char* last = st.transform >= 4 ? "w" : st.transform == 3 ? "z" : "y";
          uv = "(vT" + I + ".xy / vT" + I + "." + last + ")";
        }
        s += "  vec4 tex" + I + " = texture(uTexture" + I + ", " + uv + ");\n";
      } else {
        s += "  vec4 tex" + I + " = vec4(1.0);\n";
      }
      const std::string colour =
          Operation(st.colorOp, Argument(st.colorArg1, i), Argument(st.colorArg2, i));
      const std::string alpha = st.alphaOp == D3DTOP_DISABLE
                                    ? "cur"
                                    : Operation(st.alphaOp, Argument(st.alphaArg1, i), Argument(st.alphaArg2, i));
      s += "  {\n    vec4 r = vec4((" + colour + ").rgb, (" + alpha + ").a);\n";
      s += std::string("    ") + (st.toTemp ? "temp" : "cur") + " = clamp(r, 0.0, 1.0);\n  }\n";
    }
  }
  if (k.alphaFunc) s += "  float a8 = floor(cur.a * 255.0 + 0.5);\n  if (!(" + std::string(Compare(k.alphaFunc)) + ")) discard;\n";
  if (k.fogMode && !k.pretransformed) {
    std::string f = "vFog";
    if (k.fogPerPixel) {
      if (k.fogMode == kFogLinear) f = "clamp((uFog.y - vFog) / (uFog.y - uFog.x), 0.0, 1.0)";
      if (k.fogMode == kFogExp) f = "clamp(exp(-uFog.z * vFog), 0.0, 1.0)";
      if (k.fogMode == kFogExp2) f = "clamp(exp(-(uFog.z * vFog) * (uFog.z * vFog)), 0.0, 1.0)";
    }
    s += "  cur.rgb = mix(uFogColor.rgb, cur.rgb, " + f + ");\n";
  }
  s += "  fragColor = cur;\n}\n";
  return s;
}

namespace {

// True when a shader's or program's status is set; otherwise its log becomes the error line.
template <typename GetStatus, typename GetLog>
bool Succeeded(GLuint object, GLenum status, GetStatus getStatus, GetLog getLog, const char* what,
               std::string* error) {
  GLint ok = 0;
  getStatus(object, status, &ok);
  if (ok) return true;
  char log[2048] = {};
  getLog(object, sizeof log - 1, nullptr, log);
  *error = std::string(what) + ": " + log;
  return false;
}

GLuint Compile(const GlFunctions& gl, GLenum type, const std::string& source, std::string* error) {
  const GLuint shader = gl.glCreateShader(type);
  const char* text = source.c_str();
  gl.glShaderSource(shader, 1, &text, nullptr);
  gl.glCompileShader(shader);
  if (!Succeeded(shader, GL_COMPILE_STATUS, gl.glGetShaderiv, gl.glGetShaderInfoLog,
                 type == GL_VERTEX_SHADER ? "vertex shader" : "fragment shader", error)) {
    gl.glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

GLuint LinkProgram(const GlFunctions& gl, const std::string& vertexSource, const std::string& fragmentSource,
                   std::string* error) {
  const GLuint vs = Compile(gl, GL_VERTEX_SHADER, vertexSource, error);
  if (!vs) return 0;
  const GLuint fs = Compile(gl, GL_FRAGMENT_SHADER, fragmentSource, error);
  if (!fs) {
    gl.glDeleteShader(vs);
    return 0;
  }
  GLuint program = gl.glCreateProgram();
  gl.glAttachShader(program, vs);
  gl.glAttachShader(program, fs);
  gl.glLinkProgram(program);
  gl.glDeleteShader(vs);
  gl.glDeleteShader(fs);
  if (!Succeeded(program, GL_LINK_STATUS, gl.glGetProgramiv, gl.glGetProgramInfoLog, "link", error)) {
    gl.glDeleteProgram(program);
    program = 0;
  }
  return program;
}

bool FixedFunctionProgram::Build(const GlFunctions& gl, const FixedFunctionKey& key, std::string* error) {
  program_ = LinkProgram(gl, FixedFunctionVertexSource(key), FixedFunctionFragmentSource(key), error);
  if (!program_) return false;
  auto at = [&](const char* name) { return gl.glGetUniformLocation(program_, name); };
  at_.world = at("uWorld");
  at_.view = at("uView");
  at_.projection = at("uProjection");
  at_.normalMatrix = at("uNormalMatrix");
  at_.screen = at("uScreen");
  at_.shift = at("uShift");
  at_.material = at("uMaterial");
  at_.ambient = at("uAmbient");
  at_.lightPosition = at("uLightPosition");
  at_.lightDirection = at("uLightDirection");
  at_.lightDiffuse = at("uLightDiffuse");
  at_.lightAmbient = at("uLightAmbient");
  at_.lightAttenuation = at("uLightAttenuation");
  at_.lightSpot = at("uLightSpot");
  at_.textureMatrix = at("uTextureMatrix");
  at_.fog = at("uFog");
  at_.fogColor = at("uFogColor");
  at_.textureFactor = at("uTFactor");
  at_.alphaRef = at("uAlphaRef");
  at_.clipPlanes = at("uClipPlanes");
  gl.glUseProgram(program_);
  for (int i = 0; i < key.stages; ++i) {
    const std::string name = "uTexture" + std::to_string(i);
    const GLint unit = gl.glGetUniformLocation(program_, name.c_str());
    if (unit >= 0) gl.glUniform1i(unit, i);
  }
  return true;
}

void FixedFunctionProgram::Destroy(const GlFunctions& gl) {
  if (program_) gl.glDeleteProgram(program_);
  program_ = 0;
}

}  // namespace host
