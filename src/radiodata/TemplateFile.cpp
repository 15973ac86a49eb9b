#include "radiodata/TemplateFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/FileIo.h"

namespace fw {
namespace {

constexpr uint8_t kMagic[kTemplateMagicCheckedSize] = {'Z', 0, 'O', 0, 'R', 0,
                                                       'V', 0, 'E', 0, 'X', 0};

uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TemplateParseResult Refuse(std::string reason) {
  TemplateParseResult r;
  r.reason = std::move(reason);
  return r;
}

std::string TagText(const uint8_t* tag) {
  static const char* hex = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < 4; ++i) {
    if (i)
      s += ' ';
    s += hex[tag[i] >> 4];
    s += hex[tag[i] & 15];
  }
  return s;
}

// Reads one chunk head and checks its tag; `length` receives the chunk length.
bool ReadChunkHead(ByteSource& src, uint64_t& pos, const std::array<uint8_t, 4>& tag,
                   const char* name, uint32_t& length, std::string& reason) {
  uint8_t head[kTemplateChunkHeadSize];
  if (!src.Read(head, sizeof head)) {
    reason = std::string("the file ends inside the head of the ") + name;
    return false;
  }
  pos += sizeof head;
  if (!std::equal(tag.begin(), tag.end(), head)) {
    reason = std::string("the ") + name + " has the tag " + TagText(head) + ", expected " +
             TagText(tag.data());
    return false;
  }
  length = LoadU32(head + 4);
  return true;
}

// Checks a chunk length against the bytes left in the file, before anything is read.
bool ChunkFits(const ByteSource& src, uint64_t pos, uint32_t length, const char* name,
               std::string& reason) {
  if (length <= src.Size() - pos)
    return true;
  reason = std::string("the ") + name + " claims " + std::to_string(length) + " bytes, but only " +
           std::to_string(src.Size() - pos) + " are left in the file";
  return false;
}

}  // namespace

bool MemorySource::Read(uint8_t* dst, size_t n) {
  if (n > bytes_.size() - pos_)
    return false;
  if (n)
    std::memcpy(dst, bytes_.data() + pos_, n);
  pos_ += n;
  return true;
}

bool MemorySource::Skip(uint64_t n) {
  if (n > bytes_.size() - pos_)
    return false;
  pos_ += static_cast<size_t>(n);
  return true;
}

StreamSource::StreamSource(std::istream& in) : in_(in) {
  const auto start = in_.tellg();
  in_.seekg(0, std::ios::end);
  const auto end = in_.tellg();
  in_.seekg(start);
  if (start >= 0 && end >= start)
    size_ = static_cast<uint64_t>(end - start);
}

bool StreamSource::Read(uint8_t* dst, size_t n) {
  if (n == 0)
    return true;
  in_.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n));
  return in_.good() && static_cast<size_t>(in_.gcount()) == n;
}

bool StreamSource::Skip(uint64_t n) {
  in_.seekg(static_cast<std::streamoff>(n), std::ios::cur);
  return in_.good();
}

bool TemplateSizeRuleHolds(uint64_t fileSize, uint32_t n) {
  return std::any_of(kTemplateTrailerSizes.begin(), kTemplateTrailerSizes.end(),
                     [&](uint32_t t) { return fileSize == uint64_t(n) + t; });
}

