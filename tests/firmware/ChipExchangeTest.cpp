#include "firmware/ChipExchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

#include "Responder.h"
#include "SimPty.h"
#include "firmware/ChipFrames.h"
#include "support/FakeClockScope.h"
#include "support/RadioOnPort.h"

namespace fw {
namespace {

using Bytes = std::vector<uint8_t>;

// Takes requests of a fixed length and answers each with the next scripted reply (an
// empty one: silence). Counts the requests.
class ScriptedChip : public sim::Responder {
 public:
  explicit ScriptedChip(size_t requestLength) : requestLength_(requestLength) {}
  bool Accepts(uint8_t first) const override { return first == 0x84 || first == 0x02; }
  size_t Consume(const uint8_t* in, size_t n, std::vector<sim::Action>& out) override {
    if (n < requestLength_) {
      return 0;
    }
    requests.emplace_back(in, in + requestLength_);
    Bytes reply;
    if (!replies.empty()) {
      reply = replies.front();
      replies.pop_front();
    }
    if (!reply.empty()) {
      sim::Action a;
      a.bytes = reply;
      out.push_back(a);
    }
    return requestLength_;
  }
  std::deque<Bytes> replies;
  std::vector<Bytes> requests;

 private:
  size_t requestLength_;
};

class ChipExchangeTest : public ::testing::Test {
 protected:
  void Open(ScriptedChip& chip, uint32_t deadlineMs) {
    sim_.AddResponder(&chip);
    port_.SetJobClock(clock_.Job());
    std::string error;
    const std::string device = test::ServeResponders(sim_, {&port_}, "\\\\.\\COM7", &error);
    ASSERT_FALSE(device.empty()) << error;
    ASSERT_EQ(port_.Open(device), 1) << port_.LastError();
    ASSERT_EQ(port_.Configure(115200, 8, kParityNone, kTwoStopBits), 1);
    port_.SetReadTimeout(deadlineMs);
  }
  size_t Requests(ScriptedChip& chip) {
    std::lock_guard<std::mutex> lock(sim_.StateMutex());
    return chip.requests.size();
  }

  test::FakeClockScope clock_;
  sim::SimPty sim_;
  DownloadPort port_;
  uint8_t reply_[kChipReplyBufferSize] = {0};
};

TEST_F(ChipExchangeTest, HandshakeAnsweredByTheDataAcknowledgement) {
  ScriptedChip chip(8);
  chip.replies.push_back(Bytes(kChipDataReply, kChipDataReply + 10));
  Open(chip, 500);
  EXPECT_EQ(ChipExchange(port_, kChipHandshake, kChipHandshakeRequest, 8, reply_, 8, 10, 3), 1);
  EXPECT_EQ(Requests(chip), 1u);
  EXPECT_EQ(Bytes(chip.requests[0]), Bytes(kChipHandshakeRequest, kChipHandshakeRequest + 8));
  EXPECT_EQ(clock_.clock().Sleeps(), (std::vector<uint32_t>{50, 10}));
}

TEST_F(ChipExchangeTest, NoReplyToEnterTakesFourAttempts) {
  ScriptedChip chip(4);
  Open(chip, 50);
  EXPECT_EQ(ChipExchange(port_, kChipEnter, kChipEnterRequest, 4, reply_, 30, 2000, 3), 0);
  EXPECT_EQ(Requests(chip), 4u);
  // One 50 ms pause before the first attempt only, then the wait after every request.
  EXPECT_EQ(clock_.clock().Sleeps(), (std::vector<uint32_t>{50, 2000, 2000, 2000, 2000}));
}

TEST_F(ChipExchangeTest, WrongRepliesAreRetriedUntilOneFits) {
  ScriptedChip chip(10);
  Bytes wrong(kChipEraseReply, kChipEraseReply + 10);
  wrong[7] = 0x01;
  chip.replies = {wrong, Bytes(kChipFinishReply, kChipFinishReply + 10),
                  Bytes(kChipEraseReply, kChipEraseReply + 10)};
  Open(chip, 500);
  EXPECT_EQ(ChipExchange(port_, kChipErase, kChipEraseRequest, 10, reply_, 10, 5000, 3), 1);
  EXPECT_EQ(Requests(chip), 3u);
  EXPECT_EQ(0, std::memcmp(reply_, kChipEraseReply, 10));
}

TEST_F(ChipExchangeTest, ShortRepliesDoNotMatchWhatTheBufferHeldBefore) {
  ScriptedChip chip(10);
  Bytes half(kChipLeaveReply, kChipLeaveReply + 5);
  chip.replies = {half, half, half, half};
  Open(chip, 50);
  std::memcpy(reply_, kChipFinishReply, 10);  // the finish step's reply, same bytes as leave's
  EXPECT_EQ(ChipExchange(port_, kChipLeave, kChipLeaveRequest, 10, reply_, 10, 10, 3), 0);
  EXPECT_EQ(Requests(chip), 4u);
}

TEST_F(ChipExchangeTest, DataFrameAcknowledged) {
  uint8_t data[16] = {0};
  uint8_t frame[kChipMaxDataFrame];
  const uint32_t length = BuildChipDataFrame(0, 0x12, 0x30, data, 16, frame);
  ScriptedChip chip(length);
  chip.replies = {Bytes(kChipDataReply, kChipDataReply + 10)};
  Open(chip, 500);
  EXPECT_EQ(ChipExchange(port_, kChipData, frame, length, reply_, 10, 10, 3), 1);
  ASSERT_EQ(Requests(chip), 1u);
  EXPECT_EQ(chip.requests[0], Bytes(frame, frame + length));
}

}  // namespace
}  // namespace fw
