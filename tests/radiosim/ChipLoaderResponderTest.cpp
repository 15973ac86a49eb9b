#include "ChipLoaderResponder.h"

#include <gtest/gtest.h>

#include <vector>

#include "RadioMode.h"
#include "SimPty.h"
#include "serial/SerialPort.h"

namespace fw::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using Fault = ChipLoaderResponder::Fault;
using FaultKind = ChipLoaderResponder::FaultKind;

const Bytes kEnter = {0x02, 0x50, 0x88, 0x03};
const Bytes kHandshake = {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x16, 0x01};
const Bytes kErase = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x0F, 0x2F, 0xB7};
const Bytes kFinish = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x01, 0x2F, 0x3C};
const Bytes kConfirm = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x00, 0x2F, 0xB8};
const Bytes kLeave = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x00, 0x2F, 0x3D};
const Bytes kHandshakeOk = {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x16, 0x00};
const Bytes kEraseOk = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x00, 0x2F, 0xB8};
const Bytes kDataOk = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x03, 0x94, 0x00, 0x2F, 0xBC};
const Bytes kFinishOk = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x00, 0x2F, 0x3D};

// A data frame written out by hand: header, n + 7, 03 94, page, address, n, data, 2F,
// XOR of offsets 3 .. 11 + n, 00.
Bytes DataFrame(uint8_t page, uint16_t address, const Bytes& data) {
  const size_t n = data.size();
  Bytes f = {0x84,
             0xA9,
             0x61,
             static_cast<uint8_t>((n + 7) >> 8),
             static_cast<uint8_t>(n + 7),
             0x03,
             0x94,
             page,
             static_cast<uint8_t>(address >> 8),
             static_cast<uint8_t>(address),
             static_cast<uint8_t>(n)};
  for (uint8_t b : data) {
    f.push_back(b);
  }
  f.push_back(0x2F);
  uint8_t x = 0;
  for (size_t i = 3; i < f.size(); ++i) {
    x ^= f[i];
  }
  f.push_back(x);
  f.push_back(0x00);
  return f;
}

// Feeds one request; returns what the loader did (empty when it stayed silent).
struct Result {
  size_t consumed = 0;
  std::vector<Action> actions;
  Bytes Reply() const { return actions.empty() ? Bytes() : actions[0].bytes; }
};

Result Feed(ChipLoaderResponder& r, const Bytes& request) {
  Result out;
  out.consumed = r.Consume(request.data(), request.size(), out.actions);
  return out;
}

void RunToErase(ChipLoaderResponder& r) {
  ASSERT_EQ(Feed(r, kEnter).actions.size(), 1u);
  ASSERT_EQ(Feed(r, kHandshake).Reply(), kHandshakeOk);
  ASSERT_EQ(Feed(r, kErase).Reply(), kEraseOk);
}

TEST(ChipLoaderResponder, AcceptsLoaderRequestsOnlyWhileTheRadioRunsNormally) {
  RadioMode mode;
  ChipLoaderResponder r(&mode);
  mode.Set(RadioMode::kDownload);
  EXPECT_FALSE(r.Accepts(0x84));
  EXPECT_FALSE(r.Accepts(0x02));
  mode.Set(RadioMode::kNormal);
  EXPECT_TRUE(r.Accepts(0x84));
  EXPECT_TRUE(r.Accepts(0x02));
  EXPECT_FALSE(r.Accepts(0x7E));
}

TEST(ChipLoaderResponder, EnterReplyIsThirtyBytesOfText) {
  ChipLoaderResponder r;
  Bytes expected(30, 0);
  const std::string text = "S-enter";
  std::copy(text.begin(), text.end(), expected.begin());
  r.SetEnterText(text);
  Result res = Feed(r, kEnter);
  EXPECT_EQ(res.consumed, 4u);
  EXPECT_EQ(res.Reply(), expected);
}

TEST(ChipLoaderResponder, WaitsForCompleteRequests) {
  ChipLoaderResponder r;
  Bytes part(kEnter.begin(), kEnter.begin() + 3);
  EXPECT_EQ(Feed(r, part).consumed, 0u);
  Feed(r, kEnter);
  Bytes frame = DataFrame(0, 0x1000, Bytes(20, 0xAB));
  Feed(r, kHandshake);
  Feed(r, kErase);
  Bytes half(frame.begin(), frame.begin() + 20);
  EXPECT_EQ(Feed(r, half).consumed, 0u);
  EXPECT_EQ(Feed(r, frame).consumed, frame.size());
}

