#pragma once
// The radio played on a pseudo-terminal, for fuzz targets that drive the program's own
// exchanges over its serial port. A target using it includes this header in one file only
// (it defines the wrappers of write() and poll()), is linked with --wrap=write and
// --wrap=poll (see CMakeLists.txt) and sets g_servedRadio; the port's writes then reach
// OnRequest and its waits for input OnWait. A request is then seen while the
// program writes it: the first part of its reply lies in the port's input queue before
// write() returns, each further part arrives when the program waits for more input. With
// the stepping clock fixed waits cost nothing and every reading of the time is 1 s later,
// so that every read waits once before its deadline passes: the same input always runs the
// same way.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "protocol/DownloadPort.h"

extern "C" ssize_t __real_write(int fd, const void* buffer, size_t count);
extern "C" int __real_poll(struct pollfd* fds, nfds_t nfds, int timeout);

namespace fw::fuzz {

using Bytes = std::vector<uint8_t>;
// One reply: its parts in the order they reach the port.
using Reply = std::deque<Bytes>;

[[noreturn]] inline void HarnessFailure(const char* what) {
  std::fprintf(stderr, "fuzz harness: %s (errno %d)\n", what, errno);
  std::abort();
}

// Fixed waits cost nothing; every reading of the time is 1 s later than the one before.
class SteppingClock final : public Clock {
 public:
  void Sleep(uint32_t) override {}
  uint32_t TickCount() override { return now_ += 1000; }

