// Code page 936 on Windows: MultiByteToWideChar and WideCharToMultiByte, one character at a
// time where a character may not convert, so that the "?" rules are those of the POSIX
// conversion: a character that code page 936 cannot represent becomes one "?"; bytes that are
// not valid code page 936 become "?" on the way back (a damaged lead byte never swallows an
// ASCII character after it); malformed UTF-8 or UTF-16 becomes "?" towards code page 936 and
// U+FFFD towards Unicode. No best-fit mapping: a character is never replaced by a look-alike.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "platform/CodePage.h"

namespace fw {
namespace {

constexpr UINT kCodePage = 936;
constexpr char32_t kInvalid = 0xFFFFFFFF;

// One character of UTF-8 at `p`: its code point and the bytes it takes, or kInvalid and the
// bytes to skip (the lead byte and the continuation bytes that follow it, at most the
// sequence's length), as the POSIX conversion skips them.
char32_t DecodeUtf8(const unsigned char* p, size_t left, size_t& used) {
  const unsigned char b = p[0];
  if (b < 0x80) {
    used = 1;
    return b;
  }
  size_t n = 1;
  char32_t cp = 0;
  char32_t min = 0;
  if (b >= 0xF0) {
    n = 4;
    cp = b & 0x07;
    min = 0x10000;
  } else if (b >= 0xE0) {
    n = 3;
    cp = b & 0x0F;
    min = 0x800;
  } else if (b >= 0xC0) {
    n = 2;
    cp = b & 0x1F;
    min = 0x80;
  }
  size_t good = 1;
  while (good < n && good < left && (p[good] & 0xC0) == 0x80) {
    cp = (cp << 6) | (p[good] & 0x3F);
    ++good;
  }
  used = good;
  if (n == 1 || good < n || b > 0xF4 || cp < min || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp < 0xE000)) {
    return kInvalid;
  }
  return cp;
}

// One character of UTF-16 at `p`: a code point, or kInvalid for a lone surrogate (one unit).
char32_t DecodeUtf16(const char16_t* p, size_t left, size_t& used) {
  const char16_t u = p[0];
  used = 1;
  if (u >= 0xD800 && u < 0xDC00 && left >= 2 && p[1] >= 0xDC00 && p[1] < 0xE000) {
    used = 2;
    return 0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (p[1] - 0xDC00));
  }
  if (u >= 0xD800 && u < 0xE000) {
    return kInvalid;
  }
  return u;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// One code point in code page 936, or "?" when it has no exact code there.
void AppendCp936(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return;
  }
  std::u16string wide;
  if (cp != kInvalid) {
    AppendUtf16(wide, cp);
  }
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int n = wide.empty() ? 0
                             : WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS,
                                                   reinterpret_cast<const wchar_t*>(wide.data()),
                                                   static_cast<int>(wide.size()), bytes,
                                                   sizeof bytes, "?", &usedDefault);
  if (n <= 0 || usedDefault) {
    out.push_back('?');
    return;
  }
  out.append(bytes, static_cast<size_t>(n));
}

// One character of code page 936 at `p`: a code point, or kInvalid and the bytes to skip. A
// lead byte whose trail byte is not valid is skipped with that trail byte, unless the trail
// byte is ASCII: then it is read as a character of its own, so that '=', ':', '[' or a line
// end after a damaged lead byte stays what it is.
char32_t DecodeCp936(const unsigned char* p, size_t left, size_t& used) {
  if (p[0] < 0x80) {
    used = 1;
    return p[0];
  }
  const bool lead = p[0] >= 0x81 && p[0] <= 0xFE;
  const size_t length = lead ? 2 : 1;
  wchar_t wide[2];
  int n = 0;
  if (length <= left) {
    n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(p),
                            static_cast<int>(length), wide, 2);
  }
  if (n == 1 && (wide[0] < 0xD800 || wide[0] >= 0xE000)) {
    used = length;
    return static_cast<char32_t>(wide[0]);
  }
  used = lead && left >= 2 && p[1] >= 0x80 ? 2 : 1;
  return kInvalid;
}

}  // namespace

std::string CodePageProblem() {
  if (IsValidCodePage(936)) {
    return std::string();
  }
  return "Code page 936 (simplified Chinese) is not installed on this system: the radios' "
         "texts and files are in it, so the program cannot run without it. Add it in the "
         "system's language settings (Settings, Time & language, Language & region).";
}

std::string Utf8ToCp936(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t i = 0; i < utf8.size();) {
    size_t used = 0;
    AppendCp936(out, DecodeUtf8(p + i, utf8.size() - i, used));
    i += used;
  }
  return out;
}

std::string Cp936ToUtf8(std::string_view cp936) {
  std::string out;
  out.reserve(cp936.size() * 3 / 2);
  const auto* p = reinterpret_cast<const unsigned char*>(cp936.data());
  for (size_t i = 0; i < cp936.size();) {
    size_t used = 0;
    const char32_t cp = DecodeCp936(p + i, cp936.size() - i, used);
    AppendUtf8(out, cp == kInvalid ? U'?' : cp);
    i += used;
  }
  return out;
}

std::string Utf16ToCp936(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 2);
  for (size_t i = 0; i < utf16.size();) {
    size_t used = 0;
    AppendCp936(out, DecodeUtf16(utf16.data() + i, utf16.size() - i, used));
    i += used;
  }
  return out;
}

std::u16string Cp936ToUtf16(std::string_view cp936) {
  std::u16string out;
  out.reserve(cp936.size());
  const auto* p = reinterpret_cast<const unsigned char*>(cp936.data());
  for (size_t i = 0; i < cp936.size();) {
    size_t used = 0;
    const char32_t cp = DecodeCp936(p + i, cp936.size() - i, used);
    AppendUtf16(out, cp == kInvalid ? U'?' : cp);
    i += used;
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t i = 0; i < utf8.size();) {
    size_t used = 0;
    const char32_t cp = DecodeUtf8(p + i, utf8.size() - i, used);
    AppendUtf16(out, cp == kInvalid ? U'\uFFFD' : cp);
    i += used;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size();) {
    size_t used = 0;
    const char32_t cp = DecodeUtf16(utf16.data() + i, utf16.size() - i, used);
    AppendUtf8(out, cp == kInvalid ? U'\uFFFD' : cp);
    i += used;
  }
  return out;
}

}  // namespace fw
