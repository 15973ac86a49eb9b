// The glyph rasteriser on GDI: a 16 x 16 DIB section in a memory device context, the font
// created 13 pixels high (the em; for "宋体" the em is its whole cell), normal weight, GB2312
// character set and no anti-aliasing, text drawn in black on an opaque white background.
//
// For an outline font the cell and the advances come from the font's own tables (hhea, hmtx)
// scaled and rounded as FreeType does for the FreeType rasteriser, so that both draw a font
// they share into the same pixels: GDI's own text metrics round some advances and the ascent
// one pixel higher (AR PL UMing at 13 pixels: advance 14 and ascent 12 against 13 and 11).
// Fonts without those tables keep GDI's metrics.
//
// The face is the system's Song face ("SimSun", "宋体"), else the same stand-ins as the
// FreeType rasteriser (WenQuanYi Bitmap Song, AR PL UMing CN). A "FontFile" setting names a
// font file (loaded privately for this process, its first face used) or an installed face.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> makes DrawText a macro for DrawTextW; here it is the rasteriser's own.
#undef DrawText

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "font/GlyphRasteriser.h"
#include "platform/CodePage.h"

namespace fw {
namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

// Installed faces tried for "宋体", in order.
const char* const kDefaultFaces[] = {"SimSun", "\xE5\xAE\x8B\xE4\xBD\x93", "WenQuanYi Bitmap Song",
                                     "AR PL UMing CN"};

std::wstring Wide(const std::string& utf8) {
  const std::u16string u = Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

bool FaceInstalled(const std::wstring& face) {
  if (face.empty() || face.size() >= LF_FACESIZE) {
    return false;
  }
  LOGFONTW lf;
  ZeroMemory(&lf, sizeof lf);
  lf.lfCharSet = DEFAULT_CHARSET;
  std::memcpy(lf.lfFaceName, face.c_str(), (face.size() + 1) * sizeof(wchar_t));
  HDC dc = CreateCompatibleDC(nullptr);
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
  DeleteDC(dc);
  return found;
}

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool ReadAt(std::ifstream& in, uint64_t offset, size_t size, std::vector<uint8_t>& out) {
  out.assign(size, 0);
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
  return static_cast<size_t>(in.gcount()) == size;
}

// The family name (name 1) of the first face of a TrueType or OpenType file or collection,
// as GDI knows it: the Windows-platform English name, else any Windows-platform name, else
// the Macintosh Roman one. Empty when the file is not such a font.
std::string FontFileFamilyName(const std::string& path) {
  std::ifstream in(std::filesystem::path(Utf8ToUtf16(path)), std::ios::binary);
  std::vector<uint8_t> b;
  if (!in || !ReadAt(in, 0, 12, b)) {
    return {};
  }
  uint64_t offsetTable = 0;
  if (Be32(b.data()) == 0x74746366) {  // "ttcf": the first face's table directory
    if (!ReadAt(in, 12, 4, b)) {
      return {};
    }
    offsetTable = Be32(b.data());
    if (!ReadAt(in, offsetTable, 12, b)) {
      return {};
    }
  }
  const uint32_t version = Be32(b.data());
  if (version != 0x00010000 && version != 0x4F54544F && version != 0x74727565) {
    return {};
  }
  const uint16_t tables = Be16(b.data() + 4);
  std::vector<uint8_t> dir;
  if (!ReadAt(in, offsetTable + 12, static_cast<size_t>(tables) * 16, dir)) {
    return {};
  }
  uint32_t nameOffset = 0;
  uint32_t nameLength = 0;
  for (uint16_t i = 0; i < tables; ++i) {
    if (std::memcmp(dir.data() + i * 16, "name", 4) == 0) {
      nameOffset = Be32(dir.data() + i * 16 + 8);
      nameLength = Be32(dir.data() + i * 16 + 12);
    }
  }
  std::vector<uint8_t> name;
  if (nameLength < 6 || nameLength > (1u << 20) || !ReadAt(in, nameOffset, nameLength, name)) {
    return {};
  }
  const uint16_t count = Be16(name.data() + 2);
  const uint16_t strings = Be16(name.data() + 4);
  std::string best;
  int bestRank = 0;
  for (uint16_t i = 0; i < count && 6u + (i + 1u) * 12u <= name.size(); ++i) {
    const uint8_t* r = name.data() + 6 + i * 12;
    const uint16_t platform = Be16(r);
    const uint16_t language = Be16(r + 4);
    const uint16_t id = Be16(r + 6);
    const uint16_t length = Be16(r + 8);
    const size_t at = static_cast<size_t>(strings) + Be16(r + 10);
    if (id != 1 || at + length > name.size()) {
      continue;
    }
    int rank = 0;
    std::string text;
    if (platform == 3) {
      rank = language == 0x0409 ? 3 : 2;
      std::u16string u;
      for (size_t k = 0; k + 1 < length; k += 2) {
        u.push_back(static_cast<char16_t>(Be16(name.data() + at + k)));
      }
      text = Utf16ToUtf8(u);
    } else if (platform == 1) {
      rank = 1;
      text.assign(reinterpret_cast<const char*>(name.data() + at), length);
    }
    if (rank > bestRank && !text.empty()) {
      best = text;
      bestRank = rank;
    }
  }
  return best;
}

}  // namespace

// On Windows the "path" of an installed face is its face name, and the pixel size is left to
// GDI (outline faces scale; bitmap faces give their nearest size).
bool FindInstalledFont(const char* family, double /*pixelSize*/, std::string* path,
                       int* faceIndex) {
  if (!FaceInstalled(Wide(family))) {
    return false;
  }
  *path = family;
  *faceIndex = 0;
  return true;
}

bool FindDefaultGlyphFont(std::string* path, int* faceIndex) {
  for (const char* face : kDefaultFaces) {
    if (FindInstalledFont(face, GlyphRasteriser::kPixelSize, path, faceIndex)) {
      return true;
    }
  }
  return false;
}

namespace {

constexpr DWORD Tag(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<uint8_t>(a)) |
         static_cast<DWORD>(static_cast<uint8_t>(b)) << 8 |
         static_cast<DWORD>(static_cast<uint8_t>(c)) << 16 |
         static_cast<DWORD>(static_cast<uint8_t>(d)) << 24;
}

bool FontTable(HDC dc, DWORD tag, std::vector<uint8_t>& out) {
  const DWORD size = GetFontData(dc, tag, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0 || size > (16u << 20)) {
    return false;
  }
  out.assign(size, 0);
  return GetFontData(dc, tag, 0, out.data(), size) == size;
}

// FreeType's fixed-point scaling (16.16 factor, 26.6 pixels), for positive and negative values.
int64_t DivFix(int64_t a, int64_t b) {
  return (a * 65536 + b / 2) / b;
}
int64_t MulFix(int64_t a, int64_t b) {
  const int64_t p = a * b;
  return p >= 0 ? (p + 0x8000) >> 16 : -((-p + 0x8000) >> 16);
}

}  // namespace

