#include "SimChannel.h"

#include <algorithm>
#include <utility>

namespace fw::sim {
namespace {

// A partial request that sees no further byte for this long is dropped (the tool purged
// and started again), as on the pseudo-terminal.
constexpr uint64_t kPartialTimeoutUs = 200000;
constexpr const char* kNoDevice = "No such file or directory";

}  // namespace

SimChannel::SimChannel(std::string devicePath, std::vector<Responder*> responders,
                       std::mutex& stateMutex, FaultHook hook, uint32_t lineRate)
    : devicePath_(std::move(devicePath)),
      responders_(std::move(responders)),
      stateMutex_(stateMutex),
      hook_(std::move(hook)),
      lineRate_(lineRate) {}

uint64_t SimChannel::NowUs() const {
  return static_cast<uint64_t>(Time().TickCount()) * 1000;
}

uint64_t SimChannel::LineTimeUs(uint64_t bytes) const {
  if (lineRate_ == 0) {
    return 0;
  }
  return bytes * static_cast<uint64_t>(bitsPerByte_) * 1000000ull / lineRate_;
}

int SimChannel::Open(const std::string& path) {
  if (open_) {
    Close();
  }
  // A cut line takes its device with it, as a pulled USB adapter does.
  if (path != devicePath_ || HungUp()) {
    lastError_ = kNoDevice;
    return 0;
  }
  lastError_.clear();
  open_ = true;
  portPath_ = path;
  input_.clear();
  lineErrorsSeen_ = lineErrors_;
  return 1;
}

int SimChannel::Configure(uint32_t baud, int dataBits, int parity, int stopBits) {
  if (!open_ || baud == 0 || dataBits < 5 || dataBits > 8 || parity < kParityNone ||
      parity > kParitySpace || stopBits < kOneStopBit || stopBits > kTwoStopBits) {
    return 0;
  }
  bitsPerByte_ = 1 + dataBits + (parity != kParityNone ? 1 : 0) + (stopBits != kOneStopBit ? 2 : 1);
  return 1;
}

int SimChannel::SetReadTimeout(uint32_t ms) {
  readTimeoutMs_ = ms;
  return open_ ? 1 : 0;
}

int SimChannel::Purge() {
  if (!open_) {
    return 0;
  }
  Arrive(NowUs());
  input_.clear();
  lineErrorsSeen_ = lineErrors_;
  return 0;
}

void SimChannel::Arrive(uint64_t nowUs) {
  while (!arriving_.empty() && arriving_.front().atUs <= nowUs) {
    input_.push_back(arriving_.front().byte);
    arriving_.pop_front();
  }
  auto due = std::remove_if(errorsAtUs_.begin(), errorsAtUs_.end(),
                            [nowUs](uint64_t at) { return at <= nowUs; });
  lineErrors_ += static_cast<uint64_t>(errorsAtUs_.end() - due);
  errorsAtUs_.erase(due, errorsAtUs_.end());
}

void SimChannel::Schedule(const Action& action, uint64_t notBeforeUs) {
  const uint64_t start =
      std::max({NowUs(), notBeforeUs, txFreeAtUs_}) + static_cast<uint64_t>(action.delayMs) * 1000;
  if (action.lineError) {
    errorsAtUs_.push_back(start);  // counted before the garbled bytes arrive
  }
  for (size_t i = 0; i < action.bytes.size(); ++i) {
    // A byte is readable once its last bit has crossed the line.
    arriving_.push_back({start + LineTimeUs(i + 1), action.bytes[i]});
  }
  txFreeAtUs_ = start + LineTimeUs(action.bytes.size());
  if (action.hangUp && !HungUp()) {
    hangUpAtUs_ = txFreeAtUs_;
  }
}

void SimChannel::Dispatch(uint64_t nowUs) {
  std::vector<Action> actions;
  while (!rx_.empty() && !HungUp()) {
    size_t consumed = 0;
    actions.clear();
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      Responder* target = nullptr;
      for (Responder* r : responders_) {
        if (r->Accepts(rx_[0])) {
          target = r;
          break;
        }
      }
      if (target == nullptr) {
        rx_.erase(rx_.begin());  // noise: nobody speaks a protocol that starts like this
        continue;
      }
      consumed = target->Consume(rx_.data(), rx_.size(), actions);
      if (consumed > 0 && hook_) {
        hook_(target->LastExchange(), rx_.data(), std::min(consumed, rx_.size()), actions);
      }
    }
    if (consumed == 0) {
      return;  // wait for the rest of the request
    }
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(std::min(consumed, rx_.size())));
    for (const Action& a : actions) {
      Schedule(a, std::max(rxFreeAtUs_, nowUs));
      if (HungUp()) {
        return;
      }
    }
  }
}

uint32_t SimChannel::Write(const uint8_t* buffer, uint32_t count) {
  if (!open_ || (buffer == nullptr && count != 0)) {
    return 0;
  }
  const uint64_t now = NowUs();
  if (HungUp() && now >= hangUpAtUs_) {
    return 0;  // the device went away
  }
  if (!rx_.empty() && now - lastRxUs_ >= kPartialTimeoutUs) {
    rx_.clear();
  }
  rx_.insert(rx_.end(), buffer, buffer + count);
  received_ += count;
  lastRxUs_ = now;
  rxFreeAtUs_ = std::max(rxFreeAtUs_, now) + LineTimeUs(count);
  Dispatch(now);
  return count;
}

uint32_t SimChannel::Read(uint8_t* buffer, uint32_t count) {
  if (!open_ || (buffer == nullptr && count != 0)) {
    return 0;
  }
  const uint32_t start = Time().TickCount();
  uint32_t got = 0;
  for (;;) {
    const uint64_t now = NowUs();
    Arrive(now);
    // A line error since the last purge fails the read at once (and is then cleared).
    if (lineErrors_ != lineErrorsSeen_) {
      lineErrorsSeen_ = lineErrors_;
      return 0;
    }
    while (got < count && !input_.empty()) {
      buffer[got++] = input_.front();
      input_.pop_front();
    }
    if (got >= count) {
      return got;
    }
    if (HungUp() && now >= hangUpAtUs_) {
      return got;  // hung up: what arrived, at once
    }
    if (readTimeoutMs_ != 0 && Time().TickCount() - start > readTimeoutMs_) {
      return got;
    }
    if (Time().StopRequested()) {
      return got;
    }
    Time().InterruptibleWait(1);
  }
}

int SimChannel::Close() {
  open_ = false;
  portPath_.clear();
  rx_.clear();
  return 1;
}

}  // namespace fw::sim
