#include <cstdlib>

#include "platform/SystemLanguage.h"

namespace fw {

uint16_t NativeSystemLangId() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      return LangIdFromLocaleName(value);
    }
  }
  return kLangEnglishUs;
}

}  // namespace fw
