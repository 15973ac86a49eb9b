// The radio's answer to the download-mode identification request, of any length and
// content, judged, parsed and then used to choose the firmware image as the job does.

#include <string>

#include "FuzzSupport.h"
#include "firmware/IdentifyReply.h"
#include "firmware/ImageSelection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fw::IdentifyFields f = fw::ParseIdentifyReply(data, size);
  // Each field byte becomes at most three bytes of UTF-8.
  FUZZ_CHECK(f.info.size() <= 3 * 10 && f.variant.size() <= 3 * 12 && f.model.size() <= 3 * 28);
  FUZZ_CHECK(f.modelCode == fw::kUnknownField || f.modelCode.size() <= 3 * 4);
  FUZZ_CHECK(f.version >= 0 && f.version <= 9999);
  // A reply judged to identify the radio has printable fields and a model code of four
  // letters or digits, so the transfer never goes on with line noise for a radio.
  if (fw::JudgeIdentifyReply(data, size) == fw::IdentifyVerdict::kIdentified) {
    FUZZ_CHECK(!f.info.empty() && f.info.size() <= 10 && f.modelCode.size() == 4);
    for (char c : f.modelCode) {
      FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    }
  }

  fw::ImageSettings settings;
  settings.modelList = "KV680,KZ66,KW860,KW890,KW810";
  settings.mainImageName = "main.bin";
  settings.mainImageNameSelp = "main_s.bin";
  settings.smallImageName = "small.bin";
  settings.smallImageNameSelp = "small_s.bin";
  settings.chipHexPath = "a.hex";
  settings.chipHexPathSelp = "b.hex";
  settings.smallChipHexPath = "c.hex";
  settings.smallChipHexPathSelp = "d.hex";
  for (int familyOverride : {0, 2}) {
    fw::RadioIdentity radio{f.info, f.variant, f.modelCode, f.version, familyOverride};
    fw::IsNewFamily(radio);
    fw::ChooseImage(settings, radio);
  }
  return 0;
}
