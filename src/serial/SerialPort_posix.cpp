// POSIX back end of SerialPort: termios in raw mode, exclusive open, poll()-based reads.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cstring>

#include "platform/Clock.h"
#include "serial/PortAccess.h"
#include "serial/SerialPort.h"
#include "serial/UsbAdapter.h"

#include "serial/ExternalLineErrors.h"

namespace fw {
namespace {

// Longest single wait inside Read and Write, so that a stop request is seen promptly.
constexpr int kPollSliceMs = 50;
// A write that makes no progress at all for this long has failed (flow control is off,
// so a working port always drains).
constexpr uint32_t kWriteStallMs = 5000;
constexpr const char* kInUse = kPortInUseText;

struct BaudEntry {
  uint32_t baud;
  speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800}, {921600, B921600},
#endif
};

bool BaudCode(uint32_t baud, speed_t& code) {
  for (const BaudEntry& e : kBauds) {
    if (e.baud == baud) {
      code = e.code;
      return true;
    }
  }
  return false;
}

// Raw bytes, receiver on, modem status lines ignored, no flow control of any kind, reads
// return at once with what is queued.
void MakeRaw(struct termios& t) {
  ::cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK |
                                      IGNBRK | BRKINT);
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

// "in use", and by whom when the system tells.
std::string InUseText(const std::string& path) {
  const std::string holders = OtherProgramsOnPort(path);
  return holders.empty() ? std::string(kInUse) : std::string(kInUse) + "\n" + holders;
}

void PauseMs(int ms) {
  struct timespec ts = {0, static_cast<long>(ms) * 1000000L};
  ::nanosleep(&ts, nullptr);
}

}  // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
  Close();
}

bool SerialPort::IsOpen() const {
  return handle_ >= 0;
}

bool SerialPort::LineErrorCount(uint64_t& total) {
  if (handle_ < 0) {
    return false;
  }
#if defined(__linux__) && defined(TIOCGICOUNT)
  struct serial_icounter_struct c;
  std::memset(&c, 0, sizeof c);
  if (::ioctl(handle_, TIOCGICOUNT, &c) != 0) {
    // No counters in the driver (a pseudo-terminal): a registered stand-in, if any.
    return ExternalLineErrorCount(portPath_, total);
  }
  total = static_cast<uint64_t>(c.frame) + static_cast<uint64_t>(c.overrun) +
          static_cast<uint64_t>(c.parity) + static_cast<uint64_t>(c.brk) +
          static_cast<uint64_t>(c.buf_overrun);
  return true;
#else
  return ExternalLineErrorCount(portPath_, total);
#endif
}

int SerialPort::Open(const std::string& path) {
  if (handle_ >= 0) {
    Close();
  }
  lastError_.clear();
  // Non-blocking for good: every read asks only for what is queued, every wait is a poll.
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = OpenFailureText(path, errno);  // with what to do about it
    return 0;
  }
  struct termios t;
  if (::tcgetattr(fd, &t) != 0) {
    lastError_ = "Not a serial device";
    ::close(fd);
    return 0;
  }
  // Exclusive: a holder that set TIOCEXCL is respected even by root; flock keeps out every
  // other SerialPort (and cooperating programs) whatever their privileges; TIOCEXCL keeps
  // out everyone else who is not privileged.
  if (MarkedExclusiveByOther(fd)) {
    lastError_ = InUseText(path);
    ::close(fd);
    return 0;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastError_ = errno == EWOULDBLOCK ? InUseText(path) : std::strerror(errno);
    ::close(fd);
    return 0;
  }
  if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
    lastError_ = std::strerror(errno);
    ::close(fd);
    return 0;
  }
  // Raw at the current rate until Configure sets the line: no echo back to the radio.
  MakeRaw(t);
  ::tcsetattr(fd, TCSANOW, &t);
  handle_ = fd;
  portPath_ = path;
  // Raise DTR and RTS; pseudo-terminals have no modem lines (ENOTTY), which is fine.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
  errorCountKnown_ = LineErrorCount(errorCount_);
  // A USB adapter hands over what it received when its latency timer fires: ask for the
  // shortest while the job has the port, then note the adapter (it is still named after it
  // was pulled out) and a timer that stays long.
  lowLatency_.Engage(fd);
  AdapterInfo adapter = DescribeAdapter(path);
  RememberAdapter(adapter);
  NoteSlowLatency(adapter);
  return 1;
}

