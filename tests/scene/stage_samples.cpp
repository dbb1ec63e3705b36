#include "stage_samples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace scene_samples {

namespace {

struct Rgba {
  float r, g, b, a;
};

uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// An uncompressed 32-bit TGA, first row at the top: each texel from `texel(x, y)`.
std::vector<uint8_t> Tga(int width, int height, const std::function<Rgba(int x, int y)>& texel) {
  std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                              static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 32, 0x28};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgba c = texel(x, y);
      out.insert(out.end(), {Byte(c.b), Byte(c.g), Byte(c.r), Byte(c.a)});
    }
  return out;
}

// A fixed integer hash of a lattice point: [0, 1).
float Hash(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xFFFFFFu) / 16777216.0f;
}

// Smooth noise over a lattice of `period` cells a side that wraps, so the picture tiles.
float Noise(float x, float y, int period, uint32_t seed) {
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
  auto at = [&](int i, int j) {
    return Hash(((i % period) + period) % period, ((j % period) + period) % period, seed);
  };
  const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
  const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
  return top + (bottom - top) * sy;
}

Rgba Mix(const Rgba& a, const Rgba& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba Grey(float v, float a = 1.0f) { return {v, v, v, a}; }

float Length(float x, float y) { return std::sqrt(x * x + y * y); }

// ---- Pictures ----

// The dance floor: 16 x 16 tiles of two colours with dark grout, each tile lighter toward one
// corner as polished tiles catch the light.
std::vector<uint8_t> FloorTiles() {
  return Tga(128, 128, [](int x, int y) {
    const int tx = x / 8, ty = y / 8, fx = x % 8, fy = y % 8;
    if (fx == 0 || fy == 0) return Rgba{0.10f, 0.08f, 0.12f, 1};
    const Rgba a{0.36f, 0.20f, 0.62f, 1}, b{0.12f, 0.46f, 0.58f, 1};
    const Rgba base = (tx + ty) % 2 == 0 ? a : b;
    const float sheen = 0.18f * (1.0f - static_cast<float>(fx + fy) / 14.0f) + 0.06f * (Hash(tx, ty, 3) - 0.5f);
    return Mix(base, Rgba{1, 1, 1, 1}, std::max(sheen, 0.0f));
  });
}

// Bricks of 16 x 8 texels in running bond over 256 x 128, each of its own shade, in mortar.
std::vector<uint8_t> Bricks() {
  return Tga(256, 128, [](int x, int y) {
    const int row = y / 8, shifted = x + (row % 2) * 8, column = shifted / 16;
    if (y % 8 == 7 || shifted % 16 == 15) return Rgba{0.62f, 0.58f, 0.52f, 1};
    const float shade = 0.85f + 0.3f * Hash(column, row, 7);
    const float grain = 0.08f * (Noise(static_cast<float>(x) / 4, static_cast<float>(y) / 4, 64, 11) - 0.5f);
    return Rgba{(0.58f + grain) * shade, (0.25f + grain) * shade, (0.18f + grain) * shade, 1};
  });
}

// The stage flag: a deep purple field, a gold ring and a white band at the hoist.
std::vector<uint8_t> StageFlag() {
  return Tga(64, 32, [](int x, int y) {
    if (x < 6) return Rgba{0.95f, 0.95f, 0.92f, 1};
    const float d = Length(static_cast<float>(x) - 35.5f, static_cast<float>(y) - 15.5f);
    if (d > 8.0f && d < 12.0f) return Rgba{0.95f, 0.75f, 0.15f, 1};
    if (d < 4.0f) return Rgba{0.95f, 0.75f, 0.15f, 1};
    return Rgba{0.30f, 0.08f, 0.45f, 1};
  });
}

// A concert poster: a sunset disc over three bands and two lines of "type", on midnight blue.
std::vector<uint8_t> Poster() {
  return Tga(32, 48, [](int x, int y) {
    const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
    if (x == 0 || y == 0 || x == 31 || y == 47) return Rgba{0.9f, 0.9f, 0.85f, 1};
    if ((y == 36 || y == 37) && x > 4 && x < 27) return Rgba{0.9f, 0.9f, 0.85f, 1};
    if ((y == 41 || y == 42) && x > 8 && x < 23) return Rgba{0.9f, 0.9f, 0.85f, 1};
    if (Length(fx - 16.0f, fy - 14.0f) < 9.0f) return Rgba{1.0f, 0.45f + 0.02f * fy, 0.15f, 1};
    if (y >= 24 && y < 32) return y % 3 == 0 ? Rgba{0.95f, 0.2f, 0.55f, 1} : Rgba{0.15f, 0.1f, 0.35f, 1};
    return Rgba{0.08f, 0.1f, 0.3f, 1};
  });
}

// The banner's four red and white bands across a 16 x 8 cloth.
std::vector<uint8_t> BannerBands() {
  return Tga(16, 8, [](int, int y) {
    return (y / 2) % 2 == 0 ? Rgba{220.0f / 255, 40.0f / 255, 40.0f / 255, 1} : Rgba{1, 1, 1, 1};
  });
}

// A soft grey checker of 2-texel squares that a cloth's second stage multiplies in.
std::vector<uint8_t> BannerDetail() {
  return Tga(8, 8, [](int x, int y) { return ((x / 2) + (y / 2)) % 2 == 0 ? Grey(160.0f / 255) : Grey(224.0f / 255); });
}

// A white disc fading to black and clear at its rim: a light's footprint, 16 x 16.
std::vector<uint8_t> Footprint() {
  return Tga(16, 16, [](int x, int y) {
    const float d = Length(static_cast<float>(x) - 7.5f, static_cast<float>(y) - 7.5f) / 7.5f;
    const float v = std::max(0.0f, std::min(255.0f, std::round(255.0f * (1.0f - d)))) / 255.0f;
    return Rgba{v, v, v, v};
  });
}

// Pale glass, mostly clear, with a brighter streak across it.
std::vector<uint8_t> Glass() {
  return Tga(16, 16, [](int x, int y) {
    const float streak = std::abs(static_cast<float>(x + y) - 15.0f) < 2.5f ? 0.25f : 0.0f;
    return Rgba{0.72f + streak, 0.84f + streak, 0.95f, 0.3f + streak};
  });
}

// Seven colour bars over a grey ramp: what the screen shows while no video plays on it.
std::vector<uint8_t> TestCard() {
  static const Rgba kBars[7] = {{0.75f, 0.75f, 0.75f, 1}, {0.75f, 0.75f, 0, 1}, {0, 0.75f, 0.75f, 1},
                                {0, 0.75f, 0, 1},         {0.75f, 0, 0.75f, 1}, {0.75f, 0, 0, 1},
                                {0, 0, 0.75f, 1}};
  return Tga(64, 32, [](int x, int y) {
    if (y < 22) return kBars[std::min(x * 7 / 64, 6)];
    return Grey(static_cast<float>(x / 8) / 7.0f);
  });
}

// A night sky for the chrome to reflect: deep blue above, warm near the horizon.
std::vector<uint8_t> Sky() {
  return Tga(32, 32, [](int x, int y) {
    const float t = static_cast<float>(y) / 31.0f;
    const Rgba c = Mix(Rgba{0.05f, 0.06f, 0.25f, 1}, Rgba{0.85f, 0.4f, 0.3f, 1}, t * t);
    return Hash(x, y, 5) > 0.97f && t < 0.6f ? Rgba{1, 1, 0.9f, 1} : c;
  });
}

// Fine grey grain about the middle grey, which a detail stage leaves as it is on average.
std::vector<uint8_t> Detail() {
  return Tga(16, 16, [](int x, int y) { return Grey(0.42f + 0.16f * Hash(x, y, 13)); });
}

// A light's beam along u (from the light at 0 to its end at 1), brightest on its axis (v 0.5).
std::vector<uint8_t> Beam() {
  return Tga(32, 16, [](int x, int y) {
    const float u = (static_cast<float>(x) + 0.5f) / 32.0f, v = (static_cast<float>(y) + 0.5f) / 16.0f;
    const float across = std::pow(std::max(0.0f, 1.0f - std::abs(2.0f * v - 1.0f)), 1.5f);
    const float b = across * (1.0f - 0.6f * u);
    return Rgba{b, b, b, 0.5f * b};
  });
}

// Smoke for the beam: smooth noise in red and green (how far it pushes the beam's
// coordinates), tiling.
std::vector<uint8_t> Smoke() {
  return Tga(32, 32, [](int x, int y) {
    const float fx = static_cast<float>(x) / 4, fy = static_cast<float>(y) / 4;
    return Rgba{Noise(fx, fy, 8, 21), Noise(fx, fy, 8, 22), 0.5f, 1};
  });
}

// A four-pointed star with a glow, for the billboard light.
std::vector<uint8_t> Star() {
  return Tga(32, 32, [](int x, int y) {
    const float dx = std::abs(static_cast<float>(x) - 15.5f) / 15.5f, dy = std::abs(static_cast<float>(y) - 15.5f) / 15.5f;
    const float arms = std::max(0.0f, 1.0f - dx * 6.0f - dy) + std::max(0.0f, 1.0f - dy * 6.0f - dx);
    const float glow = std::max(0.0f, 1.0f - Length(dx, dy) * 1.6f);
    const float v = std::min(1.0f, arms + glow * glow);
    return Rgba{v, v, 0.9f * v, v};
  });
}

// A speaker cabinet's front: two cones in a dark box.
std::vector<uint8_t> Speaker() {
  return Tga(32, 48, [](int x, int y) {
    const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
    for (const float cy : {14.0f, 35.0f}) {
      const float d = Length(fx - 16.0f, fy - cy);
      if (d < 3.0f) return Grey(0.35f);
      if (d < 10.0f) return Grey(0.12f + 0.02f * std::fmod(d, 2.0f));
      if (d < 11.0f) return Grey(0.5f);
    }
    return Grey(0.2f + 0.05f * Hash(x, y, 17));
  });
}

// ---- Light maps ----

// The wall as the light map lies on it: the corner at (0, 0) of the picture's bottom-left
// texel's corner, `right` and `up` its sides, `normal` the side it faces.
struct Surface {
  float origin[3], right[3], up[3], normal[3];
};

// Ambient and spots baked over a surface: 128 leaves the map as it is (the light map is
// modulated in twice over); an unlit surface keeps about a quarter of its map.
std::vector<uint8_t> LightMap(const Surface& s, int width, int height) {
  return Tga(width, height, [&](int x, int y) {
    const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(width);
    const float v = 1.0f - (static_cast<float>(y) + 0.5f) / static_cast<float>(height);
    float p[3];
    for (int k = 0; k < 3; ++k) p[k] = s.origin[k] + u * s.right[k] + v * s.up[k];
    float light[3];
    SpotLight(p, s.normal, light);
    return Rgba{0.14f + 0.8f * light[0], 0.14f + 0.8f * light[1], 0.16f + 0.8f * light[2], 1};
  });
}

const Surface kBackWall{{10, 0, -10}, {-20, 0, 0}, {0, 10, 0}, {0, 0, 1}};
const Surface kLeftWall{{-10, 0, -10}, {0, 0, 20}, {0, 10, 0}, {1, 0, 0}};
const Surface kRightWall{{10, 0, 10}, {0, 0, -20}, {0, 10, 0}, {-1, 0, 0}};
const Surface kFloor{{-10, 0, 10}, {20, 0, 0}, {0, 0, -20}, {0, 1, 0}};

// ---- Models ----

std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(v));
  return text;
}

