#include <vector>

#include "tests/raster/raster_fixture.h"

namespace raster_test {
namespace {

class Conventions : public RasterTest {
 protected:
  // A world-space quad [x0, x1) x [y0, y1) at depth z under the pixel projection.
  HRESULT WorldQuad(float x0, float y0, float x1, float y1, float z, D3DCOLOR colour) {
    const ColourVertex v[4] = {{x0, y0, z, colour}, {x1, y0, z, colour}, {x0, y1, z, colour}, {x1, y1, z, colour}};
    const D3DMATRIX p = PixelOrtho();
    r.SetTransform(D3DTS_PROJECTION, &p);
    r.SetVertexShader(kColourFvf);
    return r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kColourFvf, 2, v, sizeof(ColourVertex), -1, 0);
  }
};

TEST_F(Conventions, IntegerCorneredQuadsCoverExactlyTheirPixels) {
  ClearAll(0xFF000000);
  ASSERT_EQ(Quad(3, 5, 9, 12, 0xFFFF0000), D3D_OK);
  EXPECT_TRUE(Covers(3, 5, 9, 12, 0xFF0000));
  ClearAll(0xFF000000);
  ASSERT_EQ(WorldQuad(0, 0, 16, 16, 0.5f, 0xFF00FF00), D3D_OK);
  EXPECT_TRUE(Covers(0, 0, 16, 16, 0x00FF00));
  EXPECT_EQ(r.Raster().rasterised, 2u);
}

TEST_F(Conventions, TheWorldTransformMovesGeometryAndTheViewportOffsetsIt) {
  ClearAll(0xFF000000);
  D3DMATRIX world = Identity();
  world._41 = 2.0f;
  world._42 = 3.0f;
  r.SetTransform(D3DTS_WORLD, &world);
  ASSERT_EQ(WorldQuad(0, 0, 4, 4, 0.5f, 0xFFFF0000), D3D_OK);
  EXPECT_TRUE(Covers(2, 3, 6, 7, 0xFF0000));

  // The whole projected square lands in the 8 x 8 viewport at (4, 2).
  ClearAll(0xFF000000);
  const D3DMATRIX identity = Identity();
  r.SetTransform(D3DTS_WORLD, &identity);
  const D3DVIEWPORT8 viewport{4, 2, 8, 8, 0.0f, 1.0f};
  ASSERT_EQ(r.SetViewport(&viewport), D3D_OK);
  ASSERT_EQ(WorldQuad(0, 0, 16, 16, 0.5f, 0xFF0000FF), D3D_OK);
  EXPECT_TRUE(Covers(4, 2, 12, 10, 0x0000FF));
}

TEST_F(Conventions, DepthOutsideZeroToOneIsClippedAndTheEndsAreKept) {
  ClearAll(0xFF000000);
  WorldQuad(0, 0, 4, 4, -0.01f, 0xFFFF0000);
  WorldQuad(4, 0, 8, 4, 1.01f, 0xFFFF0000);
  WorldQuad(8, 0, 12, 4, 0.0f, 0xFF00FF00);
  WorldQuad(12, 0, 16, 4, 0.999f, 0xFF00FF00);
  EXPECT_EQ(Count(0xFF0000), 0);
  EXPECT_EQ(Count(0x00FF00), 32);
}

TEST_F(Conventions, SharedEdgesAreDrawnOnceUnderAdditiveBlending) {
  ClearAll(0xFF000000);
  r.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  r.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  r.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  // A fan of four triangles around the centre and a strip beside it: every inner edge shared.
  const D3DCOLOR c = 0xFF404040;
  const ScreenVertex fan[6] = {{6, 6, 0.5f, 1, c}, {1, 1, 0.5f, 1, c}, {11, 1, 0.5f, 1, c},
                               {11, 11, 0.5f, 1, c}, {1, 11, 0.5f, 1, c}, {1, 1, 0.5f, 1, c}};
  r.SetVertexShader(kScreenFvf);
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLEFAN, kScreenFvf, 4, fan, sizeof(ScreenVertex), -1, 0), D3D_OK);
  const ScreenVertex strip[4] = {{12, 0, 0.5f, 1, c}, {15, 0, 0.5f, 1, c}, {12, 16, 0.5f, 1, c}, {15, 16, 0.5f, 1, c}};
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenFvf, 2, strip, sizeof(ScreenVertex), -1, 0), D3D_OK);
  EXPECT_EQ(Count(0x404040), 10 * 10 + 3 * 16);
  EXPECT_EQ(Count(0x808080), 0);
}

