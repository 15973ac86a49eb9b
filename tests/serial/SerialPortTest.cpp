#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Clock.h"
#include "protocol/LinkPort.h"
#include "serial/LowLatency.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "serial/UsbAdapter.h"
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

// A driver's serial info as a fake: the flags word, what each call was asked, and the errno
// values to give.
struct FakeSerialInfo {
  int flags = 0;
  int getError = 0;
  int setError = 0;
  std::vector<int> written;
  LowLatencyGuard::FlagsIo Io() {
    return {[this](int, int& f) {
              f = flags;
              return getError;
            },
            [this](int, int f) {
              if (setError != 0) {
                return setError;
              }
              written.push_back(f);
              flags = f;
              return 0;
            }};
  }
};

TEST(LowLatency, SetsOnlyTheFlagAndGivesTheFlagsBackAsFound) {
  const int low = LowLatencyGuard::LowLatencyFlag();
  if (low == 0) {
    GTEST_SKIP() << "no low-latency flag on this system";
  }
  ASSERT_EQ(low, 0x2000);  // ASYNC_LOW_LATENCY, 1 << 13 in the kernel's serial flags
  FakeSerialInfo info;
  info.flags = 0x10000000 | 0x0040;  // ASYNC_INITIALIZED-like and SPD bits the driver keeps
  {
    LowLatencyGuard guard;
    EXPECT_TRUE(guard.Engage(7, info.Io()));
    EXPECT_TRUE(guard.Engaged());
    EXPECT_EQ(info.written, (std::vector<int>{0x10000000 | 0x0040 | 0x2000}));
    // The driver changes another flag meanwhile: that change stays.
    info.flags |= 0x0001;
  }
  EXPECT_EQ(info.written.back(), 0x10000000 | 0x0040 | 0x0001);
  EXPECT_EQ(info.written.size(), 2u);
}

TEST(LowLatency, EveryWayOutGivesTheFlagBackOnce) {
  if (LowLatencyGuard::LowLatencyFlag() == 0) {
    GTEST_SKIP() << "no low-latency flag on this system";
  }
  FakeSerialInfo info;
  LowLatencyGuard guard;
  ASSERT_TRUE(guard.Engage(3, info.Io()));
  guard.Release();
  guard.Release();  // a second way out (a failed step, then the destructor) writes nothing
  EXPECT_EQ(info.written, (std::vector<int>{0x2000, 0}));
  // Engaging again after a release works again; engaging twice releases the first.
  ASSERT_TRUE(guard.Engage(3, info.Io()));
  ASSERT_TRUE(guard.Engage(3, info.Io()));
  EXPECT_EQ(info.written, (std::vector<int>{0x2000, 0, 0x2000, 0, 0x2000}));
}

TEST(LowLatency, AFlagAlreadySetIsSomeoneElsesAndStays) {
  if (LowLatencyGuard::LowLatencyFlag() == 0) {
    GTEST_SKIP() << "no low-latency flag on this system";
  }
  FakeSerialInfo info;
  info.flags = 0x2000;
  {
    LowLatencyGuard guard;
    EXPECT_FALSE(guard.Engage(3, info.Io()));
  }
  EXPECT_TRUE(info.written.empty());
  EXPECT_EQ(info.flags, 0x2000);
}

TEST(LowLatency, DriversWithoutItAreQuietOthersAreKept) {
  if (LowLatencyGuard::LowLatencyFlag() == 0) {
    GTEST_SKIP() << "no low-latency flag on this system";
  }
  for (int quiet : {ENOTTY, EINVAL, EPERM}) {
    FakeSerialInfo noInfo;
    noInfo.getError = quiet;
    LowLatencyGuard a;
    EXPECT_FALSE(a.Engage(3, noInfo.Io()));
    EXPECT_EQ(a.Error(), 0);
    FakeSerialInfo refused;
    refused.setError = quiet;
    LowLatencyGuard b;
    EXPECT_FALSE(b.Engage(3, refused.Io()));
    EXPECT_FALSE(b.Engaged());
    EXPECT_EQ(b.Error(), 0);
  }
  FakeSerialInfo broken;
  broken.setError = EIO;
  LowLatencyGuard c;
  EXPECT_FALSE(c.Engage(3, broken.Io()));
  EXPECT_EQ(c.Error(), EIO);
  EXPECT_TRUE(broken.written.empty());
}

