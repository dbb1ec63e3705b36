#include "host/font_face.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <mutex>

#include "library_table.h"

namespace host {

namespace {

// The two libraries are opened when the first face is, never at start: a process that draws
// no text does not map them. One table of the functions called for each.
#define FOOTLIGHT_FONTCONFIG_FUNCTIONS(X)                                                                    \
  X(FcConfigDestroy) X(FcConfigSubstitute) X(FcDefaultSubstitute) X(FcFontMatch) X(FcInitLoadConfigAndFonts) \
  X(FcPatternAddBool) X(FcPatternAddString) X(FcPatternCreate) X(FcPatternDestroy) X(FcPatternGetString)
#define FOOTLIGHT_FREETYPE_FUNCTIONS(X)                                                                      \
  X(FT_Done_Face) X(FT_Done_FreeType) X(FT_Get_Char_Index) X(FT_Init_FreeType) X(FT_Load_Glyph) X(FT_New_Face) \
  X(FT_Set_Pixel_Sizes)
#define FOOTLIGHT_FONT_SLOT(name) decltype(&::name) name = nullptr;
struct FontConfigFunctions {
  FOOTLIGHT_FONTCONFIG_FUNCTIONS(FOOTLIGHT_FONT_SLOT)
};
struct FreeTypeFunctions {
  FOOTLIGHT_FREETYPE_FUNCTIONS(FOOTLIGHT_FONT_SLOT)
};
#undef FOOTLIGHT_FONT_SLOT

FontConfigFunctions fc;
FreeTypeFunctions ft;

bool Load(std::string* error) {
  constexpr const char* kFontConfig = "libfontconfig.so.1";
  constexpr const char* kFreeType = "libfreetype.so.6";
  void* fontconfig = platform::OpenLibrary(kFontConfig, error);
  void* freetype = fontconfig != nullptr ? platform::OpenLibrary(kFreeType, error) : nullptr;
  if (freetype == nullptr) return false;
#define FOOTLIGHT_FIND_FC(name) \
  if (!platform::FindFunction(fontconfig, kFontConfig, #name, fc.name, error)) return false;
#define FOOTLIGHT_FIND_FT(name) \
  if (!platform::FindFunction(freetype, kFreeType, #name, ft.name, error)) return false;
  FOOTLIGHT_FONTCONFIG_FUNCTIONS(FOOTLIGHT_FIND_FC)
  FOOTLIGHT_FREETYPE_FUNCTIONS(FOOTLIGHT_FIND_FT)
#undef FOOTLIGHT_FIND_FC
#undef FOOTLIGHT_FIND_FT
  return true;
}

// Both tables filled the first time, from any thread; false with the reason in `error`.
bool LoadFontLibraries(std::string* error) {
  static std::string failure;
  static const bool loaded = Load(&failure);
  if (!loaded) *error = failure;
  return loaded;
}

// fontconfig's answer for a family does not change while the process runs; loading its
// configuration costs far more than a draw, so each family is asked once.
std::mutex g_matchMutex;
std::map<std::string, std::string>& Matches() {
  static auto* matches = new std::map<std::string, std::string>;
  return *matches;
}

std::string MatchFile(const std::string& family) {
  std::lock_guard<std::mutex> lock(g_matchMutex);
  auto known = Matches().find(family);
  if (known != Matches().end()) return known->second;
  std::string file;
  if (FcConfig* config = fc.FcInitLoadConfigAndFonts()) {
    FcPattern* pattern = fc.FcPatternCreate();
    fc.FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    // A name with no face of its own falls to the sans default, as the game's faces are sans.
    fc.FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    fc.FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    fc.FcConfigSubstitute(config, pattern, FcMatchPattern);
    fc.FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = fc.FcFontMatch(config, pattern, &result)) {
      FcChar8* path = nullptr;
      if (fc.FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr)
        file = reinterpret_cast<const char*>(path);
      fc.FcPatternDestroy(match);
    }
    fc.FcPatternDestroy(pattern);
    fc.FcConfigDestroy(config);
  }
  Matches().emplace(family, file);
  return file;
}

struct Glyph {
  int64_t advance = 0;  // 1/64 pixel
  int left = 0, top = 0, width = 0, rows = 0;
  std::vector<uint8_t> coverage;
};

}  // namespace

struct FontFace::Library {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  std::map<char32_t, Glyph> glyphs;

  ~Library() {
    if (face != nullptr) ft.FT_Done_Face(face);
    if (library != nullptr) ft.FT_Done_FreeType(library);
  }

  const Glyph& Get(char32_t c) {
    auto known = glyphs.find(c);
    if (known != glyphs.end()) return known->second;
    Glyph g;
    // Index 0 is the face's missing-glyph box.
    if (ft.FT_Load_Glyph(face, ft.FT_Get_Char_Index(face, c), FT_LOAD_RENDER) == 0) {
      const FT_GlyphSlot slot = face->glyph;
      g.advance = slot->advance.x;
      const FT_Bitmap& b = slot->bitmap;
      if (b.pixel_mode == FT_PIXEL_MODE_GRAY && b.buffer != nullptr) {
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = static_cast<int>(b.width);
        g.rows = static_cast<int>(b.rows);
        g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
        for (int y = 0; y < g.rows; ++y)
          std::copy_n(b.buffer + static_cast<ptrdiff_t>(y) * b.pitch, g.width, g.coverage.begin() + y * g.width);
      }
    }
    return glyphs.emplace(c, std::move(g)).first->second;
  }
};

std::unique_ptr<FontFace> FontFace::Open(const std::string& family, unsigned pixelHeight, std::string* error) {
  if (pixelHeight < 1 || pixelHeight > 256) {
    *error = "a font is 1 to 256 pixels high";
    return nullptr;
  }
  if (!LoadFontLibraries(error)) return nullptr;
  const std::string file = MatchFile(family);
  if (file.empty()) {
    *error = "no installed font for \"" + family + "\"";
    return nullptr;
  }
  std::unique_ptr<FontFace> font(new FontFace);
  font->library_ = std::make_unique<Library>();
  Library& l = *font->library_;
  if (ft.FT_Init_FreeType(&l.library) != 0 || ft.FT_New_Face(l.library, file.c_str(), 0, &l.face) != 0 ||
      ft.FT_Set_Pixel_Sizes(l.face, 0, pixelHeight) != 0) {
    *error = "cannot open the font file " + file;
    return nullptr;
  }
  font->file_ = file;
  const FT_Size_Metrics& m = l.face->size->metrics;
  font->ascent_ = static_cast<int>((m.ascender + 63) / 64);
  font->descent_ = static_cast<int>((-m.descender + 63) / 64);
  return font;
}

FontFace::~FontFace() = default;

int64_t FontFace::Advance(char32_t c) { return library_->Get(c).advance; }

int FontFace::Width(std::u32string_view text) {
  int64_t pen = 0;
  for (char32_t c : text) pen += Advance(c);
  return static_cast<int>((pen + 63) / 64);
}

TextCoverage FontFace::Render(std::u32string_view text) {
  TextCoverage out;
  out.height = LineHeight();
  // Ink past the last advance (an overhanging last letter) widens the picture, never the
  // measured width.
  int64_t pen = 0;
  int right = Width(text);
  for (char32_t c : text) {
    const Glyph& g = library_->Get(c);
    right = std::max(right, static_cast<int>(pen / 64) + g.left + g.width);
    pen += g.advance;
  }
  out.width = std::max(right, 0);
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  pen = 0;
  for (char32_t c : text) {
    const Glyph& g = library_->Get(c);
    const int x0 = static_cast<int>(pen / 64) + g.left, y0 = ascent_ - g.top;
    for (int y = 0; y < g.rows; ++y) {
      const int row = y0 + y;
      if (row < 0 || row >= out.height) continue;
      for (int x = 0; x < g.width; ++x) {
        const int column = x0 + x;
        if (column < 0 || column >= out.width) continue;
        uint8_t& p = out.pixels[static_cast<size_t>(row) * out.width + column];
        p = std::max(p, g.coverage[static_cast<size_t>(y) * g.width + x]);
      }
    }
    pen += g.advance;
  }
  return out;
}

}  // namespace host
