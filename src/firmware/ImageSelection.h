#pragma once
// Which firmware image, chip hex file and radio-data size serve the radio at hand, from
// the installation's settings and what the radio said about itself.

#include <cstdint>
#include <string>

namespace fw {

inline constexpr uint32_t kLargeRadioDataSize = 129976;
inline constexpr uint32_t kSmallRadioDataSize = 65431;
inline constexpr uint32_t kKv680RadioDataSize = 75031;

struct ImageSettings {
  std::string modelList;
  std::string mainImageName;
  std::string mainImageNameSelp;
  std::string smallImageName;
  std::string smallImageNameSelp;
  std::string chipHexPath;
  std::string chipHexPathSelp;
  std::string smallChipHexPath;
  std::string smallChipHexPathSelp;
};

struct RadioIdentity {
  std::string info;       // information field ("MCU-0401")
  std::string variant;    // upper-cased
  std::string modelCode;  // "KZ66"
  int version = 0;
  int familyOverride = 0;
};

enum class ImageChoiceResult {
  kChosen,
  kUnknownVariant,    // a new-family radio whose variant the installation has no image for
  kUnsupportedModel,  // KW860/KW890/KW810 V1 radios on an installation serving those models
};

struct ImageChoice {
  ImageChoiceResult result = ImageChoiceResult::kChosen;
  std::string imageName;
  std::string imageKey;  // the settings key that names the image ("MainBin", ...)
  std::string hexPath;
  uint32_t radioDataSize = 0;
  int familyOverride = 0;  // the override after the choice (the small-MCU rows clear it)
};

// New family: "MCU" in the information field with version 400 or more, or the override 2.
bool IsNewFamily(const RadioIdentity& radio);

ImageChoice ChooseImage(const ImageSettings& settings, const RadioIdentity& radio);

}  // namespace fw
