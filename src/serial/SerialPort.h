#pragma once
// One serial (COM) port: open by device path, line settings, a software read deadline,
// purge, write, and a counted read against the deadline. No framing, no retrying.

#include <cstdint>
#include <string>

#include "serial/ByteChannel.h"
#ifndef _WIN32
#include "serial/LowLatency.h"
#endif

namespace fw {

class SerialPort : public ByteChannel {
 public:
  SerialPort();
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // 1 if opened, 0 if not. Opens exclusively: a port that another program (or another
  // SerialPort) holds is refused. An already open object is closed first.
  int Open(const std::string& path) override;
  // 1 if the line settings were applied, 0 if not (closed port, unsupported rate or code).
  // Raw mode, no flow control, DTR and RTS on.
  int Configure(uint32_t baud, int dataBits, int parity, int stopBits) override;
  // Sets the software deadline of Read (0: wait without limit). Non-zero on success.
  int SetReadTimeout(uint32_t ms) override;
  // Discards pending input and clears a pending line error. Always 0.
  int Purge() override;
  // Bytes written; 0 on failure.
  uint32_t Write(const uint8_t* buffer, uint32_t count) override;
  // Waits until `count` bytes have arrived or the deadline passes; returns the number of
  // bytes placed in `buffer` (0..count). A line error gives 0 at once; a hang-up gives
  // what arrived, at once; the job's stop request ends the wait.
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  // 1 if closed or already closed, 0 if the system reported an error.
  int Close() override;

  // True if the device at `path` can be opened exclusively right now; it is closed again
  // at once and its line settings are left alone. Used to list the free ports.
  static bool CanOpenExclusively(const std::string& path);

  bool IsOpen() const override;
  const std::string& PortPath() const override { return portPath_; }
  uint32_t ReadTimeoutMs() const override { return readTimeoutMs_; }
  // The system's reason for the last failed Open (for example "Permission denied"), empty
  // when the last Open succeeded.
  const std::string& LastError() const override { return lastError_; }
#ifndef _WIN32
  // True while this port holds the driver's low-latency mode, asked for at Open and given
  // back at Close.
  bool LowLatencyEngaged() const {
    return lowLatency_.Engaged();
  }
#endif

 protected:
#ifdef _WIN32
  // The driver's pending line errors (framing, overrun, parity, break, buffer overrun) and
  // the number of queued input bytes, cleared as they are read (ClearCommError). False when
  // the port is gone.
  virtual bool TakeCommErrors(uint32_t& errors, uint32_t& queued);
  // One wait in the driver: blocks until at least one byte is queued or `waitMs` passes,
  // then takes up to `count` queued bytes. False when the read failed: `aborted` tells a
  // read ended by a line error from a port that is gone.
  virtual bool WaitAndTake(uint8_t* buffer, uint32_t count, uint32_t waitMs, uint32_t& got,
                           bool& aborted);

  void* handle_;
  // The read wait currently set in the port's timeouts (0: none set since the open).
  uint32_t waitSetMs_ = 0;
  // A line error that ended a write: the next read reports it.
  bool lineErrorSeen_ = false;
#else
  // Sum of the driver's line-error counters (framing, overrun, parity, break, buffer
  // overrun); false where the driver keeps none (pseudo-terminals, some adapters).
  virtual bool LineErrorCount(uint64_t& total);

  int handle_ = -1;
  LowLatencyGuard lowLatency_;
  // Line-error counters seen at the last open, purge or reported error.
  uint64_t errorCount_ = 0;
  bool errorCountKnown_ = false;
#endif
  std::string portPath_;
  uint32_t readTimeoutMs_ = 0;
  std::string lastError_;
};

}  // namespace fw
