// footlight portals, run as a process on the sample rooms and box, and on long crossing triangles.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/run_footlight.h"
#include "support/temp_tree.h"
#include "visibility/portal_meshes.h"

namespace {

using PortalsRun = footlight_testing::Result;

PortalsRun RunPortals(const std::string& args) {
  return footlight_testing::RunFootlight("portals " + args + " --resource " + FOOTLIGHT_SOURCE_DIR + "/samples");
}

bool Has(const PortalsRun& r, const std::string& line) { return r.out.find(line + "\n") != std::string::npos; }

TEST(PortalsCommand, TheRoomsAreTwoCellsAndOneDoorwayWithOrWithoutAModel) {
  for (const char* mode : {"", " --model"}) {
    const PortalsRun r = RunPortals(std::string("'resource\\models\\rooms.obj' --frames 3 --next-cell 2") + mode);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r, "stage 2: vertices 52, triangles 32, planes 6, inner nodes 7, leaves 2, pieces 0, groups 0, "
                       "cells 0, covered pieces 0")) << r.out;
    EXPECT_TRUE(Has(r, "cells: 2")) << r.out;
    EXPECT_TRUE(Has(r, "portals: 1"));
    EXPECT_TRUE(Has(r, "portal 0: pieces 1, cells 0 1"));
    EXPECT_TRUE(Has(r, "frame 1: portal outlines 1, cell triangles 22"));
    EXPECT_TRUE(Has(r, "frame 2: portal outlines 1, cell triangles 10"));
    EXPECT_TRUE(Has(r, "live host blocks: 0"));
  }
}

TEST(PortalsCommand, TheBoxIsOneCellWithOrWithoutAModel) {
  for (const char* mode : {"", " --model"}) {
    const PortalsRun r = RunPortals(std::string("resource/models/box.obj") + mode);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r, "stage 4: vertices 24, triangles 12, planes 6, inner nodes 6, leaves 1, pieces 0, groups 0, "
                       "cells 1, covered pieces 0")) << r.out;
    EXPECT_TRUE(Has(r, "portals: 0"));
    EXPECT_TRUE(Has(r, "frame 1: portal outlines 0, cell triangles 12"));
  }
}

TEST(PortalsCommand, AMeshThatDoesNotLoadIsOneErrorLineAndStatusOne) {
  const PortalsRun r = RunPortals("resource/models/none.obj --model");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "footlight: cannot open resource/models/none.obj below the resource root \"" +
                       std::string(FOOTLIGHT_SOURCE_DIR) + "/samples\": no such file\n");
  // Coordinates the OBJ parser would read as 0, and a face too wide to split, stop at the read.
  testing_support::TempTree tree;
  std::string wide = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
  for (int i = 0; i < 5000; ++i) wide += " " + std::to_string(i % 3 + 1);
  tree.PutText("nan.obj", "v 0 0 0\nv 1 0 0\nv 0 nan 1\nf 1 2 3\n");
  tree.PutText("wide.obj", wide + "\n");
  for (const auto& [mesh, line] :
       {std::pair{"nan.obj", "nan.obj line 3: \"nan\" is not a finite number"},
        std::pair{"wide.obj", "wide.obj line 4: a face of 5000 corners; a face has at most 4096"}}) {
    const PortalsRun bad =
        footlight_testing::RunFootlight(std::string("portals ") + mesh + " --resource " + tree.Root());
    EXPECT_EQ(bad.status, 1) << mesh;
    EXPECT_EQ(bad.out, std::string("footlight: ") + line + "\n");
  }
}

TEST(PortalsCommand, CrossingTrianglesPastThePieceBudgetEndInOneLineWithTheReasonAndStatusOne) {
  // 25 triangles whose cuts run to over 16,000 pieces.
  const portal_meshes::Mesh mesh = portal_meshes::Crossing(25, 1);
  std::string obj;
  char line[96];
  for (const D3DXVECTOR3& p : mesh.points) {
    std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", p.x, p.y, p.z);
    obj += line;
  }
  for (const auto& t : mesh.triangles) obj += "f " + std::to_string(t[0] + 1) + " " + std::to_string(t[1] + 1) + " " +
                                             std::to_string(t[2] + 1) + "\n";
  const testing_support::TempTree tree;
  tree.PutText("crossing.obj", obj);
  const PortalsRun r = footlight_testing::RunFootlight("portals crossing.obj --resource " + tree.Root());
  EXPECT_EQ(r.status, 1) << r.out;
  const std::vector<std::string> lines = footlight_testing::Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("footlight: the cell-portal build failed: cutting 25 triangles made more than ", 0), 0u)
      << r.out;
  EXPECT_NE(lines.back().find("the piece budget"), std::string::npos) << r.out;
  EXPECT_EQ(footlight_testing::CountLines(r.out, "footlight:"), 1u) << r.out;
  EXPECT_EQ(footlight_testing::CountLines(r.out, "stage 2"), 0u) << r.out;
}

}  // namespace
