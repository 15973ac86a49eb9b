#include "font/GlyphRasteriser.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace fw