struct GlyphRasteriser::Face {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  HFONT font = nullptr;
  HGDIOBJ oldFont = nullptr;
  uint32_t* bits = nullptr;  // kCellSize rows from the top, 0x00RRGGBB
  std::wstring privateFile;  // a font file loaded for this process only
  // The cell: rows above and below the baseline.
  int ascent = 0;
  int descent = 0;
  // Advance in pixels by glyph index, from the font's tables; empty: GDI's own widths.
  std::vector<int> advances;

  ~Face() {
    if (dc != nullptr) {
      if (oldFont != nullptr) {
        SelectObject(dc, oldFont);
      }
      if (oldBitmap != nullptr) {
        SelectObject(dc, oldBitmap);
      }
      DeleteDC(dc);
    }
    if (font != nullptr) {
      DeleteObject(font);
    }
    if (bitmap != nullptr) {
      DeleteObject(bitmap);
    }
    if (!privateFile.empty()) {
      RemoveFontResourceExW(privateFile.c_str(), FR_PRIVATE, nullptr);
    }
  }

  bool Create(const std::wstring& faceName) {
    dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
      return false;
    }
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kCellSize;
    info.bmiHeader.biHeight = -kCellSize;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bitmap == nullptr || pixels == nullptr) {
      return false;
    }
    bits = static_cast<uint32_t*>(pixels);
    oldBitmap = SelectObject(dc, bitmap);
    font = CreateFontW(-kPixelSize, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, NONANTIALIASED_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, faceName.c_str());
    if (font == nullptr) {
      return false;
    }
    oldFont = SelectObject(dc, font);
    SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    SetBkMode(dc, TRANSPARENT);  // the background is painted as one rectangle
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    TEXTMETRICW tm;
    if (!GetTextMetricsW(dc, &tm)) {
      return false;
    }
    ascent = tm.tmAscent;
    descent = tm.tmDescent;
    ReadScaledMetrics();
    return true;
  }

  // The cell and the advances as FreeType scales the font's head, hhea and hmtx tables to a
  // 13-pixel em: ascender rounded up, descender rounded down, advances rounded.
  void ReadScaledMetrics() {
    std::vector<uint8_t> head;
    std::vector<uint8_t> hhea;
    std::vector<uint8_t> hmtx;
    if (!FontTable(dc, Tag('h', 'e', 'a', 'd'), head) || head.size() < 54 ||
        !FontTable(dc, Tag('h', 'h', 'e', 'a'), hhea) || hhea.size() < 36 ||
        !FontTable(dc, Tag('h', 'm', 't', 'x'), hmtx)) {
      return;
    }
    const int64_t unitsPerEm = Be16(head.data() + 18);
    const int64_t ascender = static_cast<int16_t>(Be16(hhea.data() + 4));
    const int64_t descender = static_cast<int16_t>(Be16(hhea.data() + 6));
    const size_t longMetrics = Be16(hhea.data() + 34);
    if (unitsPerEm < 16 || longMetrics == 0 || hmtx.size() < longMetrics * 4 ||
        (ascender == 0 && descender == 0)) {
      return;
    }
    const int64_t scale = DivFix(kPixelSize * 64, unitsPerEm);
    const int64_t up = (MulFix(ascender, scale) + 63) & ~int64_t{63};
    const int64_t down = MulFix(descender, scale) & ~int64_t{63};
    ascent = static_cast<int>((up + 63) >> 6);
    descent = static_cast<int>((-down + 63) >> 6);
    ReadStrikeCell();
    advances.resize(longMetrics);
    for (size_t i = 0; i < longMetrics; ++i) {
      const int64_t advance = (MulFix(Be16(hmtx.data() + i * 4), scale) + 32) & ~int64_t{63};
      advances[i] = static_cast<int>(advance >> 6);
    }
  }

  // A font with bitmap strikes may state each strike's cell in a 'BDF ' table; the strike of
  // the 13-pixel em is drawn in its own cell, as the FreeType rasteriser draws it.
  void ReadStrikeCell() {
    std::vector<uint8_t> bdf;
    if (!FontTable(dc, Tag('B', 'D', 'F', ' '), bdf) || bdf.size() < 8) {
      return;
    }
    const size_t strikes = Be16(bdf.data() + 2);
    const size_t strings = Be32(bdf.data() + 4);
    size_t items = 8 + strikes * 4;  // the properties of the strikes, one strike after another
    int strikeAscent = -1;
    int strikeDescent = -1;
    for (size_t s = 0; s < strikes && 8 + s * 4 + 4 <= bdf.size(); ++s) {
      const int ppem = Be16(bdf.data() + 8 + s * 4);
      const size_t count = Be16(bdf.data() + 8 + s * 4 + 2);
      for (size_t i = 0; i < count && items + (i + 1) * 10 <= bdf.size(); ++i) {
        const uint8_t* item = bdf.data() + items + i * 10;
        const size_t nameAt = strings + Be32(item);
        const int type = Be16(item + 4) & 0x0F;
        const auto value = static_cast<int32_t>(Be32(item + 6));
        if (ppem != kPixelSize || (type != 1 && type != 2) || nameAt >= bdf.size()) {
          continue;
        }
        const char* name = reinterpret_cast<const char*>(bdf.data() + nameAt);
        const size_t room = bdf.size() - nameAt;
        if (std::strncmp(name, "FONT_ASCENT", room) == 0) {
          strikeAscent = value;
        } else if (std::strncmp(name, "FONT_DESCENT", room) == 0) {
          strikeDescent = value;
        }
      }
      items += count * 10;
    }
    if (strikeAscent > 0 && strikeDescent >= 0 && strikeAscent + strikeDescent <= kCellSize) {
      ascent = strikeAscent;
      descent = strikeDescent;
    }
  }

  // The advance of each character of `text` (glyphs past the long metrics share the last).
  std::vector<int> Advances(std::u16string_view text) {
    std::vector<int> widths(text.size(), 0);
    if (text.empty()) {
      return widths;
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    if (!advances.empty()) {
      std::vector<WORD> glyphs(text.size(), 0);
      if (GetGlyphIndicesW(dc, wide, static_cast<int>(text.size()), glyphs.data(),
                           GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR) {
        for (size_t i = 0; i < text.size(); ++i) {
          const size_t g = glyphs[i] == 0xFFFF ? 0 : glyphs[i];
          widths[i] = advances[std::min(g, advances.size() - 1)];
        }
        return widths;
      }
    }
    for (size_t i = 0; i < text.size(); ++i) {
      SIZE size = {0, 0};
      GetTextExtentPoint32W(dc, wide + i, 1, &size);
      widths[i] = size.cx;
    }
    return widths;
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
          "No font for the glyphs is installed (SimSun, WenQuanYi Bitmap Song or AR PL UMing); "
          "name a font file with \"FontFile\" in the settings.";
    }
    return false;
  }
  auto face = std::make_unique<Face>();
  std::wstring faceName;
  const std::wstring widePath = Wide(path);
  const DWORD attributes = GetFileAttributesW(widePath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    // A font file: loaded for this process only, its first face by its family name.
    const std::string family = FontFileFamilyName(path);
    if (!family.empty() && AddFontResourceExW(widePath.c_str(), FR_PRIVATE, nullptr) > 0) {
      face->privateFile = widePath;
      faceName = Wide(family);
      if (!FaceInstalled(faceName)) {
        faceName.clear();
      }
    }
  } else if (FaceInstalled(widePath)) {
    faceName = widePath;  // an installed face named in place of a file
  }
  if (faceName.empty()) {
    if (error != nullptr) {
      *error = "Cannot open the glyph font \"" + path + "\".";
    }
    return false;
  }
  if (!face->Create(faceName)) {
    if (error != nullptr) {
      *error = "The glyph font \"" + path + "\" has no 13-pixel size.";
    }
    return false;
  }
  face_ = std::move(face);
  openPath_ = path;
  // The surface starts as the last picture (normally blank).
  for (int y = 0; y < kCellSize; ++y) {
    for (int x = 0; x < kCellSize; ++x) {
      face_->bits[y * kCellSize + x] = pixels_[y][x] != 0 ? 0 : kWhite;
    }
  }
  return true;
}

