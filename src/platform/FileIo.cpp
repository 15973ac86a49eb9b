#include "platform/FileIo.h"

#include <fstream>
#include <sstream>

namespace fw {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return std::filesystem::path(utf8);
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
#else
  return path.string();
#endif
}

std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes) {
  std::filesystem::path p = PathFromUtf8(path);
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) {
    return std::nullopt;
  }
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    size_t n = static_cast<size_t>(in.gcount());
    if (bytes.size() + n > maxBytes) {
      return std::nullopt;
    }
    bytes.append(chunk, n);
  }
  if (in.bad()) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace fw
