// Texts drawn into the target: the glyphs of the face a font name maps to, in the text's
// colour, inside the box the width and the line height measure.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/font_face.h"
#include "host/renderer.h"
#include "support/surface_pixels.h"

namespace {

using testing_support::Green;
using testing_support::Red;
using testing_support::SurfacePixel;

const bool kFewThreads = setenv("LP_NUM_THREADS", "2", 0) == 0;

host::RendererConfig TextConfig() {
  host::RendererConfig config;
  config.device.width = 160;
  config.device.height = 48;
  return config;
}

struct Ink {
  int pixels = 0, full = 0, left = 1 << 30, right = -1, top = 1 << 30, bottom = -1, offColour = 0;
};

// The pixels of the target that are not the black it was cleared to.
Ink InkOf(host::Renderer& r) {
  Ink ink;
  host::Surface* back = r.device().BackBuffer();
  for (UINT y = 0; y < back->Height(); ++y)
    for (UINT x = 0; x < back->Width(); ++x) {
      const uint32_t p = SurfacePixel(back, x, y);
      if (p == 0) continue;
      ++ink.pixels;
      ink.full += p == 0x00FF00u ? 1 : 0;
      ink.offColour += Red(p) != 0 || (p & 0xFF) != 0 ? 1 : 0;
      ink.left = std::min(ink.left, static_cast<int>(x));
      ink.right = std::max(ink.right, static_cast<int>(x));
      ink.top = std::min(ink.top, static_cast<int>(y));
      ink.bottom = std::max(ink.bottom, static_cast<int>(y));
    }
  return ink;
}

TEST(RendererText, AFontTextIsDrawnInItsColourWithinTheBoxItMeasures) {
  ASSERT_TRUE(kFewThreads);
  host::Renderer r(TextConfig());
  const int font = r.GetFont("Arial");
  r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  r.DrawFontText(font, 0xFF00FF00u, 20, 10, 0.5f, L"Guard");
  const int width = r.GetTextWidth(L"Guard", font, -1, 0);
  std::string error;
  const auto face = host::FontFace::Open("Arial", 16, &error);
  ASSERT_NE(face, nullptr) << error;

  const Ink ink = InkOf(r);
  // Five letters of solid strokes: well over a pixel a column, many of them at full coverage,
  // and nothing but the text's green.
  EXPECT_GT(ink.pixels, width);
  EXPECT_GT(ink.full, 10);
  EXPECT_EQ(ink.offColour, 0);
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.right, 20 + width);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.bottom, 10 + face->LineHeight());
  // The letters reach from near the box's left to near its right edge.
  EXPECT_LE(ink.left, 22);
  EXPECT_GE(ink.right, 20 + width - 3);
  EXPECT_EQ(r.Raster().texts, 1u);
  EXPECT_EQ(r.Raster().textsDrawn, 1u);
}

TEST(RendererText, TextsAreMeasuredButNotDrawnWhileRasterisingIsOff) {
  host::Renderer r(TextConfig());
  r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  r.SetRasterizing(false);
  r.DrawText(4, 4, "frame %d", 3);
  EXPECT_EQ(InkOf(r).pixels, 0);
  EXPECT_EQ(r.Texts().size(), 1u);
  EXPECT_EQ(r.Raster().textsDrawn, 0u);
  EXPECT_EQ(r.Raster().NotRasterised(), 1u);
}

}  // namespace
