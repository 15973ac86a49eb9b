#include "font/FontLibrary.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "font/CharacterList.h"

namespace fw {

void FontLibrary::WriteVersion(uint8_t* buffer, std::string_view version) {
  for (size_t i = 0; i < 7; ++i) {
    buffer[2 * i] = i < version.size() ? static_cast<uint8_t>(version[i]) : 0;
    buffer[2 * i + 1] = 0;
  }
}

void FontLibrary::WriteLanguage(uint8_t* buffer, uint16_t languageId) {
  buffer[kLanguageOffset] = static_cast<uint8_t>(languageId & 0xFF);
  buffer[kLanguageOffset + 1] = static_cast<uint8_t>(languageId >> 8);
}

void FontLibrary::WriteImageSize(uint8_t* buffer) {
  const uint32_t v = kImageSize;
  for (size_t i = 0; i < 4; ++i) {
    buffer[kSizeOffset + i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

void FontLibrary::SetIndexEntry(uint8_t* buffer, int index, char16_t character) {
  if (index <= 0 || index >= kIndexTableEntries) {
    return;
  }
  uint8_t* e = buffer + kIndexTableOffset + 2 * static_cast<size_t>(index);
  e[0] = static_cast<uint8_t>(character & 0xFF);
  e[1] = static_cast<uint8_t>(character >> 8);
}

void RenderCharacterSet(GlyphImageBuilder& builder, uint8_t* scratch, int entryCount,
                        const CharacterSetParams& params, bool fullWidth, uint8_t* target) {
  // The payload never reaches past the image (nor, with a table, into the table).
  const size_t room =
      (params.withIndexTable ? FontLibrary::kIndexTableOffset : FontLibrary::kImageSize) -
      FontLibrary::kHeaderSize;
  const size_t payload = std::min(params.payloadLength, room);
  builder.ClearImage();
  // Only entries that the payload keeps whole may be given out; a character beyond them
  // is written back as "??" instead of a code that points at a glyph the radio never gets.
  builder.SetEntryLimit(static_cast<int>(payload / GlyphImageBuilder::kEntrySize));
  builder.renderingEnabled = 1;
  std::memset(target, 0, FontLibrary::kBufferSize);
  std::vector<GlyphImageBuilder::Placed> placed;
  for (int k = 0; k < entryCount; ++k) {
    placed.clear();
    builder.EncodeEntry(scratch + static_cast<size_t>(k) * kCharacterEntrySize, kCharacterEntrySize,
                        fullWidth, &placed);
    if (!params.withIndexTable) {
      continue;
    }
    // Each double-byte glyph's index receives the character it was made for.
    for (const auto& p : placed) {
      if (p.code > 0xFF) {
        const int index = ((p.code & 0x7F) << 8) | (p.code >> 8);
        FontLibrary::SetIndexEntry(target, index, p.character);
      }
    }
  }
  builder.CopyOut(target + FontLibrary::kHeaderSize, payload);
  FontLibrary::WriteLanguage(target, params.languageId);
  FontLibrary::WriteImageSize(target);
  FontLibrary::WriteVersion(target, params.versionText);
  builder.renderingEnabled = 0;
  builder.SetEntryLimit(GlyphImageBuilder::kEntryCount);
}

}  // namespace fw
