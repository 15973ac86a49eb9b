#include "radiodata/RadioInfo.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace fw {
namespace {

bool Has(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

bool HasAny(const std::string& text, std::initializer_list<const char*> parts) {
  return std::any_of(parts.begin(), parts.end(), [&](const char* p) { return Has(text, p); });
}

// Each 8-bit character becomes the code point of the same value.
std::string WidenLatin1(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::string ModelVariantCode(const std::string& t) {
  if (Has(t, "KW650")) {
    return "R0000";
  }
  if (HasAny(t, {"KV20", "KV29", "KW68", "KX2X"})) {
    return "02000";
  }
  if (Has(t, "KV25")) {
    return (Has(t, "U3-0-C") || Has(t, "00S00000")) ? "02000" : "R2000";
  }
  if (HasAny(t, {"KV81", "KW81"})) {
    return "02000";
  }
  if (HasAny(t, {"KW63", "KV23"})) {
    if (Has(t, "000G0000")) {
      return "B2000";
    }
    if (Has(t, "00000000")) {
      return "02000";
    }
  }
  if (Has(t, "KZ66") && Has(t, "NB")) {
    return "B2000";
  }
  if (HasAny(t, {"KZ80", "KX4X", "KZ85", "KZ86", "KZ60", "KZ65", "KZ66", "KZ95", "KW66"})) {
    return "02000";
  }
  return "00000";
}

std::string FixUpModelText(const std::string& t) {
  std::string out = t.substr(0, 16);
  out += ModelVariantCode(t);
  if (t.size() > 21) {
    out += t.substr(21, 7);
  }
  return out;
}

std::string IdentityBlockText(const std::array<uint8_t, kIdentitySize>& identity) {
  std::string text;
  for (size_t i = 0; i + 1 < identity.size(); i += 2) {
    const unsigned c = identity[i] | (identity[i + 1] << 8);
    if (c == 0) {
      break;
    }
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return text;
}

std::string PrintableInfoText(const uint8_t* field, size_t size) {
  std::string s;
  for (size_t i = 0; i < size && field[i] != 0; ++i) {
    if (field[i] >= 0x20 && field[i] < 0x7F && field[i] != '\\') {
      s += static_cast<char>(field[i]);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      s += "\\x";
      s += kHex[field[i] >> 4];
      s += kHex[field[i] & 15];
    }
  }
  return s;
}

std::string RadioKey(const std::array<uint8_t, kIdentitySize>& identity, const std::string& modelId,
                     const uint8_t* block) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string key;
  for (uint8_t b : identity) {
    key += kHex[b >> 4];
    key += kHex[b & 15];
  }
  key += "|" + modelId;
  for (size_t offset : {size_t{81}, size_t{97}, size_t{113}}) {
    key += "|" + PrintableInfoText(block + offset, 16);
  }
  return key;
}

RadioInfo DecodeRadioInfoBlock(const uint8_t* block) {
  RadioInfo info;
  std::memcpy(info.identity.data(), block + kIdentityOffset, kIdentitySize);
  info.areaCode = block[kAreaCodeOffset];
  const uint8_t* text = block + kModelTextOffset;
  const size_t length = std::find(text, text + kModelTextSize, 0) - text;
  info.modelId = WidenLatin1(FixUpModelText(std::string(text, text + length)));
  return info;
}

}  // namespace fw
