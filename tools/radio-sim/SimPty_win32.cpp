// Windows has no pseudo-terminals: the runner cannot start there. The simulated radio
// still runs in the tool's process through its byte channel (RadioSim::NewChannel), which
// needs the responders and the state lock held here, and nothing else of the runner.
#include "SimPty.h"

namespace fw::sim {

SimPty::SimPty() = default;

SimPty::~SimPty() {
  Stop();
}

void SimPty::AddResponder(Responder* responder) {
  responders_.push_back(responder);
}

bool SimPty::Start() {
  error_ = "no pseudo-terminals on Windows: use the simulated radio's byte channel";
  return false;
}

void SimPty::Stop() {
  running_ = false;
}

}  // namespace fw::sim
