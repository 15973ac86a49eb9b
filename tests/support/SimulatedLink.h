#pragma once
// A simulated radio on a pseudo-terminal that answers the framed radio link, mapped to a
// COM number, so that RadioLink::Connect reaches it (give a job its port with Select). On
// Windows, which has no pseudo-terminals, the link and the job's ports get the radio's
// in-process byte channel instead, under the name the port map gives that COM number.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>

#include "FramedLinkResponder.h"
#include "SimChannel.h"
#include "SimPty.h"
#include "core/UpgradeState.h"
#include "serial/PortMap.h"

namespace fw::test {

class SimulatedLink {
 public:
  explicit SimulatedLink(int portNumber = 7) : portNumber_(portNumber) {
    pty.AddResponder(&radio);
#ifdef _WIN32
    device_ = GlobalPortMap().DevicePath(portNumber_);
#else
    started_ = pty.Start();
    EXPECT_TRUE(started_) << pty.Error();
    device_ = pty.DevicePath();
    GlobalPortMap().SetExplicit(portNumber_, device_);
#endif
  }
  ~SimulatedLink() {
    pty.Stop();
    GlobalPortMap().ClearExplicit();
  }

  int Number() const {
    return portNumber_;
  }
  const std::string& Path() const {
    return device_;
  }
  // Connects `link` to this radio.
  bool Connect(RadioLink& link) {
#ifdef _WIN32
    link.Port().UseChannel(NewChannel());
#endif
    return link.Connect(portNumber_, device_);
  }
  // Makes this radio the port of the job on `state`.
  void Select(UpgradeState& state) {
    state.job.portNumber = portNumber_;
    state.job.devicePath = device_;
#ifdef _WIN32
    state.downloadPort.UseChannel(NewChannel());
    state.radioLink.Port().UseChannel(NewChannel());
#endif
  }
  // The radio as a byte channel in this process (the fault hook and line rate as set now).
  std::unique_ptr<sim::SimChannel> NewChannel() {
    return std::make_unique<sim::SimChannel>(device_, pty.Responders(), pty.StateMutex(),
                                             pty.GetFaultHook(), pty.LineRate());
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
  std::string device_;
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
