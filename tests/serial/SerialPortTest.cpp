#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Clock.h"
#include "protocol/LinkPort.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "support/FakeClockScope.h"
#include "support/PtyPeer.h"

namespace fw {
namespace {

using test::Bytes;
using test::PtyPeer;
using Ms = std::chrono::milliseconds;

int64_t SinceMs(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - t0).count();
}

// CPU time this thread has used, in milliseconds.
double ThreadCpuMs() {
  struct rusage u;
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_utime.tv_sec * 1000.0 + u.ru_utime.tv_usec / 1000.0 + u.ru_stime.tv_sec * 1000.0 +
         u.ru_stime.tv_usec / 1000.0;
}

Bytes Counting(size_t n, uint8_t first) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    b[i] = static_cast<uint8_t>(first + i);
  }
  return b;
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetJobClock(job);
    ASSERT_EQ(port.Open(peer.SlavePath()), 1) << port.LastError();
    ASSERT_EQ(port.Configure(115200, 8, kParityNone, kOneStopBit), 1);
  }
  PtyPeer peer;
  JobClock job;
  SerialPort port;
};

TEST_F(SerialPortTest, ReplyIsTakenAsSoonAsItIsComplete) {
  port.SetReadTimeout(5000);
  std::thread radio([&] {
    std::this_thread::sleep_for(Ms(50));
    peer.Send(Counting(12, 0x10));
  });
  uint8_t buf[12] = {};
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, 12), 12u);
  EXPECT_LT(SinceMs(t0), 1000);  // nowhere near the 5 s deadline
  radio.join();
  EXPECT_EQ(Bytes(buf, buf + 12), Counting(12, 0x10));
}

TEST_F(SerialPortTest, ShortReplyIsReturnedWhenTheDeadlinePasses) {
  port.SetReadTimeout(300);
  peer.Send(Counting(5, 0x41));
  uint8_t buf[12];
  std::fill(buf, buf + 12, 0xAA);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, 12), 5u);
  int64_t took = SinceMs(t0);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 2000);
  EXPECT_EQ(Bytes(buf, buf + 5), Counting(5, 0x41));
  for (int i = 5; i < 12; ++i) {
    EXPECT_EQ(buf[i], 0xAA) << "byte " << i << " beyond the count was changed";
  }
}

TEST_F(SerialPortTest, MoreWantedThanQueuedDoesNotReturnEarly) {
  port.SetReadTimeout(3000);
  peer.Send(Counting(5, 0));
  std::thread radio([&] {
    std::this_thread::sleep_for(Ms(200));
    peer.Send(Counting(7, 5));
  });
  uint8_t buf[12] = {};
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, 12), 12u);
  EXPECT_GE(SinceMs(t0), 150);
  radio.join();
  EXPECT_EQ(Bytes(buf, buf + 12), Counting(12, 0));
}

TEST_F(SerialPortTest, PurgeDropsPendingInput) {
  peer.Send(Counting(8, 1));
  std::this_thread::sleep_for(Ms(100));
  EXPECT_EQ(port.Purge(), 0);
  port.SetReadTimeout(100);
  uint8_t buf[8];
  EXPECT_EQ(port.Read(buf, 8), 0u);
  // Input arriving after the purge is delivered as usual.
  peer.Send(Counting(8, 9));
  port.SetReadTimeout(2000);
  EXPECT_EQ(port.Read(buf, 8), 8u);
  EXPECT_EQ(Bytes(buf, buf + 8), Counting(8, 9));
}

TEST_F(SerialPortTest, WriteReachesThePeer) {
  Bytes request = {0x7E, 0x01, 0x00, 0x02, 0xFF};
  EXPECT_EQ(port.Write(request.data(), 5), 5u);
  EXPECT_EQ(peer.Receive(5, 1000), request);
}

TEST_F(SerialPortTest, SecondExclusiveOpenIsRefused) {
  // The test may well run as root, which TIOCEXCL alone would not keep out.
  SerialPort second;
  EXPECT_EQ(second.Open(peer.SlavePath()), 0);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.LastError(), "The port is in use by another program");
  EXPECT_FALSE(SerialPort::CanOpenExclusively(peer.SlavePath()));
  EXPECT_EQ(port.Close(), 1);
  EXPECT_TRUE(SerialPort::CanOpenExclusively(peer.SlavePath()));
  EXPECT_EQ(second.Open(peer.SlavePath()), 1) << second.LastError();
  EXPECT_TRUE(second.LastError().empty());
}

