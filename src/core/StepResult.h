#pragma once
// The outcome of a step that either succeeds or fails for a reason the system can name
// (a missing file, a refused template, a converter that is not there). The sequence that
// ran the step decides what the user sees: the reason becomes the detail of its box.

#include <string>
#include <utility>

namespace fw {

struct StepResult {
  bool ok = false;
  std::string reason;  // why the step failed; empty when it succeeded

  static StepResult Done() { return {true, std::string()}; }
  static StepResult Failed(std::string why) { return {false, std::move(why)}; }
};

}  // namespace fw
