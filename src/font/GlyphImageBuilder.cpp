#include "font/GlyphImageBuilder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace fw {

GlyphImageBuilder::GlyphImageBuilder() : image_(kImageSize, 0), entryOfCode_(65536, 0) {}

GlyphImageBuilder::~GlyphImageBuilder() = default;

void GlyphImageBuilder::ClearImage() {
  std::fill(image_.begin(), image_.end(), 0);
  std::fill(entryOfCode_.begin(), entryOfCode_.end(), 0);
  freeFrom_ = kFirstDoubleByteEntry;
}

void GlyphImageBuilder::Remember(int i, uint16_t code) {
  if (entryOfCode_[code] == 0 || entryOfCode_[code] > i) {
    entryOfCode_[code] = static_cast<uint16_t>(i);
  }
  while (freeFrom_ < kEntryCount && (freeFrom_ % 256 == 0 || EntryCode(freeFrom_) != 0)) {
    ++freeFrom_;
  }
}

void GlyphImageBuilder::SetEntryLimit(int limit) {
  entryLimit_ = std::clamp(limit, kFirstDoubleByteEntry, kEntryCount);
}

uint16_t GlyphImageBuilder::GlyphCodeOf(int entry) {
  return static_cast<uint16_t>(((entry & 0xFF) << 8) | 0x80 | (entry >> 8));
}

uint16_t GlyphImageBuilder::EntryCode(int i) const {
  const uint8_t* e = &image_[static_cast<size_t>(i) * kEntrySize];
  return static_cast<uint16_t>(e[0] | (e[1] << 8));
}

int GlyphImageBuilder::FindEntry(uint16_t code) const {
  if (code != 0) {
    return entryOfCode_[code];
  }
  for (int i = freeFrom_; i < kEntryCount; ++i) {
    if (i % 256 != 0 && EntryCode(i) == code) {
      return i;
    }
  }
  return 0;
}

int GlyphImageBuilder::FirstFreeEntry() const {
  for (int i = freeFrom_; i < entryLimit_; ++i) {
    if (i % 256 != 0 && EntryCode(i) == 0) {
      return i;
    }
  }
  return 0;
}

int GlyphImageBuilder::CopyOut(uint8_t* destination, size_t n) const {
  if (destination == nullptr || n > image_.size()) {
    return 0;
  }
  std::memcpy(destination, image_.data(), n);
  return 1;
}

int GlyphImageBuilder::RenderGlyph(const uint8_t* bytes, int length, bool fullWidth) {
  const std::u16string text =
      Cp936ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes), length));
  GlyphRasteriser& r = rasteriser_;
  r.Open();  // without a font the cell stays blank
  r.Clear();
  r.DrawText(0, text);
  int cx = 0;
  int cy = 0;
  r.Measure(text, &cx, &cy);
  if (fullWidth) {
    // Two blanks wipe the first draw over their width; a half-width glyph of exactly
    // 8 columns is then centred in the 16-column cell.
    r.DrawText(0, u"  ");
    r.DrawText(cx == 8 ? 4 : 0, text);
  } else {
    r.DrawText(0, text);
  }
  std::memset(glyphCell, 0, sizeof(glyphCell));
  const int basis = fullWidth ? 16 : cx;
  const int width = basis <= 8 ? 8 : 16;
  const int height = cy <= 8 ? 8 : 16;
  const int bytesPerRow = width / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (r.Ink(x, y)) {
        glyphCell[y * bytesPerRow + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  return width == 16 ? 1 : 0;
}

uint16_t GlyphImageBuilder::RegisterGlyph(const uint8_t* bytes, int length, bool fullWidth) {
  if (length <= 0) {
    return 0;
  }
  if (renderingEnabled) {
    RenderGlyph(bytes, length, fullWidth);
  }
  if (length == 1) {
    const uint8_t c = bytes[0];
    if (c < 0x80) {
      return 0;
    }
    uint8_t* e = &image_[static_cast<size_t>(c - 0x80) * kEntrySize];
    e[0] = c;
    e[1] = c;
    std::memcpy(e + 2, glyphCell, kGlyphSize);
    return c;
  }
  const uint16_t code = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  if (code == 0) {
    return 0;
  }
  if (int found = FindEntry(code); found != 0) {
    return GlyphCodeOf(found);
  }
  if (!renderingEnabled) {
    return 0;
  }
  const int i = FirstFreeEntry();
  if (i == 0) {
    return 0;
  }
  uint8_t* e = &image_[static_cast<size_t>(i) * kEntrySize];
  e[0] = bytes[0];
  e[1] = bytes[1];
  std::memcpy(e + 2, glyphCell, kGlyphSize);
  Remember(i, code);
  return GlyphCodeOf(i);
}

uint16_t GlyphImageBuilder::CodeFor(char16_t character, bool fullWidth) {
  if (character == 0) {
    return 0;
  }
  const std::string bytes = Utf16ToCp936(std::u16string_view(&character, 1));
  if (bytes.empty()) {
    return 0;
  }
  if (bytes.size() == 1 && static_cast<uint8_t>(bytes[0]) < 0x80) {
    return static_cast<uint8_t>(bytes[0]);
  }
  return RegisterGlyph(reinterpret_cast<const uint8_t*>(bytes.data()),
                       static_cast<int>(bytes.size()), fullWidth);
}

int GlyphImageBuilder::EncodeEntry(uint8_t* entry, int length, bool fullWidth,
                                   std::vector<Placed>* placed) {
  const std::u16string text =
      Cp936ToUtf16(std::string_view(reinterpret_cast<const char*>(entry), length));
  int result = 0;
  int pos = 0;
  for (char16_t ch : text) {
    if (ch == 0) {
      break;
    }
    const uint16_t code = CodeFor(ch, fullWidth);
    // Never more bytes than the character took (a code is at most as long as the
    // character's own bytes), but the entry's end is a hard limit all the same.
    if (code == 0) {
      for (int k = 0; k < 2 && pos < length; ++k) {
        entry[pos++] = '?';
      }
      continue;
    }
    if (code >= 0x80 && placed != nullptr) {
      placed->push_back({ch, code});
    }
    if (code > 0x80 && fullWidth) {
      if (pos < length) {
        entry[pos++] = static_cast<uint8_t>(code & 0xFF);
      }
      if (pos < length) {
        entry[pos++] = static_cast<uint8_t>(code >> 8);
      }
      result = 1;
    } else if (pos < length) {
      entry[pos++] = static_cast<uint8_t>(code & 0xFF);
    }
  }
  return result;
}

}  // namespace fw
