#pragma once
// What the download port and the radio link's port have in common: a byte channel to the
// radio (a serial port unless another is put in its place) and the job whose clock and
// stop signal time the exchanges.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/JobClock.h"
#include "serial/ByteChannel.h"

namespace fw {

class ChannelPort {
 public:
  // On a serial port of its own, on no job's clock.
  ChannelPort();
  virtual ~ChannelPort();
  ChannelPort(const ChannelPort&) = delete;
  ChannelPort& operator=(const ChannelPort&) = delete;

  // Puts `channel` in place of the present one (its own serial port by default). The
  // channel takes the port's job clock. Call it while the port is closed.
  void UseChannel(std::unique_ptr<ByteChannel> channel);
  ByteChannel& Channel() { return *channel_; }

  // The job whose clock and stop signal the exchanges and the channel use.
  void SetJobClock(JobClock& clock);
  JobClock& Time() const { return *clock_; }

  int Open(const std::string& path) { return channel_->Open(path); }
  int Configure(uint32_t baud, int dataBits, int parity, int stopBits) {
    return channel_->Configure(baud, dataBits, parity, stopBits);
  }
  int SetReadTimeout(uint32_t ms) { return channel_->SetReadTimeout(ms); }
  int Purge() { return channel_->Purge(); }
  uint32_t Write(const uint8_t* buffer, uint32_t count) { return channel_->Write(buffer, count); }
  uint32_t Read(uint8_t* buffer, uint32_t count) { return channel_->Read(buffer, count); }
  int Close() { return channel_->Close(); }
  bool IsOpen() const { return channel_->IsOpen(); }
  const std::string& PortPath() const { return channel_->PortPath(); }
  uint32_t ReadTimeoutMs() const { return channel_->ReadTimeoutMs(); }
  const std::string& LastError() const { return channel_->LastError(); }

  // Opens the device of COM `portNumber` (`devicePath`, from the port map), applies the
  // line settings and deadline, waits 50 ms. Returns the port number, or 0.
  int OpenPort(int portNumber, const std::string& devicePath, uint32_t baud, int dataBits,
               int parity, int stopBits, uint32_t deadlineMs);
  // OpenPort with a 300 ms deadline while opening, then 900 ms. Returns the port number,
  // or 0.
  int OpenJobPort(int portNumber, const std::string& devicePath, uint32_t baud, int dataBits,
                  int parity, int stopBits);

 private:
  std::unique_ptr<ByteChannel> channel_;
  JobClock* clock_ = &UnownedJobClock();
};

}  // namespace fw
