#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <stdexcept>

#include "platform/CodePage.h"

namespace fw {
namespace {

// The C library loads a conversion module (code page 936, UTF-16) when a descriptor opens
// and unloads it some time after the last one closes. Jobs on several threads converting at
// once would load and unload them again and again, under the dynamic loader's own lock,
// which the thread checker cannot see; descriptors held for the life of the process keep
// both modules loaded once.
class ResidentModules {
 public:
  ResidentModules() : cd_{iconv_open("UTF-8", "CP936"), iconv_open("UTF-16LE", "UTF-8")} {}
  ~ResidentModules() {
    for (iconv_t cd : cd_) {
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        iconv_close(cd);
      }
    }
  }
  ResidentModules(const ResidentModules&) = delete;
  ResidentModules& operator=(const ResidentModules&) = delete;

 private:
  iconv_t cd_[2];
};

void KeepModulesLoaded() {
  static ResidentModules resident;
}

// One iconv conversion descriptor for the duration of a call.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_((KeepModulesLoaded(), iconv_open(to, from))) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      const std::string problem = CodePageProblem();
      throw CodePageMissing(problem.empty()
                                ? std::string("iconv cannot convert from ") + from + " to " + to
                                : problem);
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts `in` (in units of `unit` bytes); an input character that cannot be
  // converted or is invalid is replaced by `replacement` (already in the target
  // encoding) and skipped by `unit` bytes (or one character when `skipChar` says how).
  template <typename SkipFn>
  std::string Convert(const char* in, size_t inLen, std::string_view replacement, SkipFn skip) {
    std::string out;
    out.resize(inLen * 4 + 16);
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = inLen;
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
      size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      if (r != static_cast<size_t>(-1)) {
        break;
      }
      if (errno == E2BIG) {
        size_t used = static_cast<size_t>(outPtr - out.data());
        out.resize(out.size() * 2);
        outPtr = out.data() + used;
        outLeft = out.size() - used;
        continue;
      }
      // EILSEQ or EINVAL: one character cannot be converted or is cut short.
      size_t n = skip(reinterpret_cast<const unsigned char*>(inPtr), inLeft);
      inPtr += n;
      inLeft -= n;
      if (outLeft < replacement.size()) {
        size_t used = static_cast<size_t>(outPtr - out.data());
        out.resize(out.size() * 2 + replacement.size());
        outPtr = out.data() + used;
        outLeft = out.size() - used;
      }
      std::memcpy(outPtr, replacement.data(), replacement.size());
      outPtr += replacement.size();
      outLeft -= replacement.size();
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    }
    out.resize(static_cast<size_t>(outPtr - out.data()));
    return out;
  }

 private:
  iconv_t cd_;
};

size_t Utf8CharLength(const unsigned char* p, size_t left) {
  size_t n = 1;
  if (p[0] >= 0xF0) {
    n = 4;
  } else if (p[0] >= 0xE0) {
    n = 3;
  } else if (p[0] >= 0xC0) {
    n = 2;
  }
  if (n > left) {
    n = left;
  }
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      return i;
    }
  }
  return n;
}

size_t Utf16CharLength(const unsigned char* p, size_t left) {
  if (left < 2) {
    return left;
  }
  unsigned unit = p[0] | (p[1] << 8);
  if (unit >= 0xD800 && unit < 0xDC00 && left >= 4) {
    unsigned next = p[2] | (p[3] << 8);
    if (next >= 0xDC00 && next < 0xE000) {
      return 4;
    }
  }
  return 2;
}

// A lead byte whose trail byte is not valid is skipped with that trail byte, unless the
// trail byte is ASCII: then it is read as a character of its own, so that '=', ':', '[' or a
// line end after a damaged lead byte stays what it is.
size_t Cp936CharLength(const unsigned char* p, size_t left) {
  if (p[0] >= 0x81 && p[0] <= 0xFE && left >= 2 && p[1] >= 0x80) {
    return 2;
  }
  return 1;
}

}  // namespace

std::string CodePageProblem() {
  return CodePageProblemWith([](const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      return false;
    }
    iconv_close(cd);
    return true;
  });
}

std::string Utf8ToCp936(std::string_view utf8) {
  Iconv cv("CP936", "UTF-8");
  return cv.Convert(utf8.data(), utf8.size(), "?", Utf8CharLength);
}

std::string Cp936ToUtf8(std::string_view cp936) {
  Iconv cv("UTF-8", "CP936");
  return cv.Convert(cp936.data(), cp936.size(), "?", Cp936CharLength);
}

std::string Utf16ToCp936(std::u16string_view utf16) {
  Iconv cv("CP936", "UTF-16LE");
  return cv.Convert(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, "?",
                    Utf16CharLength);
}

std::u16string Cp936ToUtf16(std::string_view cp936) {
  Iconv cv("UTF-16LE", "CP936");
  std::string bytes =
      cv.Convert(cp936.data(), cp936.size(), std::string_view("?\0", 2), Cp936CharLength);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  Iconv cv("UTF-16LE", "UTF-8");
  std::string bytes =
      cv.Convert(utf8.data(), utf8.size(), std::string_view("\xFD\xFF", 2), Utf8CharLength);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (char16_t c : utf16) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  Iconv cv("UTF-8", "UTF-16LE");
  return cv.Convert(bytes.data(), bytes.size(), "\xEF\xBF\xBD", Utf16CharLength);
}

}  // namespace fw
