#pragma once
// Writing template files (".rcd"): for installations, tests, benchmarks and the demo.
// The layout is the one TemplateFile.h reads; the header starts with the full magic
// "ZORVEXRCDB" in UTF-16LE.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fw {

struct TemplateWriteOptions {
  // Bytes after the data chunk; must be one of kTemplateTrailerSizes (0, 40959, 153600,
  // 143360, 133120). They are written as zero bytes.
  uint32_t trailerSize = 0x9FFF;
  // Content of the 159-byte first chunk (zero-padded or cut to 159 bytes).
  std::vector<uint8_t> firstChunk;
  // Content of the second chunk (any length).
  std::vector<uint8_t> secondChunk;
  // Header bytes 20 to 23 (after the magic), free for the maker's use.
  uint32_t headerWord = 0;
};

// Builds the file image for `data`. Returns an empty vector and sets `error` when the
// options are invalid (unknown trailer size, no data, a file too large for the header's
// 32-bit size field).
std::vector<uint8_t> BuildTemplateImage(std::span<const uint8_t> data,
                                        const TemplateWriteOptions& options,
                                        std::string* error = nullptr);

// Builds the image and writes it to `path` (replacing an existing file). Returns false
// and sets `error` on failure.
bool WriteTemplateFile(const std::string& path, std::span<const uint8_t> data,
                       const TemplateWriteOptions& options, std::string* error = nullptr);

}  // namespace fw
