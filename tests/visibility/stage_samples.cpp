#include "stage_samples.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace tree_samples {

namespace {

// An OBJ text in the making: positions and coordinates numbered from 1, faces of three corners.
class ObjText {
 public:
  explicit ObjText(const std::string& library) { text_ = "mtllib " + library + "\n"; }

  void Object(const std::string& name, const std::string& material) {
    text_ += "o " + name + "\nusemtl " + material + "\n";
  }
  int Vertex(float x, float y, float z, float u, float v) {
    char line[128];
    std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\nvt %.4f %.4f\n", x, y, z, u, v);
    text_ += line;
    return ++count_;
  }
  void Face(int a, int b, int c) {
    char line[96];
    std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\n", a, a, b, b, c, c);
    text_ += line;
  }
  // A quad whose corners run counter-clockwise seen from the side it faces.
  void Quad(const float (&p)[4][3]) {
    const int a = Vertex(p[0][0], p[0][1], p[0][2], 0, 0), b = Vertex(p[1][0], p[1][1], p[1][2], 1, 0),
              c = Vertex(p[2][0], p[2][1], p[2][2], 1, 1), d = Vertex(p[3][0], p[3][1], p[3][2], 0, 1);
    Face(a, b, c);
    Face(a, c, d);
  }
  // A closed box with its faces looking out.
  void Box(const float (&lo)[3], const float (&hi)[3]) {
    const float x0 = lo[0], y0 = lo[1], z0 = lo[2], x1 = hi[0], y1 = hi[1], z1 = hi[2];
    Quad({{x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}});  // -z
    Quad({{x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, {x0, y0, z1}});  // +z
    Quad({{x0, y0, z1}, {x0, y1, z1}, {x0, y1, z0}, {x0, y0, z0}});  // -x
    Quad({{x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}});  // +x
    Quad({{x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}});  // +y
    Quad({{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}});  // -y
  }
  // Both faces of an upright panel in a plane of constant z.
  void Panel(float x0, float x1, float y0, float y1, float z) {
    Quad({{x0, y0, z}, {x0, y1, z}, {x1, y1, z}, {x1, y0, z}});
    Quad({{x1, y0, z}, {x1, y1, z}, {x0, y1, z}, {x0, y0, z}});
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  int count_ = 0;
};

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string Material(const std::string& name, const std::string& texture) {
  return "newmtl " + name + "\nKd 1.0 1.0 1.0\nmap_Kd " + texture + "\n";
}

// A 32-bit TGA of side x side texels from the top-left; pixel(x, y) gives B, G, R, A.
template <class Pixel>
std::vector<uint8_t> Tga(int side, Pixel pixel) {
  std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(side), 0,
                              static_cast<uint8_t>(side), 0, 32, 0x28};
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const std::array<uint8_t, 4> p = pixel(x, y);
      out.insert(out.end(), p.begin(), p.end());
    }
  return out;
}

std::string Stage() {
  ObjText obj("stage.mtl");
  obj.Object("floor", "floor");
  obj.Quad({{-20, 0, -10}, {-20, 0, 20}, {20, 0, 20}, {20, 0, -10}});
  // The two rooms: outer walls on three sides, open to the front (-z), and the wall between
  // them at x = 0 with a doorway from z = 4 to 6 under a lintel.
  obj.Object("walls", "wall");
  obj.Box({-20.2f, 0, -10}, {-20, 4, 20});
  obj.Box({20, 0, -10}, {20.2f, 4, 20});
  obj.Box({-20.2f, 0, 20}, {20.2f, 4, 20.2f});
  obj.Box({-0.1f, 0, -10}, {0.1f, 4, 4});
  obj.Box({-0.1f, 0, 6}, {0.1f, 4, 20});
  obj.Box({-0.1f, 3, 4}, {0.1f, 4, 6});
  obj.Object("hiding_wall", "wall");
  obj.Box({kWallMin[0], kWallMin[1], kWallMin[2]}, {kWallMax[0], kWallMax[1], kWallMax[2]});
  obj.Object("columns", "column");
  for (float x : {6.0f, 10.0f, 14.0f}) obj.Box({x - 0.5f, 0, 11.5f}, {x + 0.5f, 3, 12.5f});
  // The dome: a sphere of 20 stacks and 24 slices about (-10, 2, 8), radius 2.
  obj.Object("dome", "dome");
  constexpr int kStacks = 20, kSlices = 24;
  constexpr float kPi = 3.14159265f;
  auto at = [&](int stack, int slice) {
    const float theta = kPi * static_cast<float>(stack) / kStacks;
    const float phi = 2.0f * kPi * static_cast<float>(slice) / kSlices;
    return obj.Vertex(-10.0f + 2.0f * std::sin(theta) * std::cos(phi), 2.0f + 2.0f * std::cos(theta),
                      8.0f + 2.0f * std::sin(theta) * std::sin(phi), static_cast<float>(slice) / kSlices,
                      static_cast<float>(stack) / kStacks);
  };
  for (int i = 0; i < kStacks; ++i) {
    for (int j = 0; j < kSlices; ++j) {
      const int a = at(i, j), b = at(i, j + 1), c = at(i + 1, j + 1), d = at(i + 1, j);
      if (i > 0) obj.Face(a, b, c);
      if (i < kStacks - 1) obj.Face(a, c, d);
    }
  }
  return obj.Text();
}

std::string Fence() {
  ObjText obj("fence.mtl");
  obj.Object("fence", "fence");
  obj.Panel(-18, -2, 0, 1.5f, -2);
  return obj.Text();
}

std::string Pane() {
  ObjText obj("pane.mtl");
  obj.Object("pane", "glass");
  obj.Panel(2, 8, 0.5f, 3, 0);
  return obj.Text();
}

}  // namespace