TEST_F(SerialPortTest, HangUpEndsAWaitingReadPromptlyWithoutSpinning) {
  for (uint32_t deadline : {5000u, 0u}) {
    PtyPeer other;
    SerialPort p;
    ASSERT_EQ(p.Open(other.SlavePath()), 1);
    p.SetReadTimeout(deadline);
    std::thread cable([&] {
      other.Send(Counting(3, 0x30));
      std::this_thread::sleep_for(Ms(200));
      other.HangUp();
    });
    uint8_t buf[12] = {};
    double cpu0 = ThreadCpuMs();
    auto t0 = std::chrono::steady_clock::now();
    uint32_t n = p.Read(buf, 12);
    int64_t took = SinceMs(t0);
    double cpu = ThreadCpuMs() - cpu0;
    cable.join();
    // What arrived before the hang-up is delivered.
    EXPECT_EQ(n, 3u) << "deadline " << deadline;
    EXPECT_EQ(Bytes(buf, buf + 3), Counting(3, 0x30));
    EXPECT_GE(took, 150) << "deadline " << deadline;
    EXPECT_LT(took, 1500) << "deadline " << deadline;
    EXPECT_LT(cpu, 60.0) << "the wait spun (deadline " << deadline << ")";
    // Once hung up, every further read and write fails at once, also without a deadline.
    p.SetReadTimeout(0);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(p.Read(buf, 12), 0u);
    EXPECT_EQ(p.Write(buf, 12), 0u);
    EXPECT_LT(SinceMs(t0), 500);
    EXPECT_EQ(p.Close(), 1);
  }
}

TEST_F(SerialPortTest, StopRequestEndsAReadWithoutDeadline) {
  port.SetReadTimeout(0);
  std::thread stopper([this] {
    std::this_thread::sleep_for(Ms(100));
    job.RequestStop();
  });
  uint8_t buf[4];
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, 4), 0u);
  EXPECT_LT(SinceMs(t0), 1500);
  stopper.join();
}

TEST_F(SerialPortTest, AnotherJobsStopLeavesTheReadAlone) {
  port.SetReadTimeout(300);
  JobClock other;
  other.RequestStop();
  uint8_t buf[4];
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, 4), 0u);
  EXPECT_GE(SinceMs(t0), 250);  // ran to its own deadline
}

TEST_F(SerialPortTest, CloseTwiceAndUseAfterClose) {
  EXPECT_EQ(port.PortPath(), peer.SlavePath());
  EXPECT_EQ(port.Close(), 1);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(port.PortPath().empty());
  EXPECT_EQ(port.Close(), 1);
  uint8_t buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(port.Read(buf, 4), 0u);
  EXPECT_EQ(port.Write(buf, 4), 0u);
  EXPECT_EQ(port.Configure(115200, 8, kParityNone, kOneStopBit), 0);
  EXPECT_EQ(port.Purge(), 0);
}

TEST_F(SerialPortTest, OpenOnAnOpenPortReleasesTheOldDevice) {
  PtyPeer other;
  ASSERT_EQ(port.Open(other.SlavePath()), 1);
  EXPECT_EQ(port.PortPath(), other.SlavePath());
  SerialPort again;
  EXPECT_EQ(again.Open(peer.SlavePath()), 1) << "the first device is still held";
  EXPECT_EQ(SerialPort().Open(other.SlavePath()), 0);
}

TEST(SerialPortOpen, FailuresGiveTheSystemsReason) {
  SerialPort port;
  EXPECT_EQ(port.Open("/nonexistent-dir/ttyUSB0"), 0);
  EXPECT_FALSE(port.IsOpen());
  // The system's words first, then the device that is missing.
  EXPECT_EQ(port.LastError().rfind("No such file or directory\n", 0), 0u) << port.LastError();
  EXPECT_NE(port.LastError().find("/nonexistent-dir/ttyUSB0 is not there"), std::string::npos)
      << port.LastError();
  std::string file = ::testing::TempDir() + "flashwright-not-a-tty-XXXXXX";
  int fd = mkstemp(file.data());
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(port.Open(file), 0);
  EXPECT_EQ(port.LastError(), "Not a serial device");
  unlink(file.c_str());
}

