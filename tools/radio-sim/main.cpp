// flashwright-radio-sim: simulated radios on pseudo-terminals, for demos and manual runs.
// Prints the device path to open as each radio's serial port and what each radio
// received, until interrupted. One radio by default; --radios N plays N at once.
//
// With FLASHWRIGHT_SIM_SAVE_DIR set to a folder, each firmware image a radio received whole
// is also written there as radio-K-firmware.bin (K from 1), the data and font memory after
// each write as radio-K-data.bin and radio-K-font.bin, the chip's programmed cells (page,
// address, byte) as radio-K-chip.bin, so that a test can compare it
// with the image it sent byte for byte.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

void SaveImage(const char* dir, int radio, const std::vector<uint8_t>& image,
               const char* kind = "firmware") {
  const std::string path =
      std::string(dir) + "/radio-" + std::to_string(radio) + "-" + kind + ".bin";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  if (!out) {
    std::fprintf(stderr, "flashwright-radio-sim: cannot write %s\n", path.c_str());
  }
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

  const char* saveDir = std::getenv("FLASHWRIGHT_SIM_SAVE_DIR");
  // Until interrupted, or until every radio's line was cut.
  bool anyLeft = true;
  while (!g_stop && anyLeft) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    anyLeft = false;
    for (int k = 1; k <= count; ++k) {
      for (const std::string& line : reporters[static_cast<size_t>(k - 1)].Poll()) {
        fw::sim::RadioSim& radio = *radios[static_cast<size_t>(k - 1)];
        if (saveDir != nullptr && line.rfind("received \"", 0) == 0) {
          SaveImage(saveDir, k, radio.DownloadSnapshot().Image());
        }
        if (saveDir != nullptr && line.rfind("written: ", 0) == 0) {
          radio.WithLink([&](fw::sim::FramedLinkResponder& link) {
            using Memory = fw::sim::FramedLinkResponder::Memory;
            SaveImage(saveDir, k, link.MemoryImage(Memory::kData), "data");
            SaveImage(saveDir, k, link.MemoryImage(Memory::kFont), "font");
          });
        }
        if (saveDir != nullptr && line.rfind("firmware chip programmed", 0) == 0) {
          radio.WithChip([&](fw::sim::ChipLoaderResponder& chip) {
            std::vector<uint8_t> flash;
            for (const auto& cell : chip.Flash()) {
              flash.push_back(static_cast<uint8_t>(cell.first.first >> 8));
              flash.push_back(static_cast<uint8_t>(cell.first.first));
              flash.push_back(static_cast<uint8_t>(cell.first.second >> 8));
              flash.push_back(static_cast<uint8_t>(cell.first.second));
              flash.push_back(cell.second);
            }
            SaveImage(saveDir, k, flash, "chip");
          });
        }
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