std::map<std::string, std::vector<uint8_t>> AllSamples() {
  std::map<std::string, std::vector<uint8_t>> files;
  const std::string models = "resource/models/tree/";
  files[models + "stage.obj"] = Bytes(Stage());
  files[models + "stage.mtl"] = Bytes(Material("floor", "floor.tga") + Material("wall", "wall.tga") +
                                      Material("column", "column.tga") + Material("dome", "dome.tga"));
  files[models + "fence.obj"] = Bytes(Fence());
  files[models + "fence.mtl"] = Bytes(Material("fence", "fence.tga"));
  files[models + "pane.obj"] = Bytes(Pane());
  files[models + "pane.mtl"] = Bytes(Material("glass", "glass.tga"));
  const std::string scene = "resource/scene/";
  using Texel = std::array<uint8_t, 4>;
  files[scene + "floor.tga"] =
      Tga(8, [](int x, int y) { return (x + y) % 2 == 0 ? Texel{90, 90, 90, 255} : Texel{200, 200, 200, 255}; });
  files[scene + "wall.tga"] = Tga(8, [](int, int y) { return y % 4 == 3 ? Texel{60, 80, 120, 255} : Texel{150, 180, 210, 255}; });
  files[scene + "column.tga"] = Tga(8, [](int x, int) { return x < 4 ? Texel{40, 40, 160, 255} : Texel{60, 60, 200, 255}; });
  files[scene + "dome.tga"] = Tga(8, [](int x, int y) { return Texel{static_cast<uint8_t>(32 * x), 160, static_cast<uint8_t>(32 * y), 255}; });
  // Upright bars with gaps between them: the alpha test leaves the gaps out.
  files[scene + "fence.tga"] = Tga(8, [](int x, int) { return x % 4 < 2 ? Texel{30, 90, 140, 255} : Texel{0, 0, 0, 0}; });
  files[scene + "glass.tga"] = Tga(8, [](int, int) { return Texel{230, 210, 170, 96}; });
  return files;
}

}  // namespace tree_samples
