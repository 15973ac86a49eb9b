// A language font file ("0409.bin") of arbitrary bytes loaded into the language image.

#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "font/FontImages.h"
#include "font/FontLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto* state = [] {
    auto* s = new fw::UpgradeState();
    LoadingInstallation(*s).programDir = fw::fuzz::ScratchDir();
    return s;
  }();
  fw::fuzz::WriteScratchFile("0409.bin", fw::fuzz::AsText(data, size));
  fw::LoadLanguageFont(LoadingInstallation(*state), 0x0409);
  if (size <= fw::FontLibrary::kMaxPayload) {
    FUZZ_CHECK(LoadingInstallation(*state).languageFontSize == size + fw::FontLibrary::kHeaderSize);
    FUZZ_CHECK(LoadingInstallation(*state).fontBufferC.size() == fw::FontLibrary::kBufferSize);
  } else {
    FUZZ_CHECK(LoadingInstallation(*state).languageFontSize == 0);
  }
  return 0;
}
