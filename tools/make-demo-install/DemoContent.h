#pragma once
// The contents of the demo installation's files, built in memory. Everything is generated
// from fixed seeds, so two runs give the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "DemoLayout.h"

namespace fw {
class GlyphImageBuilder;
}

namespace fw::demo {

// `size` bytes from a 64-bit generator (splitmix64) started at `seed`.
std::vector<uint8_t> PseudoRandomBytes(uint64_t seed, size_t size);

// A main firmware image: a 64-byte head (the text "FLASHWRIGHT DEMO IMAGE", the image's
// title, its size as 4 bytes little-endian at offset 60), then pseudo-random bytes.
std::vector<uint8_t> FirmwareImage(const ImageFile& image);

// A firmware-chip hex file: page records 0, 1 and 2 each followed by that page's data
// records, then the end record.
std::string ChipHexText(const HexFile& hex);

// "Flashwright.ini": section "Setting" with every key the program reads, each after a
// comment saying what it does, then a commented section "Ports" (last in the file, so
// that lines appended to the file land in it).
std::string SettingsText();

// "config/r55/Model.dat": the accepted areas and the model lines.
std::string ModelFileText();

// The 32-byte identity block of a 16-character identifier: its UTF-16LE code units.
std::vector<uint8_t> IdentityBlock(const std::string& identifier);

// Template data of `size` bytes: pseudo-random, with the demo language at offset 766.
std::vector<uint8_t> TemplateData(uint32_t size);

// A character list: UTF-16LE, a line holding only the byte-order mark, then lines of
// `perLine` characters (CR LF ends each): a line of common punctuation, then `count`
// GB2312 characters from `firstCode` on.
std::vector<uint8_t> CharacterList(uint16_t firstCode, int count, int perLine);

// The English language font file: the glyphs of the printable ASCII characters as
// rendered by `builder`. Returns the file; `warning` is set when no font could be opened
// (the glyphs are then blank).
std::vector<uint8_t> LanguageFont(GlyphImageBuilder& builder, std::string* warning);

}  // namespace fw::demo