// The walls: one part, a material each so that each wall has a light map of its own; u runs
// along the wall as its front sees it, v up.
std::string WallsObj() {
  std::string s =
      "# The stage's back and side walls of bricks, each with the light map its spots give it\n"
      "# (written by tests/scene/stage_samples.cpp).\nmtllib walls.mtl\no walls\n";
  int n = 0;
  const std::pair<const Surface*, const char*> walls[] = {{&kBackWall, "wall"}, {&kLeftWall, "wallLeft"},
                                                          {&kRightWall, "wallRight"}};
  for (const auto& [w, material] : walls) {
    s += std::string("usemtl ") + material + "\n";
    // Corners clockwise as the wall's front sees them: origin, up, up and right, right.
    const float corners[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (const auto& c : corners) {
      s += "v";
      for (int k = 0; k < 3; ++k) s += " " + Number(w->origin[k] + c[0] * w->right[k] + c[1] * w->up[k]);
      s += "\nvt " + Number(c[0]) + " " + Number(1.0f - c[1]) + "\n";
    }
    s += "f " + std::to_string(n + 1) + "/" + std::to_string(n + 1) + " " + std::to_string(n + 2) + "/" +
         std::to_string(n + 2) + " " + std::to_string(n + 3) + "/" + std::to_string(n + 3) + " " +
         std::to_string(n + 4) + "/" + std::to_string(n + 4) + "\n";
    n += 4;
  }
  return s;
}

std::string WallsMtl() {
  return "newmtl wall\nmap_Kd bricks.tga\nmap_Ka wall_light.tga\nmap_Ks detail.tga\n"
         "newmtl wallLeft\nmap_Kd bricks.tga\nmap_Ka wall_left_light.tga\nmap_Ks detail.tga\n"
         "newmtl wallRight\nmap_Kd bricks.tga\nmap_Ka wall_right_light.tga\nmap_Ks detail.tga\n";
}

// A mesh in the making: boxes and tapered boxes of one vertex colour each, faces looking out
// (clockwise as seen from outside).
class Mesh {
 public:
  explicit Mesh(const std::string& comment) { text_ = comment; }
  // A box from (x0, y0, z0) to (x1, y1, z1) whose top is `taper` times as wide and deep.
  void Box(float x0, float y0, float z0, float x1, float y1, float z1, const float colour[3], float taper = 1.0f) {
    const float cx = (x0 + x1) / 2, cz = (z0 + z1) / 2;
    const float tx0 = cx + (x0 - cx) * taper, tx1 = cx + (x1 - cx) * taper;
    const float tz0 = cz + (z0 - cz) * taper, tz1 = cz + (z1 - cz) * taper;
    // Corners by bits: x (1), top (2), z (4).
    float p[8][3];
    for (int i = 0; i < 8; ++i) {
      const bool top = (i & 2) != 0;
      p[i][0] = (i & 1) ? (top ? tx1 : x1) : (top ? tx0 : x0);
      p[i][1] = top ? y1 : y0;
      p[i][2] = (i & 4) ? (top ? tz1 : z1) : (top ? tz0 : z0);
    }
    const int first = count_ + 1;
    for (const auto& c : p) {
      text_ += "v " + Number(c[0]) + " " + Number(c[1]) + " " + Number(c[2]) + " " + Number(colour[0]) + " " +
               Number(colour[1]) + " " + Number(colour[2]) + "\n";
      ++count_;
    }
    static const int kFaces[6][4] = {{0, 2, 3, 1}, {5, 7, 6, 4}, {4, 6, 2, 0},
                                     {1, 3, 7, 5}, {2, 6, 7, 3}, {4, 0, 1, 5}};
    for (const auto& f : kFaces)
      text_ += "f " + std::to_string(first + f[0]) + " " + std::to_string(first + f[1]) + " " +
               std::to_string(first + f[2]) + " " + std::to_string(first + f[3]) + "\n";
  }
  std::string Text() const { return text_; }

 private:
  std::string text_;
  int count_ = 0;
};

const float kSkin[3] = {0.85f, 0.62f, 0.48f};

std::string GuardBody() {
  Mesh m("# The guard of sample stage 1: a figure of boxes in a dark blue uniform, 1.9 high\n"
         "# (written by tests/scene/stage_samples.cpp).\n");
  const float boots[3] = {0.08f, 0.07f, 0.07f}, trousers[3] = {0.12f, 0.14f, 0.25f}, coat[3] = {0.16f, 0.2f, 0.42f},
              belt[3] = {0.75f, 0.6f, 0.2f};
  m.Box(-0.22f, 0.0f, -0.12f, -0.04f, 0.12f, 0.14f, boots);
  m.Box(0.04f, 0.0f, -0.12f, 0.22f, 0.12f, 0.14f, boots);
  m.Box(-0.2f, 0.12f, -0.1f, -0.05f, 0.9f, 0.1f, trousers);
  m.Box(0.05f, 0.12f, -0.1f, 0.2f, 0.9f, 0.1f, trousers);
  m.Box(-0.24f, 0.9f, -0.13f, 0.24f, 0.98f, 0.13f, belt);
  m.Box(-0.26f, 0.98f, -0.14f, 0.26f, 1.5f, 0.14f, coat, 1.15f);
  m.Box(-0.4f, 0.85f, -0.08f, -0.3f, 1.48f, 0.08f, coat);
  m.Box(0.3f, 0.85f, -0.08f, 0.4f, 1.48f, 0.08f, coat);
  m.Box(-0.06f, 1.5f, -0.06f, 0.06f, 1.58f, 0.06f, kSkin);
  m.Box(-0.12f, 1.58f, -0.12f, 0.12f, 1.82f, 0.12f, kSkin);
  return m.Text();
}

std::string GuardHelmet() {
  Mesh m("# The guard's helmet, on his head (written by tests/scene/stage_samples.cpp).\n");
  const float steel[3] = {0.6f, 0.62f, 0.66f}, plume[3] = {0.8f, 0.1f, 0.12f};
  m.Box(-0.15f, 1.74f, -0.15f, 0.15f, 1.9f, 0.15f, steel, 0.7f);
  m.Box(-0.02f, 1.9f, -0.1f, 0.02f, 1.95f, 0.1f, plume);
  return m.Text();
}

std::string DancerBody() {
  Mesh m("# The dancer of sample stage 1: a figure of boxes, arms raised, 1.65 high\n"
         "# (written by tests/scene/stage_samples.cpp).\n");
  const float shoes[3] = {0.9f, 0.85f, 0.2f}, top[3] = {0.95f, 0.9f, 0.95f}, hair[3] = {0.2f, 0.1f, 0.05f};
  m.Box(-0.16f, 0.0f, -0.08f, -0.04f, 0.08f, 0.12f, shoes);
  m.Box(0.04f, 0.0f, -0.08f, 0.16f, 0.08f, 0.12f, shoes);
  m.Box(-0.14f, 0.08f, -0.06f, -0.05f, 0.6f, 0.06f, kSkin);
  m.Box(0.05f, 0.08f, -0.06f, 0.14f, 0.6f, 0.06f, kSkin);
  m.Box(-0.17f, 0.95f, -0.1f, 0.17f, 1.32f, 0.1f, top, 1.1f);
  m.Box(-0.3f, 1.2f, -0.05f, -0.2f, 1.75f, 0.05f, kSkin);
  m.Box(0.2f, 1.2f, -0.05f, 0.3f, 1.75f, 0.05f, kSkin);
  m.Box(-0.05f, 1.32f, -0.05f, 0.05f, 1.38f, 0.05f, kSkin);
  m.Box(-0.1f, 1.38f, -0.1f, 0.1f, 1.6f, 0.1f, kSkin);
  m.Box(-0.11f, 1.52f, -0.12f, 0.11f, 1.65f, 0.1f, hair);
  return m.Text();
}

std::string DancerDress() {
  Mesh m("# The dancer's skirt, flared (written by tests/scene/stage_samples.cpp).\n");
  const float red[3] = {0.85f, 0.1f, 0.25f};
  m.Box(-0.32f, 0.55f, -0.26f, 0.32f, 0.97f, 0.26f, red, 0.5f);
  return m.Text();
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

}  // namespace

const std::vector<Spot>& StageSpots() {
  // Aimed by turning about x: the left one 116.57 degrees (down onto (-4, 0, -3)), the right
  // one 160.7 degrees (onto the back wall at (4, 2.5, -10)); the light file holds the same
  // turns as quaternions.
  static const std::vector<Spot> spots = {
      {{-4, 6, 0}, {0, -0.894427f, -0.447214f}, {1, 0.95f, 0.85f}, 0.5f, 0.9f, 1.0f, {1, 0.05f, 0}, 10},
      {{4, 6, 0}, {0, -0.330514f, -0.943801f}, {0.9f, 0.8f, 1.0f}, 0.5f, 0.9f, 1.0f, {1, 0.05f, 0}, 14}};
  return spots;
}

void SpotLight(const float point[3], const float normal[3], float out[3]) {
  out[0] = out[1] = out[2] = 0.0f;
  for (const Spot& s : StageSpots()) {
    float l[3] = {s.position[0] - point[0], s.position[1] - point[1], s.position[2] - point[2]};
    const float d = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
    if (!(d > 0.0f) || d > s.range) continue;
    for (float& c : l) c /= d;
    const float facing = l[0] * normal[0] + l[1] * normal[1] + l[2] * normal[2];
    if (facing <= 0.0f) continue;
    // The cone as the fixed-function pipeline lights it: full inside theta, none past phi.
    const float rho = -(l[0] * s.direction[0] + l[1] * s.direction[1] + l[2] * s.direction[2]);
    const float inner = std::cos(s.theta / 2), outer = std::cos(s.phi / 2);
    const float cone = rho > inner ? 1.0f : rho <= outer ? 0.0f : std::pow((rho - outer) / (inner - outer), s.falloff);
    const float attenuation = 1.0f / (s.attenuation[0] + s.attenuation[1] * d + s.attenuation[2] * d * d);
    for (int k = 0; k < 3; ++k) out[k] += s.colour[k] * cone * attenuation * facing;
  }
}

std::map<std::string, std::vector<uint8_t>> AllSamples() {
  const std::string stage = "resource/models/stage/";
  const std::string textures = stage + "textures/";
  const std::string characters = "resource/models/characters/";
  return {
      {textures + "floor.tga", FloorTiles()},
      {textures + "floor_light.tga", LightMap(kFloor, 64, 64)},
      {textures + "bricks.tga", Bricks()},
      {textures + "wall_light.tga", LightMap(kBackWall, 64, 32)},
      {textures + "wall_left_light.tga", LightMap(kLeftWall, 64, 32)},
      {textures + "wall_right_light.tga", LightMap(kRightWall, 64, 32)},
      {textures + "detail.tga", Detail()},
      {textures + "flag.tga", StageFlag()},
      {textures + "poster.tga", Poster()},
      {textures + "glass.tga", Glass()},
      {textures + "test_card.tga", TestCard()},
      {textures + "speaker.tga", Speaker()},
      {stage + "sky.tga", Sky()},
      {stage + "walls.obj", Bytes(WallsObj())},
      {stage + "walls.mtl", Bytes(WallsMtl())},
      {characters + "guard_body.obj", Bytes(GuardBody())},
      {characters + "guard_helmet.obj", Bytes(GuardHelmet())},
      {characters + "dancer_body.obj", Bytes(DancerBody())},
      {characters + "dancer_dress.obj", Bytes(DancerDress())},
      {"resource/textures/flag/banner.tga", BannerBands()},
      {"resource/textures/flag/banner_detail.tga", BannerDetail()},
      {"resource/textures/light/spot.tga", Footprint()},
      {"resource/textures/light/beam.tga", Beam()},
      {"resource/textures/light/smoke.tga", Smoke()},
      {"resource/textures/light/star.tga", Star()},
      // The shine a scene object projects under its head; the module names it at the root.
      {"shine001.tga", Footprint()},
  };
}

}  // namespace scene_samples
