#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "Responder.h"
#include "SimPty.h"
#include "serial/SerialPort.h"

namespace fw::sim {
namespace {

// Answers "PING" (4 bytes) with "PONG"; "HUP!" with "BY" then a hang-up.
class PingResponder : public Responder {
 public:
  bool Accepts(uint8_t first) const override { return first == 'P' || first == 'H'; }
  size_t Consume(const uint8_t* in, size_t n, std::vector<Action>& out) override {
    if (n < 4) {
      return 0;
    }
    Action a;
    if (in[0] == 'H') {
      a.bytes = {'B', 'Y'};
      a.hangUp = true;
    } else {
      a.bytes = {'P', 'O', 'N', 'G'};
    }
    out.push_back(a);
    ++requests;
    return 4;
  }
  int requests = 0;
};

TEST(SimPty, AnswersCompleteRequestsAndDropsNoise) {
  PingResponder responder;
  SimPty sim;
  sim.AddResponder(&responder);
  ASSERT_TRUE(sim.Start()) << sim.Error();

  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1) << port.LastError();
  ASSERT_EQ(port.Configure(115200, 8, kParityNone, kOneStopBit), 1);
  port.SetReadTimeout(1000);
  const uint8_t request[] = {'x', 'y', 'P', 'I', 'N', 'G'};  // two bytes of noise first
  port.Write(request, sizeof request);
  uint8_t reply[4] = {0};
  ASSERT_EQ(port.Read(reply, 4), 4u);
  EXPECT_EQ(std::string(reply, reply + 4), "PONG");
  std::lock_guard<std::mutex> lock(sim.StateMutex());
  EXPECT_EQ(responder.requests, 1);
}

// The gap log counts the time from an answer to the next request only: a request without
// an answer before it (the first one, one after silence) adds no gap.
TEST(SimPty, GapLogTimesTheIdleLineBetweenAnAnswerAndTheNextRequest) {
  PingResponder responder;
  SimPty sim;
  sim.AddResponder(&responder);
  sim.LogGaps(true);
  ASSERT_TRUE(sim.Start());
  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1);
  port.Configure(115200, 8, kParityNone, kOneStopBit);
  port.SetReadTimeout(1000);
  uint8_t reply[4];
  port.Write(reinterpret_cast<const uint8_t*>("PING"), 4);
  ASSERT_EQ(port.Read(reply, 4), 4u);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  port.Write(reinterpret_cast<const uint8_t*>("PING"), 4);
  ASSERT_EQ(port.Read(reply, 4), 4u);
  port.Write(reinterpret_cast<const uint8_t*>("xy"), 2);  // noise: no answer
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  port.Write(reinterpret_cast<const uint8_t*>("PING"), 4);
  ASSERT_EQ(port.Read(reply, 4), 4u);
  sim.Stop();
  // The second request after 40 ms; the noise right after the second answer; the third
  // request followed the noise, not an answer.
  ASSERT_EQ(sim.GapsUs().size(), 2u);
  EXPECT_GE(sim.GapsUs()[0], 40000u);
  EXPECT_LT(sim.GapsUs()[0], 1000000u);
  EXPECT_LT(sim.GapsUs()[1], sim.GapsUs()[0]);
}

using Packets = std::vector<std::pair<size_t, uint64_t>>;

TEST(SimPtyAdapter, FullPacketsGoAtOnceTheRestOnTheTimer) {
  // A 200-byte answer at 115200 baud, 10 bits a byte: byte i reaches the adapter
  // 1000 + (i + 1) * 86.8 us after the timer's start (epoch 0, 16 ms period). 62 bytes make
  // a packet at byte 61 (6381 us) and 123 (11763); the tick at 16000 us takes bytes 124..171
  // (byte 171 came at 15930, byte 172 at 16017); the last 28 (up to 18361 us) wait for the
  // tick at 32000 us.
  auto arrival = [](size_t i) { return 1000 + (i + 1) * 1000000ull * 10 / 115200; };
  EXPECT_EQ(SimPty::AdapterPackets(200, 16, 0, arrival),
            (Packets{{62, 6381}, {124, 11763}, {172, 16000}, {200, 32000}}));
  // At 1 ms the timer hands over a part of a packet every millisecond instead.
  // Bytes 0..10 arrive by 1954 us (byte 11 at 2041): the tick at 2000 takes 11 of them; bytes
  // 11..22 come by 2997 us (byte 23 at 3083), the last at 3604 us.
  EXPECT_EQ(SimPty::AdapterPackets(30, 1, 0, arrival),
            (Packets{{11, 2000}, {23, 3000}, {30, 4000}}));
  // An answer that is all there at once (no line pacing): 62-byte packets at once, the rest on
  // the next tick after it (the timer started 5 ms before, period 16 ms: tick at 16 ms).
  EXPECT_EQ(SimPty::AdapterPackets(130, 16, 5000, [](size_t) { return 10000ull; }),
            (Packets{{62, 10000}, {124, 10000}, {130, 21000}}));
  EXPECT_TRUE(SimPty::AdapterPackets(0, 16, 0, arrival).empty());
}