 private:
  uint32_t now_ = 0;
};

// Replies read from a fuzz input, handed out one per request, each in one or more parts: a
// 2-byte little-endian head (bits 0-9 the length, bit 14 "one byte repeated": a single
// byte follows, bit 15 "the reply's last part") and its bytes. After the input's end the
// radio is silent.
class ReplyScript {
 public:
  ReplyScript(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  Reply Next() {
    Reply reply;
    while (size_ - pos_ >= 2) {
      const uint16_t head = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
      pos_ += 2;
      const size_t length = head & 0x3FF;
      if ((head & 0x4000) != 0) {
        const uint8_t fill = pos_ < size_ ? data_[pos_++] : 0;
        reply.emplace_back(length, fill);
      } else {
        const size_t n = std::min(length, size_ - pos_);
        reply.emplace_back(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
      }
      if ((head & 0x8000) != 0) {
        break;
      }
    }
    return reply;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The port as an exchange sees it, modelled on the same replies: each request purges the
// input and lets the first part of the next reply arrive; a read takes what is queued up to
// the reply length and, when that is short, waits once (the next part arrives) and takes
// again. The bytes go to the buffer's start; the guard bytes behind the reply length stay.
class ModelPort {
 public:
  ModelPort(ReplyScript script, uint32_t replyLength, size_t guard, uint8_t untouched)
      : buffer(replyLength + guard, untouched),
        replyLength_(replyLength),
        script_(std::move(script)) {}

  size_t requests = 0;
  Bytes buffer;  // the reply buffer afterwards, with the guard bytes behind it

 protected:
  void Send() {
    ++requests;
    queue_.clear();
    pending_ = script_.Next();
    Arrive();
  }
  uint32_t Read() {
    uint32_t got = Take(0);
    if (got < replyLength_) {
      Arrive();
      got = Take(got);
    }
    return got;
  }

  const uint32_t replyLength_;

 private:
  void Arrive() {
    if (!pending_.empty()) {
      queue_.insert(queue_.end(), pending_.front().begin(), pending_.front().end());
      pending_.pop_front();
    }
  }
  uint32_t Take(uint32_t got) {
    while (got < replyLength_ && !queue_.empty()) {
      buffer[got++] = queue_.front();
      queue_.pop_front();
    }
    return got;
  }

  ReplyScript script_;
  std::deque<uint8_t> queue_;
  Reply pending_;
};

// A request and the whole reply it got.
struct Turn {
  Bytes request;
  Bytes reply;
};

// The radio's end of a pseudo-terminal whose other end is the program's port.
class PtyRadio {
 public:
  // The reply to a request, chosen by the target (from its input).
  using ReplySource = std::function<Reply(const Bytes& request)>;

  PtyRadio() {
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      HarnessFailure("openpty");
    }
    for (int fd : {master_, slave_}) {
      struct termios t;
      if (::tcgetattr(fd, &t) != 0) {
        HarnessFailure("tcgetattr");
      }
      ::cfmakeraw(&t);
      ::tcsetattr(fd, TCSANOW, &t);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    struct stat st;
    if (::fstat(slave_, &st) != 0) {
      HarnessFailure("fstat");
    }
    slaveDevice_ = st.st_rdev;
    path_ = name;
  }

  const std::string& Path() const { return path_; }

  // Starts a run: nothing queued either way, no turns yet.
  void Begin(ReplySource source) {
    Drain(master_);
    Drain(slave_);
    source_ = std::move(source);
    turns_.clear();
    pending_.clear();
  }
  void End() { source_ = nullptr; }

  const std::vector<Turn>& Turns() const { return turns_; }
  // The turns since the last call.
  std::vector<Turn> TakeTurns() { return std::exchange(turns_, {}); }

  bool IsPort(int fd) const {
    struct stat st;
    return source_ != nullptr && fd != master_ && fd != slave_ && ::fstat(fd, &st) == 0 &&
           S_ISCHR(st.st_mode) && st.st_rdev == slaveDevice_;
  }

  // The program wrote a request: the first part of its reply goes into the port's input
  // queue at once, the rest waits for the program's waits. The parts of an earlier reply
  // not yet sent are dropped.
  void OnRequest(const uint8_t* bytes, size_t n) {
    Turn turn;
    turn.request.assign(bytes, bytes + n);
    Drain(master_);  // the requests are kept here; the terminal's buffer must not fill up
    pending_ = source_(turn.request);
    for (const Bytes& part : pending_) {
      turn.reply.insert(turn.reply.end(), part.begin(), part.end());
    }
    turns_.push_back(std::move(turn));
    // The program purged its input before writing: nothing else is queued.
    if (Queued() != 0) {
      HarnessFailure("input queued before the reply");
    }
    DeliverNextPart();
  }

  // The program waits for input: the next part of the reply, if any, arrives. False when
  // the reply has no part left: the radio stays silent.
  bool OnWait() {
    if (Queued() != 0) {
      HarnessFailure("the program waits with input queued");
    }
    return DeliverNextPart();
  }

 private:
  static void Drain(int fd) {
    ::tcflush(fd, TCIFLUSH);
    uint8_t scratch[4096];
    while (::read(fd, scratch, sizeof scratch) > 0) {
    }
  }

  int Queued() const {
    int queued = 0;
    if (::ioctl(slave_, FIONREAD, &queued) != 0) {
      HarnessFailure("FIONREAD");
    }
    return queued;
  }

  bool DeliverNextPart() {
    if (pending_.empty()) {
      return false;
    }
    const Bytes part = std::move(pending_.front());
    pending_.pop_front();
    size_t done = 0;
    while (done < part.size()) {
      const ssize_t n = __real_write(master_, part.data() + done, part.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
        HarnessFailure("write to the pseudo-terminal");
      }
    }
    // The terminal hands the bytes over a moment later; wait until all are queued.
    for (int spins = 0; Queued() < static_cast<int>(part.size()); ++spins) {
      if (spins > 200000) {
        HarnessFailure("reply not delivered");
      }
      struct timespec ts = {0, 10000};
      ::nanosleep(&ts, nullptr);
    }
    return true;
  }

  int master_ = -1;
  int slave_ = -1;
  dev_t slaveDevice_ = 0;
  std::string path_;
  ReplySource source_;
  std::vector<Turn> turns_;
  Reply pending_;
};

// The radio the wrapped calls below serve.
inline PtyRadio* g_servedRadio = nullptr;

// The served radio, made on first use, with the stepping clock installed.
inline PtyRadio& ServedRadio() {
  static PtyRadio* radio = [] {
    auto* r = new PtyRadio();
    static SteppingClock clock;
    SetClock(&clock);
    g_servedRadio = r;
    return r;
  }();
  return *radio;
}

// The download-mode port on the served radio, opened once at 115200 baud with the given
// stop bits and the 1 s read deadline of the firmware transfer and the chip update.
inline DownloadPort& ServedDownloadPort(int stopBits) {
  static DownloadPort* port = [stopBits] {
    auto* p = new DownloadPort();
    if (p->Open(ServedRadio().Path()) != 1 || p->Configure(115200, 8, kParityNone, stopBits) != 1) {
      HarnessFailure("opening the port");
    }
    p->SetReadTimeout(1000);
    return p;
  }();
  return *port;
}

}  // namespace fw::fuzz

// Every write() of the program passes here; the port's writes are answered.
extern "C" ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
  const ssize_t n = __real_write(fd, buffer, count);
  fw::fuzz::PtyRadio* radio = fw::fuzz::g_servedRadio;
  if (n > 0 && radio != nullptr && radio->IsPort(fd)) {
    radio->OnRequest(static_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
  }
  return n;
}

// Every poll() too; the port's waits for input let the next part of a reply arrive. When
// none is left the wait costs no real time: nothing more can come, and the clock, not the
// wait, says when the deadline passes.
extern "C" int __wrap_poll(struct pollfd* fds, nfds_t nfds, int timeout) {
  fw::fuzz::PtyRadio* radio = fw::fuzz::g_servedRadio;
  if (nfds == 1 && (fds[0].events & POLLIN) != 0 && radio != nullptr && radio->IsPort(fds[0].fd) &&
      !radio->OnWait()) {
    timeout = 0;
  }
  return __real_poll(fds, nfds, timeout);
}
