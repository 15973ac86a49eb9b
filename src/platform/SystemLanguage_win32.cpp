#include <windows.h>

#include "platform/SystemLanguage.h"

namespace fw {

uint16_t NativeSystemLangId() {
  return static_cast<uint16_t>(GetSystemDefaultLangID());
}

}  // namespace fw
