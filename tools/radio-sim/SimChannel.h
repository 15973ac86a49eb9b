#pragma once
// The simulated radio as a byte channel in the tool's own process: no pseudo-terminal. The
// tool's port writes go straight to the responders; their answers are queued with the time
// they would arrive, on the job's clock: after the request has crossed the line, after the
// action's delay and, when a line rate is set, byte by byte at that rate. A line-error
// action makes the next read fail as the serial port's does (0 bytes, at once; cleared by
// the purge before the next request); a hang-up cuts the line once its bytes have arrived:
// reads give what is left and stop, writes fail, and the device cannot be opened again.
//
// Responders are shared with the runner that made the channel (RadioSim::NewChannel) and
// called with its state lock held, so tests inspect them as they do on a pseudo-terminal.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Responder.h"
#include "serial/ByteChannel.h"

namespace fw::sim {

class SimChannel : public ByteChannel {
 public:
  using FaultHook = std::function<void(const char* exchange, const uint8_t* request, size_t n,
                                       std::vector<Action>& actions)>;

  // `devicePath` is the name Open accepts (map a COM number to it in the port map).
  SimChannel(std::string devicePath, std::vector<Responder*> responders, std::mutex& stateMutex,
             FaultHook hook = nullptr, uint32_t lineRate = 0);

  int Open(const std::string& path) override;
  int Configure(uint32_t baud, int dataBits, int parity, int stopBits) override;
  int SetReadTimeout(uint32_t ms) override;
  int Purge() override;
  uint32_t Write(const uint8_t* buffer, uint32_t count) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  int Close() override;
  bool IsOpen() const override { return open_; }
  const std::string& PortPath() const override { return portPath_; }
  uint32_t ReadTimeoutMs() const override { return readTimeoutMs_; }
  const std::string& LastError() const override { return lastError_; }

  // True once a responder hung up the line.
  bool HungUp() const { return hangUpAtUs_ != kNever; }
  // Bytes the tool wrote, in total.
  uint64_t BytesReceived() const { return received_; }

 private:
  static constexpr uint64_t kNever = UINT64_MAX;
  struct Arriving {
    uint64_t atUs;  // readable from this time on (job clock, microseconds)
    uint8_t byte;
  };

  uint64_t NowUs() const;
  uint64_t LineTimeUs(uint64_t bytes) const;
  void Dispatch(uint64_t nowUs);
  void Schedule(const Action& action, uint64_t notBeforeUs);
  // Moves arrived bytes into the input queue and counts arrived line errors.
  void Arrive(uint64_t nowUs);

  std::string devicePath_;
  std::vector<Responder*> responders_;
  std::mutex& stateMutex_;
  FaultHook hook_;
  uint32_t lineRate_;
  int bitsPerByte_ = 10;

  bool open_ = false;
  std::string portPath_;
  std::string lastError_;
  uint32_t readTimeoutMs_ = 0;

  std::vector<uint8_t> rx_;  // request bytes not yet consumed by a responder
  uint64_t lastRxUs_ = 0;
  uint64_t rxFreeAtUs_ = 0;           // when the last request byte has crossed the line
  uint64_t txFreeAtUs_ = 0;           // when the radio's last answer byte has crossed the line
  std::deque<Arriving> arriving_;     // answer bytes still on the line
  std::deque<uint8_t> input_;         // answer bytes that arrived
  std::vector<uint64_t> errorsAtUs_;  // line errors still on the line
  uint64_t lineErrors_ = 0;           // line errors that have arrived
  uint64_t lineErrorsSeen_ = 0;       // ... as of the last purge or reported error
  uint64_t hangUpAtUs_ = kNever;
  uint64_t received_ = 0;
};

}  // namespace fw::sim
