#pragma once
// What the framed data link puts on the wire, for the read and write benchmarks: the size
// of the radio's reply to each request (the requests themselves are counted by the
// simulated radio as they arrive). A reply frame carries 19 bytes around its parameters.

#include <cstddef>

#include "FramedLinkResponder.h"

namespace fw::bench {

// Start bit, 8 data bits and the two stop bits the radio link configures.
inline constexpr double kLinkBitsPerByte = 11.0;

inline size_t LinkReplyBytes(sim::FramedLinkResponder::Command c) {
  using Cmd = sim::FramedLinkResponder::Command;
  switch (c) {
    case Cmd::kConnect:
      return 12;
    case Cmd::kReadInfo:
      return 185 + 23;  // status, area, length, 0, the block
    case Cmd::kEndAccess:
      return 20;  // status
    case Cmd::kReadBlock:
      return 232;  // status, the 12-byte block address, 200 data bytes
    case Cmd::kWriteBlock:
      return 32;  // status, the 12-byte block address
    case Cmd::kVersionQuery:
      return 128;
  }
  return 0;
}

}  // namespace fw::bench
