#pragma once
// Character lists ("SimpleCH.dat", "SimpleCH_0412.dat"): UTF-16LE text, one entry per
// line. A line ends at LF or at CR (a CR LF pair ends one line); a line longer than 1024
// code units is cut into pieces of 1024; a line that begins with U+FEFF (the byte-order
// mark) is skipped whole. Every other line becomes one 32-byte entry: its characters in
// code page 936, zero-padded. An empty line gives an all-zero entry.

#include <cstddef>
#include <cstdint>

namespace fw {

struct CharacterListResult {
  int entryCount = 0;         // entries stored, entry k at offset 32 * k
  int truncatedLines = 0;     // lines cut at a character boundary to fit 32 bytes
  bool tooManyLines = false;  // the list holds more entries than the scratch area
};

constexpr int kCharacterEntrySize = 32;
constexpr int kMaxLineUnits = 1024;

// Reads the list in `data` (`size` bytes; a trailing odd byte is ignored) into `scratch`
// (`scratchSize` bytes, room for scratchSize / 32 entries). The entries written are
// zero-padded; the rest of `scratch` is left alone. When the list holds more entries than
// fit, the ones that fit are stored and tooManyLines is set.
CharacterListResult ReadCharacterList(const uint8_t* data, size_t size, uint8_t* scratch,
                                      size_t scratchSize);

// Length of the longest prefix of the code page 936 text `bytes` (of `size` bytes) that
// fits in `limit` bytes without splitting a double-byte character.
size_t FitAtCharacterBoundary(const uint8_t* bytes, size_t size, size_t limit);

}  // namespace fw
