#include "font/GlyphRasteriser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "font/GlyphImageBuilder.h"
#include "platform/CodePage.h"

namespace fw {
namespace {

// Rows of a rendered glyph as 16-bit values, column 0 in the most significant bit.
struct Bitmap {
  uint16_t rows[16] = {};
};

Bitmap Rows16(const uint8_t* g) {
  Bitmap b;
  for (int y = 0; y < 16; ++y) {
    b.rows[y] = static_cast<uint16_t>(g[2 * y] << 8 | g[2 * y + 1]);
  }
  return b;
}

int Render(GlyphImageBuilder& builder, char16_t c, bool fullWidth) {
  const std::string bytes = Utf16ToCp936(std::u16string_view(&c, 1));
  return builder.RenderGlyph(reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<int>(bytes.size()), fullWidth);
}

// Checks a rendered 中: a 16-column glyph inside the 13-pixel cell whose tallest column
// (the vertical stroke) is in the middle, with a horizontal bar crossing both bytes.
void ExpectZhong(const uint8_t* cell) {
  const Bitmap b = Rows16(cell);
  for (int y = 13; y < 16; ++y) {
    EXPECT_EQ(b.rows[y], 0) << "row " << y;
  }
  int firstRow = -1;
  int lastRow = -1;
  for (int y = 0; y < 16; ++y) {
    if (b.rows[y] != 0) {
      lastRow = y;
      if (firstRow < 0) {
        firstRow = y;
      }
    }
  }
  EXPECT_GE(firstRow, 0);
  EXPECT_LE(firstRow, 2);  // the cell's top is row 0
  EXPECT_GE(lastRow, 10);
  int bestColumn = -1;
  int bestCount = 0;
  for (int x = 0; x < 16; ++x) {
    int count = 0;
    for (int y = 0; y < 16; ++y) {
      count += (b.rows[y] >> (15 - x)) & 1;
    }
    if (count > bestCount) {
      bestCount = count;
      bestColumn = x;
    }
  }
  EXPECT_GE(bestCount, 10);
  EXPECT_GE(bestColumn, 4);
  EXPECT_LE(bestColumn, 8);
  // Nothing right of the 13-pixel advance.
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(b.rows[y] & 0x0007, 0) << "row " << y;
  }
  // Some row is a bar reaching from the first byte's left half into the second byte.
  bool bar = false;
  for (int y = 0; y < 16; ++y) {
    bar = bar || ((b.rows[y] & 0xC000) != 0 && (b.rows[y] & 0x0030) != 0);
  }
  EXPECT_TRUE(bar);
}

TEST(GlyphRasteriser, DefaultFontIsInstalled) {
  std::string path;
  int index = -1;
  ASSERT_TRUE(FindDefaultGlyphFont(&path, &index));
  EXPECT_FALSE(path.empty());
  GlyphRasteriser r;
  ASSERT_TRUE(r.Open());
  EXPECT_EQ(r.OpenFontPath(), path);
  int cx = 0;
  int cy = 0;
  r.Measure(u"中", &cx, &cy);
  EXPECT_GT(cx, 8);
  EXPECT_LE(cx, 16);
  EXPECT_GT(cy, 8);
}

TEST(GlyphRasteriser, ZhongSitsInTheCellWithItsStrokeInTheMiddle) {
  GlyphImageBuilder builder;
  EXPECT_EQ(Render(builder, u'中', false), 1);
  ExpectZhong(builder.glyphCell);
  uint8_t clear[32];
  std::copy(builder.glyphCell, builder.glyphCell + 32, clear);
  // Full width changes nothing for a glyph wider than 8 columns.
  EXPECT_EQ(Render(builder, u'中', true), 1);
  EXPECT_TRUE(std::equal(clear, clear + 32, builder.glyphCell));
  // Only the first 32 bytes of the work cell are used.
  for (int i = 32; i < 256; ++i) {
    EXPECT_EQ(builder.glyphCell[i], 0);
  }
}

TEST(GlyphRasteriser, AlternativeFontGivesTheSameGeometry) {
  std::string path;
  int index = 0;
  if (!FindInstalledFont("AR PL UMing CN", 13, &path, &index) || index != 0) {
    GTEST_SKIP() << "AR PL UMing is not installed as face 0";
  }
  GlyphImageBuilder builder;
  builder.Rasteriser().SetFontFile(path);
  EXPECT_EQ(Render(builder, u'中', false), 1);
  EXPECT_EQ(builder.Rasteriser().OpenFontPath(), path);
  ExpectZhong(builder.glyphCell);
}

TEST(GlyphRasteriser, MissingNamedFontFileIsAnErrorNamingIt) {
  GlyphRasteriser r;
  r.SetFontFile("no-such-dir/missing-font.pcf");
  std::string error;
  EXPECT_FALSE(r.Open(&error));
  EXPECT_NE(error.find("no-such-dir/missing-font.pcf"), std::string::npos);
  std::string again;
  EXPECT_FALSE(r.Open(&again));
  EXPECT_EQ(again, error);
  // Clearing the setting goes back to the installed font.
  r.SetFontFile("");
  EXPECT_TRUE(r.Open());
  // Without a font every glyph is blank rather than a crash.
  GlyphImageBuilder builder;
  builder.Rasteriser().SetFontFile("no-such-dir/missing-font.pcf");
  Render(builder, u'中', false);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(builder.glyphCell[i], 0);
  }
}

