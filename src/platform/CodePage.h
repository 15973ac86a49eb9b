#pragma once
// Conversions between Unicode (UTF-8 / UTF-16) and the ANSI code page the radios and
// their files use: code page 936 (simplified Chinese, a superset of ASCII).
//
// A character that code page 936 cannot represent becomes "?" (one byte), as the
// Windows conversion does with its default character. Bytes that are not valid code
// page 936 become "?" on the way back to Unicode.

#include <string>
#include <string_view>

namespace fw {

std::string Utf8ToCp936(std::string_view utf8);
std::string Cp936ToUtf8(std::string_view cp936);
std::string Utf16ToCp936(std::u16string_view utf16);
std::u16string Cp936ToUtf16(std::string_view cp936);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The "ANSI code page" of the system's file formats: code page 936.
inline std::string Utf8ToAnsi(std::string_view utf8) {
  return Utf8ToCp936(utf8);
}
inline std::string AnsiToUtf8(std::string_view ansi) {
  return Cp936ToUtf8(ansi);
}

}  // namespace fw