TEST_F(SerialPortTest, APseudoTerminalHasNoLowLatencyAndOpensQuietly) {
  // TIOCGSERIAL on a pseudo-terminal: ENOTTY, "not here".
  EXPECT_TRUE(port.IsOpen());
  EXPECT_FALSE(port.LowLatencyEngaged());
  EXPECT_EQ(port.LastError(), "");
  LowLatencyGuard direct;
  EXPECT_FALSE(direct.Engage(peer.SlaveFd()));
  EXPECT_EQ(direct.Error(), 0);
  // A pseudo-terminal is no USB adapter: nothing to name, no latency to speak of.
  AdapterInfo info = RememberedAdapter(peer.SlavePath());
  EXPECT_EQ(info.devicePath, peer.SlavePath());
  EXPECT_FALSE(info.IsUsb());
  EXPECT_EQ(info.latencyMs, -1);
  EXPECT_EQ(LineTroubleText(peer.SlavePath()), "");
}

TEST(SerialPortDisconnect, ADeviceThatWentAwayDuringTheJobIsNamed) {
  PtyPeer other;
  SerialPort p;
  const std::string path = other.SlavePath();
  ASSERT_EQ(p.Open(path), 1);
  EXPECT_FALSE(DeviceGone(path));
  // The master side going away removes the pseudo-terminal's device, as unplugging an adapter
  // removes its node.
  other.HangUp();
  uint8_t buf[4];
  p.SetReadTimeout(900);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(p.Read(buf, 4), 0u);
  EXPECT_LT(SinceMs(t0), 500);
  bool gone = false;
  for (int i = 0; i < 100 && !(gone = DeviceGone(path)); ++i) {
    std::this_thread::sleep_for(Ms(10));
  }
  ASSERT_TRUE(gone) << path << " is still there";
  EXPECT_EQ(LineTroubleText(path).rfind("The serial device " + path + " was disconnected.", 0), 0u)
      << LineTroubleText(path);
  p.Close();
}

TEST(UsbAdapterText, DisconnectedAdapterIsNamedWithWhatWasKnown) {
  AdapterInfo ftdi;
  ftdi.devicePath = "/dev/ttyUSB0";
  ftdi.driver = "ftdi_sio";
  ftdi.vendorProduct = "0403:6001";
  ftdi.serial = "A50285BI";
  ftdi.latencyMs = 1;
  EXPECT_EQ(AdapterSummary(ftdi), "ftdi_sio, USB 0403:6001, serial A50285BI, latency 1 ms");
  EXPECT_EQ(
      DisconnectedText("/dev/ttyUSB0", ftdi)
          .rfind("The USB serial adapter /dev/ttyUSB0 (ftdi_sio, USB 0403:6001, serial A50285BI, "
                 "latency 1 ms) was disconnected.",
                 0),
      0u);
  // Never opened: the name alone says it was a USB adapter.
  AdapterInfo unknown;
  EXPECT_EQ(DisconnectedText("/dev/ttyACM3", unknown)
                .rfind("The USB serial adapter /dev/ttyACM3 was disconnected.", 0),
            0u);
  AdapterInfo acm;
  acm.driver = "cdc_acm";
  acm.vendorProduct = "0525:a4a7";
  EXPECT_EQ(AdapterSummary(acm), "cdc_acm, USB 0525:a4a7");
  EXPECT_EQ(AdapterSummary(AdapterInfo()), "");
}

TEST(UsbAdapterNotices, ASlowTimerIsSaidOnceWithTheUdevRule) {
  AdapterInfo slow;
  slow.devicePath = "/dev/ttyUSB-notice-test";
  slow.driver = "ftdi_sio";
  slow.vendorProduct = "0403:6001";
  slow.latencyMs = 16;
  AdapterInfo fast = slow;
  fast.devicePath = "/dev/ttyUSB-notice-fast";
  fast.latencyMs = 1;
  TakeAdapterNotices();
  NoteSlowLatency(fast);
  NoteSlowLatency(slow);
  NoteSlowLatency(slow);  // the next open of the same adapter: no second notice
  const std::vector<std::string> notices = TakeAdapterNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("/dev/ttyUSB-notice-test (ftdi_sio, USB 0403:6001, latency 16 ms)"),
            std::string::npos)
      << notices[0];
  EXPECT_NE(notices[0].find("ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
                            "ATTR{latency_timer}=\"1\""),
            std::string::npos)
      << notices[0];
  EXPECT_TRUE(TakeAdapterNotices().empty());
  // The tooltip still finds it; the fast adapter has none.
  EXPECT_EQ(NotedLatencyAdvice("/dev/ttyUSB-notice-test"), notices[0]);
  EXPECT_EQ(NotedLatencyAdvice("/dev/ttyUSB-notice-fast"), "");
}

}  // namespace
}  // namespace fw
