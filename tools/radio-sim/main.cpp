// flashwright-radio-sim: simulated radios on pseudo-terminals, for demos and manual runs.
// Prints the device path to open as each radio's serial port and what each radio
// received, until interrupted. One radio by default; --radios N plays N at once.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RadioSim.h"
#include "SimOptions.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

}  // namespace

int main(int argc, char** argv) {
  fw::sim::SimOptions options;
  std::string error;
  if (!fw::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "flashwright-radio-sim: %s\n", error.c_str());
    fw::sim::PrintSimUsage(stderr);
    return 2;
  }
  if (options.help) {
    fw::sim::PrintSimUsage(stderr);
    return 0;
  }

  // Download mode, then (after the restart) the framed data link and the chip loader; or,
  // with --running, the data link and the chip loader from the start.
  const int count = static_cast<int>(options.radios.size());
  std::vector<std::unique_ptr<fw::sim::RadioSim>> radios;
  std::vector<fw::sim::RadioReporter> reporters;
  radios.reserve(options.radios.size());
  reporters.reserve(options.radios.size());
  for (int k = 1; k <= count; ++k) {
    const fw::sim::SimRadioSetup& setup = options.radios[static_cast<size_t>(k - 1)];
    radios.push_back(std::make_unique<fw::sim::RadioSim>(setup.config));
    fw::sim::RadioSim& radio = *radios.back();
    if (setup.running) {
      radio.SetMode(fw::sim::RadioMode::kNormal);
    }
    if (!radio.Start()) {
      std::fprintf(stderr, "%s\n",
                   fw::sim::RadioLine(k, count, "cannot start: " + radio.Error()).c_str());
      return 1;
    }
    reporters.emplace_back(radio, setup.backToDownload);
  }
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  for (int k = 1; k <= count; ++k) {
    std::printf(
        "%s\n",
        fw::sim::RadioLine(k, count, radios[static_cast<size_t>(k - 1)]->DevicePath()).c_str());
  }
  std::fflush(stdout);

  // Until interrupted, or until every radio's line was cut.
  bool anyLeft = true;
  while (!g_stop && anyLeft) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    anyLeft = false;
    for (int k = 1; k <= count; ++k) {
      for (const std::string& line : reporters[static_cast<size_t>(k - 1)].Poll()) {
        std::printf("%s\n", fw::sim::RadioLine(k, count, line).c_str());
      }
      anyLeft = anyLeft || !reporters[static_cast<size_t>(k - 1)].Ended();
    }
    std::fflush(stdout);
  }
  for (auto& radio : radios) {
    radio->Stop();
  }
  return 0;
}
