#pragma once
// The radio played in process, for fuzz targets that drive the program's own exchanges over
// its download port or radio link. The ports are given a byte channel on the served radio
// (ServedRadio().NewChannel()): a request is seen as the program writes it, the first part
// of its reply is queued before Write returns, and each further part arrives when a read
// finds the queue short and waits for more. With the stepping clock fixed waits cost
// nothing and every reading of the time is 1 s later, so that every read waits once before
// its deadline passes: the same input always runs the same way.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/JobClock.h"
#include "protocol/DownloadPort.h"
#include "serial/ByteChannel.h"

namespace fw::fuzz {

using Bytes = std::vector<uint8_t>;
// One reply: its parts in the order they reach the port.
using Reply = std::deque<Bytes>;

[[noreturn]] inline void HarnessFailure(const char* what) {
  std::fprintf(stderr, "fuzz harness: %s\n", what);
  std::abort();
}

// Fixed waits cost nothing; every reading of the time is 1 s later than the one before.
class SteppingClock final : public Clock {
 public:
  void Sleep(uint32_t, StopSignal&) override {}
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

// The radio's end of the line: it answers each request with the reply the target chooses
// and hands the reply over part by part.
class ScriptedRadio {
 public:
  // The reply to a request, chosen by the target (from its input).
  using ReplySource = std::function<Reply(const Bytes& request)>;

  // The device path the channels open.
  const std::string& Path() const { return path_; }

  // Starts a run: nothing queued, no turns yet.
  void Begin(ReplySource source) {
    source_ = std::move(source);
    turns_.clear();
    pending_.clear();
    queue_.clear();
  }
  void End() { source_ = nullptr; }

  const std::vector<Turn>& Turns() const { return turns_; }
  // The turns since the last call.
  std::vector<Turn> TakeTurns() { return std::exchange(turns_, {}); }

  // A channel on this radio for one port.
  std::unique_ptr<ByteChannel> NewChannel();

  // The program wrote a request: the first part of its reply is queued at once, the rest
  // waits for the program's waits. The parts of an earlier reply not yet sent are dropped.
  void OnRequest(const uint8_t* bytes, size_t n) {
    if (source_ == nullptr) {
      return;
    }
    Turn turn;
    turn.request.assign(bytes, bytes + n);
    pending_ = source_(turn.request);
    for (const Bytes& part : pending_) {
      turn.reply.insert(turn.reply.end(), part.begin(), part.end());
    }
    turns_.push_back(std::move(turn));
    // The program purged its input before writing: nothing else is queued.
    if (!queue_.empty()) {
      HarnessFailure("input queued before the reply");
    }
    DeliverNextPart();
  }

  // The program waits for input: the next part of the reply, if any, arrives. False when
  // the reply has no part left: the radio stays silent.
  bool OnWait() {
    if (!queue_.empty()) {
      HarnessFailure("the program waits with input queued");
    }
    return DeliverNextPart();
  }

  void Purge() { queue_.clear(); }
  uint32_t Take(uint8_t* buffer, uint32_t count) {
    uint32_t got = 0;
    while (got < count && !queue_.empty()) {
      buffer[got++] = queue_.front();
      queue_.pop_front();
    }
    return got;
  }

 private:
  bool DeliverNextPart() {
    if (pending_.empty()) {
      return false;
    }
    queue_.insert(queue_.end(), pending_.front().begin(), pending_.front().end());
    pending_.pop_front();
    return true;
  }

  std::string path_ = "fuzz-radio";
  ReplySource source_;
  std::vector<Turn> turns_;
  Reply pending_;
  std::deque<uint8_t> queue_;
};

// A port's channel on the served radio. Reads run as the serial port's do: take what is
// queued; when short, give up once the deadline has passed (or the job is stopped),
// otherwise wait, which lets the next part of the reply arrive.
class ScriptedChannel final : public ByteChannel {
 public:
  explicit ScriptedChannel(ScriptedRadio& radio) : radio_(radio) {}
  int Open(const std::string& path) override {
    open_ = path == radio_.Path();
    path_ = open_ ? path : std::string();
    error_ = open_ ? std::string() : "No such file or directory";
    return open_ ? 1 : 0;
  }
  int Configure(uint32_t, int, int, int) override { return open_ ? 1 : 0; }
  int SetReadTimeout(uint32_t ms) override {
    timeout_ = ms;
    return open_ ? 1 : 0;
  }
  int Purge() override {
    if (open_) {
      radio_.Purge();
    }
    return 0;
  }
  uint32_t Write(const uint8_t* buffer, uint32_t count) override {
    if (!open_ || (buffer == nullptr && count != 0)) {
      return 0;
    }
    radio_.OnRequest(buffer, count);
    return count;
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    if (!open_ || (buffer == nullptr && count != 0)) {
      return 0;
    }
    const uint32_t start = Time().TickCount();
    uint32_t got = 0;
    for (;;) {
      got += radio_.Take(buffer + got, count - got);
      if (got >= count) {
        return got;
      }
      if (timeout_ != 0 && Time().TickCount() - start > timeout_) {
        return got;
      }
      if (Time().StopRequested()) {
        return got;
      }
      radio_.OnWait();
    }
  }
  int Close() override {
    open_ = false;
    path_.clear();
    return 1;
  }
  bool IsOpen() const override { return open_; }
  const std::string& PortPath() const override { return path_; }
  uint32_t ReadTimeoutMs() const override { return timeout_; }
  const std::string& LastError() const override { return error_; }

 private:
  ScriptedRadio& radio_;
  bool open_ = false;
  uint32_t timeout_ = 0;
  std::string path_;
  std::string error_;
};

inline std::unique_ptr<ByteChannel> ScriptedRadio::NewChannel() {
  return std::make_unique<ScriptedChannel>(*this);
}

// The clock of the ports on the served radio: fixed waits cost nothing, each reading of the
// time is 1 s on.
inline JobClock& ServedClock() {
  static SteppingClock clock;
  static JobClock job(clock);
  return job;
}

// The served radio, made on first use.
inline ScriptedRadio& ServedRadio() {
  static ScriptedRadio* radio = new ScriptedRadio();
  return *radio;
}

// The download-mode port on the served radio, opened once at 115200 baud with the given
// stop bits and the 1 s read deadline of the firmware transfer and the chip update.
inline DownloadPort& ServedDownloadPort(int stopBits) {
  static DownloadPort* port = [stopBits] {
    auto* p = new DownloadPort();
    p->SetJobClock(ServedClock());
    p->UseChannel(ServedRadio().NewChannel());
    if (p->Open(ServedRadio().Path()) != 1 || p->Configure(115200, 8, kParityNone, stopBits) != 1) {
      HarnessFailure("opening the port");
    }
    p->SetReadTimeout(1000);
    return p;
  }();
  return *port;
}

}  // namespace fw::fuzz
