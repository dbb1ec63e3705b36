// footlight tree run, as a process, on files the tests' writer makes.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/abt_fixture.h"
#include "support/process_run.h"

using namespace abt_testing;

namespace {

using TreeRun = testing_support::ProcessRun;

TreeRun RunTree(const std::string& args, const std::string& resource) {
  return testing_support::RunProcess(std::string(FOOTLIGHT_BINARY_DIR) + "/footlight tree " + args + " --resource " +
                                     resource + " 2>&1");
}

bool Has(const TreeRun& r, const std::string& line) { return r.out.find(line + "\n") != std::string::npos; }

struct Files {
  TreeHost writer;  // its temporary directory holds the files and the scene folder
  Files() {
    writer.WriteTextures(SmallScene());
    writer.Write("o.geo", WriteGeometry(SmallScene(3)));
    writer.Write("b.geo", WriteGeometry(SmallScene(3, 6.0f)));
    writer.Write("bad.geo", {0x00, 0x10, 0xFF});
  }
  std::string Dir() const { return writer.dir.path.string(); }
};

const char kView[] = " --eye -10,0.5,0.5 --at 10,0.5,0.5";

TEST(TreeCommand, DrawsBothFilesInTheirPasses) {
  Files f;
  const TreeRun r = RunTree(std::string("run o.geo b.geo:2 --frames 2") + kView, f.Dir());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frame 1: opaque 3, blended 3, draws 6, refused 0, tested 6, hidden 0; "
                       "Visibility Determination Cost Time: "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("frame 2: opaque 3, blended 3, draws 6"), std::string::npos) << r.out;
  EXPECT_TRUE(Has(r, "nodes 3, leaves 2, depth 2")) << r.out;
  EXPECT_TRUE(Has(r, "live host blocks: 0")) << r.out;
}

TEST(TreeCommand, KeysTurnDrawingAndOcclusionOff) {
  Files f;
  const TreeRun r = RunTree(std::string("run o.geo --key B --key O") + kView, f.Dir());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frame 1: opaque 3, blended 0, draws 0, refused 0, tested 0, hidden 0;"), std::string::npos)
      << r.out;
}

TEST(TreeCommand, ABadFileOrBadArgumentsAreOneErrorLine) {
  Files f;
  TreeRun r = RunTree("run o.geo bad.geo", f.Dir());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "footlight: bad.geo is not a render-geometry file that loads\n");
  r = RunTree("run missing.geo", f.Dir());
  EXPECT_EQ(r.status, 1);
  r = RunTree("run o.geo:3", f.Dir());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "footlight: FILE takes FILE[:CLASS], a file below the resource root and a blend class 0, 1 or 2, "
                   "got \"o.geo:3\"\n");
}

}  // namespace

