#include "platform/ExecutablePath.h"

#include <climits>
#include <filesystem>
#include <system_error>

#ifdef __APPLE__
#include <mach-o/dyld.h>

#include <vector>
#endif

namespace fw {

std::string ExecutablePath() {
#ifdef __APPLE__
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size + 1, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) {
    return std::string();
  }
  std::error_code ec;
  std::filesystem::path p = std::filesystem::canonical(buffer.data(), ec);
  return ec ? std::string(buffer.data()) : p.string();
#else
  std::error_code ec;
  std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
#endif
}

}  // namespace fw
