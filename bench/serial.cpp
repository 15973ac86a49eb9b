// Serial port figures over a pseudo-terminal:
//  - reply latency: from the moment the peer has written the last byte of a 12-byte reply
//    to the moment Read returns it (p50, p99; target p99 under 0.5 ms);
//  - the processor time that a Read waiting for a reply that does not come costs, as a
//    share of one core (target under 2 %).

#include <benchmark/benchmark.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "serial/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  Pty() {
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      termios t;
      tcgetattr(slave, &t);
      cfmakeraw(&t);
      tcsetattr(slave, TCSANOW, &t);
    }
  }
  ~Pty() {
    close(master);
    close(slave);
  }
};

double ThreadCpuSeconds() {
  rusage u;
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec / 1e6;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p / 100.0 * (v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

void BM_ReplyLatency(benchmark::State& state) {
  Pty pty;
  fw::SerialPort port;
  if (pty.master < 0 || !port.Open(pty.name)) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  port.Configure(115200, 8, fw::kParityNone, fw::kOneStopBit);
  port.SetReadTimeout(1000);
  std::vector<double> samples;
  const uint8_t reply[12] = {0x7E, 1, 2, 3, 4, 5, 6, 7, 8, 12, 0, 0};
  uint8_t buf[12];
  for (auto _ : state) {
    std::atomic<int64_t> writtenNs{0};
    // The peer answers after the reader has settled into its wait.
    std::thread radio([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(1500));
      ssize_t n = write(pty.master, reply, sizeof reply);
      writtenNs = Clock::now().time_since_epoch().count();
      (void)n;
    });
    uint32_t got = port.Read(buf, 12);
    int64_t doneNs = Clock::now().time_since_epoch().count();
    radio.join();
    if (got != 12) {
      state.SkipWithError("short reply");
      break;
    }
    samples.push_back(std::max<int64_t>(0, doneNs - writtenNs.load()) / 1000.0);
  }
  if (!samples.empty()) {
    double p50 = Percentile(samples, 50);
    double p99 = Percentile(samples, 99);
    state.counters["p50_us"] = p50;
    state.counters["p99_us"] = p99;
    std::printf("reply latency over %zu replies: p50 %.1f us, p99 %.1f us (target p99 < 500 us)\n",
                samples.size(), p50, p99);
  }
}
BENCHMARK(BM_ReplyLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_WaitingReadCpu(benchmark::State& state) {
  Pty pty;
  fw::SerialPort port;
  if (pty.master < 0 || !port.Open(pty.name)) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  port.Configure(115200, 8, fw::kParityNone, fw::kOneStopBit);
  port.SetReadTimeout(1500);
  uint8_t buf[12];
  double share = 0;
  for (auto _ : state) {
    double cpu0 = ThreadCpuSeconds();
    auto t0 = Clock::now();
    benchmark::DoNotOptimize(port.Read(buf, 12));  // nothing comes: waits out the deadline
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    share = (ThreadCpuSeconds() - cpu0) / wall * 100.0;
  }
  state.counters["cpu_percent"] = share;
  std::printf("waiting read (1.5 s): %.3f %% of one core (target < 2 %%)\n", share);
}
BENCHMARK(BM_WaitingReadCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
