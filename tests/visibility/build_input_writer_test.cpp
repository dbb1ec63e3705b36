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
  win32::SetResourceRoot("");
}

}  // namespace
