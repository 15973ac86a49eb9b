#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/Clock.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"
#include "serial/SerialPort.h"

namespace fw {
namespace {

// Longest single wait inside Read, so that a stop request is seen promptly.
constexpr int kPollSliceMs = 50;

speed_t BaudConstant(uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return 0;
  }
}

// Sum of the driver's line-error counters; false where the driver keeps none.
bool LineErrorCount(int fd, uint64_t& total) {
  struct serial_icounter_struct c;
  std::memset(&c, 0, sizeof c);
  if (ioctl(fd, TIOCGICOUNT, &c) != 0) {
    return false;
  }
  total = static_cast<uint64_t>(c.frame) + static_cast<uint64_t>(c.overrun) +
          static_cast<uint64_t>(c.parity) + static_cast<uint64_t>(c.brk) +
          static_cast<uint64_t>(c.buf_overrun);
  return true;
}

}  // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
  Close();
}

bool SerialPort::IsOpen() const {
  return handle_ >= 0;
}

int SerialPort::Open(const std::string& path) {
  if (handle_ >= 0) {
    Close();
  }
  lastError_.clear();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = std::strerror(errno);
    return 0;
  }
  // Exclusive: flock keeps out other cooperating programs (even root), TIOCEXCL keeps
  // out everyone else who is not privileged.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastError_ =
        errno == EWOULDBLOCK ? "The port is in use by another program" : std::strerror(errno);
    ::close(fd);
    return 0;
  }
  if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
    lastError_ = std::strerror(errno);
    ::close(fd);
    return 0;
  }
  // Blocking mode from here on: reads only ever ask for bytes already queued.
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) {
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  handle_ = fd;
  portPath_ = path;
  // Raise DTR (and RTS); pseudo-terminals have no modem lines.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
  errorCountKnown_ = LineErrorCount(fd, errorCount_);
  return 1;
}

int SerialPort::Configure(uint32_t baud, int dataBits, int parity, int stopBits) {
  if (handle_ < 0) {
    return 0;
  }
  struct termios t;
  if (::tcgetattr(handle_, &t) != 0) {
    return 0;
  }
  speed_t speed = BaudConstant(baud);
  if (speed == 0) {
    return 0;
  }
  // Built from scratch: raw bytes, receiver on, no modem control, no flow control.
  ::cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
  switch (dataBits) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    default:
      t.c_cflag |= CS8;
      break;
  }
  switch (parity) {
    case kParityOdd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case kParityEven:
      t.c_cflag |= PARENB;
      break;
    case kParityMark:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case kParitySpace:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (stopBits == kTwoStopBits || stopBits == kOne5StopBits) {
    t.c_cflag |= CSTOPB;
  }
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
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
  if (handle_ >= 0) {
    ::tcflush(handle_, TCIFLUSH);
    // A pseudo-terminal does not always drop input on tcflush: drain what is queued.
    int queued = 0;
    while (::ioctl(handle_, FIONREAD, &queued) == 0 && queued > 0) {
      uint8_t scratch[512];
      ssize_t n = ::read(handle_, scratch, std::min<size_t>(sizeof scratch, queued));
      if (n <= 0) {
        break;
      }
    }
    errorCountKnown_ = LineErrorCount(handle_, errorCount_);
  }
  return 0;
}

uint32_t SerialPort::Write(const uint8_t* buffer, uint32_t count) {
  if (handle_ < 0) {
    return 0;
  }
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(handle_, buffer + done, count - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno == EAGAIN) {
        struct pollfd p = {handle_, POLLOUT, 0};
        ::poll(&p, 1, kPollSliceMs);
        continue;
      }
      return 0;
    }
    done += static_cast<uint32_t>(n);
  }
  return done;
}

uint32_t SerialPort::Read(uint8_t* buffer, uint32_t count) {
  if (handle_ < 0) {
    return 0;
  }
  const uint32_t start = TickCount();
  uint32_t got = 0;
  for (;;) {
    // A line error that happened since the last purge fails the read at once.
    uint64_t errors = 0;
    if (errorCountKnown_ && LineErrorCount(handle_, errors) && errors != errorCount_) {
      errorCount_ = errors;
      return 0;
    }
    int queued = 0;
    if (::ioctl(handle_, FIONREAD, &queued) != 0) {
      return got;  // the port went away
    }
    if (queued > 0 && got < count) {
      size_t want = std::min<size_t>(static_cast<size_t>(queued), count - got);
      ssize_t n = ::read(handle_, buffer + got, want);
      if (n > 0) {
        got += static_cast<uint32_t>(n);
      } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
        return got;  // hang-up
      }
    }
    if (got >= count) {
      return got;
    }
    int waitMs = kPollSliceMs;
    if (readTimeoutMs_ != 0) {
      uint32_t elapsed = TickCount() - start;
      if (elapsed > readTimeoutMs_) {
        return got;
      }
      waitMs = static_cast<int>(std::min<uint32_t>(readTimeoutMs_ - elapsed + 1, kPollSliceMs));
    }
    if (StopRequested()) {
      return got;
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
  }
}

int SerialPort::Close() {
  if (handle_ < 0) {
    return 1;
  }
  ::flock(handle_, LOCK_UN);
  if (::close(handle_) != 0 && errno != EINTR) {
    return 0;
  }
  handle_ = -1;
  portPath_.clear();
  return 1;
}

int SerialPort::OpenPort(int portNumber, uint32_t baud, int dataBits, int parity, int stopBits,
                         uint32_t deadlineMs) {
  std::string path = GlobalPortMap().DevicePath(portNumber);
  if (path.empty()) {
    lastError_ = "COM" + std::to_string(portNumber) + " is not mapped to a serial device";
    return 0;
  }
  if (!Open(path)) {
    return 0;
  }
  Configure(baud, dataBits, parity, stopBits);
  SetReadTimeout(deadlineMs);
  Sleep(50);
  return portNumber;
}

int SerialPort::OpenSelectedPort(uint32_t baud, int dataBits, int parity, int stopBits,
                                 int /*ignored*/) {
  int n = OpenPort(SelectedPortNumber(), baud, dataBits, parity, stopBits, 300);
  if (n <= 0) {
    return 0;
  }
  SetReadTimeout(900);
  return n;
}

}  // namespace fw
