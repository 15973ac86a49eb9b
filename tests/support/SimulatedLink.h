#pragma once
// A simulated radio on a pseudo-terminal that answers the framed radio link, mapped to a
// COM number, so that RadioLink::Connect reaches it (give a job its port with Select).

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "FramedLinkResponder.h"
#include "SimPty.h"
#include "core/UpgradeState.h"
#include "serial/PortMap.h"

namespace fw::test {

class SimulatedLink {
 public:
  explicit SimulatedLink(int portNumber = 7) : portNumber_(portNumber) {
    pty.AddResponder(&radio);
    started_ = pty.Start();
    EXPECT_TRUE(started_) << pty.Error();
    GlobalPortMap().SetExplicit(portNumber_, pty.DevicePath());
  }
  ~SimulatedLink() {
    pty.Stop();
    GlobalPortMap().ClearExplicit();
  }

  int Number() const { return portNumber_; }
  const std::string& Path() const { return pty.DevicePath(); }
  // Connects `link` to this radio.
  bool Connect(RadioLink& link) const { return link.Connect(portNumber_, pty.DevicePath()); }
  // Makes this radio the port of the job on `state`.
  void Select(UpgradeState& state) const {
    state.job.portNumber = portNumber_;
    state.job.devicePath = pty.DevicePath();
  }

  // Runs f(radio) with the runner's state lock held.
  template <class F>
  auto With(F f) {
    std::lock_guard<std::mutex> lock(pty.StateMutex());
    return f(radio);
  }

  sim::FramedLinkResponder radio;  // declared first: outlives the runner's thread
  sim::SimPty pty;

 private:
  int portNumber_;
  bool started_ = false;
};

// A fixture member declared after the clock scope, the radio and the record: runs the
// record's job on the scope's clock and on the radio's port.
struct JobOnSimulatedLink {
  template <class Scope>
  JobOnSimulatedLink(Scope& clock, SimulatedLink& sim, UpgradeState& state) {
    clock.Attach(state.job.clock);
    sim.Select(state);
  }
};

}  // namespace fw::test
