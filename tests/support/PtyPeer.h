#pragma once
// A pseudo-terminal for serial tests: the code under test opens the slave side by its path
// (SlavePath) like any serial device; the test plays the other end on the master side,
// by hand (Send, Receive) or with a scripted responder thread that answers each request.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fw::test {

using Bytes = std::vector<uint8_t>;

class PtyPeer {
 public:
  // What the responder sends back for request number `index` (0-based): bytes to write
  // (empty: stay silent), an optional pause before them, and optional further bytes after
  // a second pause.
  struct Answer {
    Answer() = default;
    Answer(Bytes b, int delay = 0, Bytes after = {}, int afterDelay = 0)
        : bytes(std::move(b)), delayMs(delay), later(std::move(after)), laterDelayMs(afterDelay) {}
    Bytes bytes;
    int delayMs = 0;
    Bytes later;
    int laterDelayMs = 0;
  };
  using Script = std::function<Answer(int index, const Bytes& request)>;

  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }
  // The peer's own descriptor of the slave side (to look at its line settings).
  int SlaveFd() const { return slave_; }

  // Writes on the master side (towards the port under test).
  void Send(const Bytes& bytes);
  // Reads up to `count` bytes from the master side, waiting at most `timeoutMs`.
  Bytes Receive(size_t count, int timeoutMs);
  // Closes the master side: the slave side hangs up (like a pulled cable).
  void HangUp();

  // Starts a thread that reads requests of `requestLength` bytes and answers each one as
  // `script` says. Requests are counted and kept.
  void Respond(size_t requestLength, Script script);
  void StopResponding();
  // Requests seen so far, waiting up to `settleMs` for more to arrive first.
  std::vector<Bytes> Requests(int settleMs = 0);
  int RequestCount(int settleMs = 0) { return static_cast<int>(Requests(settleMs).size()); }

 private:
  void Loop(size_t requestLength, Script script);

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Bytes> requests_;
};

// An answer that repeats the same reply for every request.
PtyPeer::Script Always(Bytes reply);
// A sequence of answers: answer i for request i, silence after the last.
PtyPeer::Script InTurn(std::vector<PtyPeer::Answer> answers);

}  // namespace fw::test
