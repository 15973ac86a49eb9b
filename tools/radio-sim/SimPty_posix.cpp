#include "SimPty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "serial/ExternalLineErrors.h"

namespace fw::sim {
namespace {

uint64_t NowUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepUntilUs(uint64_t targetUs) {
  uint64_t now = NowUs();
  if (targetUs > now) {
    std::this_thread::sleep_for(std::chrono::microseconds(targetUs - now));
  }
}

}  // namespace

SimPty::SimPty() = default;

SimPty::~SimPty() {
  Stop();
}

void SimPty::AddResponder(Responder* responder) {
  responders_.push_back(responder);
}

bool SimPty::Start() {
  if (running_) {
    return true;
  }
  if (thread_.joinable() || slave_ >= 0) {
    Stop();  // after a hang-up: let the cut line go before a new one is opened
  }
  char name[128] = {0};
  if (!usePath_.empty()) {
    master_ = open(usePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
      error_ = "cannot open " + usePath_ + ": " + std::strerror(errno);
      return false;
    }
    // Opened without waiting for a carrier; the radio's writes then block as a line's do.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) & ~O_NONBLOCK);
    struct termios t;
    if (tcgetattr(master_, &t) == 0) {
      cfmakeraw(&t);
      t.c_cflag |= CLOCAL;
      tcsetattr(master_, TCSANOW, &t);
    }
    std::snprintf(name, sizeof name, "%s", usePath_.c_str());
  } else if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    error_ = std::string("openpty failed: ") + std::strerror(errno);
    return false;
  }
  // The radio's end of the line stays open for the runner's whole life, so the master
  // never sees a hang-up when the tool closes and reopens its port.
  struct termios t;
  if (tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(slave_, TCSANOW, &t);
  }
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  devicePath_ = name;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    error_ = std::string("pipe failed: ") + std::strerror(errno);
    close(master_);
    close(slave_);
    master_ = slave_ = -1;
    return false;
  }
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  running_ = true;
  hungUp_ = false;
  adapterEpochUs_ = NowUs();
  SetExternalLineErrorCounter(devicePath_, [this] { return lineErrors_.load(); });
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimPty::Stop() {
  if (thread_.joinable()) {
    running_ = false;
    if (wakeWrite_ >= 0) {
      char c = 1;
      ssize_t ignored = write(wakeWrite_, &c, 1);
      (void)ignored;
    }
    thread_.join();
  }
  running_ = false;
  if (!devicePath_.empty()) {
    SetExternalLineErrorCounter(devicePath_, nullptr);
  }
  for (int* fd : {&master_, &slave_, &wakeRead_, &wakeWrite_}) {
    if (*fd >= 0) {
      close(*fd);
      *fd = -1;
    }
  }
}

uint64_t SimPty::LineTimeUs(uint64_t bytes) const {
  uint32_t baud = lineRate_.load();
  if (baud == 0) {
    return 0;
  }
  int bits = 10;  // start + 8 data + 1 stop
  struct termios t;
  if (master_ >= 0 && tcgetattr(master_, &t) == 0) {
    if (t.c_cflag & CSTOPB) {
      ++bits;
    }
    if (t.c_cflag & PARENB) {
      ++bits;
    }
  }
  return bytes * static_cast<uint64_t>(bits) * 1000000ull / baud;
}

void SimPty::HangUp() {
  hungUp_ = true;
  running_ = false;
  // Closing the master cuts the line: the tool's descriptor is hung up and the device
  // path disappears, so opening it again fails. The radio's own end (`slave_`) stays open
  // until Stop(): while any descriptor of a pseudo-terminal is open its number stays taken.
  // Closed at once, the number would be free, and the next pseudo-terminal opened anywhere
  // on the machine (lowest free number first) would get this path; a tool that still tries
  // the path after the cut (the job's retries) would then talk to another test's radio.
  if (master_ >= 0) {
    close(master_);
    master_ = -1;
  }
}

