// The Win32 serial back end's waits and errors. Run under Wine: FLASHWRIGHT_PEER_COM names a
// COM port (for example "COM5") that Wine maps to the pseudo-terminal of
// flashwright-serial-peer (tools/serial-peer), which answers each four-byte command
// [code, pause high, pause low, n]: 'A' n bytes after the pause, 'P' half at once and the
// rest after the pause, 'H' n bytes after the pause and then a hang-up. Reply byte i is
// (i * 7 + 1) & 0xFF. Without the variable the tests that need the line are skipped; the
// tests of line errors need none.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/JobClock.h"
#include "serial/PortAccess.h"
#include "serial/PortMap.h"
#include "serial/SerialDevices.h"
#include "serial/SerialPort.h"

namespace fw {
namespace {

using Ms = std::chrono::milliseconds;

int64_t SinceMs(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<uint8_t> PeerReply(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<uint8_t>((i * 7 + 1) & 0xFF);
  }
  return bytes;
}

class SerialPortWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* com = std::getenv("FLASHWRIGHT_PEER_COM");
    if (com == nullptr || *com == '\0') {
      GTEST_SKIP() << "FLASHWRIGHT_PEER_COM names no COM port mapped to flashwright-serial-peer";
    }
    path_ = std::string("\\\\.\\") + com;
    // After a hang-up the peer puts a new line in place within a moment.
    for (int attempt = 0; attempt < 40 && port_.Open(path_) == 0; ++attempt) {
      std::this_thread::sleep_for(Ms(50));
    }
    ASSERT_TRUE(port_.IsOpen()) << port_.LastError();
    ASSERT_EQ(port_.Configure(115200, 8, kParityNone, kOneStopBit), 1);
    ASSERT_NE(port_.SetReadTimeout(2000), 0);
    port_.Purge();
  }

  void Command(char code, int pauseMs, int n) {
    const uint8_t command[4] = {static_cast<uint8_t>(code), static_cast<uint8_t>(pauseMs >> 8),
                                static_cast<uint8_t>(pauseMs & 0xFF), static_cast<uint8_t>(n)};
    ASSERT_EQ(port_.Write(command, 4), 4u);
  }

  std::string path_;
  SerialPort port_;
};

TEST_F(SerialPortWin32Test, ReplyArrivingMidWaitIsTakenPromptly) {
  Command('A', 300, 12);
  uint8_t buffer[16] = {};
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(port_.Read(buffer, 12), 12u);
  const int64_t ms = SinceMs(t0);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 450) << "the read did not return when the reply was complete";
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 12), PeerReply(12));
  EXPECT_EQ(buffer[12], 0) << "bytes beyond the count were written";
}

TEST_F(SerialPortWin32Test, ReplyInTwoPartsIsGatheredBeforeTheDeadline) {
  Command('P', 400, 10);
  uint8_t buffer[10] = {};
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(port_.Read(buffer, 10), 10u);
  const int64_t ms = SinceMs(t0);
  EXPECT_GE(ms, 350) << "returned with the first part only";
  EXPECT_LT(ms, 600);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), PeerReply(10));
}

TEST_F(SerialPortWin32Test, SilentLineTimesOutAtTheDeadline) {
  ASSERT_NE(port_.SetReadTimeout(400), 0);
  uint8_t buffer[12] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(buffer, 12), 0u);
  const int64_t ms = SinceMs(t0);
  EXPECT_GE(ms, 395);
  EXPECT_LT(ms, 600);
}

TEST_F(SerialPortWin32Test, ShortReplyIsReturnedWhenTheDeadlinePasses) {
  ASSERT_NE(port_.SetReadTimeout(500), 0);
  Command('A', 0, 5);
  uint8_t buffer[12] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(buffer, 12), 5u);
  EXPECT_GE(SinceMs(t0), 495) << "more wanted than queued returned early";
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5), PeerReply(5));
}

TEST_F(SerialPortWin32Test, HangUpEndsTheWaitAtOnceWithWhatArrived) {
  Command('H', 100, 3);
  uint8_t buffer[12] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(buffer, 12), 3u);
  EXPECT_LT(SinceMs(t0), 800) << "the 2000 ms deadline was waited out after the hang-up";
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 3), PeerReply(3));
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(buffer, 12), 0u);
  EXPECT_LT(SinceMs(t1), 100);
  EXPECT_EQ(port_.Write(buffer, 1), 0u);
  // The peer puts a new line in place: the port opens again.
  port_.Close();
  std::this_thread::sleep_for(Ms(600));
  EXPECT_EQ(port_.Open(path_), 1) << port_.LastError();
}

