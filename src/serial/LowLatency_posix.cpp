// The low-latency flag through the serial info ioctls (Linux); elsewhere there is none.

#include "serial/LowLatency.h"

#include <errno.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

namespace fw {

int LowLatencyGuard::LowLatencyFlag() {
#ifdef ASYNC_LOW_LATENCY
  return ASYNC_LOW_LATENCY;
#else
  return 0;
#endif
}

LowLatencyGuard::FlagsIo LowLatencyGuard::SystemIo() {
  FlagsIo io;
#if defined(__linux__) && defined(TIOCGSERIAL)
  io.get = [](int fd, int& flags) {
    struct serial_struct info = {};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) {
      return errno;
    }
    flags = info.flags;
    return 0;
  };
  // Read again right before writing, so that nothing but the flags word changes.
  io.set = [](int fd, int flags) {
    struct serial_struct info = {};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) {
      return errno;
    }
    info.flags = flags;
    return ::ioctl(fd, TIOCSSERIAL, &info) != 0 ? errno : 0;
  };
#else
  io.get = [](int, int&) { return ENOTTY; };
  io.set = [](int, int) { return ENOTTY; };
#endif
  return io;
}

bool LowLatencyGuard::Engage(int fd, FlagsIo io) {
  Release();
  error_ = 0;
  const int flag = LowLatencyFlag();
  int flags = 0;
  if (flag == 0 || fd < 0 || !io.get || !io.set) {
    return false;
  }
  int rc = io.get(fd, flags);
  if (rc == 0 && (flags & flag) != 0) {
    return false;  // already low latency: someone else's setting, left as it is
  }
  if (rc == 0) {
    rc = io.set(fd, flags | flag);
  }
  if (rc != 0) {
    if (rc != ENOTTY && rc != EINVAL && rc != EPERM) {
      error_ = rc;
    }
    return false;
  }
  io_ = std::move(io);
  fd_ = fd;
  found_ = flags;
  return true;
}

void LowLatencyGuard::Release() {
  if (fd_ < 0) {
    return;
  }
  const int fd = fd_;
  fd_ = -1;
  int now = 0;
  // Only this guard's flag goes back; whatever else changed meanwhile stays.
  if (io_.get(fd, now) == 0) {
    io_.set(fd, (now & ~LowLatencyFlag()) | (found_ & LowLatencyFlag()));
  } else {
    io_.set(fd, found_);
  }
}

}  // namespace fw
