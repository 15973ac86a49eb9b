#pragma once
// Conversions between Unicode (UTF-8 / UTF-16) and the ANSI code page the radios and
// their files use: code page 936 (simplified Chinese, a superset of ASCII).
//
// A character that code page 936 cannot represent becomes "?" (one byte), as the
// Windows conversion does with its default character. Bytes that are not valid code
// page 936 become "?" on the way back to Unicode.

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fw {

// "" when the system converts code page 936 and UTF-16 both ways; otherwise what is missing
// and where to get it (POSIX: the C library's code-page modules, gconv). The texts of the
// radios and their files are in code page 936, so the front ends check this at start-up and
// refuse to run with this text rather than convert wrongly.
std::string CodePageProblem();
// The same decision for a given converter check (tests stand in for the C library):
// `canConvert(to, from)` says whether a conversion can be opened.
std::string CodePageProblemWith(
    const std::function<bool(const char* to, const char* from)>& canConvert);

// Thrown by a conversion that the system cannot make; what() is CodePageProblem()'s text.
class CodePageMissing : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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
