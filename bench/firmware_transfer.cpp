// Main firmware transfer of a 1 MiB image against the simulated radio, which paces the
// line like a real 115200-baud one (10 bit times per byte), directly or through a modelled
// USB serial adapter (SimPty::SetAdapterLatencyMs: replies in 62-byte packets, the rest when
// the adapter's latency timer fires).
//
// Reported figures:
//   ratio_to_limit  the time the protocol needs at best on this line, divided by the time
//                   the transfer took. At best, every exchange lasts the line time of its
//                   request and reply, but never less than the fixed 20 ms wait after a
//                   request; the fixed waits between steps (100 ms after opening, 500 ms
//                   after the header, 100 ms after end of transmission) are added.
//   cpu_pct         process CPU time (the simulator's thread included) over wall time.
//   tool_cpu_pct    CPU time of the transferring thread alone over wall time.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RadioSim.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "firmware/MainFirmware.h"
#include "serial/PortMap.h"

namespace {

constexpr uint32_t kImageSize = 1048576;
constexpr int kPort = 5;

double ProcessCpuSeconds() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The best time on a line of `baud` for the exchanges of one transfer, in seconds.
double LineLimitSeconds(uint32_t baud, uint32_t imageSize) {
  const double byteTime = 10.0 / baud;
  auto exchange = [&](double requestBytes, double replyBytes) {
    return std::max(0.020, (requestBytes + replyBytes) * byteTime);
  };
  const double blocks = (imageSize + 1023) / 1024;
  double t = 0.100;                 // settle after opening
  t += exchange(1, 100);            // identification
  t += exchange(1, 58);             // download request
  t += exchange(133, 2) + 0.500;    // header, then the wait for the radio to erase
  t += blocks * exchange(1029, 1);  // data blocks
  t += exchange(1, 2) + 0.100;      // end of transmission and the extra read
  t += exchange(133, 80);           // closing block
  return t;
}

void BM_FirmwareTransfer1MiB(benchmark::State& bench) {
  const uint32_t baud = static_cast<uint32_t>(bench.range(0));
  const uint32_t adapterMs = static_cast<uint32_t>(bench.range(1));
  std::string dir = (std::filesystem::temp_directory_path() / "flashwright-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) {
    bench.SkipWithError("no temporary directory");
    return;
  }
  std::vector<uint8_t> image(kImageSize);
  for (uint32_t i = 0; i < kImageSize; ++i) {
    image[i] = static_cast<uint8_t>(i * 31 + (i >> 10));
  }
  std::ofstream(dir + "/Main.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), kImageSize);

  fw::sim::RadioSimConfig config;
  config.lineRate = baud;
  config.adapterLatencyMs = adapterMs;
  double wall = 0, cpu = 0, toolCpu = 0;
  bool ok = true;
  for (auto _ : bench) {
    fw::sim::RadioSim radio(config);
    if (!radio.Start()) {
      bench.SkipWithError("simulator did not start");
      break;
    }
    fw::GlobalPortMap().SetExplicit(kPort, radio.DevicePath());
    fw::UpgradeState state;
    state.job.portNumber = kPort;
    state.job.devicePath = radio.DevicePath();
    LoadingInstallation(state).imageDir = dir + "/";
    LoadingInstallation(state).mainImageName = "Main.bin";
    LoadingInstallation(state).modelList = "KV68";
    state.resultOk = 0;

    auto t0 = std::chrono::steady_clock::now();
    double c0 = ProcessCpuSeconds();
    double tc0 = ThreadCpuSeconds();
    fw::TransferMainFirmware(state);
    toolCpu += ThreadCpuSeconds() - tc0;
    cpu += ProcessCpuSeconds() - c0;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ok = ok && state.resultOk == 1 && radio.DownloadSnapshot().Image() == image;
  }
  std::filesystem::remove_all(dir);
  if (!ok) {
    bench.SkipWithError("the radio did not receive the image intact");
    return;
  }
  const double n = static_cast<double>(bench.iterations());
  const double limit = baud ? LineLimitSeconds(baud, kImageSize) : 0.0;
  bench.counters["wall_s"] = wall / n;
  bench.counters["payload_KiB_per_s"] = (kImageSize / 1024.0) / (wall / n);
  if (baud) {
    bench.counters["limit_s"] = limit;
    bench.counters["ratio_to_limit_pct"] = 100.0 * limit / (wall / n);
    bench.counters["over_limit_ms"] = 1000.0 * (wall / n - limit);
  }
  bench.counters["cpu_pct"] = 100.0 * cpu / wall;
  bench.counters["tool_cpu_pct"] = 100.0 * toolCpu / wall;
}

// Second argument: the latency timer of a modelled USB serial adapter (0: none; 16 ms is an
// FTDI chip's default, 1 ms what the serial port asks the driver for).
BENCHMARK(BM_FirmwareTransfer1MiB)
    ->ArgNames({"baud", "adapter_ms"})
    ->Args({115200, 0})
    ->Args({0, 0})
    ->Args({115200, 16})
    ->Args({115200, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
