#pragma once
// The voice prompt formats: the radio's 10-byte voice header, and the voice file whose
// data to write begins at the four bytes "WAVE" followed by its 32-bit little-endian
// length (counted from the marker, the marker included).

#include <cstdint>
#include <span>

namespace fw {

inline constexpr uint32_t kVoiceHeaderSize = 10;
inline constexpr uint16_t kVoiceHeaderAreaField = 170;  // block address area of the header
inline constexpr uint32_t kVoiceUnit = 1024;            // the header counts kilobytes
inline constexpr uint32_t kWaveMarkerSize = 4;          // "WAVE"
inline constexpr uint32_t kWaveHeadSize = 8;            // the marker and the length

// The voice prompt area's length given by a voice header: the 32-bit little-endian count
// at bytes 6-9 times 1024. 64 bits wide, so that no count wraps around.
uint64_t VoiceAreaLength(std::span<const uint8_t, kVoiceHeaderSize> header);

// The position of the first "WAVE" in `bytes`; bytes.size() when there is none.
uint32_t FindWaveMarker(std::span<const uint8_t> bytes);

// What a loaded voice file asks to be written.
enum class VoiceDataCheck {
  kOk,
  kNoMarker,   // no "WAVE" at the given offset (or nothing loaded)
  kBadLength,  // the length field is missing, smaller than the marker and itself, or
               // reaches past the loaded bytes
};

struct VoiceData {
  VoiceDataCheck check = VoiceDataCheck::kNoMarker;
  uint32_t offset = 0;  // where the data begins (the marker)
  uint32_t length = 0;  // bytes to write from there
};

// Checks the `loaded` bytes of a voice file with its marker at `markerOffset`: the marker
// must stand there and the length after it must lie within the loaded bytes.
VoiceData CheckVoiceData(std::span<const uint8_t> loaded, uint32_t markerOffset);

}  // namespace fw
