#pragma once
// Line-error counters for devices whose driver keeps none, such as the pseudo-terminal the
// simulated radio serves. A counter registered for a device path stands in for the
// driver's framing, parity and overrun counts: when it moves on, the port's pending read
// fails at once, exactly as after a framing error on a real line.

#include <cstdint>
#include <functional>
#include <string>

namespace fw {

// Registers `counter` for `devicePath`, replacing an earlier one; an empty function removes
// the entry. The counter may be called from any thread.
void SetExternalLineErrorCounter(const std::string& devicePath, std::function<uint64_t()> counter);
// The registered counter's value for `devicePath`; false when none is registered.
bool ExternalLineErrorCount(const std::string& devicePath, uint64_t& total);

}  // namespace fw
