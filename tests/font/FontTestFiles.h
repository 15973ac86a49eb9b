#pragma once
// Test data for the font tests: hanzi taken from code page 936 by walking the GB2312
// rows, UTF-16LE list files written into a temporary program folder.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace fw::testing {

// The first `count` GB2312 hanzi (rows 16 to 87, bytes 0xB0A1 upwards), as UTF-16.
inline std::u16string Gb2312Hanzi(size_t count) {
  std::u16string out;
  for (int row = 16; row <= 87 && out.size() < count; ++row) {
    for (int col = 1; col <= 94 && out.size() < count; ++col) {
      const char bytes[2] = {static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + col)};
      const std::u16string c = Cp936ToUtf16(std::string_view(bytes, 2));
      if (c.size() == 1 && c[0] != u'?') {
        out += c;
      }
    }
  }
  return out;
}

// Code page 936 bytes of one character.
inline std::string Gbk(char16_t c) {
  return Utf16ToCp936(std::u16string_view(&c, 1));
}

inline std::vector<uint8_t> Utf16Le(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

// A fresh folder under the system's temporary folder, removed again at the end.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("fw_font_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // The folder with a trailing separator, as programDir holds it.
  std::string Dir() const { return path_.string() + "/"; }

  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  void WriteText(const std::string& name, std::u16string_view text) const {
    Write(name, Utf16Le(text));
  }

 private:
  std::filesystem::path path_;
};

}  // namespace fw::testing
