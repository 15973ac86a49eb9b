// The simulated radio's download mode, driven directly (no pseudo-terminal): its replies,
// its checks of every block and its injected faults. Blocks are built here by hand with a
// reference CRC, independently of the tool's block builders.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DownloadModeResponder.h"
#include "RadioMode.h"

namespace fw::sim {
namespace {

uint16_t ReferenceCrc(const std::vector<uint8_t>& data, size_t from, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = from; i < from + length; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      bool in = (data[i] >> bit) & 1;
      bool top = (crc >> 15) & 1;
      crc = static_cast<uint16_t>(crc << 1);
      if (in != top) {
        crc ^= 0x1021;
      }
    }
  }
  return crc;
}

std::vector<uint8_t> Header(const std::string& name, const std::string& size) {
  std::vector<uint8_t> b(133, 0);
  b[0] = 0x01;
  b[2] = 0xFF;
  std::memcpy(b.data() + 3, name.data(), name.size());
  std::memcpy(b.data() + 4 + name.size(), size.data(), size.size());
  uint16_t crc = ReferenceCrc(b, 3, 128);
  b[131] = static_cast<uint8_t>(crc >> 8);
  b[132] = static_cast<uint8_t>(crc);
  return b;
}

std::vector<uint8_t> Data(uint8_t number, uint8_t fill) {
  std::vector<uint8_t> b(1029, fill);
  b[0] = 0x02;
  b[1] = number;
  b[2] = static_cast<uint8_t>(~number);
  uint16_t crc = ReferenceCrc(b, 3, 1024);
  b[1027] = static_cast<uint8_t>(crc >> 8);
  b[1028] = static_cast<uint8_t>(crc);
  return b;
}

class Radio : public ::testing::Test {
 protected:
  std::vector<Action> Send(const std::vector<uint8_t>& request) {
    std::vector<Action> out;
    EXPECT_TRUE(responder.Accepts(request[0]));
    EXPECT_EQ(responder.Consume(request.data(), request.size(), out), request.size());
    return out;
  }
  // One action with exactly these bytes.
  static std::vector<uint8_t> Only(const std::vector<Action>& actions) {
    EXPECT_EQ(actions.size(), 1u);
    return actions.empty() ? std::vector<uint8_t>() : actions[0].bytes;
  }
  void StartBatch() {
    Send({0x31});
    EXPECT_EQ(Only(Send(Header("F.bin", "2100"))), (std::vector<uint8_t>{0x06, 'C'}));
  }

  RadioMode mode;
  DownloadModeConfig config;
  DownloadModeResponder responder{mode, config};
};

TEST_F(Radio, IdentificationRepliesAtTheirOffsets) {
  responder.Config().info = "MCU-0401";
  responder.Config().variant = "S";
  responder.Config().model = "KZ66ABCDEF";
  auto reply = Only(Send({0x52}));
  ASSERT_EQ(reply.size(), 100u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&reply[2])), "MCU-0401");
  EXPECT_EQ(reply[12], 'S');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&reply[24])), "KZ66ABCDEF");

  auto waiting = Only(Send({0x31}));
  ASSERT_EQ(waiting.size(), 58u);
  EXPECT_EQ(std::string(waiting.begin(), waiting.begin() + 7), "Waiting");
  const std::vector<uint8_t> autoIap = {0x5A, 0xA5, 'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};
  auto a = Only(Send(autoIap));
  ASSERT_EQ(a.size(), 20u);
  EXPECT_EQ(a[0], 0x5A);
  EXPECT_EQ(a[1], 0xA5);
}

TEST_F(Radio, WaitsForWholeBlocks) {
  auto header = Header("F.bin", "10");
  std::vector<Action> out;
  EXPECT_EQ(responder.Consume(header.data(), 100, out), 0u);
  EXPECT_TRUE(out.empty());
}

TEST_F(Radio, WholeBatchKeepsImageAndNameThenRestarts) {
  StartBatch();
  EXPECT_EQ(Only(Send(Data(1, 0xAB))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send(Data(1, 0xAB))), std::vector<uint8_t>{0x06});  // repeat: taken once
  EXPECT_EQ(Only(Send(Data(2, 0xCD))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send(Data(3, 0x1A))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send({0x04})), (std::vector<uint8_t>{0x06, 'C'}));
  auto closing = Only(Send(Header("", "")));
  EXPECT_EQ(closing.size(), 80u);

  const DownloadRecord& r = responder.Record();
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.fileName, "F.bin");
  EXPECT_EQ(r.declaredSize, 2100);
  EXPECT_EQ(r.duplicateBlocks, 1u);
  ASSERT_EQ(r.Image().size(), 2100u);
  EXPECT_EQ(r.Image()[1023], 0xAB);
  EXPECT_EQ(r.Image()[1024], 0xCD);
  EXPECT_EQ(r.Image()[2099], 0x1A);
  EXPECT_EQ(mode.Current(), RadioMode::kRestarting);
  EXPECT_FALSE(responder.Accepts(0x52));
  EXPECT_EQ(r.completedTransfers, 1u);

  // A second transfer begins with a new batch, which forgets the first image but not that it
  // was completed: a report polled only after the second transfer still sees a new one.
  mode.Set(RadioMode::kDownload);
  StartBatch();
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(r.completedTransfers, 1u);
  EXPECT_EQ(Only(Send(Data(1, 0x11))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send(Data(2, 0x22))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send(Data(3, 0x33))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send({0x04})), (std::vector<uint8_t>{0x06, 'C'}));
  EXPECT_EQ(Only(Send(Header("", ""))).size(), 80u);
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.completedTransfers, 2u);
  EXPECT_EQ(r.duplicateBlocks, 0u);
  EXPECT_EQ(r.Image()[0], 0x11);
}

