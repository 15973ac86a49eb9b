// rcd-writer: writes a template file (.rcd) around a raw data file.
//
//   rcd-writer [--trailer BYTES] [--second-chunk FILE] [--first-chunk FILE] DATA OUTPUT
//
// DATA becomes the template data (the data chunk). The trailer is one of 0, 40959,
// 153600, 143360 or 133120 zero bytes (40959 when not given). The first chunk (159 bytes)
// and the second chunk are zero-filled / empty unless files are given for them.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "radiodata/TemplateWriter.h"
#include "radiodata/Utf8Path.h"

namespace {

constexpr uintmax_t kMaxInput = 64u << 20;  // 64 MiB: far above any radio's data

int Usage() {
  std::fprintf(stderr,
               "usage: rcd-writer [--trailer BYTES] [--first-chunk FILE] [--second-chunk FILE] "
               "DATA OUTPUT\n"
               "  BYTES is 0, 40959, 153600, 143360 or 133120 (default 40959)\n");
  return 2;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>& out) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(fw::PathFromUtf8(path), ec);
  if (ec) {
    std::fprintf(stderr, "rcd-writer: %s: %s\n", path.c_str(), ec.message().c_str());
    return false;
  }
  if (size > kMaxInput) {
    std::fprintf(stderr, "rcd-writer: %s: too large (%ju bytes)\n", path.c_str(), size);
    return false;
  }
  std::ifstream in(fw::PathFromUtf8(path), std::ios::binary);
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.eof() && in.fail()) {
    std::fprintf(stderr, "rcd-writer: %s: read error\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  fw::TemplateWriteOptions options;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--trailer" && hasValue) {
      char* end = nullptr;
      const unsigned long v = std::strtoul(argv[++i], &end, 10);
      if (!end || *end != '\0' || v > UINT32_MAX)
        return Usage();
      options.trailerSize = static_cast<uint32_t>(v);
    } else if (a == "--first-chunk" && hasValue) {
      if (!ReadWhole(argv[++i], options.firstChunk))
        return 1;
    } else if (a == "--second-chunk" && hasValue) {
      if (!ReadWhole(argv[++i], options.secondChunk))
        return 1;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      args.push_back(a);
    }
  }
  if (args.size() != 2)
    return Usage();

  std::vector<uint8_t> data;
  if (!ReadWhole(args[0], data))
    return 1;
  std::string error;
  if (!fw::WriteTemplateFile(args[1], data, options, &error)) {
    std::fprintf(stderr, "rcd-writer: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %zu data bytes, trailer %u bytes\n", args[1].c_str(), data.size(),
              options.trailerSize);
  return 0;
}
