#pragma once
// A simulated radio on a pseudo-terminal that answers the framed radio link, mapped to a
// COM number and selected, so that RadioLink::Connect reaches it.

#include <gtest/gtest.h>

#include <mutex>

#include "FramedLinkResponder.h"
#include "SimPty.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"

namespace fw::test {

class SimulatedLink {
 public:
  explicit SimulatedLink(int portNumber = 7) : portNumber_(portNumber) {
    pty.AddResponder(&radio);
    started_ = pty.Start();
    EXPECT_TRUE(started_) << pty.Error();
    GlobalPortMap().SetExplicit(portNumber_, pty.DevicePath());
    SetSelectedPortNumber(portNumber_);
  }
  ~SimulatedLink() {
    pty.Stop();
    GlobalPortMap().ClearExplicit();
    SetSelectedPortNumber(0);
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

}  // namespace fw::test
