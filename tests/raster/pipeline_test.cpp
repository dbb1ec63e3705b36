#include <cmath>

#include "tests/raster/raster_fixture.h"

namespace raster_test {
namespace {

using DepthStencil = RasterTest;

TEST_F(DepthStencil, EachCompareKeepsOrReplacesTheNearerDrawing) {
  struct Case {
    DWORD func;
    bool nearerWins, fartherWins, equalWins;
  } cases[] = {{D3DCMP_LESS, true, false, false},       {D3DCMP_LESSEQUAL, true, false, true},
               {D3DCMP_GREATER, false, true, false},    {D3DCMP_EQUAL, false, false, true},
               {D3DCMP_ALWAYS, true, true, true},       {D3DCMP_NEVER, false, false, false}};
  for (const Case& c : cases) {
    ClearAll(0xFF000000);
    r.SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    Quad(0, 0, 12, 4, 0xFFFF0000, 0.5f);
    r.SetRenderState(D3DRS_ZFUNC, c.func);
    Quad(0, 0, 4, 4, 0xFF00FF00, 0.25f);
    Quad(4, 0, 8, 4, 0xFF00FF00, 0.75f);
    Quad(8, 0, 12, 4, 0xFF00FF00, 0.5f);
    EXPECT_EQ(Pixel(1, 1) == 0x00FF00, c.nearerWins) << "compare " << c.func;
    EXPECT_EQ(Pixel(5, 1) == 0x00FF00, c.fartherWins) << "compare " << c.func;
    EXPECT_EQ(Pixel(9, 1) == 0x00FF00, c.equalWins) << "compare " << c.func;
  }
}

TEST_F(DepthStencil, DepthWritesFollowZWriteEnableAndZBiasPullsTowardTheViewer) {
  ClearAll(0xFF000000);
  r.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  Quad(0, 0, 16, 16, 0xFFFF0000, 0.25f);
  EXPECT_NEAR(r.device().AutoDepth()->Depth(3, 3), 1.0f, 1e-6f);
  r.SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  Quad(0, 0, 16, 16, 0xFFFF0000, 0.5f);
  EXPECT_NEAR(r.device().AutoDepth()->Depth(3, 3), 0.5f, 1e-6f);
  // Coplanar under LESS: cut without a bias, drawn with one.
  r.SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  Quad(0, 0, 8, 16, 0xFF00FF00, 0.5f);
  r.SetRenderState(D3DRS_ZBIAS, 1);
  Quad(8, 0, 16, 16, 0xFF0000FF, 0.5f);
  EXPECT_EQ(Pixel(3, 3), 0xFF0000u);
  EXPECT_EQ(Pixel(12, 3), 0x0000FFu);
}

TEST_F(DepthStencil, TheMirrorMarkThenDrawSequenceLimitsDrawingToTheMark) {
  ClearAll(0xFF000000);
  // Mark: stencil 1 where the mirror is, no colour, no depth.
  r.SetRenderState(D3DRS_STENCILENABLE, TRUE);
  r.SetRenderState(D3DRS_STENCILREF, 1);
  r.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
  r.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
  r.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  r.SetRenderState(D3DRS_COLORWRITEENABLE, 0);
  Quad(4, 4, 12, 12, 0xFFFF0000, 0.5f);
  EXPECT_EQ(Count(0x000000), 256);
  EXPECT_EQ(r.device().AutoDepth()->Stencil(5, 5), 1u);
  EXPECT_EQ(r.device().AutoDepth()->Stencil(1, 1), 0u);
  EXPECT_NEAR(r.device().AutoDepth()->Depth(5, 5), 1.0f, 1e-6f);
  // Draw: only where the stencil holds 1.
  r.SetRenderState(D3DRS_COLORWRITEENABLE, 15);
  r.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
  r.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
  Quad(0, 0, 16, 16, 0xFF00FF00, 0.5f);
  EXPECT_TRUE(Covers(4, 4, 12, 12, 0x00FF00));
}

TEST_F(DepthStencil, WithoutADepthSurfaceNothingIsDepthTested) {
  IDirect3DSurface8* back = nullptr;
  r.GetRenderTarget(&back);
  ASSERT_EQ(r.SetRenderTarget(back, nullptr), D3D_OK);
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
  r.SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
  Quad(0, 0, 4, 4, 0xFFFF0000);
  EXPECT_EQ(Count(0xFF0000), 16);
  back->Release();
}

class Alpha : public RasterTest {
 protected:
  // The standing state: alpha test and blend as the renderer starts.
  void Standing() {
    r.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    r.SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  }
};

TEST_F(Alpha, TheStandingStateCutsAlphaZeroAndTheReferenceCutsBelowIt) {
  ClearAll(0xFF000000);
  Standing();
  Quad(0, 0, 4, 4, 0x00FF0000);
  Quad(4, 0, 8, 4, 0x01FF0000);
  EXPECT_EQ(Pixel(1, 1), 0x000000u);
  EXPECT_EQ(Pixel(5, 1), 0x010000u);  // blended by 1/255
  r.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  r.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  r.SetRenderState(D3DRS_ALPHAREF, 0xE0);
  Quad(0, 4, 4, 8, 0xDFFF0000);
  Quad(4, 4, 8, 8, 0xE0FF0000);
  EXPECT_EQ(Pixel(1, 5), 0x000000u);
  EXPECT_EQ(Pixel(5, 5), 0xFF0000u);
}

TEST_F(Alpha, TheBlendPairsOfThePassesMixAsTheirFactorsSay) {
  struct Case {
    DWORD src, dst;
    D3DCOLOR under, over;
    uint32_t expected;
  } cases[] = {
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xFF0000FF, 0x80FF0000, 0x80007F},
      {D3DBLEND_SRCCOLOR, D3DBLEND_DESTCOLOR, 0xFF808080, 0xFF808080, Grey(0x80)},
      {D3DBLEND_SRCCOLOR, D3DBLEND_ONE, 0xFF404040, 0xFF404040, Grey(0x50)},
      {D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0xFF202020, 0x80404040, Grey(0x40)},
      // An X8 target has no alpha: destination alpha reads 1.
      {D3DBLEND_DESTALPHA, D3DBLEND_ZERO, 0x00000000, 0xFF00FF00, 0x00FF00},
  };
  r.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  for (const Case& c : cases) {
    ClearAll(c.under);
    r.SetRenderState(D3DRS_SRCBLEND, c.src);
    r.SetRenderState(D3DRS_DESTBLEND, c.dst);
    Quad(0, 0, 16, 16, c.over);
    EXPECT_TRUE(Near(Pixel(3, 3), c.expected)) << c.src << "/" << c.dst << " gave " << std::hex << Pixel(3, 3);
  }
  r.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  r.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  r.SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT);
  ClearAll(0xFF808080);
  Quad(0, 0, 16, 16, 0xFF202020);
  EXPECT_TRUE(Near(Pixel(3, 3), Grey(0x60), 1));
}