TEST_F(SerialPortWin32Test, StopRequestEndsAReadWithoutDeadline) {
  JobClock clock;
  port_.SetJobClock(clock);
  ASSERT_NE(port_.SetReadTimeout(0), 0);
  std::thread stopper([&] {
    std::this_thread::sleep_for(Ms(200));
    clock.RequestStop();
  });
  uint8_t buffer[12] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(buffer, 12), 0u);
  stopper.join();
  const int64_t ms = SinceMs(t0);
  EXPECT_GE(ms, 190);
  EXPECT_LT(ms, 400);
  port_.SetJobClock(UnownedJobClock());
}

// A port whose driver calls are played by the test: a line error that the driver reports
// while a read waits (framing, overrun or parity, as ClearCommError gives them).
class ScriptedPort : public SerialPort {
 public:
  ScriptedPort() {
    handle_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // any valid handle: "open"
  }
  ~ScriptedPort() override {
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = INVALID_HANDLE_VALUE;
  }
  // Line errors reported at each pass (the last one repeats); queued bytes per wait.
  std::vector<uint32_t> errors;
  std::vector<uint32_t> bytesPerWait;
  bool aborts = false;
  std::atomic<bool> gone{false};
  int passes = 0;
  int waits = 0;
  uint32_t lastWaitMs = 0;

 protected:
  bool TakeCommErrors(uint32_t& e, uint32_t& queued) override {
    if (gone) {
      return false;
    }
    size_t i = std::min<size_t>(static_cast<size_t>(passes), errors.size() - 1);
    e = errors.empty() ? 0 : errors[i];
    queued = 0;
    ++passes;
    return true;
  }
  bool WaitAndTake(uint8_t* buffer, uint32_t count, uint32_t waitMs, uint32_t& got,
                   bool& aborted) override {
    lastWaitMs = waitMs;
    got = 0;
    aborted = false;
    size_t i = static_cast<size_t>(waits++);
    if (aborts && i > 0) {
      aborted = true;
      return false;
    }
    got = i < bytesPerWait.size() ? std::min(bytesPerWait[i], count) : 0;
    for (uint32_t k = 0; k < got; ++k) {
      buffer[k] = static_cast<uint8_t>(0xA0 + k);
    }
    if (got == 0) {
      Sleep(waitMs);
    }
    return true;
  }
};

TEST(SerialPortWin32LineError, LineErrorDuringTheWaitGivesZeroAtOnce) {
  ScriptedPort port;
  port.SetReadTimeout(5000);
  // Four bytes came, then the driver reports a framing error (CE_FRAME) ending the wait.
  port.errors = {0, 0, CE_FRAME, 0};
  port.bytesPerWait = {4, 0};
  uint8_t buffer[12] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buffer, 12), 0u);
  EXPECT_LT(SinceMs(t0), 500);
  EXPECT_EQ(port.passes, 3);
  // Cleared once reported: the next read waits again (and times out with nothing).
  port.SetReadTimeout(120);
  port.passes = 3;
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buffer, 12), 0u);
  EXPECT_GE(SinceMs(t1), 115);
}

TEST(SerialPortWin32LineError, ReadEndedByTheDriverReportsTheError) {
  // fAbortOnError: the driver ends the waiting read with ERROR_OPERATION_ABORTED, and the
  // next look at the line finds the overrun.
  ScriptedPort port;
  port.SetReadTimeout(5000);
  port.errors = {0, 0, CE_OVERRUN};
  port.bytesPerWait = {2};
  port.aborts = true;
  uint8_t buffer[12] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buffer, 12), 0u);
  EXPECT_LT(SinceMs(t0), 100);
}

TEST(SerialPortWin32LineError, VanishedDeviceEndsTheWaitWithWhatArrived) {
  ScriptedPort port;
  port.SetReadTimeout(5000);
  port.errors = {0};
  port.bytesPerWait = {7};
  uint8_t buffer[12] = {};
  std::thread unplug([&] {
    std::this_thread::sleep_for(Ms(100));
    port.gone = true;
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buffer, 12), 7u);
  unplug.join();
  EXPECT_LT(SinceMs(t0), 300);
  EXPECT_EQ(buffer[6], 0xA6);
}

