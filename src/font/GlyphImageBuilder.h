#pragma once
// The glyph image: a table of 34-byte entries, each the two code bytes of a character in
// code page 936 followed by its 32-byte monochrome glyph. It becomes the payload of a
// character-set font library image.
//
// Entries 0 to 127 hold the single-byte characters 0x80 to 0xFF (character c in entry
// c - 0x80). Entries from 128 on hold double-byte characters in the order in which they
// are first met; multiples of 256 are never given out, so that the glyph code of entry i,
// the bytes 0x80 | (i >> 8) and i & 0xFF, never has a zero second byte.
//
// The full-width flag (process-wide, held by the application) is passed in by the caller.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "font/GlyphRasteriser.h"

namespace fw {

class GlyphImageBuilder {
 public:
  static constexpr int kImageSize = 153650;
  static constexpr int kEntrySize = 34;
  static constexpr int kEntryCount = kImageSize / kEntrySize;  // 4519
  static constexpr int kFirstDoubleByteEntry = 128;
  static constexpr int kGlyphSize = 32;
  static constexpr int kCellBytes = 256;

  // One character that received a glyph code while an entry was encoded.
  struct Placed {
    char16_t character;
    uint16_t code;
  };

  GlyphImageBuilder();
  virtual ~GlyphImageBuilder();
  GlyphImageBuilder(const GlyphImageBuilder&) = delete;
  GlyphImageBuilder& operator=(const GlyphImageBuilder&) = delete;

  // Work cell of the last rendered glyph; its first 32 bytes are the glyph.
  uint8_t glyphCell[kCellBytes] = {};
  // 1 while a character set is being built: only then are glyphs rendered and stored.
  int renderingEnabled = 0;

  void ClearImage();

  // Renders and registers every character of a multi-byte entry of `length` bytes and
  // rewrites the entry in place with glyph codes. Returns 1 if a two-byte code was
  // written. When `placed` is given, each character that got a glyph code is appended.
  int EncodeEntry(uint8_t* entry, int length, bool fullWidth,
                  std::vector<Placed>* placed = nullptr);
  // Glyph code of one UTF-16 character: 0 for NUL, the byte itself for ASCII (and "?"
  // for characters code page 936 cannot hold), else the registered glyph's code.
  uint16_t CodeFor(char16_t character, bool fullWidth);
  // Glyph code of a non-ASCII character given as its code page 936 bytes; 0 when it
  // cannot be stored (the image is full, or rendering is off).
  uint16_t RegisterGlyph(const uint8_t* bytes, int length, bool fullWidth);
  // Rasterises the character into glyphCell; returns 1 when the glyph is 16 columns wide.
  int RenderGlyph(const uint8_t* bytes, int length, bool fullWidth);
  // Entry holding `code` (first byte in the low 8 bits), from 128 on; 0 when none.
  int FindEntry(uint16_t code) const;
  // First free double-byte entry below the entry limit; 0 when the image is full.
  int FirstFreeEntry() const;
  // Copies the first n bytes of the image; 0 (and nothing copied) when n is too large.
  int CopyOut(uint8_t* destination, size_t n) const;

  // Entries from `limit` on are not given out (a payload that keeps only the first
  // `limit` entries must not refer to glyphs it cuts off). Clamped to 128..4519.
  void SetEntryLimit(int limit);
  int EntryLimit() const { return entryLimit_; }

  // Glyph code of entry i (i >= 128), as a 16-bit value with the first byte low.
  static uint16_t GlyphCodeOf(int entry);

  const uint8_t* Image() const { return image_.data(); }
  GlyphRasteriser& Rasteriser() { return rasteriser_; }

 private:
  uint16_t EntryCode(int i) const;
  void Remember(int i, uint16_t code);

  std::vector<uint8_t> image_;
  // Lookup aids kept in step with the image (only this class writes it): the double-byte
  // entry of each code (0: none), and the first entry that may still be free. Entries are
  // given out in order and only ClearImage frees them.
  std::vector<uint16_t> entryOfCode_;
  int freeFrom_ = kFirstDoubleByteEntry;
  GlyphRasteriser rasteriser_;
  int entryLimit_ = kEntryCount;
};

}  // namespace fw