void SimPty::Send(const Action& action, uint64_t notBeforeUs) {
  uint64_t start = std::max(NowUs(), notBeforeUs) + static_cast<uint64_t>(action.delayMs) * 1000;
  SleepUntilUs(start);
  if (action.lineError) {
    ++lineErrors_;  // counted before the garbled bytes arrive, as a driver would
  }
  const bool paced = lineRate_.load() != 0;
  size_t sent = 0;
  uint64_t lastWriteUs = 0;
  const uint32_t latencyMs = adapterLatencyMs_.load();
  std::vector<std::pair<size_t, uint64_t>> packets;
  if (latencyMs != 0) {
    packets = AdapterPackets(action.bytes.size(), latencyMs, adapterEpochUs_,
                             [&](size_t i) { return paced ? start + LineTimeUs(i + 1) : start; });
  }
  size_t packet = 0;
  while (sent < action.bytes.size() && master_ >= 0) {
    size_t chunk = action.bytes.size() - sent;
    if (latencyMs != 0) {
      // Through the adapter: each packet whole, when the adapter hands it over.
      while (packet < packets.size() && packets[packet].first <= sent) {
        ++packet;
      }
      if (packet < packets.size()) {
        chunk = packets[packet].first - sent;
        SleepUntilUs(packets[packet].second);
      }
    } else if (paced) {
      // A byte is readable only once its last bit has crossed the line.
      chunk = std::min<size_t>(chunk, 16);
      SleepUntilUs(start + LineTimeUs(sent + chunk));
    }
    // Taken before the write: the tool may read the bytes and act on them before this thread
    // runs again, so a time taken after it could fall later than the tool's next step.
    const uint64_t writeUs = NowUs();
    ssize_t n = write(master_, action.bytes.data() + sent, chunk);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        continue;
      }
      break;
    }
    sent += static_cast<size_t>(n);
    lastWriteUs = writeUs;
  }
  if (logGaps_ && sent > 0) {
    lastAnswerEndUs_ = lastWriteUs;
  }
  if (action.hangUp) {
    HangUp();
  }
}

std::vector<std::pair<size_t, uint64_t>> SimPty::AdapterPackets(
    size_t count, uint32_t latencyMs, uint64_t epochUs,
    const std::function<uint64_t(size_t)>& arrivalUs) {
  std::vector<std::pair<size_t, uint64_t>> packets;
  const uint64_t periodUs = static_cast<uint64_t>(latencyMs) * 1000;
  // The first tick of the free-running timer after `t`.
  auto nextTick = [&](uint64_t t) {
    return t < epochUs ? epochUs + periodUs : epochUs + ((t - epochUs) / periodUs + 1) * periodUs;
  };
  size_t begin = 0;
  uint64_t tick = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t at = arrivalUs(i);
    if (i > begin && at >= tick) {
      packets.emplace_back(i, tick);  // the timer fired before this byte arrived
      begin = i;
    }
    if (i == begin) {
      tick = nextTick(at);
    }
    if (i + 1 - begin == kAdapterPacketBytes) {
      packets.emplace_back(i + 1, at);  // a full packet goes at once
      begin = i + 1;
    }
  }
  if (begin < count) {
    packets.emplace_back(count, tick);
  }
  return packets;
}

void SimPty::Dispatch(std::vector<uint8_t>& rx, uint64_t& rxFreeAtUs) {
  std::vector<Action> actions;
  while (!rx.empty() && running_) {
    size_t consumed = 0;
    actions.clear();
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      Responder* target = nullptr;
      for (Responder* r : responders_) {
        if (r->Accepts(rx[0])) {
          target = r;
          break;
        }
      }
      if (target == nullptr) {
        rx.erase(rx.begin());  // noise: nobody speaks a protocol that starts like this
        continue;
      }
      consumed = target->Consume(rx.data(), rx.size(), actions);
      if (consumed > 0 && faultHook_) {
        faultHook_(target->LastExchange(), rx.data(), std::min(consumed, rx.size()), actions);
      }
    }
    if (consumed == 0) {
      return;  // wait for the rest of the request
    }
    rx.erase(rx.begin(), rx.begin() + static_cast<long>(std::min(consumed, rx.size())));
    for (const Action& a : actions) {
      Send(a, rxFreeAtUs);
      if (!running_) {
        return;
      }
    }
  }
}

void SimPty::Run() {
  std::vector<uint8_t> rx;
  uint64_t lastRxUs = 0;
  uint64_t rxFreeAtUs = 0;
  uint8_t buf[4096];
  while (running_) {
    struct pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    int timeout = rx.empty() ? 200 : static_cast<int>(partialTimeoutMs_.load());
    int r = poll(fds, 2, timeout);
    if (!running_ || (r > 0 && (fds[1].revents & POLLIN))) {
      break;
    }
    uint64_t now = NowUs();
    if (r > 0 && (fds[0].revents & POLLIN)) {
      ssize_t n = read(master_, buf, sizeof buf);
      if (n > 0) {
        if (logGaps_ && lastAnswerEndUs_ != 0 && rx.empty()) {
          std::lock_guard<std::mutex> lock(stateMutex_);
          gapsUs_.push_back(
              static_cast<uint32_t>(std::min<uint64_t>(now - lastAnswerEndUs_, UINT32_MAX)));
        }
        lastAnswerEndUs_ = 0;
        received_ += static_cast<uint64_t>(n);
        rxFreeAtUs = std::max(rxFreeAtUs, now) + LineTimeUs(static_cast<uint64_t>(n));
        rx.insert(rx.end(), buf, buf + n);
        lastRxUs = now;
        Dispatch(rx, rxFreeAtUs);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    } else if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } else if (!rx.empty() && now - lastRxUs >= partialTimeoutMs_.load() * 1000ull) {
      rx.clear();
    }
  }
}

}  // namespace fw::sim
