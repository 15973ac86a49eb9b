#pragma once
// The template file (".rcd"): the new firmware's default configuration data for one radio
// model, wrapped in a small container.
//
//   offset 0   12 bytes  "ZORVEX" in UTF-16LE (the full magic is "ZORVEXRCDB", 20 bytes)
//   offset 24  uint32 N  the file size is N plus one of the trailer sizes below
//   offset 28  chunk 02 00 FF FF, uint32 length 159, 159 bytes (not used)
//   then       chunk 03 00 FF FF, uint32 length L2, L2 bytes (not used)
//   then       chunk 01 00 FF FF, uint32 length L3, L3 bytes: the template data
//   then       whatever the size rule leaves (not read)
//
// All integers are little-endian. Every chunk length is checked against the bytes that are
// left in the file before anything is allocated or read, so a damaged or hostile file can
// never make the loader allocate more than the file holds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <vector>

namespace fw {

inline constexpr size_t kTemplateHeaderSize = 28;
inline constexpr size_t kTemplateMagicCheckedSize = 12;  // "ZORVEX" as UTF-16LE
inline constexpr size_t kTemplateSizeFieldOffset = 24;
inline constexpr size_t kTemplateChunkHeadSize = 8;
inline constexpr uint32_t kTemplateFirstChunkLength = 159;
inline constexpr std::array<uint8_t, 4> kTemplateTagFirst = {0x02, 0x00, 0xFF, 0xFF};
inline constexpr std::array<uint8_t, 4> kTemplateTagSecond = {0x03, 0x00, 0xFF, 0xFF};
inline constexpr std::array<uint8_t, 4> kTemplateTagData = {0x01, 0x00, 0xFF, 0xFF};
// What the file size may exceed N by: nothing, 0x9FFF (not 0xA000), 0x25800, 0x23000, 0x20800.
inline constexpr std::array<uint32_t, 5> kTemplateTrailerSizes = {0, 0x9FFF, 0x25800, 0x23000,
                                                                  0x20800};

// A sequential byte source of known total size (a file, or bytes in memory).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly n bytes at the current position; false on a short read.
  virtual bool Read(uint8_t* dst, size_t n) = 0;
  // Skips n bytes; false when fewer are left.
  virtual bool Skip(uint64_t n) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint8_t* dst, size_t n) override;
  bool Skip(uint64_t n) override;

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// Reads from an open binary stream; the size is measured once when it is built.
class StreamSource : public ByteSource {
 public:
  explicit StreamSource(std::istream& in);
  uint64_t Size() const override { return size_; }
  bool Read(uint8_t* dst, size_t n) override;
  bool Skip(uint64_t n) override;

 private:
  std::istream& in_;
  uint64_t size_ = 0;
};

struct TemplateParseResult {
  bool ok = false;
  std::vector<uint8_t> data;  // the template data (L3 bytes) when ok
  std::string reason;         // why the file was refused when not ok
};

// Parses a template from `source`. `maxDataSize` bounds L3 (the data must fit the radio
// data buffer); data of 0 bytes is refused as well. Allocates only after every length
// has been checked against the bytes that remain.
TemplateParseResult ParseTemplate(ByteSource& source, uint32_t maxDataSize = UINT32_MAX);
TemplateParseResult ParseTemplateBytes(std::span<const uint8_t> bytes,
                                       uint32_t maxDataSize = UINT32_MAX);

// True when a file of `fileSize` bytes meets the size rule for the header's N. Computed
// without wrap-around: N near 2^32 does not make a small file pass.
bool TemplateSizeRuleHolds(uint64_t fileSize, uint32_t n);

// Whether a model identifier reported by the radio may name a file: 1 to 32 characters, each
// a letter, a digit, '-' or '_' (identifiers are texts like "KW66000000N02000L"). Anything
// else, a separator or a dot above all, could lead the template look-up out of its folder.
bool IsUsableModelId(const std::string& modelId);

// The identifier as a message shows it: printable ASCII as it is, every other byte as \xNN.
std::string ModelIdForMessage(const std::string& modelId);

// The template name for a model identifier: identifiers starting with "KV68" have every
// "N00" replaced by "N02"; all others are kept as they are.
std::string TemplateNameFor(const std::string& modelId);

// The path tried when `path` cannot be opened: the fifth character of the file name set
// to '2', keeping at most 54 characters of what follows it. Empty when the file name has
// fewer than five characters.
std::string AlternativeTemplatePath(const std::string& path);

// Opens `path` (or, when it cannot be opened, its alternative path) and parses it.
// `openedPath` receives the path that was read.
TemplateParseResult ReadTemplateFile(const std::string& path, uint32_t maxDataSize,
                                     std::string* openedPath = nullptr);

}  // namespace fw
