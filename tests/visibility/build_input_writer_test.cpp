// The host's producer of the build input: the header and sections it writes, and what it makes
// of an OBJ mesh.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/build_input_writer.h"
#include "support/abt_build_fixture.h"
#include "support/abt_fixture.h"
#include "visibility/abt_build_input.h"
#include "win32/file_system.h"

using namespace abt_build_testing;

namespace {

TEST(BuildInputWriter, MaterialsNameTheirTextureInSlotZeroAndMarkTheOthersUnused) {
  const float diffuse[3] = {0.5f, 0.25f, 1.0f};
  const host::BuildInputMaterial textured = host::MakeBuildMaterial(3, diffuse, 0.75f);
  EXPECT_EQ(FloatAt(&textured[4]), 0.25f);
  EXPECT_EQ(FloatAt(&textured[12]), 0.75f);
  EXPECT_EQ(U32At(&textured[24]), 1u);
  EXPECT_EQ(U32At(&textured[40]), 3u);
  const host::BuildInputMaterial plain = host::MakeBuildMaterial(-1);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(U32At(&plain[24 + 4 * k]), 0u);
    EXPECT_EQ(U32At(&plain[40 + 4 * k]), 0xFFFFFFFFu);
    if (k > 0) {
      EXPECT_EQ(U32At(&textured[40 + 4 * k]), 0xFFFFFFFFu);
    }
  }
}

TEST(BuildInputWriter, AnObjOfMoreThan65535VerticesIsCutIntoRecordsAndBuffers) {
  abt_testing::TempDir dir;
  {
    std::ofstream obj(dir.path / "big.obj");
    obj << "mtllib big.mtl\no big\nusemtl stone\n";
    // 22,000 triangles of their own three corners each: 66,000 vertices.
    for (int i = 0; i < 22000; ++i) {
      const int x = i % 200, z = i / 200;
      char line[160];
      std::snprintf(line, sizeof line, "v %d 0 %d\nv %d 0 %d\nv %d 0 %d\nf -3 -2 -1\n", x, z, x, z + 1, x + 1, z);
      obj << line;
    }
    std::ofstream(dir.path / "big.mtl") << "newmtl stone\nKd 1 1 1\nmap_Kd stone.tga\n";
  }
  win32::SetResourceRoot(dir.path.string());
  host::BuildInput in;
  std::string error;
  const bool ok = host::BuildInputFromObj("BIG.OBJ", &in, &error);
  win32::SetResourceRoot("");
  ASSERT_TRUE(ok) << error;
  ASSERT_EQ(in.records.size(), 2u);
  EXPECT_EQ(in.buffers.size(), 2u);
  EXPECT_EQ(in.records[0].vertexCount + in.records[1].vertexCount, 66000u);
  EXPECT_LE(in.records[0].vertexCount, 65535u);
  EXPECT_EQ(in.records[0].triangleCount + in.records[1].triangleCount, 22000u);
  EXPECT_EQ(in.records[1].firstTriangle, in.records[0].triangleCount);
  EXPECT_EQ(in.names, std::vector<std::string>{"stone.tga"});
  EXPECT_EQ(in.size[0], 200.0f);
  EXPECT_EQ(in.centre[2], 55.0f);  // z from 0 to 110
  const std::vector<uint8_t> bytes = host::WriteBuildInput(in);
  EXPECT_EQ(U32At(&bytes[0]), 0x312E3036u);
  EXPECT_EQ(U32At(&bytes[8]), 10u);   // "stone.tga" and its NUL
  EXPECT_EQ(U32At(&bytes[16]), 1u);
  EXPECT_EQ(U32At(&bytes[20]), 2u);   // stone and the plain material
  EXPECT_EQ(U32At(&bytes[32]), 2u);
  EXPECT_EQ(U32At(&bytes[36]), 22000u);
  EXPECT_EQ(U32At(&bytes[40]), 2u);
  AbtBuildInput parsed;
  EXPECT_TRUE(ParseBuildInput(bytes, &parsed));
}

// Nothing outside the resource root is read, nor written into the input by name: neither a
// library the mesh names nor a texture its library names.
TEST(BuildInputWriter, AnObjWithoutTrianglesOrFileOrNamingFilesOutsideTheRootIsOneReason) {
  abt_testing::TempDir dir;
  const std::filesystem::path root = dir.path / "root";
  std::filesystem::create_directories(root / "a");
  std::ofstream(root / "empty.obj") << "v 0 0 0\n";
  const std::string triangle = "usemtl m\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
  std::ofstream(dir.path / "outside.mtl") << "newmtl m\nmap_Kd outside.tga\n";
  std::ofstream(root / "a" / "up.obj") << "mtllib ../../outside.mtl\n" + triangle;
  std::ofstream(root / "a" / "far.mtl") << "newmtl m\nmap_Kd ../../../far.tga\n";
  std::ofstream(root / "a" / "far.obj") << "mtllib far.mtl\n" + triangle;
  win32::SetResourceRoot(root.string());
  host::BuildInput in;
  std::string error;
  const std::pair<const char*, std::string> cases[] = {
      {"empty.obj", "empty.obj holds no triangle"},
      {"none.obj", "none.obj is not a file below the resource folder"},
      {"a\\up.obj", "a\\up.obj: the material library a\\../../outside.mtl leads out of the resource root"},
      {"a\\far.obj", "a\\far.obj: the texture ../../../far.tga of material m leads out of the resource root"}};
  for (const auto& [obj, reason] : cases) {
    EXPECT_FALSE(host::BuildInputFromObj(obj, &in, &error)) << obj;
    EXPECT_EQ(error, reason);
  }

  // Numbers the parser would read as 0 or infinity, a face it would take long to split, and
  // positions whose box a float cannot hold: refused, naming the line where there is one.
  std::string corners = "f";
  for (int i = 1; i <= 4097; ++i) corners += " " + std::to_string(i % 3 + 1);
  const struct {
    const char* name;
    std::string text, line;
  } refused[] = {
      {"nan.obj", "v 0 0 0\nv 1 0 0\nv NaN 1 0\nf 1 2 3\n", "nan.obj line 3: \"NaN\" is not a finite number"},
      {"inf.obj", "v 0 0 0\r\nv 1 0 0\rvn 0 0 -inf\nf 1 2 3\n", "inf.obj line 3: \"-inf\" is not a finite number"},
      {"far.obj", "# far\nvt 0.5 +1e39\nv 0 0 0\n", "far.obj line 2: \"+1e39\" is beyond the range of a float"},
      {"wide.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + corners + "\n",
       "wide.obj line 4: a face of 4097 corners; a face has at most 4096"},
      {"huge.obj", "v -3e38 0 0\nv 3e38 0 0\nv 0 1 0\nf 1 2 3\n",
       "huge.obj spans more than a float holds: x runs from -3e+38 to 3e+38"},
  };
  for (const auto& r : refused) {
    std::ofstream(root / r.name) << r.text;
    EXPECT_FALSE(host::BuildInputFromObj(r.name, &in, &error)) << r.name;
    EXPECT_EQ(error, r.line);
  }
  // What the parser reads as it is stays: a number too small for a float, a word, a comment.
  std::ofstream(root / "fine.obj") << "v 1e-500 0 0 # inf\nv 1 0 zero\nv 0 1 0\nf 1 2 3\n";
  EXPECT_TRUE(host::BuildInputFromObj("fine.obj", &in, &error)) << error;
  win32::SetResourceRoot("");
}

}  // namespace