TEST(SerialPortWin32LineError, WaitsAreShortAndEndAtTheDeadline) {
  // A deadline of 120 ms: waits of at most 50 ms, the last one no longer than what is left
  // (plus one), so the read ends within a few milliseconds of the deadline.
  ScriptedPort port;
  port.SetReadTimeout(120);
  port.errors = {0};
  uint8_t buffer[4] = {};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buffer, 4), 0u);
  const int64_t ms = SinceMs(t0);
  EXPECT_GE(ms, 115);
  EXPECT_LT(ms, 200);
  EXPECT_GE(port.waits, 3);
  EXPECT_LE(port.lastWaitMs, 50u);
}

// The system's answers to opening a COM port, as the port list and the job take them: a
// port another program holds ("access denied", or a sharing violation behind some drivers)
// is in use, left out of the list, and named so when the job cannot open it.
TEST(SerialPortWin32Held, OpenErrorsAsThePortListAndTheJobSayThem) {
  EXPECT_EQ(ClassifyOpenError(OpenErrorFromWindows(ERROR_ACCESS_DENIED)), PortAccess::kInUse);
  EXPECT_EQ(ClassifyOpenError(OpenErrorFromWindows(ERROR_SHARING_VIOLATION)), PortAccess::kInUse);
  EXPECT_FALSE(ShownInPortList(ClassifyOpenError(OpenErrorFromWindows(ERROR_ACCESS_DENIED))));
  EXPECT_EQ(ClassifyOpenError(OpenErrorFromWindows(ERROR_FILE_NOT_FOUND)), PortAccess::kGone);
  EXPECT_EQ(ClassifyOpenError(OpenErrorFromWindows(ERROR_PATH_NOT_FOUND)), PortAccess::kGone);
  EXPECT_EQ(ClassifyOpenError(OpenErrorFromWindows(ERROR_GEN_FAILURE)), PortAccess::kUnusable);
  EXPECT_EQ(WindowsOpenFailureText(ERROR_ACCESS_DENIED, "Access denied"),
            "The port is in use by another program (Access denied)");
  EXPECT_EQ(WindowsOpenFailureText(ERROR_SHARING_VIOLATION, ""),
            "The port is in use by another program");
  EXPECT_EQ(WindowsOpenFailureText(ERROR_FILE_NOT_FOUND, "File not found"), "File not found");
}

// A port that this test holds open is, for everyone else, a port another program holds.
// Windows refuses the second opener; Wine lets it in (it does not keep COM ports
// exclusive), and then there is nothing to see here.
TEST_F(SerialPortWin32Test, PortHeldByAnotherOpenerIsNamedInUse) {
  SerialPort second;
  if (second.Open(path_) == 1) {
    GTEST_SKIP() << "this system lets a second opener into " << path_;
  }
  EXPECT_EQ(second.LastError().rfind(kPortInUseText, 0), 0u) << second.LastError();
  EXPECT_EQ(ClassifyOpenError(TryOpenExclusively(path_)), PortAccess::kInUse);
  ASSERT_EQ(port_.Close(), 1);
  EXPECT_EQ(second.Open(path_), 1) << second.LastError();
}

// What the system names its ports: under Wine often nothing (then empty, never a failure),
// otherwise a name that ends with the port it is asked about.
TEST(SerialPortWin32Names, FriendlyNamesAreThePortsOwnOrEmpty) {
  for (int n = 1; n <= 40; ++n) {
    const std::string name = PortFriendlyName(n);
    if (!name.empty()) {
      EXPECT_EQ(ComNumberOf(name), n) << name;
      std::printf("COM%d: \"%s\"\n", n, name.c_str());
    }
  }
  EXPECT_EQ(PortFriendlyName(0), "");
  EXPECT_EQ(PortFriendlyName(-3), "");
  EXPECT_EQ(PortFriendlyName(257), "");
  EXPECT_EQ(PortFriendlyName(250), "");  // no such port
}

TEST(SerialPortWin32Closed, ClosedPortReadsAndWritesNothing) {
  SerialPort port;
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(port.Read(buffer, 4), 0u);
  EXPECT_EQ(port.Write(buffer, 4), 0u);
  EXPECT_EQ(port.SetReadTimeout(100), 0);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(port.Open("\\\\.\\COM250"), 0);
  EXPECT_FALSE(port.LastError().empty());
}

}  // namespace
}  // namespace fw

#endif  // _WIN32
