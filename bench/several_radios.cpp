// Several radios at once: N whole upgrades (main firmware, restart, read, template and
// conversion, write with the language font, firmware chip) run as N jobs in one process,
// each its own `UpgradeState` sharing one `Installation`, each on its own simulated radio
// on a pseudo-terminal at 115200 baud. The radios run in a second process, so that the
// tool's process holds the jobs alone and its CPU time and memory are the tool's.
//
// N is 1 and 4 by default; FLASHWRIGHT_BENCH_RADIOS=1,4,8,16 (any list) runs others. Run
// N = 1 first: the ratios are to its figures. N is at most 32, what the simulated radio
// plays at once; each job's port is a COM number, and the port map has COM1..COM64.
//
// Reported figures:
//   radios_ok            jobs that completed with every step reaching their radio
//   wall_s               wall time from the first job's start to the last job's end
//   wall_over_one        wall_s over the wall time of one radio alone (target <= 1.10)
//   cpu_pct_per_radio    the tool's CPU time (user + system) while the jobs ran, per radio,
//                        over wall_s (< 1 %); the start-up (settings, fonts) is not counted
//   peak_MiB             the tool's peak resident memory (ru_maxrss), start-up included
//   added_radio_MiB      (peak_MiB - peak_MiB of one radio) / (N - 1) (< 3 MB)
//   gap_p50_ms, gap_p95_ms, gap_p99_ms, gap_max_ms
//                        the line's idle time between a radio's answer and the tool's next
//                        request, over every exchange on every line (p99 < 5 ms at N = 16);
//                        the longest are the job's own waits (the restart, the fixed pauses
//                        between steps, scaled by the time scale) and the conversion
//                        between read and write. The 50 ms pause before every request to
//                        the firmware chip (224 of a job's 1787 exchanges) is one of them:
//                        scaled, it makes the p95 and p99 with one radio alone
//   gap_p99_added_ms     gap_p99_ms over that of one radio alone: the idle time that the
//                        other jobs add
//   time_scale           the protocol's fixed waits are shortened by FLASHWRIGHT_TIME_SCALE,
//                        0.05 unless the environment sets one; the line rate is real.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchInstall.h"
#include "DemoRadio.h"
#include "RadioSim.h"
#include "app/HeadlessStartup.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/UpgradeState.h"
#include "firmware/HexLoader.h"
#include "firmware/MainFirmware.h"
#include "firmware/VocoderChoice.h"
#include "font/FontImages.h"
#include "platform/Clock.h"
#include "serial/PortMap.h"
#include "workflow/Job.h"

