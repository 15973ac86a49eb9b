#include "font/CharacterList.h"

#include <cstring>
#include <string>

#include "platform/CodePage.h"

namespace fw {

size_t FitAtCharacterBoundary(const uint8_t* bytes, size_t size, size_t limit) {
  size_t pos = 0;
  while (pos < size) {
    const size_t n = (bytes[pos] >= 0x81 && bytes[pos] <= 0xFE && pos + 1 < size) ? 2 : 1;
    if (pos + n > limit) {
      break;
    }
    pos += n;
  }
  return pos;
}

namespace {

class EntryWriter {
 public:
  EntryWriter(uint8_t* scratch, size_t scratchSize, CharacterListResult* result)
      : scratch_(scratch), capacity_(scratchSize / kCharacterEntrySize), result_(result) {}

  // Stores one line (already split into pieces of at most 1024 units). False once full.
  bool Add(std::u16string_view line) {
    if (!line.empty() && line[0] == u'\uFEFF') {
      return true;
    }
    if (static_cast<size_t>(result_->entryCount) >= capacity_) {
      result_->tooManyLines = true;
      return false;
    }
    uint8_t* entry = scratch_ + static_cast<size_t>(result_->entryCount) * kCharacterEntrySize;
    std::memset(entry, 0, kCharacterEntrySize);
    if (!line.empty()) {
      const std::string bytes = Utf16ToCp936(line);
      const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
      const size_t n = FitAtCharacterBoundary(b, bytes.size(), kCharacterEntrySize);
      if (n < bytes.size()) {
        ++result_->truncatedLines;
      }
      std::memcpy(entry, b, n);
    }
    ++result_->entryCount;
    return true;
  }

 private:
  uint8_t* scratch_;
  size_t capacity_;
  CharacterListResult* result_;
};

}  // namespace

CharacterListResult ReadCharacterList(const uint8_t* data, size_t size, uint8_t* scratch,
                                      size_t scratchSize) {
  CharacterListResult result;
  EntryWriter writer(scratch, scratchSize, &result);
  const size_t units = size / 2;
  std::u16string line;
  bool open = false;  // a line has begun (so the end of the file ends it)
  for (size_t i = 0; i < units; ++i) {
    const char16_t u = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (u == u'\n' || u == u'\r') {
      if (u == u'\r' && i + 1 < units && data[2 * i + 2] == '\n' && data[2 * i + 3] == 0) {
        ++i;  // the LF of a CR LF pair
      }
      if (!writer.Add(line)) {
        return result;
      }
      line.clear();
      open = false;
      continue;
    }
    if (line.size() == static_cast<size_t>(kMaxLineUnits)) {
      if (!writer.Add(line)) {
        return result;
      }
      line.clear();
    }
    line.push_back(u);
    open = true;
  }
  if (open) {
    writer.Add(line);
  }
  return result;
}

}  // namespace fw
