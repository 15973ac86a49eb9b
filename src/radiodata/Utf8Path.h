#pragma once
// Paths are held as UTF-8 text; the file system wants its native form (wide on Windows).

#include <filesystem>
#include <string>

namespace fw {

inline std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace fw
