#pragma once
// Faults injected by exchange name, on top of any responder: the simulated radio first
// answers as it always does, then this plan changes what goes back on the line. One plan
// names an exchange ("read block", "chip erase", ...; see Responder::LastExchange), the
// phase of the job it applies in, the request of that exchange within the phase where the
// fault begins, and how the reply goes wrong from there on.
//
// Install with SimPty::SetFaultHook(faults.Hook()) before the runner starts; move the
// phase on with SetPhase as the job goes (any thread).

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "SimPty.h"

namespace fw::sim {

enum class ReplyFault {
  kNone,
  kNoReply,    // the request is answered with silence
  kShort,      // only the first half of the reply arrives
  kCorrupt,    // a frame's length byte is one too many; any other reply has its first byte
               // inverted (an ACK becomes 0xF9, a loader reply loses its header)
  kEcho,       // the request comes back instead of the reply (an echoing line)
  kLineError,  // the reply arrives with a framing error
  kHangUp,     // half the reply, then the line is cut (cable pulled mid-reply)
  kNotReady,   // the radio does not answer `count` requests, then recovers
  kBitFlip,    // one bit of the reply is inverted (a noisy line); the first reply flipped
               // loses bit 0 of its middle byte, later ones other bits further on
};

const char* ReplyFaultName(ReplyFault fault);

struct ExchangeFaultPlan {
  std::string exchange;  // empty: no fault
  std::string phase;     // empty: any phase
  int first = 1;         // the request of the exchange (1-based, within the phase) it begins at
  ReplyFault fault = ReplyFault::kNone;
  int count = -1;  // requests affected from `first` on; -1: every one
  int every = 1;   // of those, only every `every`-th (from `first` on) is affected
};

class ExchangeFaults {
 public:
  void SetPlan(const ExchangeFaultPlan& plan);
  void SetPhase(const std::string& phase);
  SimPty::FaultHook Hook();

  // What the radio saw: every request as (phase, exchange), and how many were faulted.
  std::vector<std::pair<std::string, std::string>> Seen() const;
  int Injected() const;

  // Applies `fault` to the actions a radio takes in answer to `request` (for tests).
  // `injection` counts the faults injected before this one (which bit a flip inverts).
  static void Apply(ReplyFault fault, const uint8_t* request, size_t n,
                    std::vector<Action>& actions, int injection = 0);

 private:
  void OnRequest(const char* exchange, const uint8_t* request, size_t n,
                 std::vector<Action>& actions);

  mutable std::mutex mutex_;
  ExchangeFaultPlan plan_;
  std::string phase_;
  std::map<std::pair<std::string, std::string>, int> counts_;
  std::vector<std::pair<std::string, std::string>> seen_;
  int injected_ = 0;
};

}  // namespace fw::sim
