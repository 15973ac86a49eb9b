#include "DemoContent.h"

#include <algorithm>
#include <cstring>

#include "HexText.h"
#include "font/GlyphImageBuilder.h"
#include "platform/CodePage.h"

namespace fw::demo {
namespace {

uint64_t SplitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void PutUnit(std::vector<uint8_t>& out, char16_t unit) {
  out.push_back(static_cast<uint8_t>(unit & 0xFF));
  out.push_back(static_cast<uint8_t>(unit >> 8));
}

void PutLineEnd(std::vector<uint8_t>& out) {
  PutUnit(out, u'\r');
  PutUnit(out, u'\n');
}

// The next `count` characters of GB2312 from `code` on (rows 0xB0-0xF7, columns
// 0xA1-0xFE), skipping codes that code page 936 does not map to one character.
std::u16string Gb2312Characters(uint16_t code, int count) {
  std::u16string out;
  int hi = code >> 8;
  int lo = code & 0xFF;
  while (static_cast<int>(out.size()) < count && hi <= 0xF7) {
    const char bytes[2] = {static_cast<char>(hi), static_cast<char>(lo)};
    const std::u16string c = Cp936ToUtf16(std::string_view(bytes, 2));
    if (c.size() == 1 && c[0] >= 0x4E00 && c[0] <= 0x9FFF) {
      out += c;
    }
    if (++lo > 0xFE) {
      lo = 0xA1;
      ++hi;
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> PseudoRandomBytes(uint64_t seed, size_t size) {
  std::vector<uint8_t> out(size);
  uint64_t state = seed;
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t v = SplitMix64(state);
    for (size_t k = 0; k < 8 && i + k < size; ++k) {
      out[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
  }
  return out;
}

std::vector<uint8_t> FirmwareImage(const ImageFile& image) {
  std::vector<uint8_t> out = PseudoRandomBytes(image.seed, image.size);
  if (out.size() < 64) {
    return out;
  }
  std::fill(out.begin(), out.begin() + 64, 0);
  static constexpr char kMagic[] = "FLASHWRIGHT DEMO IMAGE";
  std::memcpy(out.data(), kMagic, sizeof(kMagic) - 1);
  const size_t titleLength = std::min<size_t>(std::strlen(image.title), 60 - 24);
  std::memcpy(out.data() + 24, image.title, titleLength);
  for (int k = 0; k < 4; ++k) {
    out[60 + k] = static_cast<uint8_t>(image.size >> (8 * k));
  }
  return out;
}

std::string ChipHexText(const HexFile& hex) {
  HexText text;
  for (int page = 0; page < 3; ++page) {
    text.Page(static_cast<uint8_t>(page));
    const std::vector<uint8_t> code =
        PseudoRandomBytes(hex.seed + static_cast<uint64_t>(page), hex.pageBytes[page]);
    text.DataRun(hex.pageStart[page], code);
  }
  text.End();
  return text.Text();
}

std::vector<uint8_t> IdentityBlock(const std::string& identifier) {
  std::vector<uint8_t> block(32, 0);
  for (size_t i = 0; i < 16 && i < identifier.size(); ++i) {
    block[2 * i] = static_cast<uint8_t>(identifier[i]);
  }
  return block;
}

std::vector<uint8_t> TemplateData(uint32_t size) {
  std::vector<uint8_t> data = PseudoRandomBytes(kTemplateSeed + size, size);
  if (size >= kLanguageOffset + 2) {
    data[kLanguageOffset] = static_cast<uint8_t>(kLanguageId & 0xFF);
    data[kLanguageOffset + 1] = static_cast<uint8_t>(kLanguageId >> 8);
  }
  return data;
}

std::vector<uint8_t> CharacterList(uint16_t firstCode, int count, int perLine) {
  perLine = std::clamp(perLine, 1, 16);  // 16 double-byte characters fill a 32-byte entry
  std::vector<uint8_t> out;
  PutUnit(out, u'\uFEFF');
  PutLineEnd(out);
  for (char16_t c : std::u16string(u"，。、！？：；（）《》“”")) {
    PutUnit(out, c);
  }
  PutLineEnd(out);
  const std::u16string characters = Gb2312Characters(firstCode, count);
  for (size_t i = 0; i < characters.size(); ++i) {
    PutUnit(out, characters[i]);
    if ((i + 1) % static_cast<size_t>(perLine) == 0 || i + 1 == characters.size()) {
      PutLineEnd(out);
    }
  }
  return out;
}

std::vector<uint8_t> LanguageFont(GlyphImageBuilder& builder, std::string* warning) {
  std::string error;
  if (!builder.Rasteriser().Open(&error) && warning) {
    *warning = "no glyph font (" + error + "); the language font's glyphs are blank";
  }
  std::vector<uint8_t> out;
  for (int c = kLanguageFontFirst; c <= kLanguageFontLast; ++c) {
    const uint8_t ch = static_cast<uint8_t>(c);
    builder.RenderGlyph(&ch, 1, false);
    out.push_back(ch);
    out.push_back(0);
    out.insert(out.end(), builder.glyphCell, builder.glyphCell + GlyphImageBuilder::kGlyphSize);
  }
  return out;
}

}  // namespace fw::demo
