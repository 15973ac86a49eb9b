// The glyph rasteriser on FreeType, with the font found by fontconfig.

#include "font/GlyphRasteriser.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BDF_H

#include <cstdlib>
#include <cstring>

namespace fw {

// Lists the installed faces of `family` as (file, index, pixel size); picks the one whose
// pixel size is nearest to `pixelSize` (scalable faces count as exact).
bool FindInstalledFont(const char* family, double pixelSize, std::string* path, int* faceIndex) {
  // A configuration of our own, released again: the shared default one is never freed.
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) {
    return false;
  }
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_PIXEL_SIZE, nullptr);
  FcFontSet* fonts = FcFontList(config, pattern, objects);
  bool found = false;
  double bestDistance = 0;
  if (fonts != nullptr) {
    for (int i = 0; i < fonts->nfont; ++i) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) != FcResultMatch) {
        continue;
      }
      int index = 0;
      FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index);
      double size = pixelSize;
      FcPatternGetDouble(fonts->fonts[i], FC_PIXEL_SIZE, 0, &size);
      double distance = std::abs(size - pixelSize);
      if (!found || distance < bestDistance) {
        found = true;
        bestDistance = distance;
        *path = reinterpret_cast<const char*>(file);
        *faceIndex = index;
      }
    }
    FcFontSetDestroy(fonts);
  }
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  return found;
}

namespace {

int RoundedPixels(FT_Pos value) {
  return static_cast<int>((value + 32) >> 6);
}

}  // namespace

bool FindDefaultGlyphFont(std::string* path, int* faceIndex) {
  return FindInstalledFont("WenQuanYi Bitmap Song", GlyphRasteriser::kPixelSize, path, faceIndex) ||
         FindInstalledFont("AR PL UMing CN", GlyphRasteriser::kPixelSize, path, faceIndex);
}

struct GlyphRasteriser::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int ascent = 0;
  int descent = 0;

  ~Face() {
    if (face != nullptr) {
      FT_Done_Face(face);
    }
    if (library != nullptr) {
      FT_Done_FreeType(library);
    }
  }

  // Sets the 13-pixel size: the nearest strike of a bitmap font, else a scaled size
  // (which uses a matching embedded strike where the font has one).
  bool SetSize() {
    if (!FT_IS_SCALABLE(face) && face->num_fixed_sizes > 0) {
      int best = 0;
      long bestDistance = -1;
      for (int i = 0; i < face->num_fixed_sizes; ++i) {
        const FT_Bitmap_Size& s = face->available_sizes[i];
        long ppem = s.y_ppem != 0 ? RoundedPixels(s.y_ppem) : s.height;
        long distance = std::labs(ppem - kPixelSize);
        if (bestDistance < 0 || distance < bestDistance) {
          best = i;
          bestDistance = distance;
        }
      }
      if (FT_Select_Size(face, best) != 0) {
        return false;
      }
    } else if (FT_Set_Pixel_Sizes(face, 0, kPixelSize) != 0) {
      return false;
    }
    ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    // A bitmap strike that states its own cell (ascent and descent) is drawn in that cell.
    BDF_PropertyRec a;
    BDF_PropertyRec d;
    if (FT_Get_BDF_Property(face, "FONT_ASCENT", &a) == 0 &&
        FT_Get_BDF_Property(face, "FONT_DESCENT", &d) == 0 &&
        (a.type == BDF_PROPERTY_TYPE_INTEGER || a.type == BDF_PROPERTY_TYPE_CARDINAL) &&
        (d.type == BDF_PROPERTY_TYPE_INTEGER || d.type == BDF_PROPERTY_TYPE_CARDINAL)) {
      const int strikeAscent = a.type == BDF_PROPERTY_TYPE_INTEGER ? static_cast<int>(a.u.integer)
                                                                   : static_cast<int>(a.u.cardinal);
      const int strikeDescent = d.type == BDF_PROPERTY_TYPE_INTEGER
                                    ? static_cast<int>(d.u.integer)
                                    : static_cast<int>(d.u.cardinal);
      if (strikeAscent > 0 && strikeDescent >= 0 && strikeAscent + strikeDescent <= kCellSize) {
        ascent = strikeAscent;
        descent = strikeDescent;
      }
    }
    return true;
  }

  int Advance(char16_t c) {
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) {
      return 0;
    }
    return RoundedPixels(face->glyph->advance.x);
  }
};

