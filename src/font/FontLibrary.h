#pragma once
// The font library image sent to the radio after its data: 153650 bytes, a 50-byte header
// (a 7-character UTF-16LE version text at 0, the Windows language id at offset 15) and
// the payload from offset 50. The character-set images carry the value 153600 at offset 54
// (over payload bytes 4 to 7); the Korean one also a table from glyph index to UTF-16
// character at 143360 (5120 entries of 16 bits).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "font/GlyphImageBuilder.h"

namespace fw {

struct FontLibrary {
  static constexpr size_t kBufferSize = 153650;
  static constexpr size_t kImageSize = 153600;
  static constexpr size_t kHeaderSize = 50;
  static constexpr size_t kMaxPayload = kImageSize;  // a language file's largest size
  static constexpr size_t kLanguageOffset = 15;
  static constexpr size_t kSizeOffset = 54;
  static constexpr size_t kIndexTableOffset = 143360;  // 0x23000
  static constexpr int kIndexTableEntries = 5120;

  // Writes the 7 characters of `version` (ASCII) as UTF-16LE at offsets 0 to 13.
  static void WriteVersion(uint8_t* buffer, std::string_view version);
  static void WriteLanguage(uint8_t* buffer, uint16_t languageId);
  static void WriteImageSize(uint8_t* buffer);
  // Stores `character` as index table entry `index` (ignored outside 1..5119).
  static void SetIndexEntry(uint8_t* buffer, int index, char16_t character);
};

// How one character-set image is built.
struct CharacterSetParams {
  std::string_view versionText;  // "8.01.01" or "9.03.03"
  uint16_t languageId;           // 0x0804 or 0x0412
  size_t payloadLength;          // bytes of the glyph image kept: 153550 or 143310
  bool withIndexTable;           // the Korean image's glyph index table
};

// Renders the `entryCount` 32-byte entries of `scratch` into `builder`'s glyph image and
// fills the 153650-byte `target` with the image: header, payload, size value and (when
// asked) the index table. The entries are rewritten with glyph codes. Glyph entries are
// only given out where the payload keeps them. `fullWidth` is the full-width flag as it
// stands when the build begins; setting it afterwards is the caller's business.
void RenderCharacterSet(GlyphImageBuilder& builder, uint8_t* scratch, int entryCount,
                        const CharacterSetParams& params, bool fullWidth, uint8_t* target);

}  // namespace fw