// A printable ASCII character that the open font draws exactly 8 pixels wide, or 0.
char16_t EightWideCharacter(GlyphRasteriser& r) {
  for (char16_t c = u'!'; c < u'~'; ++c) {
    int cx = 0;
    int cy = 0;
    r.Measure(std::u16string_view(&c, 1), &cx, &cy);
    if (cx == 8) {
      return c;
    }
  }
  return 0;
}

TEST(GlyphRasteriser, HalfWidthGlyphIsEightColumnsOrCentredWhenFullWidth) {
  GlyphImageBuilder builder;
  ASSERT_TRUE(builder.Rasteriser().Open());
  const char16_t c = EightWideCharacter(builder.Rasteriser());
  if (c == 0) {
    GTEST_SKIP() << "the font has no 8-pixel-wide ASCII character";
  }
  EXPECT_EQ(Render(builder, c, false), 0);
  uint8_t narrow[32];
  std::copy(builder.glyphCell, builder.glyphCell + 32, narrow);
  // One byte per row: rows 0 to 15 in bytes 0 to 15, nothing behind them.
  for (int i = 16; i < 32; ++i) {
    EXPECT_EQ(narrow[i], 0);
  }
  int inked = 0;
  for (int y = 0; y < 16; ++y) {
    inked += narrow[y] != 0;
  }
  EXPECT_GE(inked, 5);

  // With the flag set the same picture is drawn 4 columns in, 2 bytes per row.
  EXPECT_EQ(Render(builder, c, true), 1);
  const Bitmap wide = Rows16(builder.glyphCell);
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(wide.rows[y], narrow[y] << 4) << "row " << y;
  }
}

TEST(GlyphRasteriser, NarrowerGlyphStaysAtColumnZeroWhenFullWidth) {
  GlyphImageBuilder builder;
  ASSERT_TRUE(builder.Rasteriser().Open());
  int cx = 0;
  int cy = 0;
  builder.Rasteriser().Measure(u"1", &cx, &cy);
  ASSERT_LT(cx, 8);
  EXPECT_EQ(Render(builder, u'1', false), 0);
  uint8_t narrow[16];
  std::copy(builder.glyphCell, builder.glyphCell + 16, narrow);
  EXPECT_EQ(Render(builder, u'1', true), 1);
  const Bitmap wide = Rows16(builder.glyphCell);
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(wide.rows[y], narrow[y] << 8) << "row " << y;
  }
}

TEST(GlyphRasteriser, DrawingPaintsItsOwnBackgroundWhite) {
  GlyphRasteriser r;
  ASSERT_TRUE(r.Open());
  r.Clear();
  r.DrawText(0, u"中");
  int before = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      before += r.Ink(x, y);
    }
  }
  EXPECT_GT(before, 20);
  // Blanks drawn over it wipe their own width (two blanks cover at least 8 columns).
  r.DrawText(0, u"  ");
  for (int y = 0; y < 13; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_FALSE(r.Ink(x, y)) << x << "," << y;
    }
  }
  EXPECT_FALSE(r.Ink(-1, 0));
  EXPECT_FALSE(r.Ink(16, 0));
}

// One glyph of AR PL UMing CN at 13 pixels as FreeType draws it (its 13-pixel bitmap strike,
// in the strike's own cell of 11 + 2 rows): the rows with column 0 in the top bit, and the
// advance.
struct SharedGlyph {
  char16_t c;
  int advance;
  uint16_t rows[13];
};

constexpr SharedGlyph kUmingGlyphs[] = {
    {u'中',
     13,
     {0x0400, 0x0400, 0x8420, 0xFFF0, 0x8420, 0x8420, 0x8420, 0xFFE0, 0x8420, 0x0400, 0x0400,
      0x0400, 0x0000}},
    {u'文',
     13,
     {0x0600, 0x0200, 0xFFF0, 0x1040, 0x1040, 0x0880, 0x0880, 0x0500, 0x0200, 0x0500, 0x18C0,
      0xE030, 0x0000}},
    {u'国',
     13,
     {0xFFF0, 0x8010, 0xFFD0, 0x8410, 0x8410, 0xBF90, 0x8410, 0x8510, 0x8490, 0xFFD0, 0x8010,
      0xFFF0, 0x0000}},
    {u'永',
     13,
     {0x0400, 0x0300, 0x0000, 0x3E20, 0x0240, 0x7A80, 0x0B00, 0x0A80, 0x1240, 0x2220, 0x4E30,
      0x8410, 0x0000}},
    {u'龍',
     13,
     {0x1100, 0xFFF0, 0x4500, 0x29F0, 0xFE10, 0x45F0, 0x7D00, 0x45E0, 0x7D00, 0x45E0, 0x4510,
      0x4DF0, 0x0000}},
    {u'，',
     13,
     {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0600, 0x0600, 0x0200, 0x0400, 0x0000, 0x0000,
      0x0000, 0x0000}},
    {u'A',
     6,
     {0x0000, 0x3000, 0x3000, 0x3000, 0x4800, 0x4800, 0x4800, 0xFC00, 0x8400, 0x8400, 0xCC00,
      0x0000, 0x0000}},
    {u'g',
     6,
     {0x0000, 0x0000, 0x0000, 0x0000, 0x3600, 0x4800, 0x4800, 0x3000, 0x4000, 0x7800, 0x8400,
      0x8400, 0x7800}},
};

