// A character list of arbitrary bytes read and rendered into a character-set font image,
// as the start-up does with "SimpleCH.dat" and "SimpleCH_0412.dat" (without the file). The
// first input byte picks the Chinese or the Korean image and the full-width flag. At most
// 64 entries are read, so that every run stays short.

#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "font/CharacterList.h"
#include "font/FontLibrary.h"
#include "font/GlyphImageBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto* builder = [] {  // its font is opened once
    auto* b = new fw::GlyphImageBuilder();
    std::string error;
    if (!b->Rasteriser().Open(&error)) {
      std::fprintf(stderr, "no glyph font, glyphs stay blank: %s\n", error.c_str());
    } else {
      std::fprintf(stderr, "glyph font: %s\n", b->Rasteriser().OpenFontPath().c_str());
    }
    return b;
  }();
  static std::vector<uint8_t> target(fw::FontLibrary::kBufferSize);
  if (size == 0) {
    return 0;
  }
  const bool korean = (data[0] & 1) != 0;
  const bool fullWidth = (data[0] & 2) != 0;
  ++data;
  --size;

  std::vector<uint8_t> scratch(64 * fw::kCharacterEntrySize);
  fw::CharacterListResult list = fw::ReadCharacterList(data, size, scratch.data(), scratch.size());
  const fw::CharacterSetParams params =
      korean ? fw::CharacterSetParams{"9.03.03", 0x0412, 143310, true}
             : fw::CharacterSetParams{"8.01.01", 0x0804, 153550, false};
  fw::RenderCharacterSet(*builder, scratch.data(), list.entryCount, params, fullWidth,
                         target.data());
  FUZZ_CHECK(target[15] == (params.languageId & 0xFF) && target[16] == params.languageId >> 8);
  FUZZ_CHECK(builder->renderingEnabled == 0);
  return 0;
}
