// footlight tree run, as a process, on files the tests' writer makes.
#include <gtest/gtest.h>
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
  r = RunTree("run o.geo:x", f.Dir());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "footlight: the blend class of \"o.geo:x\" is not a whole number\n");
  r = RunTree("run o.geo --eye 1,2", f.Dir());
  EXPECT_EQ(r.status, 2);
}

}  // namespace