namespace {

// The sample tree copied into a temporary folder, with the stage built there.
struct Stage {
  abt_testing::TempDir dir;
  Stage() {
    std::filesystem::copy(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource", dir.path,
                          std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(dir.path / "out");
  }
  std::string Dir() const { return dir.path.string(); }
};

const char kBehindTheWall[] = " --eye 10,1.5,-8 --at 10,1.5,12";

// Over 20 s under the sanitizers: one build of the 1,034-triangle stage's four files, then the
// runs and queries that load them, each a start of the program.
TEST(TreeCommand, BuildsTheSampleStageThatRunAndQueryLoad) {
  Stage s;
  TreeRun r = RunTree("build 'models\\tree\\stage.obj' out/stage", s.Dir());
  ASSERT_EQ(r.status, 0) << r.out;
  // Five records of 1,034 triangles; the dome of 912 is split, the other four are one batch each.
  const std::string out = "wrote " + s.Dir() + "/out/stage";
  EXPECT_TRUE(Has(r, out + ".in: 5 records, 1034 triangles, 1 buffers, 5 materials, 4 textures")) << r.out;
  EXPECT_NE(r.out.find(out + ".geo: 6 batches ("), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(out + ".collision: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(out + ".occluder: "), std::string::npos) << r.out;
  EXPECT_TRUE(Has(r, "live host blocks: 0"));
  for (const char* name : {"stage.in", "stage.geo", "stage.collision", "stage.occluder"})
    EXPECT_TRUE(std::filesystem::exists(s.dir.path / "out" / name)) << name;
  for (const char* mesh : {"fence", "pane"}) {
    r = RunTree(std::string("build models/tree/") + mesh + ".obj out/" + mesh, s.Dir());
    ASSERT_EQ(r.status, 0) << r.out;
  }

  // Seen from in front of the free wall, its occluders hide the columns behind it.
  const std::string files = "run out/stage.geo:0 out/fence.geo:1 out/pane.geo:2";
  r = RunTree(files + kBehindTheWall, s.Dir());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("hidden 0;"), std::string::npos) << r.out;
  r = RunTree(files + " --occluder out/stage.occluder --collision out/stage.collision" + kBehindTheWall, s.Dir());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("blended 1, draws 4, refused 0, tested 5, hidden 1;"), std::string::npos) << r.out;
  // So far off that the near plane rounds onto the eye, the occlusion system asserts and the run fails.
  r = RunTree(files + " --occluder out/stage.occluder --eye 1e9,1.5,-8 --at 10,1.5,12", s.Dir());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("hidden 0, occlusion asserted; "), std::string::npos) << r.out;
  EXPECT_TRUE(Has(r, "footlight: the occlusion system asserted in 1 of 1 frames")) << r.out;

  // The ray from the eye meets the wall's face at z = 4.9: (4.9 + 8) / 20 of the way.
  r = RunTree("query --collision out/stage.collision --ray 10,1.5,-8:10,1.5,12", s.Dir());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Has(r, "fraction 0.645, at 10,1.5,4.9")) << r.out;
  r = RunTree("query --collision out/stage.collision --ray 10,1.5,-8:10,1.5,-9", s.Dir());
  EXPECT_TRUE(Has(r, "fraction 3.4e+38, no hit")) << r.out;
  r = RunTree("query --collision out/stage.collision --bounds", s.Dir());
  EXPECT_TRUE(Has(r, "bounds -20.2,0,-10 to 20.2,4,20.2")) << r.out;
  // A sphere of radius 1 half a unit above the floor sinks 0.5 into it.
  r = RunTree("query --collision out/stage.collision --sphere 10,0.5,0 --radius 1", s.Dir());
  EXPECT_TRUE(Has(r, "contact at 10,0,0, direction 0,1,0, depth 0.5")) << r.out;
  r = RunTree("query --collision out/stage.collision --sphere 10,2,0 --radius 1 --first", s.Dir());
  EXPECT_TRUE(Has(r, "no contact")) << r.out;
}

TEST(TreeCommand, ABuildOrQueryThatFailsIsOneErrorLine) {
  Stage s;
  std::ofstream(s.dir.path / "out" / "junk.collision") << "not a tree";
  TreeRun r = RunTree("query --collision out/junk.collision --bounds", s.Dir());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "footlight: out/junk.collision is not a collision tree file that loads\n");
  r = RunTree("build models/tree/missing.obj out/x", s.Dir());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "footlight: cannot open models/tree/missing.obj below the resource root \"" + s.Dir() +
                       "\": no such file\n");
  // A colour file that is not there stops the build before anything is written.
  r = RunTree("build models/tree/pane.obj out/pane --colour none.bin", s.Dir());
  EXPECT_EQ(r.status, 1);
  for (const char* name : {"pane.in", "pane.geo", "pane.collision", "pane.occluder"})
    EXPECT_FALSE(std::filesystem::exists(s.dir.path / "out" / name)) << name;
  r = RunTree("run out/none.geo --occluder out/junk.collision", s.Dir());
  EXPECT_EQ(r.status, 1);
  r = RunTree("query --collision out/junk.collision", s.Dir());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "footlight: tree query takes one of --ray, --sphere and --bounds\n");
  // A point or radius that is not finite never reaches the tree.
  r = RunTree("query --collision out/junk.collision --sphere 10,nan,0 --radius 1", s.Dir());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "footlight: option --sphere takes a point X,Y,Z, got \"10,nan,0\"\n");
  r = RunTree("query --collision out/junk.collision --sphere 10,1,0 --radius inf", s.Dir());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "footlight: option --radius takes a number from 0, got \"inf\"\n");
}

