#pragma once
// Checks of step results for tests.

#include <string>

#include "core/StepResult.h"

namespace fw::test {

// Whether the step succeeded; `reason` receives its reason (empty on success).
inline bool Succeeded(const StepResult& result, std::string& reason) {
  reason = result.reason;
  return result.ok;
}

}  // namespace fw::test
