#include "platform/SystemLanguage.h"

#include <atomic>

namespace fw {
namespace {

std::atomic<uint16_t> g_override{0};

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

}  // namespace

// Defined in SystemLanguage_posix.cpp / SystemLanguage_win32.cpp.
uint16_t NativeSystemLangId();

uint16_t SystemDefaultLangId() {
  const uint16_t o = g_override.load();
  return o != 0 ? o : NativeSystemLangId();
}

void SetSystemLangIdOverride(uint16_t langId) {
  g_override.store(langId);
}

uint16_t LangIdFromLocaleName(const std::string& locale) {
  struct Entry {
    const char* prefix;
    uint16_t id;
  };
  static constexpr Entry kTable[] = {
      {"zh_CN", kLangChinesePrc}, {"ko_KR", 0x0412}, {"fr_FR", 0x040C},
      {"th_TH", 0x041E},          {"tr_TR", 0x041F},
  };
  for (const Entry& e : kTable) {
    if (StartsWith(locale, e.prefix)) {
      return e.id;
    }
  }
  return kLangEnglishUs;
}

}  // namespace fw
