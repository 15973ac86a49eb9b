// What a waiting read of the Win32 serial back end costs, and how soon it returns a reply.
//
//   bench_serial_wait [COMn] [seconds]
//
// Needs flashwright-serial-peer on the other side of COMn (under Wine: the registry value
// HKLM\Software\Wine\Ports COMn = the peer's link). Prints:
//  - the processor time of one Read that waits `seconds` (10) on a silent line, as a share of
//    one core (GetProcessTimes; target under 1 %);
//  - the reply latency: a reply of 12 bytes that the peer sends 200 ms after the request
//    (its pause measured on the same clock as the read: how long after the pause the read
//    returned; p50 and p99 of 40);
//  - the round trip of a request answered at once (p50, p99 of 200): an upper bound of the
//    latency that includes the request's way out and the peer's own turn-around.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

bool Command(fw::SerialPort& port, char code, int pauseMs, int n) {
  const uint8_t command[4] = {static_cast<uint8_t>(code), static_cast<uint8_t>(pauseMs >> 8),
                              static_cast<uint8_t>(pauseMs & 0xFF), static_cast<uint8_t>(n)};
  return port.Write(command, 4) == 4;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string com = argc > 1 ? argv[1] : "COM5";
  const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  fw::SerialPort port;
  if (!port.Open("\\\\.\\" + com)) {
    std::fprintf(stderr, "bench_serial_wait: cannot open %s: %s\n", com.c_str(),
                 port.LastError().c_str());
    return 1;
  }
  port.Configure(115200, 8, fw::kParityNone, fw::kOneStopBit);
  uint8_t buffer[16];

  // A silent line: the whole wait.
  port.SetReadTimeout(static_cast<uint32_t>(seconds) * 1000);
  port.Purge();
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  const uint32_t silent = port.Read(buffer, 12);
  const double waitedMs = Ms(Clock::now() - t0);
  const double cpuMs = (ProcessCpuSeconds() - cpu0) * 1000;
  std::printf("waiting read: %u bytes after %.0f ms, CPU %.1f ms = %.2f %% of one core\n", silent,
              waitedMs, cpuMs, 100.0 * cpuMs / waitedMs);

  // Replies sent 200 ms after the request.
  port.SetReadTimeout(1000);
  std::vector<double> late;
  for (int i = 0; i < 40; ++i) {
    port.Purge();
    const auto sent = Clock::now();
    if (!Command(port, 'A', 200, 12)) {
      std::fprintf(stderr, "bench_serial_wait: the request was not written\n");
      return 1;
    }
    if (port.Read(buffer, 12) != 12) {
      std::fprintf(stderr, "bench_serial_wait: no reply from the peer\n");
      return 1;
    }
    late.push_back(Ms(Clock::now() - sent) - 200.0);
  }
  std::printf("reply 200 ms after the request: read returned p50 %.2f ms, p99 %.2f ms later\n",
              Percentile(late, 50), Percentile(late, 99));

  std::vector<double> trips;
  for (int i = 0; i < 200; ++i) {
    port.Purge();
    const auto sent = Clock::now();
    Command(port, 'A', 0, 12);
    if (port.Read(buffer, 12) != 12) {
      std::fprintf(stderr, "bench_serial_wait: no reply from the peer\n");
      return 1;
    }
    trips.push_back(Ms(Clock::now() - sent));
  }
  std::printf("round trip of an immediate 12-byte reply: p50 %.2f ms, p99 %.2f ms\n",
              Percentile(trips, 50), Percentile(trips, 99));
  return 0;
}
