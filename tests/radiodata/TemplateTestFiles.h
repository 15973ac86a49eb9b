#pragma once
// Test files for the template tests: a scratch folder, and template images laid out by
// hand (independently of the writer) with every field open to change.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fw::test {

// A fresh folder under the system's temporary folder, removed with its content.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // The folder as text with a trailing '/', the form programDir has.
  std::string dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
// `n` bytes counting up from `seed` (mod 256), so that offsets show in the content.
std::vector<uint8_t> Pattern(size_t n, uint8_t seed);

struct RawTemplate {
  // "ZORVEXRCDB" as UTF-16LE, then 4 free bytes.
  std::vector<uint8_t> magic = {0x5A, 0, 0x4F, 0, 0x52, 0, 0x56, 0, 0x45, 0,
                                0x58, 0, 0x52, 0, 0x43, 0, 0x44, 0, 0x42, 0};
  std::array<uint8_t, 4> headerWord = {0, 0, 0, 0};
  std::optional<uint32_t> n;  // default: the size of everything before the trailer
  std::array<uint8_t, 4> tag1 = {0x02, 0x00, 0xFF, 0xFF};
  std::array<uint8_t, 4> tag2 = {0x03, 0x00, 0xFF, 0xFF};
  std::array<uint8_t, 4> tag3 = {0x01, 0x00, 0xFF, 0xFF};
  std::optional<uint32_t> l1, l2, l3;  // default: the real chunk sizes
  std::vector<uint8_t> chunk1 = std::vector<uint8_t>(159, 0xC1);
  std::vector<uint8_t> chunk2 = std::vector<uint8_t>(37, 0xC2);
  std::vector<uint8_t> data = Pattern(1000, 7);
  uint32_t trailer = 40959;

  size_t ContentSize() const { return 52 + chunk1.size() + chunk2.size() + data.size(); }
  std::vector<uint8_t> Build() const;
};

}  // namespace fw::test