TemplateParseResult ParseTemplate(ByteSource& src, uint32_t maxDataSize) {
  const uint64_t size = src.Size();
  uint8_t header[kTemplateHeaderSize];
  if (!src.Read(header, sizeof header))
    return Refuse("the file is shorter than its header");
  uint64_t pos = sizeof header;
  if (!std::equal(std::begin(kMagic), std::end(kMagic), header))
    return Refuse("the file does not start with the template magic \"ZORVEX\"");
  const uint32_t n = LoadU32(header + kTemplateSizeFieldOffset);
  if (!TemplateSizeRuleHolds(size, n))
    return Refuse("the file size " + std::to_string(size) +
                  " does not fit the size in its header (" + std::to_string(n) + ")");

  std::string reason;
  uint32_t l1 = 0;
  if (!ReadChunkHead(src, pos, kTemplateTagFirst, "first chunk", l1, reason))
    return Refuse(reason);
  if (l1 != kTemplateFirstChunkLength)
    return Refuse("the first chunk has " + std::to_string(l1) + " bytes, expected 159");
  if (!ChunkFits(src, pos, l1, "first chunk", reason) || !src.Skip(l1))
    return Refuse("the first chunk is cut short");
  pos += l1;

  uint32_t l2 = 0;
  if (!ReadChunkHead(src, pos, kTemplateTagSecond, "second chunk", l2, reason) ||
      !ChunkFits(src, pos, l2, "second chunk", reason))
    return Refuse(reason);
  if (!src.Skip(l2))
    return Refuse("the second chunk is cut short");
  pos += l2;

  uint32_t l3 = 0;
  if (!ReadChunkHead(src, pos, kTemplateTagData, "data chunk", l3, reason) ||
      !ChunkFits(src, pos, l3, "data chunk", reason))
    return Refuse(reason);
  if (l3 == 0)
    return Refuse("the template holds no data");
  if (l3 > maxDataSize)
    return Refuse("the template data (" + std::to_string(l3) +
                  " bytes) is larger than the radio data buffer (" + std::to_string(maxDataSize) +
                  " bytes)");

  TemplateParseResult r;
  r.data.resize(l3);  // bounded by the file size, checked above
  if (!src.Read(r.data.data(), l3))
    return Refuse("the data chunk is cut short");
  r.ok = true;
  return r;
}

TemplateParseResult ParseTemplateBytes(std::span<const uint8_t> bytes, uint32_t maxDataSize) {
  MemorySource src(bytes);
  return ParseTemplate(src, maxDataSize);
}

bool IsUsableModelId(const std::string& modelId) {
  if (modelId.empty() || modelId.size() > 32) {
    return false;
  }
  for (char c : modelId) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) {
      return false;
    }
  }
  return true;
}

std::string ModelIdForMessage(const std::string& modelId) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : modelId) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::string TemplateNameFor(const std::string& modelId) {
  std::string name = modelId;
  if (name.size() >= 4 && name.compare(0, 4, "KV68") == 0) {
    for (size_t p = name.find("N00"); p != std::string::npos; p = name.find("N00", p + 3))
      name.replace(p, 3, "N02");
  }
  return name;
}

std::string AlternativeTemplatePath(const std::string& path) {
#ifdef _WIN32
  const size_t sep = path.find_last_of("/\\");
#else
  const size_t sep = path.find_last_of('/');
#endif
  const size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  const size_t fifth = nameStart + 4;
  if (fifth >= path.size())
    return {};
  std::string alt = path.substr(0, fifth);
  alt += '2';
  alt += path.substr(fifth + 1, 54);
  return alt;
}

TemplateParseResult ReadTemplateFile(const std::string& path, uint32_t maxDataSize,
                                     std::string* openedPath) {
  if (path.empty())
    return Refuse("no template path");
  // Only a regular file is opened: a FIFO would block the open, a device never end.
  std::ifstream in;
  std::string problem = RegularFileProblem(path);
  if (problem.empty())
    in.open(PathFromUtf8(path), std::ios::binary);
  std::string used = path;
  if (!in.is_open()) {
    const std::string alt = AlternativeTemplatePath(path);
    if (!alt.empty() && alt != path && RegularFileProblem(alt).empty()) {
      in.open(PathFromUtf8(alt), std::ios::binary);
      used = alt;
    }
  }
  if (!in.is_open()) {
    TemplateParseResult r =
        Refuse(problem.empty() || problem.find("does not exist") != std::string::npos
                   ? "the template file \"" + path + "\" cannot be opened"
                   : "the template file " + problem);
    return r;
  }
  if (openedPath)
    *openedPath = used;
  StreamSource src(in);
  TemplateParseResult r = ParseTemplate(src, maxDataSize);
  if (!r.ok)
    r.reason = "\"" + used + "\": " + r.reason;
  return r;
}

}  // namespace fw
