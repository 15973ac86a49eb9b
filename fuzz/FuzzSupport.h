#pragma once
// Helpers shared by the fuzz targets: invariant checks that libFuzzer reports as crashes,
// and a private scratch folder for parsers that read files by path.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

// Stops the run when an invariant of a parser does not hold; libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                      \
  do {                                                                                        \
    if (!(cond)) {                                                                            \
      std::fprintf(stderr, "fuzz invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

namespace fw::fuzz {

// The input as a string view.
inline std::string_view AsText(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A folder of this process's own, made on first use and removed when the process exits.
// The name is never freed, so the exit handler can still use it.
inline const std::string& ScratchDir() {
  static const std::string& dir = *new std::string([] {
    std::error_code ec;
    std::string pattern =
        (std::filesystem::temp_directory_path(ec) / "flashwright-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code e;
      std::filesystem::remove_all(ScratchDir(), e);
    });
    return pattern + "/";
  }());
  return dir;
}

// Writes the bytes to `name` in the scratch folder (replacing it) and returns its path.
inline std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchDir() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
  return path;
}

}  // namespace fw::fuzz