namespace {

constexpr uint32_t kBaud = 115200;
constexpr int kJobTimeoutS = 1800;

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

std::string TimeScale() {
  const char* set = std::getenv("FLASHWRIGHT_TIME_SCALE");
  return set != nullptr && *set != '\0' ? set : "0.05";
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadAll(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) {
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// The radios' process: N radios on pseudo-terminals; their device paths go out on `out`,
// one a line; once `stop` closes, whether each received every step ("1"/"0") and every gap
// (microseconds) of every line.
[[noreturn]] void RunRadios(int n, double factor, int out, int stop) {
  std::vector<std::unique_ptr<fw::sim::RadioSim>> radios;
  std::string paths;
  for (int k = 0; k < n; ++k) {
    const fw::sim::RadioSimConfig config = fw::bench::DemoRadioConfig(kBaud, factor);
    radios.push_back(std::make_unique<fw::sim::RadioSim>(config));
    radios.back()->Pty().LogGaps(true);
    if (!radios.back()->Start()) {
      _exit(1);
    }
    paths += radios.back()->DevicePath() + "\n";
  }
  WriteAll(out, paths);
  char c;
  while (read(stop, &c, 1) > 0) {
  }
  std::ostringstream report;
  using Cmd = fw::sim::FramedLinkResponder::Command;
  for (auto& radio : radios) {
    radio->Stop();
    const bool all = radio->DownloadSnapshot().completed &&
                     radio->WithLink([](fw::sim::FramedLinkResponder& r) {
                       return r.CountOf(Cmd::kReadBlock) > 0 && r.CountOf(Cmd::kWriteBlock) > 0;
                     }) &&
                     radio->WithChip([](fw::sim::ChipLoaderResponder& c) { return c.Completed(); });
    report << (all ? 1 : 0) << "\n";
  }
  for (auto& radio : radios) {
    for (uint32_t gap : radio->Pty().GapsUs()) {
      report << gap << " ";
    }
  }
  WriteAll(out, report.str());
  _exit(0);
}

// The tool's process: N jobs on the installation in `folder`, COM k on the k-th path.
// Reports "ok wall cpu maxrssKiB" on `out`.
[[noreturn]] void RunJobs(const std::string& folder, const std::vector<std::string>& paths,
                          int out) {
  fw::Clock& clock = fw::ClockFromEnvironment();
  const size_t n = paths.size();
  std::vector<std::unique_ptr<fw::UpgradeState>> states;
  for (size_t k = 0; k < n; ++k) {
    states.push_back(std::make_unique<fw::UpgradeState>());
    fw::UpgradeState& state = *states.back();
    state.job.clock.Use(clock);
    state.askTechnician = false;
    if (k == 0) {
      // The installation, loaded once as the program's start-up does, fonts included.
      fw::PrepareInstallation(state, folder, std::nullopt);
      if (!fw::BuildFontImages(fw::LoadingInstallation(state)).empty()) {
        _exit(1);
      }
      continue;
    }
    // Every other job reads the same installation and starts from its settings.
    state.installation = states[0]->installation.Shared();
    fw::ApplySettingsToJob(state);
    state.AllocateRadioData(fw::UpgradeState::kDefaultRadioDataSize);
    fw::SelectVocoder(state, state.vocoderIndex == 0 ? 0 : 1);
    const std::string image = state.installation->imageDir + state.installation->mainImageName;
    state.imageSize = fw::ImageFileSize(image);
    fw::LoadImageFile(state, image);
    fw::LoadHexFile(state);
  }
  for (size_t k = 0; k < n; ++k) {
    fw::GlobalPortMap().SetExplicit(static_cast<int>(k + 1), paths[k]);
  }
  // The start-up (settings, model table, fonts) is not the jobs': CPU time counts from here.
  struct rusage before;
  getrusage(RUSAGE_SELF, &before);
  const auto t0 = std::chrono::steady_clock::now();
  for (size_t k = 0; k < n; ++k) {
    fw::JobInputs in;
    in.updateChip = true;
    in.portNumber = static_cast<int>(k + 1);
    in.hexFilePath = states[k]->hexFilePath;
    if (!fw::StartJob(*states[k], in)) {
      _exit(1);
    }
  }
  for (;;) {
    const bool running =
        std::any_of(states.begin(), states.end(), [](const auto& s) { return fw::JobRunning(*s); });
    if (!running || std::chrono::steady_clock::now() - t0 > std::chrono::seconds(kJobTimeoutS)) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& s : states) {
    fw::StopJob(*s);
    fw::JoinJob(*s);
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int ok = 0;
  for (auto& s : states) {
    ok += s->resultOk.load() == 1 ? 1 : 0;
  }
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  std::ostringstream report;
  const double cpu = Seconds(u.ru_utime) + Seconds(u.ru_stime) - Seconds(before.ru_utime) -
                     Seconds(before.ru_stime);
  report << ok << " " << wall << " " << cpu << " " << u.ru_maxrss << "\n";
  WriteAll(out, report.str());
  _exit(0);
}

struct Figures {
  double wall = 0;
  double peakMiB = 0;
  double gapP99Ms = 0;
};
std::map<int, Figures> g_figures;  // by N, as measured in this run

void BM_SeveralRadios(benchmark::State& st, int n) {
  if (n > fw::PortMap::kMaxMappedPort) {
    // Each job's port is a COM number, and the port map has COM1..COM64.
    st.SkipWithError("more radios than COM ports (COM1..COM64)");
    return;
  }
  const std::string scale = TimeScale();
  const double factor = std::atof(scale.c_str());
  setenv("FLASHWRIGHT_TIME_SCALE", scale.c_str(), 1);
  std::string dir = (std::filesystem::temp_directory_path() / "flashwright-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) {
    st.SkipWithError("no temporary directory");
    return;
  }
  const std::string folder = dir + "/install";
  const std::string error = fw::bench::WriteFullSizeInstallation(folder, FLASHWRIGHT_PLUGIN_DIR);
  if (!error.empty()) {
    st.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : st) {
    int radioOut[2], radioStop[2], jobOut[2];
    if (pipe(radioOut) != 0 || pipe(radioStop) != 0) {
      st.SkipWithError("no pipe");
      break;
    }
    const pid_t radiosPid = fork();
    if (radiosPid == 0) {
      close(radioOut[0]);
      close(radioStop[1]);
      RunRadios(n, factor, radioOut[1], radioStop[0]);
    }
    close(radioOut[1]);
    close(radioStop[0]);
    // The device paths, one a line.
    std::vector<std::string> paths;
    std::string pending;
    char c;
    while (static_cast<int>(paths.size()) < n && read(radioOut[0], &c, 1) == 1) {
      if (c == '\n') {
        paths.push_back(pending);
        pending.clear();
      } else {
        pending += c;
      }
    }
    if (static_cast<int>(paths.size()) < n) {
      close(radioStop[1]);
      waitpid(radiosPid, nullptr, 0);
      st.SkipWithError("the simulated radios did not start");
      break;
    }
    // Made after the radios' process, so that only the jobs' process holds its writing end.
    if (pipe(jobOut) != 0) {
      close(radioStop[1]);
      waitpid(radiosPid, nullptr, 0);
      st.SkipWithError("no pipe");
      break;
    }
    const pid_t jobsPid = fork();
    if (jobsPid == 0) {
      close(jobOut[0]);
      close(radioOut[0]);
      close(radioStop[1]);
      RunJobs(folder, paths, jobOut[1]);
    }
    close(jobOut[1]);
    const std::string jobs = ReadAll(jobOut[0]);
    close(jobOut[0]);
    int status = 0;
    waitpid(jobsPid, &status, 0);
    close(radioStop[1]);
    const std::string radios = ReadAll(radioOut[0]);
    close(radioOut[0]);
    waitpid(radiosPid, nullptr, 0);

    int ok = 0;
    double wall = 0, cpu = 0;
    long maxRssKiB = 0;
    std::istringstream(jobs) >> ok >> wall >> cpu >> maxRssKiB;
    std::istringstream in(radios);
    int received = 0;
    for (int k = 0; k < n; ++k) {
      int all = 0;
      in >> all;
      received += all;
    }
    std::vector<uint32_t> gaps;
    for (uint32_t g; in >> g;) {
      gaps.push_back(g);
    }
    if (jobs.empty() || wall <= 0) {
      st.SkipWithError("the jobs' process failed");
      break;
    }
    st.SetIterationTime(wall);
    std::sort(gaps.begin(), gaps.end());
    auto at = [&](double q) {
      return gaps.empty()
                 ? 0.0
                 : gaps[std::min(gaps.size() - 1, static_cast<size_t>(q * gaps.size()))] / 1000.0;
    };
    const double peakMiB = static_cast<double>(maxRssKiB) / 1024.0;
    st.counters["radios"] = n;
    st.counters["radios_ok"] = std::min(ok, received);
    st.counters["wall_s"] = wall;
    st.counters["cpu_pct_per_radio"] = 100.0 * cpu / n / wall;
    st.counters["peak_MiB"] = peakMiB;
    st.counters["gap_p50_ms"] = at(0.50);
    st.counters["gap_p95_ms"] = at(0.95);
    st.counters["gap_p99_ms"] = at(0.99);
    st.counters["gap_max_ms"] = gaps.empty() ? 0.0 : gaps.back() / 1000.0;
    st.counters["exchanges"] = static_cast<double>(gaps.size());
    st.counters["time_scale"] = factor;
    if (n == 1) {
      g_figures[1] = {wall, peakMiB, at(0.99)};
    } else if (g_figures.count(1) != 0) {
      st.counters["wall_over_one"] = wall / g_figures[1].wall;
      st.counters["added_radio_MiB"] = (peakMiB - g_figures[1].peakMiB) / (n - 1);
      st.counters["gap_p99_added_ms"] = at(0.99) - g_figures[1].gapP99Ms;
    }
    if (ok != n || received != n) {
      std::fprintf(stderr, "several radios: %d of %d jobs succeeded, %d radios got every step\n",
                   ok, n, received);
    }
  }
  std::filesystem::remove_all(dir);
}

// "1,4,8": the radio counts to run, each 1 to 32, in the order given.
std::vector<int> RadioCounts() {
  std::vector<int> counts;
  const char* set = std::getenv("FLASHWRIGHT_BENCH_RADIOS");
  std::istringstream in(set != nullptr && *set != '\0' ? set : "1,4");
  std::string item;
  while (std::getline(in, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (n >= 1 && n <= 32) {
      counts.push_back(n);
    }
  }
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  for (int n : RadioCounts()) {
    benchmark::RegisterBenchmark(("BM_SeveralRadios/" + std::to_string(n)).c_str(),
                                 [n](benchmark::State& st) { BM_SeveralRadios(st, n); })
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