int SerialPort::Configure(uint32_t baud, int dataBits, int parity, int stopBits) {
  speed_t speed = 0;
  if (handle_ < 0 || !BaudCode(baud, speed) || dataBits < 5 || dataBits > 8 ||
      parity < kParityNone || parity > kParitySpace || stopBits < kOneStopBit ||
      stopBits > kTwoStopBits) {
    return 0;
  }
  struct termios t;
  if (::tcgetattr(handle_, &t) != 0) {
    return 0;
  }
  // Built from scratch whatever the port had before (flow control, parity checks).
  MakeRaw(t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
  t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dataBits - 5];
  switch (parity) {
    case kParityOdd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case kParityEven:
      t.c_cflag |= PARENB;
      break;
#ifdef CMSPAR
    case kParityMark:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case kParitySpace:
      t.c_cflag |= PARENB | CMSPAR;
      break;
#else
    case kParityMark:
    case kParitySpace:
      return 0;
#endif
    default:
      break;
  }
  // termios has no 1.5 stop bits; the UART uses 1.5 for five data bits when asked for two.
  if (stopBits != kOneStopBit) {
    t.c_cflag |= CSTOPB;
  }
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
  if (::tcsetattr(handle_, TCSANOW, &t) != 0) {
    return 0;
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(handle_, TIOCMBIS, &lines);
  return 1;
}

int SerialPort::SetReadTimeout(uint32_t ms) {
  readTimeoutMs_ = ms;
  return handle_ >= 0 ? 1 : 0;
}

int SerialPort::Purge() {
  if (handle_ < 0) {
    return 0;
  }
  ::tcflush(handle_, TCIFLUSH);
  // Bytes still on their way into the queue (a pseudo-terminal hands them over a moment
  // later) are drained too, without waiting.
  uint8_t scratch[512];
  for (int i = 0; i < 64; ++i) {
    ssize_t n = ::read(handle_, scratch, sizeof scratch);
    if (n <= 0) {
      break;
    }
  }
  errorCountKnown_ = LineErrorCount(errorCount_);
  return 0;
}

uint32_t SerialPort::Write(const uint8_t* buffer, uint32_t count) {
  if (handle_ < 0 || (buffer == nullptr && count != 0)) {
    return 0;
  }
  uint32_t done = 0;
  uint32_t lastProgress = Time().TickCount();
  while (done < count) {
    ssize_t n = ::write(handle_, buffer + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      lastProgress = Time().TickCount();
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return 0;  // hang-up or a device that went away
    }
    if (Time().StopRequested() || Time().TickCount() - lastProgress > kWriteStallMs) {
      return 0;
    }
    struct pollfd p = {handle_, POLLOUT, 0};
    int r = ::poll(&p, 1, kPollSliceMs);
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      return 0;
    }
  }
  return done;
}

uint32_t SerialPort::Read(uint8_t* buffer, uint32_t count) {
  if (handle_ < 0 || (buffer == nullptr && count != 0)) {
    return 0;
  }
  const uint32_t start = Time().TickCount();
  uint32_t got = 0;
  bool idleWake = false;
  for (;;) {
    // A line error since the last purge fails the read at once (and is then cleared).
    uint64_t errors = 0;
    if (errorCountKnown_ && LineErrorCount(errors) && errors != errorCount_) {
      errorCount_ = errors;
      return 0;
    }
    int queued = 0;
    if (::ioctl(handle_, FIONREAD, &queued) != 0) {
      return got;  // hung up: the device answers no more requests
    }
    // Bytes already queued are taken as they come, so a partial reply never keeps poll()
    // reporting input.
    if (queued > 0 && got < count) {
      size_t want = std::min<size_t>(static_cast<size_t>(queued), count - got);
      ssize_t n = ::read(handle_, buffer + got, want);
      if (n > 0) {
        got += static_cast<uint32_t>(n);
        idleWake = false;
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        return got;  // end of file: hung up
      }
    }
    if (got >= count) {
      return got;
    }
    int waitMs = kPollSliceMs;
    if (readTimeoutMs_ != 0) {
      uint32_t elapsed = Time().TickCount() - start;
      if (elapsed > readTimeoutMs_) {
        return got;
      }
      waitMs = static_cast<int>(std::min<uint32_t>(readTimeoutMs_ - elapsed + 1, kPollSliceMs));
    }
    if (Time().StopRequested()) {
      return got;
    }
    if (idleWake) {
      PauseMs(1);  // input reported but none readable: never let that become a spin
    }
    struct pollfd p = {handle_, POLLIN, 0};
    int r = ::poll(&p, 1, waitMs);
    if (r < 0 && errno != EINTR) {
      return got;
    }
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      // Hang-up: take what is still queued, then give up.
      int left = 0;
      if (::ioctl(handle_, FIONREAD, &left) == 0 && left > 0 && got < count) {
        ssize_t n =
            ::read(handle_, buffer + got, std::min<size_t>(static_cast<size_t>(left), count - got));
        if (n > 0) {
          got += static_cast<uint32_t>(n);
        }
      }
      return got;
    }
    idleWake = r > 0;
  }
}

int SerialPort::Close() {
  if (handle_ < 0) {
    return 1;
  }
  // The driver's flags as they were found: ftdi_sio would keep the adapter at 1 ms until it
  // is unplugged.
  lowLatency_.Release();
  // Clear the exclusive mark: other holders of the same terminal would otherwise keep it.
  ::ioctl(handle_, TIOCNXCL);
  ::flock(handle_, LOCK_UN);
  int rc = ::close(handle_);
  // The descriptor is released even when close() reports an error; keeping it would only
  // risk closing an unrelated descriptor later.
  handle_ = -1;
  portPath_.clear();
  return (rc == 0 || errno == EINTR) ? 1 : 0;
}

bool SerialPort::CanOpenExclusively(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct termios t;
  bool free = ::tcgetattr(fd, &t) == 0 && !MarkedExclusiveByOther(fd) &&
              ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

}  // namespace fw
