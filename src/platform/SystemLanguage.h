#pragma once
// The system's default language as a Windows language identifier (0x0409 English,
// 0x0804 Chinese (PRC), ...).
//
// On Windows it is GetSystemDefaultLangID(). Elsewhere it comes from the locale the
// program runs in: the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty,
// as the C library would choose; "zh_CN..." is Chinese (PRC), a few other locales map to
// their identifiers, anything else is English (United States).

#include <cstdint>
#include <string>

namespace fw {

inline constexpr uint16_t kLangEnglishUs = 0x0409;
inline constexpr uint16_t kLangChinesePrc = 0x0804;

uint16_t SystemDefaultLangId();

// The identifier for a POSIX locale name such as "zh_CN.UTF-8".
uint16_t LangIdFromLocaleName(const std::string& locale);

// For tests: make SystemDefaultLangId() return `langId` (0 restores the system's).
void SetSystemLangIdOverride(uint16_t langId);

}  // namespace fw
