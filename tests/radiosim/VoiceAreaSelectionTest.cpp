// The simulated radio directs block writes after an information request: area 5 opens the
// font memory, except right after area 4, where it opens the voice memory for writing.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "protocol/RadioLink.h"
#include "support/FakeClockScope.h"
#include "support/SimulatedLink.h"

namespace fw {
namespace {

using Memory = sim::FramedLinkResponder::Memory;

TEST(VoiceAreaSelection, Area5AfterArea4WritesTheVoiceMemoryAndAfterArea7TheFont) {
  test::FakeClockScope clock;
  test::SimulatedLink sim;
  RadioLink link;
  link.Port().SetJobClock(clock.Job());
  ASSERT_TRUE(sim.Connect(link));
  std::vector<uint8_t> data(200);
  std::iota(data.begin(), data.end(), 1);
  uint8_t info[185];

  ASSERT_EQ(link.ReadInfo(nullptr, 0, 4, info, 185), std::optional<uint8_t>(0));
  ASSERT_EQ(link.ReadInfo(nullptr, 0, 5, info, 185), std::optional<uint8_t>(0));
  ASSERT_TRUE(link.WriteBlock(kMemorySelector, 0, 200, 200, data.data()));

  ASSERT_EQ(link.ReadInfo(nullptr, 0, 7, info, 185), std::optional<uint8_t>(0));
  ASSERT_EQ(link.ReadInfo(nullptr, 0, 5, info, 185), std::optional<uint8_t>(0));
  ASSERT_TRUE(link.WriteBlock(kMemorySelector, 0, 400, 200, data.data()));

  // The voice header: bytes 6-9 count the voice memory's kilobytes (10240 bytes: 10).
  uint8_t header[10] = {};
  ASSERT_TRUE(link.ReadBlock(kMemorySelector, 170, 0, 10, header));
  EXPECT_EQ(header[6], 10);
  EXPECT_EQ(header[7] | header[8] | header[9], 0);
  link.Disconnect();

  sim.With([&](sim::FramedLinkResponder& r) {
    const auto& voice = r.MemoryImage(Memory::kVoice);
    const auto& font = r.MemoryImage(Memory::kFont);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), voice.begin() + 200));
    EXPECT_EQ(voice[400], 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), font.begin() + 400));
    EXPECT_EQ(font[200], 0);
  });
}

}  // namespace
}  // namespace fw
