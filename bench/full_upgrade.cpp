// A whole upgrade (main firmware, restart, read, template and conversion, write with the
// language font, firmware chip) by the real program, run headless as a child process
// against the simulated radio on a pseudo-terminal at 115200 baud. The installation is the
// demo installation with full-size character lists (the headless program renders both
// character-set images before a full job, as the window does at start-up).
//
// Reported figures (the child's own resource usage, from wait4; the simulator's thread runs
// in this process and is not counted):
//   cpu_pct          the program's CPU time (user + system) over the job's wall time
//   max_rss_MiB      the program's peak resident memory
//   rss_pct_of_40MiB the peak memory as a share of a 40 MiB budget
//   sim_cpu_pct      this process (the simulator pacing the line) over the same wall time
//   time_scale       the fixed waits of the protocol (25 s restart and the like) are
//                    shortened by this factor through FLASHWRIGHT_TIME_SCALE, 0.05 unless
//                    the environment sets one (1 gives the real waits); the read deadlines
//                    and the line rate are real. A shorter wall time only makes cpu_pct
//                    larger, never smaller.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchInstall.h"
#include "ChildRun.h"
#include "DemoRadio.h"
#include "RadioSim.h"

namespace {

using namespace fw::bench;

constexpr uint32_t kBaud = 115200;
constexpr double kRssBudgetMiB = 40.0;

void BM_HeadlessFullUpgrade(benchmark::State& st) {
  const std::string scale = TimeScale();
  const double factor = std::atof(scale.c_str());
  std::string dir = (std::filesystem::temp_directory_path() / "flashwright-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) {
    st.SkipWithError("no temporary directory");
    return;
  }
  double wall = 0, cpu = 0, user = 0, sys = 0, simCpu = 0;
  long maxRssKiB = 0;
  int runs = 0;
  for (auto _ : st) {
    // A fresh installation and radio for every run: the radio starts in download mode.
    st.PauseTiming();
    const std::string folder = dir + "/install" + std::to_string(runs);
    const std::string error = fw::bench::WriteFullSizeInstallation(folder, FLASHWRIGHT_PLUGIN_DIR);
    if (!error.empty()) {
      st.SkipWithError(error.c_str());
      break;
    }
    const fw::sim::RadioSimConfig config = fw::bench::DemoRadioConfig(kBaud, factor);
    fw::sim::RadioSim radio(config);
    if (!radio.Start()) {
      st.SkipWithError(radio.Error().c_str());
      break;
    }
    std::ofstream(folder + "/Flashwright.ini", std::ios::app | std::ios::binary)
        << "COM1=" << radio.DevicePath() << "\r\n";
    const std::string log = folder + "/headless.log";
    st.ResumeTiming();

    const double simBefore = SelfCpuSeconds();
    const ChildRun run = RunChild({FLASHWRIGHT_PROGRAM, "--headless", "--program-dir", folder,
                                   "--port", "1", "--update-chip"},
                                  ChildEnvironment(scale), log);
    const double simCpuRun = SelfCpuSeconds() - simBefore;

    st.PauseTiming();
    radio.Stop();
    const std::string output = ReadText(log);
    // Every step reached the radio: the firmware, the read, the write and the chip.
    using Cmd = fw::sim::FramedLinkResponder::Command;
    const bool allSteps =
        radio.DownloadSnapshot().completed && radio.WithLink([](fw::sim::FramedLinkResponder& r) {
          return r.CountOf(Cmd::kReadBlock) > 0 && r.CountOf(Cmd::kWriteBlock) > 0;
        }) &&
        radio.WithChip([](fw::sim::ChipLoaderResponder& c) { return c.Completed(); });
    if (!run.started || run.timedOut || run.exitCode != 0 || !allSteps ||
        output.find("All upgrade completed successfully!") == std::string::npos) {
      std::fprintf(stderr, "%s\n", output.c_str());
      st.SkipWithError(run.timedOut ? "the upgrade did not end in time"
                                    : "the upgrade failed (its output is above)");
      break;
    }
    ++runs;
    wall += run.wallS;
    user += Seconds(run.usage.ru_utime);
    sys += Seconds(run.usage.ru_stime);
    cpu += Seconds(run.usage.ru_utime) + Seconds(run.usage.ru_stime);
    simCpu += simCpuRun;
    maxRssKiB = std::max(maxRssKiB, run.usage.ru_maxrss);  // KiB on Linux
    st.SetIterationTime(run.wallS);
    st.ResumeTiming();
  }
  std::filesystem::remove_all(dir);
  if (runs == 0) {
    return;
  }
  st.counters["time_scale"] = factor;
  st.counters["wall_s"] = wall / runs;
  st.counters["cpu_s"] = cpu / runs;
  st.counters["user_s"] = user / runs;
  st.counters["sys_s"] = sys / runs;
  st.counters["cpu_pct"] = 100.0 * cpu / wall;
  st.counters["sim_cpu_pct"] = 100.0 * simCpu / wall;
  st.counters["max_rss_MiB"] = static_cast<double>(maxRssKiB) / 1024.0;
  st.counters["rss_pct_of_40MiB"] =
      100.0 * (static_cast<double>(maxRssKiB) / 1024.0) / kRssBudgetMiB;
}
BENCHMARK(BM_HeadlessFullUpgrade)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
