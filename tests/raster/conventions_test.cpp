#include "tests/raster/raster_fixture.h"

namespace raster_test {
namespace {

using Conventions = RasterTest;

TEST_F(Conventions, IntegerCorneredQuadsCoverExactlyTheirPixels) {
  ClearAll(0xFF000000);
  ASSERT_EQ(Quad(3, 5, 9, 12, 0xFFFF0000), D3D_OK);
  EXPECT_TRUE(Covers(3, 5, 9, 12, 0xFF0000));
  EXPECT_EQ(r.Raster().rasterised, 1u);
}

}  // namespace
}  // namespace raster_test
