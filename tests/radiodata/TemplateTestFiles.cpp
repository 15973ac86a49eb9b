#include "TemplateTestFiles.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>

namespace fw::test {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
  out.push_back((v >> 16) & 0xFF);
  out.push_back((v >> 24) & 0xFF);
}

}  // namespace

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("fw-radiodata-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(seed + i);
  return v;
}

std::vector<uint8_t> RawTemplate::Build() const {
  std::vector<uint8_t> out(magic);
  out.resize(20, 0);
  out.insert(out.end(), headerWord.begin(), headerWord.end());
  PutU32(out, n.value_or(static_cast<uint32_t>(ContentSize())));
  out.insert(out.end(), tag1.begin(), tag1.end());
  PutU32(out, l1.value_or(static_cast<uint32_t>(chunk1.size())));
  out.insert(out.end(), chunk1.begin(), chunk1.end());
  out.insert(out.end(), tag2.begin(), tag2.end());
  PutU32(out, l2.value_or(static_cast<uint32_t>(chunk2.size())));
  out.insert(out.end(), chunk2.begin(), chunk2.end());
  out.insert(out.end(), tag3.begin(), tag3.end());
  PutU32(out, l3.value_or(static_cast<uint32_t>(data.size())));
  out.insert(out.end(), data.begin(), data.end());
  out.resize(out.size() + trailer, 0);
  return out;
}

}  // namespace fw::test