TEST(TreeCommand, EachBadBuildInputNamesItsOwnReason) {
  Stage s;
  ASSERT_EQ(RunTree("build models/tree/pane.obj out/pane", s.Dir()).status, 0);
  std::ofstream(s.dir.path / "out" / "magic.in") << "06.1 is not the start";
  std::ofstream(s.dir.path / "out" / "cut.in") << "60.1 and nothing more";
  std::ofstream(s.dir.path / "out" / "one.bin", std::ios::binary) << "ARGB";
  const struct {
    const char* args;
    const char* line;
  } cases[] = {
      {"out/magic.in out/magic",
       "the render geometry of out/magic.in does not build into out/magic.geo: the input is not a build input (it "
       "does not begin with \"60.1\")"},
      {"out/cut.in out/cut",
       "the render geometry of out/cut.in does not build into out/cut.geo: the input's counts, indices or "
       "positions do not fit its sections"},
      {"out/pane.in out/one --colour out/one.bin",
       "the render geometry of out/pane.in does not build into out/one.geo: the colour file holds fewer colours "
       "than the input has vertices"},
  };
  for (const auto& c : cases) {
    const TreeRun r = RunTree(std::string("build ") + c.args, s.Dir());
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.out, std::string("footlight: ") + c.line + "\n") << c.args;
  }
}

}  // namespace

namespace {

// The number N of the build's "OUTBASE.geo: N batches" line; -1 when there is none.
int BatchesBuilt(const TreeRun& r) {
  const size_t at = r.out.find(".geo: ");
  return at == std::string::npos ? -1 : std::atoi(r.out.c_str() + at + 6);
}

TEST(TreeCommand, AWallFlatOnAnyAxisIsCutIntoTheSameBatches) {
  // 25 x 25 quads (1,250 triangles, past the 800 of one batch) on the plane x = 3, y = 3 or
  // z = 3: turned from one axis to another the wall is the same, and must be cut alike.
  abt_testing::TempDir dir;
  std::vector<int> batches;
  for (int flat = 0; flat < 3; ++flat) {
    std::ofstream obj(dir.path / ("wall" + std::to_string(flat) + ".obj"));
    obj << "o wall\n";
    for (int j = 0; j <= 25; ++j)
      for (int i = 0; i <= 25; ++i) {
        const int other[2] = {i, j};
        obj << "v";
        for (int k = 0, next = 0; k < 3; ++k) obj << ' ' << (k == flat ? 3 : other[next++]);
        obj << "\n";
      }
    for (int j = 0; j < 25; ++j)
      for (int i = 0; i < 25; ++i) {
        const int a = j * 26 + i + 1;
        obj << "f " << a << ' ' << a + 1 << ' ' << a + 27 << "\nf " << a << ' ' << a + 27 << ' ' << a + 26 << "\n";
      }
    obj.close();
    const TreeRun r = RunTree("build wall" + std::to_string(flat) + ".obj wall" + std::to_string(flat), dir.path.string());
    ASSERT_EQ(r.status, 0) << r.out;
    batches.push_back(BatchesBuilt(r));
  }
  EXPECT_GE(batches[0], 3) << "x";
  EXPECT_EQ(batches[0], batches[1]);
  EXPECT_EQ(batches[0], batches[2]);
}

}  // namespace