void GlyphRasteriser::Clear() {
  std::memset(pixels_, 0, sizeof(pixels_));
  if (face_) {
    GdiFlush();
    for (int i = 0; i < kCellSize * kCellSize; ++i) {
      face_->bits[i] = kWhite;
    }
  }
}

void GlyphRasteriser::Measure(std::u16string_view text, int* cx, int* cy) {
  *cx = 0;
  *cy = 0;
  if (!face_) {
    return;
  }
  for (int advance : face_->Advances(text)) {
    *cx += advance;
  }
  *cy = face_->ascent + face_->descent;
}

void GlyphRasteriser::DrawText(int x, std::u16string_view text) {
  if (!face_) {
    return;
  }
  std::vector<int> advances = face_->Advances(text);
  int cx = 0;
  for (int advance : advances) {
    cx += advance;
  }
  // The opaque background over the text's extent, then the glyphs on their baseline, each
  // at its own advance.
  RECT background = {x, 0, x + cx, face_->ascent + face_->descent};
  ExtTextOutW(face_->dc, x, face_->ascent, ETO_OPAQUE, &background,
              reinterpret_cast<const wchar_t*>(text.data()), static_cast<UINT>(text.size()),
              advances.empty() ? nullptr : advances.data());
  GdiFlush();
  for (int y = 0; y < kCellSize; ++y) {
    for (int col = 0; col < kCellSize; ++col) {
      pixels_[y][col] = (face_->bits[y * kCellSize + col] & 0x00FFFFFF) != kWhite ? 1 : 0;
    }
  }
}

}  // namespace fw