TEST_F(SerialPortTest, ConfigureBuildsTheLineFromScratch) {
  // Leave the line as another program might have: flow control, echo, line editing.
  struct termios t;
  ASSERT_EQ(tcgetattr(peer.SlaveFd(), &t), 0);
  t.c_iflag |= IXON | IXOFF;
  t.c_cflag |= CRTSCTS;
  t.c_lflag |= ECHO | ICANON;
  ASSERT_EQ(tcsetattr(peer.SlaveFd(), TCSANOW, &t), 0);

  ASSERT_EQ(port.Configure(115200, 8, kParityNone, kTwoStopBits), 1);
  ASSERT_EQ(tcgetattr(peer.SlaveFd(), &t), 0);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));

  // (A pseudo-terminal has no parity and always 8 data bits; the rate and stop bits it keeps.)
  ASSERT_EQ(port.Configure(9600, 8, kParityNone, kOneStopBit), 1);
  ASSERT_EQ(tcgetattr(peer.SlaveFd(), &t), 0);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
}

TEST_F(SerialPortTest, ConfigureRefusesUnknownSettings) {
  EXPECT_EQ(port.Configure(123456, 8, kParityNone, kOneStopBit), 0);
  EXPECT_EQ(port.Configure(115200, 9, kParityNone, kOneStopBit), 0);
  EXPECT_EQ(port.Configure(115200, 4, kParityNone, kOneStopBit), 0);
  EXPECT_EQ(port.Configure(115200, 8, 5, kOneStopBit), 0);
  EXPECT_EQ(port.Configure(115200, 8, kParityNone, 3), 0);
  EXPECT_EQ(port.Configure(115200, 8, kParityNone, kTwoStopBits), 1);
}

// A driver that keeps line-error counters, with the counters under the test's control.
class CountingPort : public SerialPort {
 public:
  uint64_t errors = 0;

 protected:
  bool LineErrorCount(uint64_t& total) override {
    total = errors;
    return true;
  }
};

TEST(SerialPortLineError, PendingLineErrorGivesZeroAtOnceAndIsThenCleared) {
  PtyPeer peer;
  CountingPort port;
  ASSERT_EQ(port.Open(peer.SlavePath()), 1);
  port.SetReadTimeout(3000);
  peer.Send(Counting(12, 0x60));
  std::this_thread::sleep_for(Ms(100));
  port.errors = 2;  // a framing error and an overrun since the open
  uint8_t buf[12] = {};
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, 12), 0u);
  EXPECT_LT(SinceMs(t0), 500);
  // Reported once; the queued bytes are still there for the next read.
  EXPECT_EQ(port.Read(buf, 12), 12u);
  EXPECT_EQ(Bytes(buf, buf + 12), Counting(12, 0x60));
  // A purge takes the error state as it finds it.
  port.errors = 5;
  port.Purge();
  peer.Send(Counting(4, 0));
  EXPECT_EQ(port.Read(buf, 4), 4u);
}

TEST(SerialPortOpenPort, OpensTheJobsPortOnItsClock) {
  JobClock job;
  test::FakeClockScope clock;
  clock.Attach(job);
  PtyPeer peer;
  LinkPort port;
  port.SetJobClock(job);
  EXPECT_EQ(port.OpenPort(12, peer.SlavePath(), 115200, 8, kParityNone, kTwoStopBits, 300), 12);
  EXPECT_EQ(port.PortPath(), peer.SlavePath());
  EXPECT_EQ(port.ReadTimeoutMs(), 300u);
  EXPECT_EQ(clock.clock().Sleeps(), (std::vector<uint32_t>{50}));
  port.Close();

  EXPECT_EQ(port.OpenJobPort(12, peer.SlavePath(), 115200, 8, kParityNone, kTwoStopBits), 12);
  EXPECT_EQ(port.ReadTimeoutMs(), 900u);
  port.Close();

  // A number the port map has no device for opens nothing.
  EXPECT_EQ(port.OpenJobPort(17, "", 115200, 8, kParityNone, kTwoStopBits), 0);
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace fw
