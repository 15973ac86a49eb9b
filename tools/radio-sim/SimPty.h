#pragma once
// Runs the simulated radio on a pseudo-terminal: the tool opens DevicePath() as its serial
// port. A thread reads what the tool writes, hands complete requests to the responders
// (in the order they were added; the first that accepts the leading byte gets it) and
// writes their answers back, optionally at the pace of a real 115200-baud line.
//
// Bytes nobody accepts are dropped one at a time; a partial request that sees no further
// byte for `partialTimeoutMs` is dropped too (the tool purged and started again).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Responder.h"

namespace fw::sim {

class SimPty {
 public:
  SimPty();
  ~SimPty();
  SimPty(const SimPty&) = delete;
  SimPty& operator=(const SimPty&) = delete;

  // Responders must outlive the runner; add them before Start().
  void AddResponder(Responder* responder);

  // Serve on the existing terminal at `path` (a USB gadget's tty, say) instead of a new
  // pseudo-terminal: the tool opens the other end of that line. Set before Start().
  void UseDevice(const std::string& path) { usePath_ = path; }

  // Opens a pseudo-terminal (or the terminal given to UseDevice) and starts serving. False
  // (with Error()) on failure.
  bool Start();
  // Stops serving and closes the pseudo-terminal.
  void Stop();

  // The slave device path the tool opens (e.g. /dev/pts/3).
  const std::string& DevicePath() const { return devicePath_; }
  const std::string& Error() const { return error_; }

  // Pace both directions like a real line at this rate (0: as fast as the pty goes). The
  // byte time follows the stop bits the tool configured (10 or 11 bit times per byte).
  void SetLineRate(uint32_t baud) { lineRate_.store(baud); }
  uint32_t LineRate() const { return lineRate_.load(); }
  void SetPartialTimeoutMs(uint32_t ms) { partialTimeoutMs_.store(ms); }

  // Model a USB serial adapter between the radio and the tool (0: none): what the radio sends
  // reaches the tool in the adapter's packets, a full one (kAdapterPacketBytes) at once, a
  // part of one when the adapter's latency timer fires. The timer runs free with this period
  // from Start(), as an FTDI chip's does (16 ms unless the driver asks for less).
  static constexpr size_t kAdapterPacketBytes = 62;
  void SetAdapterLatencyMs(uint32_t ms) { adapterLatencyMs_.store(ms); }
  uint32_t AdapterLatencyMs() const { return adapterLatencyMs_.load(); }
  // When the bytes of an answer become readable by the tool through the adapter: for each
  // packet, the end index (exclusive) into the answer and the time it is handed over, in
  // microseconds. `arrivalUs(i)` is when byte i has reached the adapter; `epochUs` is when
  // the adapter's timer started.
  static std::vector<std::pair<size_t, uint64_t>> AdapterPackets(
      size_t count, uint32_t latencyMs, uint64_t epochUs,
      const std::function<uint64_t(size_t)>& arrivalUs);

  // Called for every request a responder consumed, with the runner's state lock held: the
  // exchange's name (Responder::LastExchange, may be null), the request's bytes and the
  // actions the radio is about to take, which the hook may change (fault injection).
  using FaultHook = std::function<void(const char* exchange, const uint8_t* request, size_t n,
                                       std::vector<Action>& actions)>;
  // Set before Start().
  void SetFaultHook(FaultHook hook) { faultHook_ = std::move(hook); }
  const FaultHook& GetFaultHook() const { return faultHook_; }
  // The responders, in the order they answer.
  const std::vector<Responder*>& Responders() const { return responders_; }

  // Line errors injected so far (actions with `lineError`). While running, the count is
  // registered as the device's line-error counter, so that the tool's port sees them.
  uint64_t LineErrors() const { return lineErrors_.load(); }

  // True once a responder asked for a hang-up and the line was cut.
  bool HungUp() const { return hungUp_.load(); }
  // Bytes received from the tool, in total (for tests and benchmarks).
  uint64_t BytesReceived() const { return received_.load(); }

  // Keep the line's gaps: for each request that follows an answer, the time from the
  // answer's last byte being written to the request's first byte arriving (how long the
  // tool left the line idle). Set before Start(); read under StateMutex() or after Stop().
  void LogGaps(bool on) { logGaps_ = on; }
  const std::vector<uint32_t>& GapsUs() const { return gapsUs_; }

  // Every responder call runs with this mutex held; hold it to inspect a responder's
  // state from another thread.
  std::mutex& StateMutex() { return stateMutex_; }

 private:
  void Run();
  void Dispatch(std::vector<uint8_t>& rx, uint64_t& rxFreeAtUs);
  void Send(const Action& action, uint64_t notBeforeUs);
  // Time on the line of `bytes` bytes, in microseconds (0 when not pacing). Computed from
  // the whole count so that the rounding of one byte time does not add up.
  uint64_t LineTimeUs(uint64_t bytes) const;
  void HangUp();

  std::vector<Responder*> responders_;
  std::mutex stateMutex_;
  int master_ = -1;
  int slave_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::string devicePath_;
  std::string usePath_;
  std::string error_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> hungUp_{false};
  std::atomic<uint32_t> lineRate_{0};
  std::atomic<uint32_t> partialTimeoutMs_{200};
  std::atomic<uint32_t> adapterLatencyMs_{0};
  uint64_t adapterEpochUs_ = 0;
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> lineErrors_{0};
  FaultHook faultHook_;
  bool logGaps_ = false;
  uint64_t lastAnswerEndUs_ = 0;  // 0: no answer since the last request
  std::vector<uint32_t> gapsUs_;
};

}  // namespace fw::sim
