// The "modelr" host model over OBJ and MTL files: parts, sub-meshes and their buffers, the
// attachment lines, texture lookup, the segment test and the draw hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "frame/renderer.h"
#include "host/model_object.h"
#include "host/standard_host.h"

namespace {

struct ModelHost {
  std::string root;
  std::unique_ptr<host::StandardHost> standard;

  ModelHost() {
    static int counter = 0;
    root = (std::filesystem::temp_directory_path() /
            ("footlight-model-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
               .string();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    standard = std::make_unique<host::StandardHost>(root);
  }
  ~ModelHost() {
    standard->host.DestroyAll();
    standard.reset();
    std::filesystem::remove_all(root);
  }
  void Write(const std::string& relative, const std::string& text) {
    const auto path = std::filesystem::path(root) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  void WriteTexture(const std::string& relative) {
    const uint8_t tga[18 + 4] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 1, 2, 3, 255};
    Write(relative, std::string(reinterpret_cast<const char*>(tga), sizeof tga));
  }
  host::ModelObject* Load(const char* path) {
    ComponentHandle h{};
    standard->host.CreateObject(&h, "modelr");
    standard->host.SendMessage(h, "lss", 20500, path, "");
    return standard->objects->models->Last();
  }
  bool Logged(const std::string& part) const {
    for (const auto& line : standard->host.LogLines())
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
};

const char* kStage =
    "mtllib Stage.mtl\n"
    "# a plain comment\n"
    "#@light 2 sun 1 0.5 0.25 100 0 10 0 0.5 0 -1 0\n"
    "#@node npcs guard 1 0 0 0 0 1 0 0 0 0 1 0 4 5 6 1\n"
    "#@node broken 1 2 3\n"
    "v 0 0 0\nv 10 0 0\nv 10 0 10\nv 0 0 10\n"
    "v 0 5 0\nv 1 5 0\nv 1 6 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\n"
    "o floor\n"
    "usemtl wood\n"
    "f 1/1 2/2 3/3 4/1\n"
    "usemtl stone\n"
    "f 5 6 7\n"
    "o lamp\n"
    "usemtl stone\n"
    "f -3 -2 -1\n";

const char* kStageMtl =
    "newmtl wood\nmap_Kd wood.tga\nmap_Ka light.tga\n"
    "newmtl stone\nKd 0.5 0.25 1\nmap_Kd stone.tga\nmap_Ks detail.tga\n";

TEST(HostModel, ObjectsArePartsAndMaterialsAreSubMeshesInFileOrder) {
  ModelHost h;
  h.Write("models/stage.obj", kStage);
  h.Write("models/stage.mtl", kStageMtl);
  host::ModelObject* model = h.Load("Models\\STAGE.obj");
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->PartCount(), 2u);
  EXPECT_STREQ(model->GetGeometry(0)->GetName(), "floor");
  EXPECT_STREQ(model->GetGeometry(1)->GetName(), "lamp");
  EXPECT_EQ(model->GetGeometry(2), nullptr);

  // The quad is cut into two triangles: six vertices; the stone triangle is a second sub-mesh.
  const HostModelMesh* mesh = model->GetGeometry(0)->mesh;
  ASSERT_EQ(mesh->subMeshCount, 2u);
  EXPECT_EQ(mesh->subMeshes[0].vertexCount, 6u);
  EXPECT_EQ(mesh->subMeshes[0].stride, 44u);
  EXPECT_EQ(mesh->subMeshes[1].vertexCount, 3u);
  EXPECT_EQ(model->GetGeometry(1)->mesh->subMeshCount, 1u);

  // The buffer holds the positions unchanged, the face normal (0, 1, 0) or (0, -1, 0), white
  // at byte 24 and the coordinates twice.
  IRenderer& r = h.standard->renderer;
  auto* bytes = static_cast<const uint8_t*>(r.LockVertexBuffer(mesh->subMeshes[0].vertexBuffer, 0, 0, 0));
  ASSERT_NE(bytes, nullptr);
  float v[11];
  std::memcpy(v, bytes + 44, sizeof v);  // second corner
  EXPECT_FLOAT_EQ(v[0], 10.0f);
  EXPECT_FLOAT_EQ(v[2], 0.0f);
  EXPECT_FLOAT_EQ(std::fabs(v[4]), 1.0f);
  uint32_t colour;
  std::memcpy(&colour, bytes + 44 + 24, 4);
  EXPECT_EQ(colour, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(v[7], 1.0f);  // u of vt 2
  EXPECT_FLOAT_EQ(v[9], v[7]);
  EXPECT_FLOAT_EQ(v[10], v[8]);
  r.UnlockVertexBuffer(mesh->subMeshes[0].vertexBuffer);
  // The stone's Kd is its vertices' colour.
  bytes = static_cast<const uint8_t*>(r.LockVertexBuffer(mesh->subMeshes[1].vertexBuffer, 0, 0, 0));
  ASSERT_NE(bytes, nullptr);
  std::memcpy(&colour, bytes + 24, 4);
  EXPECT_EQ(colour, 0xFF8040FFu);
  r.UnlockVertexBuffer(mesh->subMeshes[1].vertexBuffer);

  // Controller: the floor's sphere surrounds the quad and the stone triangle.
  D3DVECTOR centre;
  float radius = 0;
  model->GetGeometry(0)->material->GetBounds(&centre, &radius);
  EXPECT_FLOAT_EQ(centre.x, 5.0f);
  EXPECT_FLOAT_EQ(centre.y, 3.0f);
  EXPECT_FLOAT_EQ(radius, std::sqrt(100.0f + 36.0f + 100.0f) / 2);
  EXPECT_EQ(model->GetGeometry(0)->material->GetVertexStride(1), 44u);
}

TEST(HostModel, AttachmentLinesAreReadAndMalformedOnesLogged) {
  ModelHost h;
  h.Write("models/stage.obj", kStage);
  host::ModelObject* model = h.Load("models\\stage.obj");
  IHostAttachments* a = model->GetGeometry(0)->attachments;
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(model->GetGeometry(1)->attachments, nullptr);
  ASSERT_EQ(a->GetLightCount(), 1);
  const HostModelLight* sun = a->GetLight(0);
  EXPECT_EQ(sun->type, 2);
  EXPECT_STREQ(sun->name, "sun");
  EXPECT_FLOAT_EQ(sun->colour[1], 0.5f);
  EXPECT_FLOAT_EQ(sun->range, 100.0f);
  EXPECT_FLOAT_EQ(sun->position[1], 10.0f);
  EXPECT_FLOAT_EQ(sun->outerCone, 0.5f);
  EXPECT_FLOAT_EQ(sun->direction[1], -1.0f);
  ASSERT_EQ(a->GetNodeCount(), 1);  // the broken node is skipped
  const HostModelNode* guard = a->GetNode(0);
  EXPECT_STREQ(guard->kind, "npcs");
  EXPECT_STREQ(guard->name, "guard");
  EXPECT_FLOAT_EQ(guard->matrix.m[3][0], 4.0f);
  EXPECT_FLOAT_EQ(guard->matrix.m[3][2], 6.0f);
  EXPECT_EQ(a->GetNode(1), nullptr);
  EXPECT_TRUE(h.Logged("malformed line skipped: #@node broken"));
}

TEST(HostModel, TexturesComeFromTheGivenFoldersFirstThenBesideTheModel) {
  ModelHost h;
  h.Write("models/stage.obj", kStage);
  h.Write("models/stage.mtl", kStageMtl);
  h.WriteTexture("textures/wood.tga");
  h.WriteTexture("models/wood.tga");
  h.WriteTexture("models/light.tga");
  h.WriteTexture("models/stone.tga");
  h.WriteTexture("models/detail.tga");
  h.standard->objects->geometry.SetTexturePaths("Textures\\", nullptr, nullptr);
  host::ModelObject* model = h.Load("models\\stage.obj");
  ASSERT_EQ(model->TextureNames().size(), 4u);
  EXPECT_EQ(model->TextureNames()[0], "Textures\\wood.tga");
  EXPECT_EQ(model->TextureNames()[1], "models\\light.tga");

  // Hooks run only while the controller is on hooks, around each sub-mesh, with its record.
  static std::vector<HostSubsetRecord> seen;
  seen.clear();
  HostModelGeometry* floor = model->GetGeometry(0);
  floor->preDrawHook = [](const HostSubsetRecord* s, const int*) { seen.push_back(*s); };
  floor->postDrawHook = [](const HostSubsetRecord*, const int*) {};
  model->Realize(0);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(model->Draws().back().subMeshesDrawn, 3);
  floor->material->SetHookMode(0);
  model->Realize(0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(model->Draws().back().postHooks, 2);
  EXPECT_EQ(seen[0].hasSecondMap, 1u);
  EXPECT_EQ(seen[0].hasDetailMap, 0u);
  EXPECT_EQ(model->Textures()[seen[0].textureIndex[1]], model->Textures()[1]);
  EXPECT_EQ(seen[1].hasDetailMap, 1u);
  EXPECT_EQ(model->TextureNames()[seen[1].textureIndex[2]], "models\\detail.tga");
}

TEST(HostModel, SegmentTestGivesTheNearestFractionAndTwoOnAMiss) {
  ModelHost h;
  h.Write("models/stage.obj", kStage);
  host::ModelObject* model = h.Load("models\\stage.obj");
  const D3DVECTOR top{2, 10, 2}, bottom{2, -10, 2};
  EXPECT_FLOAT_EQ(model->RayTest(&top, &bottom), 0.5f);
  // Through the lamp triangle (z = 0 plane at y 5-6) and onto the floor edge: the lamp is nearer.
  const D3DVECTOR front{0.2f, 5.2f, -10}, back{0.2f, 5.2f, 10};
  EXPECT_FLOAT_EQ(model->RayTest(&front, &back), 0.5f);
  const D3DVECTOR away{20, 10, 20}, below{20, -10, 20};
  EXPECT_FLOAT_EQ(model->RayTest(&away, &below), 2.0f);
  const D3DVECTOR far{2, -99990, 2};
  EXPECT_NEAR(model->RayTest(&top, &far), 1e-4f, 1e-6f);  // a long segment still finds its hit
  const D3DVECTOR eye{2, 4, 16}, ahead{2, 4 - 4 * 6000, 16 - 12 * 6000};
  EXPECT_NEAR(model->RayTest(&eye, &ahead), 1.0f / 6000, 1e-7f);
  const D3DVECTOR shortEnd{2, 1, 2};
  EXPECT_FLOAT_EQ(model->RayTest(&top, &shortEnd), 2.0f);  // the segment stops above the floor
}

TEST(HostModel, AMissingFileLeavesOneEmptyPartAndALogLine) {
  ModelHost h;
  host::ModelObject* model = h.Load("models\\none.obj");
  ASSERT_EQ(model->PartCount(), 1u);
  EXPECT_EQ(model->GetGeometry(0)->mesh->subMeshCount, 0u);
  EXPECT_EQ(model->GetGeometry(0)->attachments->GetNodeCount(), 0);
  EXPECT_TRUE(h.Logged("no model file models\\none.obj"));
}

TEST(HostModel, MotionIsRecordedWithTheMotiveFolderAndGivesAController) {
  ModelHost h;
  ComponentHandle m{};
  h.standard->host.CreateObject(&m, "modelr");
  auto* model = h.standard->objects->models->Last();
  EXPECT_EQ(model->GetMotionController(0), nullptr);
  h.standard->objects->motive.SetMotionFolder("tex\\");
  h.standard->host.SendMessage(m, "ls", 20510, "models\\walk.mot");
  h.standard->host.SendMessage(m, "ll", 20511, 7);
  EXPECT_EQ(model->MotionName(), "models\\walk.mot");
  EXPECT_EQ(model->MotionFolder(), "tex\\");
  EXPECT_EQ(model->ModelOption(), 7);
  ASSERT_NE(model->GetMotionController(0), nullptr);
  model->GetMotionController(0)->SetPlayRate(0.5f);
  EXPECT_FLOAT_EQ(model->Motion()->rate, 0.5f);
}

}  // namespace

namespace {

// Part 0 hands out the model's mesh: the box of every vertex, one vertex buffer per part with
// its distinct positions, the triangles' runs in one index array, the "#@node" nodes; the
// segment test names the part it hit.
TEST(ModelMesh, PartZeroHandsOutPositionsPartsNodesAndTheBox) {
  ModelHost h;
  h.Write("m/two.obj",
          "#@node entry entries 1 0 0 0 0 1 0 0 0 0 1 0 4 0 -2 1\n"
          "v 0 0 0\nv 0 0 2\nv 2 0 0\nv 2 0 2\nv 5 3 5\nv 6 3 5\nv 5 3 6\n"
          "o low\nf 1 2 3\nf 3 2 4\n"
          "o high\nf 5 7 6\n");
  host::ModelObject* model = h.Load("m\\two.obj");
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->PartCount(), 2u);
  IHostMesh* mesh = model->GetGeometry(0)->hostMesh;
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(model->GetGeometry(1)->hostMesh, nullptr);

  HostMeshInfo info;
  mesh->GetInfo(&info);
  EXPECT_EQ(info.partCount, 2u);
  EXPECT_EQ(info.nodeCount, 1u);
  EXPECT_FLOAT_EQ(info.boxCentre.x, 3.0f);
  EXPECT_FLOAT_EQ(info.boxCentre.y, 1.5f);
  EXPECT_FLOAT_EQ(info.boxCentre.z, 3.0f);
  EXPECT_FLOAT_EQ(info.boxSize.x, 6.0f);
  EXPECT_FLOAT_EQ(info.boxSize.y, 3.0f);
  EXPECT_FLOAT_EQ(info.boxSize.z, 6.0f);

  HostMeshNode node;
  ASSERT_TRUE(mesh->GetNode(0, &node));
  EXPECT_STREQ(node.name, "entries");
  EXPECT_FLOAT_EQ(node.matrix._41, 4.0f);
  EXPECT_FLOAT_EQ(node.matrix._43, -2.0f);
  EXPECT_FALSE(mesh->GetNode(1, &node));

  const HostMeshData* data = mesh->GetData();
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->vertexBufferCount, 2u);
  EXPECT_EQ(data->vertexBuffers[0].vertexCount, 4u);  // the two triangles share two corners
  EXPECT_EQ(data->vertexBuffers[1].vertexCount, 3u);
  ASSERT_EQ(data->indexCount, 9u);
  HostMeshPart part;
  ASSERT_TRUE(mesh->GetPart(1, &part));
  EXPECT_EQ(part.triangleCount, 1u);
  EXPECT_EQ(part.firstTriangle, 2u);
  const D3DVECTOR* positions = data->vertexBuffers[part.vertexBuffer].positions + part.firstVertex;
  const uint16_t* corner = data->indices + 3 * part.firstTriangle;
  EXPECT_FLOAT_EQ(positions[corner[1]].z, 6.0f);  // "f 5 7 6": the second corner is v7
  EXPECT_FALSE(mesh->GetPart(2, &part));

  // A vertical segment through each part names that part.
  const D3DVECTOR top{1.5f, 10, 0.2f}, bottom{1.5f, -10, 0.2f};
  EXPECT_LT(model->RayTest(&top, &bottom), 1.0f);
  EXPECT_STREQ(model->GetHitPartName(), "low");
  const D3DVECTOR top2{5.2f, 10, 5.2f}, bottom2{5.2f, -10, 5.2f};
  EXPECT_LT(model->RayTest(&top2, &bottom2), 1.0f);
  EXPECT_STREQ(model->GetHitPartName(), "high");
}

}  // namespace