TEST_F(Radio, BadCrcComplementOrNumberIsRefused) {
  StartBatch();
  auto bad = Data(1, 0x11);
  bad[500] ^= 0x01;
  EXPECT_EQ(Only(Send(bad)), std::vector<uint8_t>{0x15});
  bad = Data(1, 0x11);
  bad[2] = 0x00;
  EXPECT_EQ(Only(Send(bad)), std::vector<uint8_t>{0x15});
  EXPECT_EQ(Only(Send(Data(2, 0x11))), std::vector<uint8_t>{0x15});  // 1 expected
  auto header = Header("G.bin", "5");
  header[131] ^= 0xFF;
  EXPECT_EQ(Only(Send(header)), std::vector<uint8_t>{0x15});
  EXPECT_EQ(responder.Record().badBlocks, 4u);
  EXPECT_EQ(responder.Record().blocksAccepted, 0u);
}

TEST_F(Radio, BlockNumbersWrapAfter255) {
  StartBatch();
  for (int n = 1; n <= 257; ++n) {
    ASSERT_EQ(Only(Send(Data(static_cast<uint8_t>(n), 0))), std::vector<uint8_t>{0x06}) << n;
  }
  EXPECT_EQ(responder.Record().blocksAccepted, 257u);
}

TEST_F(Radio, FaultsForTheFirstAttemptsThenNormal) {
  responder.SetFault(DownloadFault{FaultKind::kWrongByte, DownloadStep::kData, 2, 2});
  StartBatch();
  EXPECT_EQ(Only(Send(Data(1, 0))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(Only(Send(Data(2, 0))), std::vector<uint8_t>{0x15});
  EXPECT_EQ(Only(Send(Data(2, 0))), std::vector<uint8_t>{0x15});
  EXPECT_EQ(Only(Send(Data(2, 0))), std::vector<uint8_t>{0x06});
  EXPECT_EQ(responder.Record().blocksAccepted, 2u);
}

TEST_F(Radio, SilenceShortHangUpAndNotInDownloadMode) {
  responder.SetFault(DownloadFault{FaultKind::kSilence, DownloadStep::kIdentify, 1});
  EXPECT_TRUE(Send({0x52}).empty());
  EXPECT_EQ(Only(Send({0x52})).size(), 100u);

  responder.SetFault(DownloadFault{FaultKind::kShortReply, DownloadStep::kDownloadRequest});
  EXPECT_LE(Only(Send({0x31})).size(), 30u);

  responder.SetFault(DownloadFault{FaultKind::kNotInDownload, DownloadStep::kIdentify});
  auto reply = Only(Send({0x52}));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&reply[2])), "====");

  responder.SetFault(DownloadFault{FaultKind::kHangUp, DownloadStep::kEnd});
  auto actions = Send({0x04});
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_TRUE(actions[0].hangUp);
  EXPECT_TRUE(actions[0].bytes.empty());
}

TEST_F(Radio, GarbledIdentificationKeepsItsLengthAndFirstTwoBytes) {
  responder.SetFault(DownloadFault{FaultKind::kGarbled, DownloadStep::kIdentify, 1});
  auto garbled = Only(Send({0x52}));
  auto normal = Only(Send({0x52}));
  ASSERT_EQ(garbled.size(), 100u);
  ASSERT_EQ(normal.size(), 100u);
  EXPECT_EQ(garbled[0], normal[0]);
  EXPECT_EQ(garbled[1], normal[1]);
  // "M" (0x4D) of "MCU-0401" at offset 2 arrives as 0xB2; the zero padding as 0xFF.
  EXPECT_EQ(normal[2], 0x4D);
  EXPECT_EQ(garbled[2], 0xB2);
  EXPECT_EQ(garbled[99], 0xFF);
}

TEST_F(Radio, LostFirstByteOfWaiting) {
  responder.Config().loseWaitingFirstByte = true;
  auto reply = Only(Send({0x31}));
  ASSERT_EQ(reply.size(), 57u);
  EXPECT_EQ(std::string(reply.begin(), reply.begin() + 6), "aiting");
}

TEST_F(Radio, OnlyInDownloadMode) {
  mode.Set(RadioMode::kNormal);
  EXPECT_FALSE(responder.Accepts(0x52));
  EXPECT_FALSE(responder.Accepts(0x02));
  mode.Set(RadioMode::kDownload);
  EXPECT_TRUE(responder.Accepts(0x02));
  EXPECT_FALSE(responder.Accepts(0x7E));
}

}  // namespace
}  // namespace fw::sim
