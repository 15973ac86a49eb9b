#pragma once
// The glyph rasteriser: draws text into a 16 x 16 monochrome cell the way the radios'
// font tools expect it. The font stands for the 13-pixel "宋体" face: the top of the
// font's cell lies on row 0, the pen starts at the given column, each draw paints its
// own background white over the text's extent (ascent + descent high, advance wide)
// before it inks the glyphs.
//
// The font is opened once and kept open; every draw renders its glyphs anew.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace fw {

class GlyphRasteriser {
 public:
  static constexpr int kCellSize = 16;   // the drawing surface is 16 x 16 pixels
  static constexpr int kPixelSize = 13;  // the font's cell height

  GlyphRasteriser();
  ~GlyphRasteriser();
  GlyphRasteriser(const GlyphRasteriser&) = delete;
  GlyphRasteriser& operator=(const GlyphRasteriser&) = delete;

  // Names the font file to use; empty selects the installed stand-in for "宋体": with
  // fontconfig WenQuanYi Bitmap Song 13 px, then AR PL UMing CN; on Windows SimSun ("宋体"),
  // then the same two. On Windows the setting may also name an installed face. A change
  // closes the open font.
  void SetFontFile(const std::string& path);
  const std::string& FontFile() const { return fontFile_; }

  // Opens the font unless it is open. Returns false and an error text when there is none;
  // a failure is remembered (and not retried) until the font file setting changes.
  bool Open(std::string* error = nullptr);
  bool IsOpen() const;
  // The file of the open font (on Windows the face name for an installed face; empty while
  // closed).
  const std::string& OpenFontPath() const { return openPath_; }

  // Fills the whole surface with white.
  void Clear();
  // Draws `text` with its cell's top-left corner at (x, 0) on an opaque white background.
  // Without an open font nothing is drawn.
  void DrawText(int x, std::u16string_view text);
  // Measures `text`: cx is the sum of the advances, cy the font's ascent plus descent.
  void Measure(std::u16string_view text, int* cx, int* cy);
  // True where the pixel at (x, y) is not white; false outside the surface.
  bool Ink(int x, int y) const;

 private:
  struct Face;
  bool TryOpen(std::string* error);

  std::unique_ptr<Face> face_;
  std::string fontFile_;
  std::string openPath_;
  std::string openError_;  // why the last attempt failed; empty when not tried or open
  uint8_t pixels_[kCellSize][kCellSize];  // [row][column], 1 = ink
};

// Finds the installed stand-in for "宋体": WenQuanYi Bitmap Song at (or nearest to) 13
// pixels, else AR PL UMing CN (on Windows SimSun first). Returns false when none is
// installed.
bool FindDefaultGlyphFont(std::string* path, int* faceIndex);

// Finds an installed face of `family` whose pixel size is nearest to `pixelSize`. On Windows
// `path` receives the face name (GDI scales the face itself) and `faceIndex` 0.
bool FindInstalledFont(const char* family, double pixelSize, std::string* path, int* faceIndex);

}  // namespace fw
