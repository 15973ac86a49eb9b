#include "firmware/IdentifyReply.h"

#include "platform/CodePage.h"

namespace fw {
namespace {

std::string Field(const uint8_t* reply, size_t length, size_t offset, size_t maxBytes) {
  std::string out;
  for (size_t i = offset; i < offset + maxBytes && i < length && reply[i] != 0; ++i) {
    out.push_back(static_cast<char>(reply[i]));
  }
  return out;
}

// Upper-cases ASCII letters only, stepping over the two-byte characters of the code page
// so that a trail byte in the letter range stays as it is.
std::string UpperAscii(const std::string& ansi) {
  std::string out = ansi;
  for (size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 0x81) {
      ++i;
    } else if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

bool Printable(const std::string& field) {
  for (char c : field) {
    if (c < 0x20 || c > 0x7E) {
      return false;
    }
  }
  return true;
}

bool LetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

IdentifyVerdict JudgeIdentifyReply(const uint8_t* reply, size_t length) {
  const std::string info = Field(reply, length, 2, 10);
  if (info.find("====") != std::string::npos) {
    return IdentifyVerdict::kNotInDownloadMode;
  }
  const std::string variant = Field(reply, length, 12, 12);
  const std::string model = Field(reply, length, 24, 28);
  if (info.empty() || !Printable(info) || !Printable(variant) || !Printable(model) ||
      model.size() <= 4) {
    return IdentifyVerdict::kDamaged;
  }
  for (size_t i = 0; i < 4; ++i) {
    if (!LetterOrDigit(model[i])) {
      return IdentifyVerdict::kDamaged;
    }
  }
  return IdentifyVerdict::kIdentified;
}

IdentifyFields UnknownIdentity() {
  IdentifyFields f;
  f.info = f.variant = f.model = f.modelCode = kUnknownField;
  f.version = 0;
  return f;
}

int VersionFromInfo(const std::string& ansiInfo) {
  if (ansiInfo.size() <= 4) {
    return 0;
  }
  int value = 0;
  for (char c : ansiInfo.substr(ansiInfo.size() - 4)) {
    if (c < '0' || c > '9') {
      break;
    }
    value = value * 10 + (c - '0');
  }
  return value;
}

IdentifyFields ParseIdentifyReply(const uint8_t* reply, size_t length) {
  IdentifyFields f;
  std::string info = Field(reply, length, 2, 10);
  std::string variant = UpperAscii(Field(reply, length, 12, 12));
  std::string model = Field(reply, length, 24, 28);
  f.info = AnsiToUtf8(info);
  f.variant = AnsiToUtf8(variant);
  f.model = AnsiToUtf8(model);
  f.modelCode = model.size() > 4 ? AnsiToUtf8(model.substr(0, 4)) : kUnknownField;
  f.version = VersionFromInfo(info);
  return f;
}

}  // namespace fw
