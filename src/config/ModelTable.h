#pragma once
// The radios an installation accepts, from the model file (an INI file, "config/r55/Model.dat"
// in the program folder):
//
//   [Area]  Number=<count>  Area0=<code> Area1=...      accepted area numbers
//   [Type]  Number=<count>  Type0=<identity>,<typeValue>,<text3>,<text4> ...
//
// The identity is the 32-byte block a radio of the model reports, as 64 upper-case hex
// digits. A radio is known when the first line with its identity has a non-zero typeValue;
// its area byte is accepted when it is the digit character of one of the area numbers
// ('0' + area).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

struct ModelEntry {
  int index = 0;      // the d of its "Type%d" key
  int typeValue = 0;  // field 2
  std::string identity;
  std::string text3;
  std::string text4;  // the model identifier as hex digits of its UTF-16LE units
};

class ModelTable {
 public:
  // More area keys than this are not read: every code past the last "Area%d" key repeats
  // its value, so a larger count adds nothing but memory.
  static constexpr int kMaxAreaCount = 65536;

  // Rebuilds the table from the model file at `path`. A missing file leaves the area count
  // as it was (0 in a new table) and no entries. Never fails.
  // Returns why a model file that is there could not be read (not a regular file, too
  // large), naming it; empty when it was read or is absent. Either way the table is filled
  // from what was read (nothing, when the file was not).
  std::string Load(const std::string& path);

  // The typeValue of the first entry whose identity equals the block's rendering, when it is
  // not 0; nullopt when that entry has 0 or no entry matches.
  std::optional<int> FindByIdentity(std::span<const uint8_t> block) const;

  // True when (code & 0xFF) is 48 + one of the area numbers.
  bool IsAreaAccepted(int code) const;

  int areaCount() const { return static_cast<int>(areaCodes_.size()); }
  const std::vector<uint16_t>& areaCodes() const { return areaCodes_; }
  const std::vector<ModelEntry>& entries() const { return entries_; }

  // The block as the model file writes identities: two upper-case hex digits a byte.
  static std::string RenderIdentity(std::span<const uint8_t> block);

 private:
  std::vector<uint16_t> areaCodes_;
  std::vector<ModelEntry> entries_;
};

}  // namespace fw
