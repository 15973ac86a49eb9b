#pragma once
// A fresh temporary directory for one test, removed with everything in it afterwards.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fw::test {

class TempDir {
 public:
  // A new folder of a random name (create_directory fails on one that exists, so two
  // tests never share one).
  TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::filesystem::path candidate =
          base / ("flashwright-" + std::to_string(random() % 1000000000u));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate.string();
      }
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ec);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with a trailing separator (the system's own).
  std::string Path() const { return (std::filesystem::path(path_) / "").string(); }

  // Writes a file below the directory; returns its full path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string full = Path() + name;
    std::ofstream out(full, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return full;
  }
  std::string Write(const std::string& name, const std::string& text) const {
    return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
  }

 private:
  std::string path_;
};

}  // namespace fw::test
