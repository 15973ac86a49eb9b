#include "voice/VoiceFile.h"

#include <algorithm>
#include <cstring>

namespace fw {
namespace {

constexpr uint8_t kWaveMarker[kWaveMarkerSize] = {'W', 'A', 'V', 'E'};

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

uint64_t VoiceAreaLength(std::span<const uint8_t, kVoiceHeaderSize> header) {
  return static_cast<uint64_t>(Le32(header.data() + 6)) * kVoiceUnit;
}

uint32_t FindWaveMarker(std::span<const uint8_t> bytes) {
  const auto it =
      std::search(bytes.begin(), bytes.end(), std::begin(kWaveMarker), std::end(kWaveMarker));
  return static_cast<uint32_t>(it - bytes.begin());
}

VoiceData CheckVoiceData(std::span<const uint8_t> loaded, uint32_t markerOffset) {
  VoiceData data;
  data.offset = markerOffset;
  const uint64_t size = loaded.size();
  if (static_cast<uint64_t>(markerOffset) + kWaveMarkerSize > size ||
      std::memcmp(loaded.data() + markerOffset, kWaveMarker, kWaveMarkerSize) != 0) {
    data.check = VoiceDataCheck::kNoMarker;
    return data;
  }
  if (static_cast<uint64_t>(markerOffset) + kWaveHeadSize > size) {
    data.check = VoiceDataCheck::kBadLength;
    return data;
  }
  data.length = Le32(loaded.data() + markerOffset + kWaveMarkerSize);
  const uint64_t available = size - markerOffset;
  data.check = (data.length < kWaveHeadSize || data.length > available) ? VoiceDataCheck::kBadLength
                                                                        : VoiceDataCheck::kOk;
  return data;
}

}  // namespace fw
