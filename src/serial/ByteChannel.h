#pragma once
// A two-way byte line to a radio, as the download port and the radio link use it: open by
// device path, line settings, a read deadline, purge, write, a counted read against the
// deadline, close. The serial port is the one the system uses; tests put an in-process
// channel in its place that plays the radio without a pseudo-terminal.

#include <cstdint>
#include <string>

#include "platform/JobClock.h"

namespace fw {

// Parity codes (as in a Windows DCB).
enum : int { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };
// Stop-bit codes (as in a Windows DCB).
enum : int { kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2 };

class ByteChannel {
 public:
  virtual ~ByteChannel() = default;

  // 1 if opened, 0 if not (LastError() says why). An already open channel is closed first.
  virtual int Open(const std::string& path) = 0;
  // 1 if the line settings were applied, 0 if not (closed, unsupported rate or code).
  virtual int Configure(uint32_t baud, int dataBits, int parity, int stopBits) = 0;
  // Sets the deadline of Read (0: wait without limit). Non-zero on success.
  virtual int SetReadTimeout(uint32_t ms) = 0;
  // Discards pending input and clears a pending line error. Always 0.
  virtual int Purge() = 0;
  // Bytes written; 0 on failure.
  virtual uint32_t Write(const uint8_t* buffer, uint32_t count) = 0;
  // Waits until `count` bytes have arrived or the deadline passes; returns the number of
  // bytes placed in `buffer` (0..count). A line error gives 0 at once; a hang-up gives
  // what arrived, at once; the job's stop ends the wait.
  virtual uint32_t Read(uint8_t* buffer, uint32_t count) = 0;
  // 1 if closed or already closed, 0 if the system reported an error.
  virtual int Close() = 0;
  virtual bool IsOpen() const = 0;

  // The device path given to the last successful Open (empty while closed).
  virtual const std::string& PortPath() const = 0;
  virtual uint32_t ReadTimeoutMs() const = 0;
  // Why the last Open failed (empty after a successful one).
  virtual const std::string& LastError() const = 0;

  // The job whose clock times the deadlines and whose stop ends the waits.
  void SetJobClock(JobClock& clock) { clock_ = &clock; }
  JobClock& Time() const { return *clock_; }

 private:
  JobClock* clock_ = &UnownedJobClock();
};

}  // namespace fw