class Fog : public RasterTest {
 protected:
  // White at view depth z, fogged toward black: the pixel is 255 times the fog factor.
  int FoggedAt(float z) {
    ClearAll(0xFF000000);
    const ColourVertex v[4] = {{0, 0, z, 0xFFFFFFFF}, {16, 0, z, 0xFFFFFFFF}, {0, 16, z, 0xFFFFFFFF},
                               {16, 16, z, 0xFFFFFFFF}};
    const D3DMATRIX p = PixelOrtho();
    r.SetTransform(D3DTS_PROJECTION, &p);
    r.SetVertexShader(kColourFvf);
    r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kColourFvf, 2, v, sizeof(ColourVertex), -1, 0);
    return static_cast<int>(Pixel(8, 8) & 0xFF);
  }
};

TEST_F(Fog, EachModeFadesByViewDepthPerVertexAndPerPixel) {
  r.SetRenderState(D3DRS_FOGENABLE, TRUE);
  r.SetRenderState(D3DRS_FOGCOLOR, 0xFF000000);
  r.SetRenderState(D3DRS_FOGSTART, Bits(0.2f));
  r.SetRenderState(D3DRS_FOGEND, Bits(0.8f));
  r.SetRenderState(D3DRS_FOGDENSITY, Bits(2.0f));
  for (DWORD table : {0u, 1u}) {
    for (DWORD mode : {1u, 2u, 3u}) {
      r.SetRenderState(D3DRS_FOGTABLEMODE, table ? mode : 0);
      r.SetRenderState(D3DRS_FOGVERTEXMODE, table ? 0 : mode);
      for (float z : {0.1f, 0.5f, 0.9f}) {
        double f = 1.0;
        if (mode == 3) f = std::clamp((0.8 - z) / (0.8 - 0.2), 0.0, 1.0);
        if (mode == 1) f = std::exp(-2.0 * z);
        if (mode == 2) f = std::exp(-(2.0 * z) * (2.0 * z));
        EXPECT_NEAR(FoggedAt(z), 255.0 * f, 2.0) << (table ? "table" : "vertex") << " mode " << mode << " at " << z;
      }
    }
  }
  // Screen-space vertices are not fogged.
  ClearAll(0xFF000000);
  Quad(0, 0, 16, 16, 0xFFFFFFFF, 0.9f);
  EXPECT_EQ(Pixel(8, 8), 0xFFFFFFu);
}

}  // namespace
}  // namespace raster_test
