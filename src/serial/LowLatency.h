#pragma once
// A serial port's low-latency mode, asked for while a job has the port open and given back
// as found when it closes. USB serial drivers hold received bytes back until a packet is full
// or a timer fires (an FTDI chip: 62 bytes or 16 ms); with ASYNC_LOW_LATENCY set, ftdi_sio
// runs the chip's timer at 1 ms, and keeps it so until the adapter is unplugged, so whoever
// sets the flag must clear it again. Any user may set it (TIOCGSERIAL, TIOCSSERIAL). A driver
// without serial info (pseudo-terminals: ENOTTY) or without the flag (EINVAL, EPERM) is left
// alone, quietly. POSIX only; a no-op outside Linux.

#ifndef _WIN32
#include <functional>

namespace fw {

class LowLatencyGuard {
 public:
  // The driver's flags word of the port on `fd`: get gives 0 or an errno value, set writes
  // the port's serial info back with only the flags word changed. Tests put fakes here.
  struct FlagsIo {
    std::function<int(int fd, int& flags)> get;
    std::function<int(int fd, int flags)> set;
  };
  static FlagsIo SystemIo();
  static int LowLatencyFlag();

  LowLatencyGuard() = default;
  ~LowLatencyGuard() { Release(); }
  LowLatencyGuard(const LowLatencyGuard&) = delete;
  LowLatencyGuard& operator=(const LowLatencyGuard&) = delete;

  // Sets the flag on `fd` where the driver supports it and it is not set yet. True when this
  // guard set it (and so will clear it). A refusal other than "not here" is kept in Error().
  bool Engage(int fd, FlagsIo io = SystemIo());
  // Gives the flags back as they were found (only the flag this guard set). Idempotent; call
  // it before the descriptor closes.
  void Release();
  bool Engaged() const { return fd_ >= 0; }
  // An errno value from the driver that was not one of "not here" (0 when none).
  int Error() const { return error_; }

 private:
  FlagsIo io_;
  int fd_ = -1;
  int found_ = 0;
  int error_ = 0;
};

}  // namespace fw
#endif
