#include "support/PtyPeer.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace fw::test {
namespace {

void MakeRaw(int fd) {
  struct termios t;
  if (::tcgetattr(fd, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
  }
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SleepMs(int ms) {
  if (ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

}  // namespace

PtyPeer::PtyPeer() {
  char name[128] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  slavePath_ = name;
  MakeRaw(slave_);
  MakeRaw(master_);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPeer::~PtyPeer() {
  StopResponding();
  HangUp();
  if (slave_ >= 0) {
    ::close(slave_);
  }
}

void PtyPeer::Send(const Bytes& bytes) {
  size_t done = 0;
  while (master_ >= 0 && done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    done += static_cast<size_t>(n);
  }
}

Bytes PtyPeer::Receive(size_t count, int timeoutMs) {
  Bytes out;
  int64_t end = NowMs() + timeoutMs;
  while (master_ >= 0 && out.size() < count) {
    int64_t left = end - NowMs();
    if (left <= 0) {
      break;
    }
    struct pollfd p = {master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 20))) <= 0 ||
        (p.revents & POLLIN) == 0) {
      if (stop_.load()) {
        break;
      }
      continue;
    }
    uint8_t buf[512];
    ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
    if (n <= 0) {
      break;
    }
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void PtyPeer::HangUp() {
  if (master_ >= 0) {
    ::close(master_);
    master_ = -1;
  }
}

void PtyPeer::Respond(size_t requestLength, Script script) {
  StopResponding();
  stop_ = false;
  thread_ = std::thread(
      [this, requestLength, script = std::move(script)] { Loop(requestLength, script); });
}

void PtyPeer::StopResponding() {
  stop_ = true;
  if (thread_.joinable()) {
    thread_.join();
  }
}

std::vector<Bytes> PtyPeer::Requests(int settleMs) {
  SleepMs(settleMs);
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void PtyPeer::Loop(size_t requestLength, Script script) {
  int index = 0;
  while (!stop_.load()) {
    Bytes request = Receive(requestLength, 50);
    if (request.empty()) {
      continue;
    }
    if (request.size() < requestLength) {
      Bytes rest = Receive(requestLength - request.size(), 200);
      request.insert(request.end(), rest.begin(), rest.end());
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    Answer answer = script(index++, request);
    SleepMs(answer.delayMs);
    Send(answer.bytes);
    if (!answer.later.empty()) {
      SleepMs(answer.laterDelayMs);
      Send(answer.later);
    }
  }
}

PtyPeer::Script Always(Bytes reply) {
  return [reply = std::move(reply)](int, const Bytes&) { return PtyPeer::Answer{reply}; };
}

PtyPeer::Script InTurn(std::vector<PtyPeer::Answer> answers) {
  return [answers = std::move(answers)](int index, const Bytes&) {
    return index < static_cast<int>(answers.size()) ? answers[static_cast<size_t>(index)]
                                                    : PtyPeer::Answer{};
  };
}

}  // namespace fw::test