TEST(ChipLoaderResponder, NotReadyForTheFirstEnterRequests) {
  ChipLoaderResponder r;
  r.SetNotReady(2);
  EXPECT_TRUE(Feed(r, kEnter).actions.empty());
  EXPECT_TRUE(Feed(r, kEnter).actions.empty());
  EXPECT_EQ(Feed(r, kEnter).Reply().size(), 30u);
  EXPECT_EQ(r.GetLog().enterRequests, 3);
}

TEST(ChipLoaderResponder, StepsOutOfOrderAreIgnored) {
  ChipLoaderResponder r;
  EXPECT_TRUE(Feed(r, kHandshake).actions.empty());  // not entered yet
  Feed(r, kEnter);
  EXPECT_TRUE(Feed(r, kErase).actions.empty());  // no handshake yet
  EXPECT_TRUE(Feed(r, DataFrame(0, 0, {1})).actions.empty());
  Feed(r, kHandshake);
  EXPECT_TRUE(Feed(r, kConfirm).actions.empty());  // confirm before finish
  EXPECT_EQ(Feed(r, kErase).Reply(), kEraseOk);
  EXPECT_EQ(r.GetLog().badFrames, 4);
}

TEST(ChipLoaderResponder, KeepsProgrammedBytesPerPageAndAddress) {
  ChipLoaderResponder r;
  RunToErase(r);
  EXPECT_EQ(Feed(r, DataFrame(0, 0x1230, {0x10, 0x11, 0x12})).Reply(), kDataOk);
  EXPECT_EQ(Feed(r, DataFrame(2, 0x1230, {0x20})).Reply(), kDataOk);
  EXPECT_EQ(Feed(r, DataFrame(0, 0xFFFF, {0x30, 0x31})).Reply(), kDataOk);
  const auto& flash = r.Flash();
  ASSERT_EQ(flash.size(), 6u);
  EXPECT_EQ(flash.at({0, 0x1230}), 0x10);
  EXPECT_EQ(flash.at({0, 0x1232}), 0x12);
  EXPECT_EQ(flash.at({2, 0x1230}), 0x20);
  EXPECT_EQ(flash.at({0, 0xFFFF}), 0x30);
  EXPECT_EQ(flash.at({0, 0x10000}), 0x31);  // past the 16-bit address, not page 1
  ASSERT_EQ(r.Records().size(), 3u);
  EXPECT_EQ(r.Records()[1].page, 2);
}

TEST(ChipLoaderResponder, RefusesDataFramesWithABadCheckOrLayout) {
  ChipLoaderResponder r;
  RunToErase(r);
  Bytes badXor = DataFrame(0, 0x0100, {1, 2, 3});
  badXor[badXor.size() - 2] ^= 0x40;
  EXPECT_TRUE(Feed(r, badXor).actions.empty());
  Bytes badMark = DataFrame(0, 0x0100, {1, 2, 3});
  badMark[14] = 0x2E;
  EXPECT_TRUE(Feed(r, badMark).actions.empty());
  Bytes badTail = DataFrame(0, 0x0100, {1, 2, 3});
  badTail.back() = 0x01;
  EXPECT_TRUE(Feed(r, badTail).actions.empty());
  Bytes badCount = DataFrame(0, 0x0100, {1, 2, 3});
  badCount[10] = 2;  // count byte disagrees with the length field
  EXPECT_TRUE(Feed(r, badCount).actions.empty());
  EXPECT_EQ(r.GetLog().badFrames, 4);
  EXPECT_TRUE(r.Flash().empty());
}

TEST(ChipLoaderResponder, EraseClearsAndLeaveCompletes) {
  ChipLoaderResponder r;
  RunToErase(r);
  Feed(r, DataFrame(1, 0x0000, {9}));
  EXPECT_EQ(Feed(r, kErase).Reply(), kEraseOk);
  EXPECT_TRUE(r.Flash().empty());
  Feed(r, DataFrame(1, 0x0000, {8}));
  EXPECT_FALSE(r.Completed());
  EXPECT_EQ(Feed(r, kFinish).Reply(), kFinishOk);
  EXPECT_TRUE(Feed(r, DataFrame(1, 0x0010, {7})).actions.empty());  // no data after finish
  EXPECT_EQ(Feed(r, kConfirm).Reply(), kEraseOk);
  EXPECT_EQ(Feed(r, kLeave).Reply(), kFinishOk);
  EXPECT_EQ(Feed(r, kLeave).Reply(), kFinishOk);  // a repeated leave is answered again
  EXPECT_TRUE(r.Completed());
  EXPECT_EQ(r.Flash().size(), 1u);
}

