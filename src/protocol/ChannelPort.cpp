#include "protocol/ChannelPort.h"

#include "serial/SerialPort.h"

namespace fw {

ChannelPort::ChannelPort() : channel_(std::make_unique<SerialPort>()) {}

ChannelPort::~ChannelPort() = default;

void ChannelPort::UseChannel(std::unique_ptr<ByteChannel> channel) {
  if (channel == nullptr) {
    channel = std::make_unique<SerialPort>();
  }
  channel_ = std::move(channel);
  channel_->SetJobClock(*clock_);
}

void ChannelPort::SetJobClock(JobClock& clock) {
  clock_ = &clock;
  channel_->SetJobClock(clock);
}

int ChannelPort::OpenPort(int portNumber, const std::string& devicePath, uint32_t baud,
                          int dataBits, int parity, int stopBits, uint32_t deadlineMs) {
  if (devicePath.empty()) {
    return 0;
  }
  if (!Open(devicePath)) {
    return 0;
  }
  Configure(baud, dataBits, parity, stopBits);  // a failure shows in the exchange that follows
  SetReadTimeout(deadlineMs);
  clock_->Sleep(50);
  return portNumber;
}

int ChannelPort::OpenJobPort(int portNumber, const std::string& devicePath, uint32_t baud,
                             int dataBits, int parity, int stopBits) {
  int n = OpenPort(portNumber, devicePath, baud, dataBits, parity, stopBits, 300);
  if (n <= 0) {
    return 0;
  }
  SetReadTimeout(900);
  return n;
}

}  // namespace fw
