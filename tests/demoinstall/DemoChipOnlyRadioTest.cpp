// The simulated radio as the demo starts it for a chip-only job (flashwright-radio-sim
// --running): switched on and running, its firmware chip's loader answers the enter request;
// started as for the other jobs, in download mode, it does not (as a real radio waiting for
// its main firmware does not).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "DemoIdentity.h"
#include "serial/SerialPort.h"

namespace fw {
namespace {

// The simulated radio program, run with `args`; it prints its device path first.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> argv;
      std::string program = RADIO_SIM_PROGRAM;
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (std::string& a : copies) {
        argv.push_back(a.data());
      }
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    char c;
    while (read(out_, &c, 1) == 1 && c != '\n') {
      device_ += c;
    }
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) {
      close(out_);
    }
  }
  const std::string& Device() const { return device_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string device_;
};

// The chip update's first request, 02 50 88 03, and what comes back within 1.5 s.
std::vector<uint8_t> EnterReply(const std::string& device) {
  SerialPort port;
  EXPECT_EQ(port.Open(device), 1) << device;
  port.Configure(115200, 8, kParityNone, kTwoStopBits);
  port.SetReadTimeout(1500);
  const uint8_t enter[] = {0x02, 0x50, 0x88, 0x03};
  port.Write(enter, sizeof enter);
  uint8_t reply[30] = {0};
  const uint32_t n = port.Read(reply, sizeof reply);
  return std::vector<uint8_t>(reply, reply + n);
}

TEST(DemoChipOnlyRadio, RunningRadioAnswersTheChipLoader) {
  SimProcess sim({"--running"});
  ASSERT_EQ(sim.Device().rfind("/dev/", 0), 0u) << sim.Device();
  const std::vector<uint8_t> reply = EnterReply(sim.Device());
  ASSERT_EQ(reply.size(), 30u);
  const std::string text(demo::kChipEnterText);
  EXPECT_EQ(std::string(reply.begin(), reply.begin() + static_cast<long>(text.size())), text);
}

TEST(DemoChipOnlyRadio, RadioInDownloadModeDoesNotAnswerTheChipLoader) {
  SimProcess sim({});
  ASSERT_EQ(sim.Device().rfind("/dev/", 0), 0u) << sim.Device();
  EXPECT_TRUE(EnterReply(sim.Device()).empty());
}

}  // namespace
}  // namespace fw
