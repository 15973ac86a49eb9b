#pragma once
// The simulated radio's side of one protocol.
//
// The pseudo-terminal runner collects the bytes the tool sends and offers them to the
// responders; a responder that recognises the request at the front of the buffer
// consumes it and says what the radio does in answer: bytes to send (possibly after a
// delay), or a hang-up of the line.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fw::sim {

struct Action {
  std::vector<uint8_t> bytes;  // sent to the tool
  uint32_t delayMs = 0;        // wait before sending (on top of the line time)
  bool hangUp = false;         // after sending `bytes`, hang up the line (cable pulled)
  bool lineError = false;      // the bytes arrive with a line (framing) error
};

class Responder {
 public:
  virtual ~Responder() = default;
  // True when a request beginning with this byte is one of this protocol's in the radio's
  // present mode.
  virtual bool Accepts(uint8_t first) const = 0;
  // Consumes one complete request from the front of `in` (n bytes available) and appends
  // what the radio does to `out`. Returns the bytes consumed; 0 when the request is not
  // complete yet.
  virtual size_t Consume(const uint8_t* in, size_t n, std::vector<Action>& out) = 0;

  // The name of the exchange the last consumed request belongs to ("identify", "read block",
  // ...), or null for a request nobody recognised. Fault injection and logs key on it.
  const char* LastExchange() const { return lastExchange_; }

 protected:
  void SetExchange(const char* name) { lastExchange_ = name; }

 private:
  const char* lastExchange_ = nullptr;
};

}  // namespace fw::sim
