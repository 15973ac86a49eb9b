#include "DemoTestSupport.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fw::test {

// A new folder of a random name (create_directory fails on one that exists).
TempFolder::TempFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::filesystem::path candidate =
        base / ("flashwright-demo-" + std::to_string(random() % 1000000000u));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
    }
  }
  if (path_.empty()) {
    throw std::runtime_error("cannot create a temporary folder");
  }
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

namespace {

#ifdef _WIN32
// For cmd.exe, which _popen runs: double quotes (no argument here holds one).
std::string Quoted(const std::string& arg) {
  return "\"" + arg + "\"";
}
#else
std::string Quoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}
#endif

}  // namespace

RunResult RunGenerator(const std::vector<std::string>& args) {
  std::string command = Quoted(MAKE_DEMO_INSTALL_PROGRAM);
  for (const std::string& a : args) {
    command += " " + Quoted(a);
  }
  command += " 2>&1";
  RunResult result;
#ifdef _WIN32
  // cmd.exe takes a command line that starts with a quote as a whole when it is quoted again.
  FILE* pipe = _popen(("\"" + command + "\"").c_str(), "rb");
#else
  FILE* pipe = popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) {
    return result;
  }
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
    result.output.append(chunk, n);
  }
#ifdef _WIN32
  result.exitCode = _pclose(pipe);
  // Its lines end in "\r\n" there.
  std::erase(result.output, '\r');
#else
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return result;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fw::test