TEST_F(Conventions, EachCullModeDropsItsWinding) {
  // Clockwise on the screen: right along the top, then down to the left.
  const ScreenVertex clockwise[3] = {{0, 0, 0.5f, 1, 0xFFFF0000}, {16, 0, 0.5f, 1, 0xFFFF0000},
                                     {0, 16, 0.5f, 1, 0xFFFF0000}};
  const ScreenVertex counter[3] = {clockwise[0], clockwise[2], clockwise[1]};
  struct Case {
    DWORD cull;
    bool clockwiseDrawn, counterDrawn;
  } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
  r.SetVertexShader(kScreenFvf);
  for (const Case& c : cases) {
    r.SetRenderState(D3DRS_CULLMODE, c.cull);
    ClearAll(0xFF000000);
    r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, clockwise, sizeof(ScreenVertex), -1, 0);
    EXPECT_EQ(Pixel(2, 2) == 0xFF0000, c.clockwiseDrawn) << "cull mode " << c.cull;
    ClearAll(0xFF000000);
    r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, counter, sizeof(ScreenVertex), -1, 0);
    EXPECT_EQ(Pixel(2, 2) == 0xFF0000, c.counterDrawn) << "cull mode " << c.cull;
  }
}

TEST_F(Conventions, WireframeAndLinesDrawEdgesOnly) {
  ClearAll(0xFF000000);
  r.SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  Quad(2, 2, 12, 12, 0xFFFFFFFF);
  // The edge lines fall on the quad's border pixels or their outer neighbours.
  EXPECT_TRUE(Pixel(2, 7) == 0xFFFFFFu || Pixel(1, 7) == 0xFFFFFFu);
  EXPECT_GT(Count(0xFFFFFF), 20);
  // Inside, only the shared diagonal x + y = 14 is drawn.
  for (UINT y = 4; y < 11; ++y)
    for (UINT x = 4; x < 11; ++x)
      if (x + y < 13 || x + y > 15) {
        EXPECT_EQ(Pixel(x, y), 0x000000u) << x << "," << y;
      }

  r.SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  ClearAll(0xFF000000);
  const ScreenVertex line[2] = {{2, 5, 0.5f, 1, 0xFF00FF00}, {10, 5, 0.5f, 1, 0xFF00FF00}};
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_LINELIST, kScreenFvf, 1, line, sizeof(ScreenVertex), -1, 0), D3D_OK);
  int onRow = 0;
  for (UINT x = 0; x < kSize; ++x) onRow += Pixel(x, 5) == 0x00FF00 ? 1 : 0;
  EXPECT_GE(onRow, 7);
  EXPECT_EQ(Count(0x00FF00), onRow);
}

TEST_F(Conventions, EveryDrawSlotRasterisesItsVertices) {
  ClearAll(0xFF000000);
  r.SetVertexShader(kScreenFvf);
  auto corners = [](float x0, float y0, float x1, float y1, D3DCOLOR c, ScreenVertex* v) {
    v[0] = {x0, y0, 0.5f, 1, c}, v[1] = {x1, y0, 0.5f, 1, c}, v[2] = {x0, y1, 0.5f, 1, c}, v[3] = {x1, y1, 0.5f, 1, c};
  };
  // One vertex buffer: a spare vertex, then three quads of four vertices.
  const int vb = r.CreateVertexBuffer(kScreenFvf, 13 * sizeof(ScreenVertex), 0, D3DPOOL_MANAGED);
  auto* v = static_cast<ScreenVertex*>(r.LockVertexBuffer(vb, 0, 0, 0));
  ASSERT_NE(v, nullptr);
  v[0] = {0, 0, 0.5f, 1, 0};
  corners(0, 0, 4, 4, 0xFFFF0000, v + 1);
  corners(4, 0, 8, 4, 0xFF00FF00, v + 5);
  corners(8, 0, 12, 4, 0xFF0000FF, v + 9);
  r.UnlockVertexBuffer(vb);
  const int ib = r.CreateIndexBuffer(12 * 2, 0, D3DPOOL_MANAGED, D3DFMT_INDEX16);
  auto* i = static_cast<uint16_t*>(r.LockIndexBuffer(ib, 0, 0, 0));
  ASSERT_NE(i, nullptr);
  const uint16_t indices[12] = {1, 2, 3, 2, 4, 3, 5, 6, 7, 8, 0, 0};
  std::memcpy(i, indices, sizeof indices);
  r.UnlockIndexBuffer(ib);

  EXPECT_EQ(r.DrawIndexed(vb, sizeof(ScreenVertex), ib, 0, 5, 0, 2, -1, 0), D3D_OK);
  EXPECT_EQ(r.DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, vb, sizeof(ScreenVertex), ib, 0, 9, 6, 2, -1, 0), D3D_OK);
  EXPECT_EQ(r.DrawPrimitive(D3DPT_TRIANGLESTRIP, vb, sizeof(ScreenVertex), 9, 2, -1, 0), D3D_OK);
  ScreenVertex up[4];
  corners(12, 0, 16, 4, 0xFFFFFF00, up);
  EXPECT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenFvf, 2, up, sizeof(ScreenVertex), -1, 0), D3D_OK);
  // 32-bit indices naming vertices 2-5 of the user memory, the lowest named 2.
  ScreenVertex user[6];
  corners(0, 4, 4, 8, 0xFFFF00FF, user + 2);
  const uint32_t strip[4] = {2, 3, 4, 5};
  EXPECT_EQ(r.DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, 4, 2, strip, D3DFMT_INDEX32, user, sizeof(ScreenVertex),
                                     -1, 0),
            D3D_OK);
  EXPECT_EQ(r.Raster().rasterised, 5u);
  EXPECT_EQ(Pixel(1, 1), 0xFF0000u);
  EXPECT_EQ(Pixel(5, 1), 0x00FF00u);
  EXPECT_EQ(Pixel(9, 1), 0x0000FFu);
  EXPECT_EQ(Pixel(13, 1), 0xFFFF00u);
  EXPECT_EQ(Pixel(1, 5), 0xFF00FFu);
  EXPECT_EQ(Count(0xFF0000) + Count(0x00FF00) + Count(0x0000FF) + Count(0xFFFF00) + Count(0xFF00FF), 5 * 16);
  r.ReleaseVertexBuffer(vb);
  r.ReleaseIndexBuffer(ib);
}

