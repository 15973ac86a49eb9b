#pragma once
// Puts a simulated radio on a COM number for one job. Where there are pseudo-terminals the
// radio serves one and the job's serial ports reach it through the port map, so the real
// serial back end carries the bytes. On Windows, which has none, the job's download port and
// radio link get the radio's in-process byte channel under the name the port map gives that
// COM number: the same exchanges, the same faults, no terminal.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "RadioSim.h"
#include "SimChannel.h"
#include "SimPty.h"
#include "core/UpgradeState.h"
#include "protocol/ChannelPort.h"
#include "serial/PortMap.h"

namespace fw::test {

// Fault hooks and line rates are taken from the radio now: set them first.
inline ::testing::AssertionResult PutRadioOnPort(sim::RadioSim& radio, UpgradeState& state,
                                                 int portNumber) {
#ifdef _WIN32
  const std::string device = GlobalPortMap().DevicePath(portNumber);
  state.downloadPort.UseChannel(radio.NewChannel(device));
  state.radioLink.Port().UseChannel(radio.NewChannel(device));
  return ::testing::AssertionSuccess();
#else
  (void)state;
  if (!radio.Start()) {
    return ::testing::AssertionFailure() << radio.Error();
  }
  GlobalPortMap().SetExplicit(portNumber, radio.DevicePath());
  return ::testing::AssertionSuccess();
#endif
}

// The same for a runner of responders of a test's own: starts it on a pseudo-terminal, or on
// Windows gives each of `ports` a byte channel to its responders under `windowsDevice`.
// Returns the device the ports open; empty (the runner's error in `error`) when it failed.
inline std::string ServeResponders(sim::SimPty& runner, std::initializer_list<ChannelPort*> ports,
                                   const std::string& windowsDevice, std::string* error) {
#ifdef _WIN32
  (void)error;
  for (ChannelPort* port : ports) {
    port->UseChannel(std::make_unique<sim::SimChannel>(windowsDevice, runner.Responders(),
                                                       runner.StateMutex(), runner.GetFaultHook(),
                                                       runner.LineRate()));
  }
  return windowsDevice;
#else
  (void)ports;
  (void)windowsDevice;
  if (!runner.Start()) {
    *error = runner.Error();
    return std::string();
  }
  return runner.DevicePath();
#endif
}

}  // namespace fw::test
