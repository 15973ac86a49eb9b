#pragma once
// Helpers of the demo installation tests: a temporary folder and running the generator.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fw::test {

// A new, empty folder under the system's temporary folder; removed with its content.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // With a trailing separator (the system's own), as programDir holds it.
  std::string Dir() const { return (path_ / "").string(); }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs make-demo-install with `args` (each passed as one argument).
RunResult RunGenerator(const std::vector<std::string>& args);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

}  // namespace fw::test
