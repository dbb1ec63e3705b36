// The host's fonts: a face name the module gives ("Arial", the font a scene's character names)
// is matched through fontconfig to an installed face (on Debian, "Arial" and any other sans name
// without a face of its own come to DejaVu Sans), which FreeType draws at a pixel height.
//
// This is the one unit that calls fontconfig and FreeType, and it opens both libraries when the
// first face opens, so a process that draws and measures no text never maps them. A text is drawn as one line into a
// coverage bitmap (one byte a pixel, 0 none, 255 full): as wide as the sum of its characters'
// advances and as high as the face's ascent plus descent, its top row at the top of the line
// (the baseline is `Ascent()` rows down). `Width` is that width, so what is measured is what is
// drawn. Characters the face lacks take its missing-glyph box.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct TextCoverage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width x height, rows top first
};

class FontFace {
 public:
  // The face `family` maps to, at `pixelHeight` pixels (1 to 256); null with the reason in
  // `error` when fontconfig finds nothing or FreeType cannot open what it found.
  static std::unique_ptr<FontFace> Open(const std::string& family, unsigned pixelHeight, std::string* error);
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  // The width in pixels of a line of text (UTF-32).
  int Width(std::u32string_view text);
  TextCoverage Render(std::u32string_view text);

  int Ascent() const { return ascent_; }
  int LineHeight() const { return ascent_ + descent_; }
  // The file fontconfig chose.
  const std::string& File() const { return file_; }

 private:
  struct Library;
  FontFace() = default;
  // Advances of each character in 1/64 pixel; loads each glyph once.
  int64_t Advance(char32_t c);

  std::unique_ptr<Library> library_;
  std::string file_;
  int ascent_ = 0, descent_ = 0;
};

}  // namespace host
