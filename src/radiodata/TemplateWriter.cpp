#include "radiodata/TemplateWriter.h"

#include <algorithm>
#include <fstream>

#include "radiodata/TemplateFile.h"
#include "radiodata/Utf8Path.h"

namespace fw {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutChunk(std::vector<uint8_t>& out, const std::array<uint8_t, 4>& tag,
              std::span<const uint8_t> body) {
  out.insert(out.end(), tag.begin(), tag.end());
  PutU32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

bool Fail(std::string* error, const std::string& text) {
  if (error)
    *error = text;
  return false;
}

}  // namespace

std::vector<uint8_t> BuildTemplateImage(std::span<const uint8_t> data,
                                        const TemplateWriteOptions& options, std::string* error) {
  const auto& sizes = kTemplateTrailerSizes;
  if (std::find(sizes.begin(), sizes.end(), options.trailerSize) == sizes.end()) {
    Fail(error, "the trailer size " + std::to_string(options.trailerSize) +
                    " is not one of 0, 40959, 153600, 143360, 133120");
    return {};
  }
  if (data.empty()) {
    Fail(error, "the template data is empty");
    return {};
  }
  const uint64_t content = kTemplateHeaderSize + 3 * kTemplateChunkHeadSize +
                           kTemplateFirstChunkLength + uint64_t(options.secondChunk.size()) +
                           data.size();
  if (content + options.trailerSize > UINT32_MAX) {
    Fail(error, "the template file would exceed 4 GiB");
    return {};
  }

  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(content + options.trailerSize));
  for (char c : std::string("ZORVEXRCDB")) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  PutU32(out, options.headerWord);
  PutU32(out, static_cast<uint32_t>(content));  // N: the file size without the trailer

  std::vector<uint8_t> first(kTemplateFirstChunkLength, 0);
  std::copy_n(options.firstChunk.begin(), std::min(options.firstChunk.size(), first.size()),
              first.begin());
  PutChunk(out, kTemplateTagFirst, first);
  PutChunk(out, kTemplateTagSecond, options.secondChunk);
  PutChunk(out, kTemplateTagData, data);
  out.resize(out.size() + options.trailerSize, 0);
  if (error)
    error->clear();
  return out;
}

bool WriteTemplateFile(const std::string& path, std::span<const uint8_t> data,
                       const TemplateWriteOptions& options, std::string* error) {
  const std::vector<uint8_t> image = BuildTemplateImage(data, options, error);
  if (image.empty())
    return false;
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (!out)
    return Fail(error, "\"" + path + "\" cannot be created");
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out)
    return Fail(error, "\"" + path + "\" could not be written in full");
  return true;
}

}  // namespace fw
