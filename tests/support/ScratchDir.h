#pragma once
// A fresh folder for one test, removed with everything in it when the test ends, with
// helpers to write and read whole files as bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fw::test {

class ScratchDir {
 public:
  ScratchDir() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "flashwright-";
    if (info != nullptr) {
      name += std::string(info->test_suite_name()) + "-" + info->name();
    }
    for (char& c : name) {
      if (c == '/')
        c = '_';
    }
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder with a trailing separator (the system's own).
  std::string Dir() const { return (path_ / "").string(); }
  std::string Path(const std::string& relative) const { return (path_ / relative).string(); }

  std::string Write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = path_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace fw::test