// The FreeType rasteriser and the GDI one draw a font that both can load into the same
// pixels. The GDI one takes advances from the font's outline metrics: for the Latin letters
// of this font they are one pixel wider than its bitmap strike's, which FreeType uses.
TEST(GlyphRasteriser, SharedFontGivesTheSamePixelsOnEveryPlatform) {
  std::string path;
  int index = 0;
  if (!FindInstalledFont("AR PL UMing CN", 13, &path, &index) || index != 0) {
    GTEST_SKIP() << "AR PL UMing is not installed as face 0";
  }
  GlyphRasteriser r;
  r.SetFontFile(path);
  ASSERT_TRUE(r.Open());
  int differing = 0;
  for (const SharedGlyph& g : kUmingGlyphs) {
    const std::u16string_view text(&g.c, 1);
    r.Clear();
    r.DrawText(0, text);
    int cx = 0;
    int cy = 0;
    r.Measure(text, &cx, &cy);
    EXPECT_EQ(cy, 13) << "U+" << std::hex << static_cast<int>(g.c);
    if (g.c < 0x80) {
      EXPECT_GE(cx, g.advance);
      EXPECT_LE(cx, g.advance + 1);
    } else {
      EXPECT_EQ(cx, g.advance) << "U+" << std::hex << static_cast<int>(g.c);
    }
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const bool expected = y < 13 && ((g.rows[y] >> (15 - x)) & 1) != 0;
        if (r.Ink(x, y) != expected) {
          ++differing;
          ADD_FAILURE() << "U+" << std::hex << static_cast<int>(g.c) << std::dec << " pixel " << x
                        << "," << y;
        }
      }
    }
  }
  EXPECT_EQ(differing, 0);
  // A glyph drawn 4 columns in is the same picture moved: the full-width centring.
  r.Clear();
  r.DrawText(4, u"A");
  for (int y = 0; y < 13; ++y) {
    uint16_t row = 0;
    for (int x = 0; x < 16; ++x) {
      row = static_cast<uint16_t>(row << 1 | (r.Ink(x, y) ? 1 : 0));
    }
    EXPECT_EQ(row, kUmingGlyphs[6].rows[y] >> 4) << "row " << y;
  }
}

#ifdef _WIN32
// Under Wine the host's fonts lie on drive Z:.
constexpr char kUmingFile[] = "Z:\\usr\\share\\fonts\\truetype\\arphic\\uming.ttc";

TEST(GlyphRasteriserGdi, FontFileDrawsLikeItsInstalledFace) {
  if (!std::filesystem::exists(kUmingFile)) {
    GTEST_SKIP() << "no AR PL UMing file on drive Z:";
  }
  GlyphRasteriser byFile;
  byFile.SetFontFile(kUmingFile);
  std::string error;
  ASSERT_TRUE(byFile.Open(&error)) << error;
  EXPECT_EQ(byFile.OpenFontPath(), kUmingFile);
  GlyphRasteriser byFace;
  byFace.SetFontFile("AR PL UMing CN");
  ASSERT_TRUE(byFace.Open());
  for (const char16_t* text : {u"中", u"龍", u"A"}) {
    byFile.Clear();
    byFace.Clear();
    byFile.DrawText(0, text);
    byFace.DrawText(0, text);
    int inked = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(byFile.Ink(x, y), byFace.Ink(x, y)) << x << "," << y;
        inked += byFile.Ink(x, y);
      }
    }
    EXPECT_GT(inked, 10);
  }
}

TEST(GlyphRasteriserGdi, FileThatIsNoFontIsAnErrorNamingIt) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "fw-not-a-font.ttf";
  {
    std::ofstream out(file, std::ios::binary);
    out << "ttcf but not really a font collection";
  }
  GlyphRasteriser r;
  r.SetFontFile(file.string());
  std::string error;
  EXPECT_FALSE(r.Open(&error));
  EXPECT_NE(error.find(file.string()), std::string::npos) << error;
  std::filesystem::remove(file);
}
#endif

}  // namespace
}  // namespace fw