TEST_F(Conventions, PositionsAfterBlendWeightsAndColoursAfterNormalsAreFound) {
  ClearAll(0xFF000000);
  // Two blend weights (skipped), a normal, a point size and the colour.
  struct Vertex {
    float x, y, z, w0, w1, nx, ny, nz, size;
    D3DCOLOR colour;
  };
  const DWORD fvf = D3DFVF_XYZB2 | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE;
  const Vertex v[4] = {{0, 0, 0.5f, 9, 9, 0, 0, -1, 1, 0xFF00FFFF},
                       {8, 0, 0.5f, 9, 9, 0, 0, -1, 1, 0xFF00FFFF},
                       {0, 8, 0.5f, 9, 9, 0, 0, -1, 1, 0xFF00FFFF},
                       {8, 8, 0.5f, 9, 9, 0, 0, -1, 1, 0xFF00FFFF}};
  const D3DMATRIX p = PixelOrtho();
  r.SetTransform(D3DTS_PROJECTION, &p);
  r.SetVertexShader(fvf);
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, fvf, 2, v, sizeof(Vertex), -1, 0), D3D_OK);
  EXPECT_TRUE(Covers(0, 0, 8, 8, 0x00FFFF));
}

TEST_F(Conventions, DrawsWithoutPositionsOrOutsideTheOperationsAreRecordedButNotRasterised) {
  ClearAll(0xFF000000);
  const float nothing[16] = {};
  r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, D3DFVF_DIFFUSE, 1, nothing, 4, -1, 0);
  const ScreenVertex v[3] = {{0, 0, 0.5f, 1, 0xFFFF0000}, {16, 0, 0.5f, 1, 0xFFFF0000}, {0, 16, 0.5f, 1, 0xFFFF0000}};
  r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, v, 16, -1, 0);  // shorter than the format
  r.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
  r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, v, sizeof(ScreenVertex), -1, 0);
  r.DrawText(0, 0, "text %d", 1);
  EXPECT_EQ(r.Draws().size(), 3u);
  EXPECT_EQ(r.Raster().rasterised, 0u);
  EXPECT_EQ(r.Raster().noPosition, 2u);
  EXPECT_EQ(r.Raster().operation, 1u);
  EXPECT_EQ(r.Raster().texts, 1u);
  EXPECT_EQ(Count(0xFF0000), 0);
}

TEST_F(Conventions, EnabledClipPlanesCutInWorldSpaceButNotScreenSpace) {
  ClearAll(0xFF000000);
  D3DMATRIX world = Identity();
  world._41 = 4.0f;  // the plane stays in the world: x >= 8 is kept
  r.SetTransform(D3DTS_WORLD, &world);
  const float plane[4] = {1.0f, 0.0f, 0.0f, -8.0f};
  ASSERT_EQ(r.SetClipPlane(0, plane), D3D_OK);
  r.SetRenderState(D3DRS_CLIPPLANEENABLE, 1);
  WorldQuad(0, 0, 12, 4, 0.5f, 0xFFFF0000);
  EXPECT_TRUE(Covers(8, 0, 16, 4, 0xFF0000));
  Quad(0, 8, 16, 12, 0xFF00FF00);
  EXPECT_EQ(Count(0x00FF00), 64);
  r.SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
  WorldQuad(-4, 4, 12, 8, 0.5f, 0xFF0000FF);
  EXPECT_EQ(Count(0x0000FF), 64);
}

TEST_F(Conventions, EachStateKeyCompilesOnce) {
  ClearAll(0xFF000000);
  Quad(0, 0, 4, 4, 0xFFFF0000);
  Quad(4, 0, 8, 4, 0xFF00FF00);  // the same key: the colour is a vertex value
  EXPECT_EQ(r.Raster3D()->ProgramBuilds(), 1u);
  r.SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  Quad(0, 0, 4, 4, 0xFFFF0000);
  r.SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  Quad(0, 0, 4, 4, 0xFFFF0000);
  r.SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  Quad(0, 0, 4, 4, 0xFFFF0000);
  EXPECT_EQ(r.Raster3D()->ProgramBuilds(), 2u);
  EXPECT_EQ(r.Raster3D()->Programs(), 2u);
}

}  // namespace
}  // namespace raster_test
