#include "voice/VoiceFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace fw {
namespace {

std::vector<uint8_t> FileWithMarker(size_t size, uint32_t at, uint32_t length) {
  std::vector<uint8_t> f(size, 0x11);
  std::memcpy(f.data() + at, "WAVE", 4);
  f[at + 4] = static_cast<uint8_t>(length);
  f[at + 5] = static_cast<uint8_t>(length >> 8);
  f[at + 6] = static_cast<uint8_t>(length >> 16);
  f[at + 7] = static_cast<uint8_t>(length >> 24);
  return f;
}

TEST(VoiceFile, HeaderCountAtBytesSixToNineCountsKilobytes) {
  std::array<uint8_t, 10> h = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 8, 0, 0, 0};
  EXPECT_EQ(VoiceAreaLength(h), 8192u);  // the first six bytes are not interpreted
  h = {0, 0, 0, 0, 0, 0, 0x0A, 0, 0, 0};
  EXPECT_EQ(VoiceAreaLength(h), 10240u);
  h = {0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x40, 0x00};  // 2^22 kilobytes: 2^32 bytes
  EXPECT_EQ(VoiceAreaLength(h), 4294967296ull) << "must not wrap to 0 in 32 bits";
  h = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(VoiceAreaLength(h), 4294967295ull * 1024);
}

TEST(VoiceFile, MarkerIsTheFirstWaveInTheBytes) {
  std::vector<uint8_t> f = FileWithMarker(200, 44, 100);
  std::memcpy(f.data() + 120, "WAVE", 4);
  EXPECT_EQ(FindWaveMarker(f), 44u);
  EXPECT_EQ(FindWaveMarker(std::span<const uint8_t>(f.data(), 47)), 47u) << "cut marker";
  EXPECT_EQ(FindWaveMarker(std::span<const uint8_t>(f.data() + 45, 100)), 75u);
  EXPECT_EQ(FindWaveMarker({}), 0u);
  const std::vector<uint8_t> lower = {'w', 'a', 'v', 'e', 'W', 'A', 'V'};
  EXPECT_EQ(FindWaveMarker(lower), lower.size());
}

TEST(VoiceFile, LengthCountsFromTheMarkerAndMustFitTheLoadedBytes) {
  // Marker at 44, 200 bytes loaded: 156 bytes from the marker on.
  VoiceData d = CheckVoiceData(FileWithMarker(200, 44, 156), 44);
  EXPECT_EQ(d.check, VoiceDataCheck::kOk);
  EXPECT_EQ(d.offset, 44u);
  EXPECT_EQ(d.length, 156u);
  EXPECT_EQ(CheckVoiceData(FileWithMarker(200, 44, 100), 44).length, 100u);
  EXPECT_EQ(CheckVoiceData(FileWithMarker(200, 44, 157), 44).check, VoiceDataCheck::kBadLength);
  EXPECT_EQ(CheckVoiceData(FileWithMarker(200, 44, 0xFFFFFFFF), 44).check,
            VoiceDataCheck::kBadLength);
  EXPECT_EQ(CheckVoiceData(FileWithMarker(200, 44, 7), 44).check, VoiceDataCheck::kBadLength);
  EXPECT_EQ(CheckVoiceData(FileWithMarker(200, 44, 8), 44).check, VoiceDataCheck::kOk);
}

TEST(VoiceFile, MissingMarkerOrLengthFieldIsRefused) {
  const std::vector<uint8_t> f = FileWithMarker(200, 44, 100);
  EXPECT_EQ(CheckVoiceData(f, 43).check, VoiceDataCheck::kNoMarker);
  EXPECT_EQ(CheckVoiceData(f, 200).check, VoiceDataCheck::kNoMarker);
  EXPECT_EQ(CheckVoiceData(f, 0xFFFFFFFF).check, VoiceDataCheck::kNoMarker) << "no wrap";
  EXPECT_EQ(CheckVoiceData({}, 0).check, VoiceDataCheck::kNoMarker);
  // The marker stands at the end with only part of its length field behind it.
  EXPECT_EQ(CheckVoiceData(std::span<const uint8_t>(f.data(), 50), 44).check,
            VoiceDataCheck::kBadLength);
}

}  // namespace
}  // namespace fw