GlyphRasteriser::GlyphRasteriser() {
  Clear();
}

GlyphRasteriser::~GlyphRasteriser() = default;

void GlyphRasteriser::SetFontFile(const std::string& path) {
  if (path != fontFile_) {
    fontFile_ = path;
    face_.reset();
    openPath_.clear();
    openError_.clear();
  }
}

bool GlyphRasteriser::TryOpen(std::string* error) {
  std::string path = fontFile_;
  int index = 0;
  if (path.empty() && !FindDefaultGlyphFont(&path, &index)) {
    if (error != nullptr) {
      *error =
          "No font for the glyphs is installed (WenQuanYi Bitmap Song or AR PL UMing); "
          "name a font file with \"FontFile\" in the settings.";
    }
    return false;
  }
  auto face = std::make_unique<Face>();
  if (FT_Init_FreeType(&face->library) != 0 ||
      FT_New_Face(face->library, path.c_str(), index, &face->face) != 0) {
    if (error != nullptr) {
      *error = "Cannot open the glyph font \"" + path + "\".";
    }
    return false;
  }
  FT_Select_Charmap(face->face, FT_ENCODING_UNICODE);
  if (!face->SetSize()) {
    if (error != nullptr) {
      *error = "The glyph font \"" + path + "\" has no 13-pixel size.";
    }
    return false;
  }
  face_ = std::move(face);
  openPath_ = path;
  return true;
}

void GlyphRasteriser::Clear() {
  std::memset(pixels_, 0, sizeof(pixels_));
}

void GlyphRasteriser::Measure(std::u16string_view text, int* cx, int* cy) {
  *cx = 0;
  *cy = 0;
  if (!face_) {
    return;
  }
  for (char16_t c : text) {
    *cx += face_->Advance(c);
  }
  *cy = face_->ascent + face_->descent;
}

void GlyphRasteriser::DrawText(int x, std::u16string_view text) {
  if (!face_) {
    return;
  }
  int cx = 0;
  int cy = 0;
  Measure(text, &cx, &cy);
  // The opaque background: the text's whole extent becomes white first.
  for (int row = 0; row < cy && row < kCellSize; ++row) {
    for (int col = x < 0 ? 0 : x; col < x + cx && col < kCellSize; ++col) {
      pixels_[row][col] = 0;
    }
  }
  FT_Face face = face_->face;
  int pen = x;
  for (char16_t c : text) {
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
      continue;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int left = pen + slot->bitmap_left;
    const int top = face_->ascent - slot->bitmap_top;
    for (unsigned r = 0; r < bitmap.rows; ++r) {
      const int row = top + static_cast<int>(r);
      if (row < 0 || row >= kCellSize) {
        continue;
      }
      const unsigned char* line =
          bitmap.pitch >= 0
              ? bitmap.buffer + r * bitmap.pitch
              : bitmap.buffer + (bitmap.rows - 1 - r) * static_cast<unsigned>(-bitmap.pitch);
      for (unsigned b = 0; b < bitmap.width; ++b) {
        const int col = left + static_cast<int>(b);
        if (col < 0 || col >= kCellSize) {
          continue;
        }
        bool ink = false;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
          ink = (line[b >> 3] >> (7 - (b & 7))) & 1;
        } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
          ink = line[b] != 0;
        }
        if (ink) {
          pixels_[row][col] = 1;
        }
      }
    }
    pen += RoundedPixels(slot->advance.x);
  }
}

}  // namespace fw
