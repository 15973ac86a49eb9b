#pragma once
// What the demo installation holds: file names, sizes and seeds. The generator writes
// these files and the tests check the result against this table.

#include <cstdint>

#include "radio-sim/DemoIdentity.h"

namespace fw::demo {

// The four main firmware images, under the settings keys that name them.
struct ImageFile {
  const char* key;
  const char* fileName;
  uint32_t size;  // bytes; at most 1 MiB
  uint64_t seed;
  const char* title;  // text at the start of the image
};

inline constexpr ImageFile kImageFiles[] = {
    {"MainBin", "KV86_AMBE_V401.bin", 233017, 0x4B563836A1, "KV86 main firmware V4.01 AMBE"},
    // A whole number of 1024-byte blocks: the transfer sends it without padding.
    {"MainBinSelp", "KV86_SELP_V401.bin", 231424, 0x4B563836A2, "KV86 main firmware V4.01 SELP"},
    {"SmallMainBin", "KV86S_AMBE_V399.bin", 151553, 0x4B563836A3,
     "KV86 small-processor firmware V3.99 AMBE"},
    {"SmallMainBinSelp", "KV86S_SELP_V399.bin", 149999, 0x4B563836A4,
     "KV86 small-processor firmware V3.99 SELP"},
};

// The four firmware-chip hex files. Each holds three pages of code: `pageBytes[p]` bytes
// from `pageStart[p]` of page p, in 16-byte records.
struct HexFile {
  const char* key;
  const char* fileName;
  uint64_t seed;
  uint16_t pageStart[3];
  uint16_t pageBytes[3];
};

inline constexpr HexFile kHexFiles[] = {
    {"DadazuHex", "Chip_AMBE_V401.hex", 0x43484950A1, {0x0000, 0x0000, 0x8000}, {2048, 1024, 500}},
    {"DadazuHexSelp",
     "Chip_SELP_V401.hex",
     0x43484950A2,
     {0x0000, 0x0000, 0x8000},
     {2048, 1040, 433}},
    {"SmallDadazuHex",
     "ChipS_AMBE_V399.hex",
     0x43484950A3,
     {0x0000, 0x0000, 0x4000},
     {1536, 768, 250}},
    {"SmallDadazuHexSelp",
     "ChipS_SELP_V399.hex",
     0x43484950A4,
     {0x0000, 0x0000, 0x4000},
     {1536, 800, 199}},
};

inline constexpr const char* kModelList = "KV86";
// A second model in the model file whose line does not accept it (typeValue 0).
inline constexpr const char* kRefusedIdentityText = "KV89000000N02000";
inline constexpr int kAcceptedAreas[] = {1, 2};

inline constexpr const char* kTemplateFolder = "rcdb";
inline constexpr const char* kSmallTemplateFolder = "rcdb/smallMCU";
inline constexpr uint64_t kTemplateSeed = 0x52434442;

inline constexpr const char* kCharacterListA = "SimpleCH.dat";
inline constexpr const char* kCharacterListB = "SimpleCH_0412.dat";
inline constexpr const char* kLanguageFontFile = "0409.bin";
// Characters of each list, counted from a GB2312 code (rows 0xB0 to 0xF7, columns 0xA1
// to 0xFE), and how many go on one line.
inline constexpr uint16_t kListAFirstCode = 0xB0A1;
inline constexpr int kListACount = 480;
inline constexpr uint16_t kListBFirstCode = 0xC8A1;
inline constexpr int kListBCount = 320;
inline constexpr int kCharactersPerLine = 8;

// The language font: one 34-byte entry (character code, 0, 32-byte glyph) for each printable
// ASCII character.
inline constexpr int kLanguageFontFirst = 0x20;
inline constexpr int kLanguageFontLast = 0x7E;
inline constexpr int kLanguageFontEntrySize = 34;

}  // namespace fw::demo