TEST(SimPtyAdapter, RepliesReachTheToolWholeThroughTheAdapter) {
  PingResponder responder;
  SimPty sim;
  sim.AddResponder(&responder);
  sim.SetAdapterLatencyMs(40);
  ASSERT_TRUE(sim.Start());
  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1);
  port.SetReadTimeout(2000);
  uint8_t reply[4];
  for (int i = 0; i < 3; ++i) {
    port.Write(reinterpret_cast<const uint8_t*>("PING"), 4);
    ASSERT_EQ(port.Read(reply, 4), 4u);
    EXPECT_EQ(std::string(reply, reply + 4), "PONG");
  }
  EXPECT_EQ(responder.requests, 3);
}

TEST(SimPty, LineRateMakesAReplyTakeItsLineTime) {
  PingResponder responder;
  SimPty sim;
  sim.AddResponder(&responder);
  sim.SetLineRate(1200);  // 4 bytes in + 4 bytes out at 10 bits each: about 67 ms
  ASSERT_TRUE(sim.Start());
  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1);
  port.Configure(115200, 8, kParityNone, kOneStopBit);
  port.SetReadTimeout(2000);
  auto t0 = std::chrono::steady_clock::now();
  port.Write(reinterpret_cast<const uint8_t*>("PING"), 4);
  uint8_t reply[4];
  ASSERT_EQ(port.Read(reply, 4), 4u);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(60));
}

TEST(SimPty, HangUpEndsTheToolsReadWithWhatArrived) {
  PingResponder responder;
  SimPty sim;
  sim.AddResponder(&responder);
  ASSERT_TRUE(sim.Start());
  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1);
  port.Configure(115200, 8, kParityNone, kOneStopBit);
  port.SetReadTimeout(0);  // no deadline: only the hang-up can end this read
  port.Write(reinterpret_cast<const uint8_t*>("HUP!"), 4);
  uint8_t reply[10] = {0};
  auto t0 = std::chrono::steady_clock::now();
  uint32_t n = port.Read(reply, 10);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_LE(n, 2u);
  EXPECT_TRUE(sim.HungUp());
}

// A cut line keeps its device number until the radio is stopped: a tool that tries the path
// again after the cut (a job's retries) must find no device there, never another
// pseudo-terminal that got the number in the meantime (another test's radio).
TEST(SimPty, HungUpLineKeepsItsNumberUntilStopped) {
  PingResponder responder;
  SimPty sim;
  sim.AddResponder(&responder);
  ASSERT_TRUE(sim.Start());
  const std::string path = sim.DevicePath();
  {
    SerialPort port;
    ASSERT_EQ(port.Open(path), 1);
    port.Configure(115200, 8, kParityNone, kOneStopBit);
    port.SetReadTimeout(2000);
    port.Write(reinterpret_cast<const uint8_t*>("HUP!"), 4);
    uint8_t reply[10] = {0};
    port.Read(reply, 10);
    ASSERT_TRUE(sim.HungUp());
  }
  // New pseudo-terminals take the lowest free number: the cut line's must not be free.
  int master = -1;
  int slave = -1;
  char name[128] = {0};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  EXPECT_NE(std::string(name), path);
  close(master);
  close(slave);
  SerialPort again;
  EXPECT_EQ(again.Open(path), 0) << "the cut line's path still opens";
  // Started again, the radio lets the cut line go and answers on a new one.
  ASSERT_TRUE(sim.Start()) << sim.Error();
  SerialPort port;
  ASSERT_EQ(port.Open(sim.DevicePath()), 1) << port.LastError();
  port.Configure(115200, 8, kParityNone, kOneStopBit);
  port.SetReadTimeout(2000);
  port.Write(reinterpret_cast<const uint8_t*>("PING"), 4);
  uint8_t reply[4] = {0};
  ASSERT_EQ(port.Read(reply, 4), 4u);
  EXPECT_EQ(std::string(reply, reply + 4), "PONG");
  EXPECT_FALSE(sim.HungUp());
  sim.Stop();
}

}  // namespace
}  // namespace fw::sim