TEST(ChipLoaderResponder, FaultsApplyToTheChosenRequestsOfAStep) {
  ChipLoaderResponder r;
  r.SetFault(4, Fault{FaultKind::kShortReply, 1, 1});  // the second data frame only
  r.SetFault(5, Fault{FaultKind::kWrongByte, 0, -1});
  r.SetFault(6, Fault{FaultKind::kHangUp, 0, 1});
  RunToErase(r);
  EXPECT_EQ(Feed(r, DataFrame(0, 0, {1})).Reply(), kDataOk);
  EXPECT_EQ(Feed(r, DataFrame(0, 1, {2})).Reply(), Bytes(kDataOk.begin(), kDataOk.begin() + 5));
  EXPECT_EQ(Feed(r, DataFrame(0, 1, {2})).Reply(), kDataOk);
  EXPECT_EQ(r.Flash().size(), 2u);
  Bytes wrong = kFinishOk;
  wrong[7] = 0x01;
  EXPECT_EQ(Feed(r, kFinish).Reply(), wrong);
  EXPECT_EQ(Feed(r, kFinish).Reply(), wrong);
  r.SetFault(5, Fault{});
  EXPECT_EQ(Feed(r, kFinish).Reply(), kFinishOk);
  Result hang = Feed(r, kConfirm);
  ASSERT_EQ(hang.actions.size(), 1u);
  EXPECT_TRUE(hang.actions[0].hangUp);
  EXPECT_TRUE(hang.actions[0].bytes.empty());
}

TEST(ChipLoaderResponder, SilenceFaultOnEnter) {
  ChipLoaderResponder r;
  r.SetFault(1, Fault{FaultKind::kSilence, 0, 2});
  EXPECT_TRUE(Feed(r, kEnter).actions.empty());
  EXPECT_TRUE(Feed(r, kEnter).actions.empty());
  EXPECT_EQ(Feed(r, kEnter).Reply().size(), 30u);
}

// Answers the radio link's raw version query.
class VersionResponder : public Responder {
 public:
  bool Accepts(uint8_t first) const override { return first == 0x02; }
  size_t Consume(const uint8_t* in, size_t n, std::vector<Action>& out) override {
    if (n < 4) {
      return 0;
    }
    (void)in;
    Action a;
    a.bytes = {'0', '4', '0', '1'};
    out.push_back(a);
    return 4;
  }
};

TEST(ChipLoaderResponder, PassesOtherRequestsBeginningWith02On) {
  ChipLoaderResponder r;
  VersionResponder version;
  Result alone = Feed(r, {0x02, 0x50, 0x00, 0x03});
  EXPECT_EQ(alone.consumed, 1u);  // dropped byte by byte when nobody else takes it
  EXPECT_TRUE(alone.actions.empty());
  r.PassOtherRequestsTo(&version);
  Result passed = Feed(r, {0x02, 0x50, 0x00, 0x03});
  EXPECT_EQ(passed.consumed, 4u);
  EXPECT_EQ(passed.Reply(), Bytes({'0', '4', '0', '1'}));
  EXPECT_EQ(r.GetLog().enterRequests, 0);
}

TEST(ChipLoaderResponder, ServesATerminalThroughSimPty) {
  ChipLoaderResponder r;
  SimPty sim;
  sim.AddResponder(&r);
  ASSERT_TRUE(sim.Start()) << sim.Error();
  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1) << port.LastError();
  ASSERT_EQ(port.Configure(115200, 8, kParityNone, kTwoStopBits), 1);
  port.SetReadTimeout(1000);
  uint8_t reply[30] = {0};
  port.Write(kEnter.data(), 4);
  ASSERT_EQ(port.Read(reply, 30), 30u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply)), "A-enter");
  port.Write(kHandshake.data(), kHandshake.size());
  ASSERT_EQ(port.Read(reply, 8), 8u);
  EXPECT_EQ(Bytes(reply, reply + 8), kHandshakeOk);
  std::lock_guard<std::mutex> lock(sim.StateMutex());
  EXPECT_EQ(r.GetLog().handshakes, 1);
}

}  // namespace
}  // namespace fw::sim
