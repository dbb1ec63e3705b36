// The scene's navigation mesh: the path search of slot 98 with a stand-in scene object, and
// paths that must not outlive their mesh.
#include <gtest/gtest.h>

#include <vector>

#include "host/model_mesh.h"
#include "scene/nav_mesh.h"
#include "scene_fixture.h"

namespace {
using scene_testing::SceneHost;

// A scene object that keeps a path and notes the path calls it gets.
class PathObject : public CSceneBaseObj {
 public:
  NavPath* GetPathData() override { return &path; }
  void StopPath() override { ++stops; }
  void SetPathCallback(WaypointCallback cb, uint32_t ctx) override {
    callback = cb;
    context = ctx;
  }
  uint8_t GetUserFlag() override { return keep; }

  NavPath path;
  int stops = 0;
  WaypointCallback callback = nullptr;
  uint32_t context = 0;
  uint8_t keep = 0;
};

void NoteWaypoint(int32_t, const D3DXVECTOR3*, const D3DXVECTOR3*) {}

// Two unit squares at x 0..1 and x 5..6 (z 0..1), each cut into two clockwise triangles.
host::ModelMesh TwoIslands() {
  auto square = [](float x0) {
    host::ModelMesh::PartInput p;
    p.corners = {{x0, 0, 0}, {x0, 0, 1}, {x0 + 1, 0, 0}, {x0 + 1, 0, 0}, {x0, 0, 1}, {x0 + 1, 0, 1}};
    return p;
  };
  host::ModelMesh mesh;
  mesh.Build({square(0), square(5)}, {});
  return mesh;
}

struct NavScene : SceneHost {
  CSceneSystem* scene = nullptr;
  host::ModelMesh mesh = TwoIslands();
  HostModelGeometry geometry;
  PathObject* object = nullptr;
  NavScene() {
    host.RegisterComponentClass<PathObject>("SceneBaseObj");
    scene = MakeScene();
    geometry.hostMesh = &mesh;
    const uint32_t pair[2] = {1, 1};
    object = static_cast<PathObject*>(scene->CreateSceneObject(pair));
  }
};

TEST(SceneNavigation, WithoutAMeshNothingIsTouched) {
  NavScene s;
  s.object->path.waypoints.push_back(NavWaypoint{vector3(1, 2, 3), nullptr});
  const D3DXVECTOR3 a(0.2f, 0, 0.2f), b(0.8f, 0, 0.8f);
  EXPECT_FALSE(s.scene->FindPath(s.object, NoteWaypoint, 7, &a, &b));
  EXPECT_EQ(s.object->stops, 0);
  EXPECT_EQ(s.object->callback, nullptr);
  EXPECT_EQ(s.object->path.waypoints.size(), 1u);
}

TEST(SceneNavigation, ARouteIsFoundAndAFailedSearchLeavesAnEmptyList) {
  NavScene s;
  s.scene->ResetNavMesh(&s.geometry);
  ASSERT_NE(s.scene->navMesh, nullptr);
  EXPECT_EQ(s.scene->navMesh->triangles.size(), 4u);
  const D3DXVECTOR3 a(0.2f, 3, 0.2f), b(0.8f, 0, 0.8f), far(5.5f, 0, 0.5f);
  ASSERT_TRUE(s.scene->FindPath(s.object, NoteWaypoint, 7, &a, &b));
  EXPECT_EQ(s.object->stops, 1);
  EXPECT_EQ(s.object->callback, &NoteWaypoint);
  EXPECT_EQ(s.object->context, 7u);
  ASSERT_EQ(s.object->path.waypoints.size(), 3u);  // start, the diagonal's midpoint, destination
  EXPECT_EQ(s.object->path.mesh, s.scene->navMesh);
  EXPECT_FLOAT_EQ(s.object->path.waypoints.front().point.y, 3.0f);  // the ends as given

  EXPECT_FALSE(s.scene->FindPath(s.object, nullptr, 0, &a, &far));
  EXPECT_EQ(s.object->stops, 2);
  EXPECT_TRUE(s.object->path.waypoints.empty());
}

TEST(SceneNavigation, UnloadAndRebuildClearASurvivingObjectsPath) {
  NavScene s;
  s.scene->ResetNavMesh(&s.geometry);
  const D3DXVECTOR3 a(0.2f, 0, 0.2f), b(0.8f, 0, 0.8f);
  ASSERT_TRUE(s.scene->FindPath(s.object, nullptr, 0, &a, &b));
  // A rebuild drops the old triangles: the path goes with them.
  s.scene->ResetNavMesh(&s.geometry);
  EXPECT_EQ(s.object->stops, 2);
  EXPECT_TRUE(s.object->path.waypoints.empty());
  EXPECT_EQ(s.object->path.mesh, nullptr);
  EXPECT_EQ(s.object->path.start.triangle, nullptr);
  EXPECT_EQ(s.object->path.destination.triangle, nullptr);

  ASSERT_TRUE(s.scene->FindPath(s.object, nullptr, 0, &a, &b));
  s.object->keep = 1;  // survives the unload
  s.scene->UnloadScene();
  EXPECT_EQ(s.scene->navMesh, nullptr);
  ASSERT_EQ(s.scene->GetSceneObjectCount(), 1u);
  EXPECT_TRUE(s.object->path.waypoints.empty());
  EXPECT_EQ(s.object->path.start.triangle, nullptr);
  EXPECT_FALSE(s.scene->FindPath(s.object, nullptr, 0, &a, &b));
}

}  // namespace

namespace {

// The sample stage's navigation model through scene loading: the floor and the balcony.
TEST(SceneNavigation, TheSampleStageRoutesOverItsFloorAndNotOntoTheBalcony) {
  host::StandardHost standard(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples");
  standard.host.LoadModule(&DMAInterface);
  standard.host.RegisterComponentClass<PathObject>("SceneBaseObj");
  ComponentHandle handle{};
  standard.host.CreateObject(&handle, "CSceneSystem");
  auto* scene = scene_testing::As<CSceneSystem>(standard.host.GetObject(&handle));
  ASSERT_TRUE(scene->LoadScene(1));
  ASSERT_NE(scene->navMesh, nullptr);
  EXPECT_EQ(scene->navMesh->triangles.size(), 36u);  // 16 floor quads and 2 balcony quads
  const uint32_t pair[2] = {9, 9};
  auto* object = static_cast<PathObject*>(scene->CreateSceneObject(pair));
  ASSERT_NE(object, nullptr);
  const D3DXVECTOR3 a(-7, 0, -8), b(7, 0, 4), balcony(0, 3, 14);
  ASSERT_TRUE(scene->FindPath(object, nullptr, 0, &a, &b));
  ASSERT_GE(object->path.waypoints.size(), 3u);
  EXPECT_FLOAT_EQ(object->path.waypoints.back().point.x, 7.0f);
  for (const NavWaypoint& w : object->path.waypoints) EXPECT_FLOAT_EQ(w.point.y, 0.0f);
  EXPECT_FALSE(scene->FindPath(object, nullptr, 0, &a, &balcony));
  EXPECT_TRUE(object->path.waypoints.empty());
  standard.host.DestroyAll();
  EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
}

}  // namespace
