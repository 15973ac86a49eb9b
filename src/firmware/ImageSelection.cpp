#include "firmware/ImageSelection.h"

namespace fw {
namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// A text begins with a letter when the letter's first occurrence is at position 0.
bool BeginsWith(const std::string& text, char letter) {
  return !text.empty() && text.find(letter) == 0;
}

}  // namespace

bool IsNewFamily(const RadioIdentity& radio) {
  return (Contains(radio.info, "MCU") && radio.version >= 400) || radio.familyOverride == 2;
}

ImageChoice ChooseImage(const ImageSettings& s, const RadioIdentity& radio) {
  ImageChoice c;
  c.familyOverride = radio.familyOverride;
  if (IsNewFamily(radio)) {
    c.radioDataSize = kLargeRadioDataSize;
    if (BeginsWith(radio.variant, 'A')) {
      c.imageName = s.mainImageName;
      c.imageKey = "MainBin";
      c.hexPath = s.chipHexPath;
    } else if (BeginsWith(radio.variant, 'S')) {
      c.imageName = s.mainImageNameSelp;
      c.imageKey = "MainBinSelp";
      c.hexPath = s.chipHexPathSelp;
    } else if (BeginsWith(radio.variant, 'V') || radio.familyOverride == 2) {
      c.imageName = s.mainImageName;
      c.imageKey = "MainBin";
      c.hexPath.clear();
    } else {
      c.result = ImageChoiceResult::kUnknownVariant;
      c.radioDataSize = 0;
    }
    return c;
  }

  if (Contains(s.mainImageName, "KW680") || Contains(s.mainImageName, "KW630") ||
      Contains(s.mainImageName, "KV230")) {
    c.imageName = s.mainImageName;
    c.imageKey = "MainBin";
    c.hexPath = s.chipHexPath;
    c.radioDataSize = kLargeRadioDataSize;
    return c;
  }
  if (Contains(radio.modelCode, "KZ86") || Contains(radio.modelCode, "KZ66")) {
    c.imageName = s.smallImageNameSelp;
    c.imageKey = "SmallMainBinSelp";
    c.hexPath = s.smallChipHexPath;
    c.radioDataSize = kSmallRadioDataSize;
    return c;
  }

  c.familyOverride = 0;
  if (BeginsWith(radio.variant, 'S') && !Contains(radio.modelCode, "KZ8") &&
      !Contains(radio.modelCode, "KZ6") && !Contains(radio.modelCode, "KZ9")) {
    c.imageName = s.smallImageNameSelp;
    c.imageKey = "SmallMainBinSelp";
    c.hexPath = s.smallChipHexPathSelp;
  } else {
    c.imageName = s.smallImageName;
    c.imageKey = "SmallMainBin";
    c.hexPath = s.smallChipHexPath;
  }
  if (Contains(s.modelList, "KV86/KV89/KV81/KW86/KW89/KW81") && Contains(radio.modelCode, "KW")) {
    c.result = ImageChoiceResult::kUnsupportedModel;
    return c;
  }
  c.radioDataSize = Contains(c.imageName, "KV680") ? kKv680RadioDataSize : kSmallRadioDataSize;
  return c;
}

}  // namespace fw
