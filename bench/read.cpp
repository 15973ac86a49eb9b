// Reading the radio's 129976 bytes from the simulated radio at 115200 baud, two stop bits,
// as a ratio of the achieved rate to the line limit: the time the requests and replies of
// the read need on the wire (11 bits a byte), divided by the time the read took. The fixed
// waits of the protocol run on a fake clock and are not counted; the read deadlines are
// real.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "FramedLinkResponder.h"
#include "LinkWire.h"
#include "SimPty.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "platform/Clock.h"
#include "radiodata/ReadRadio.h"
#include "serial/PortMap.h"

namespace {

using fw::sim::FramedLinkResponder;

constexpr uint32_t kBaud = 115200;
constexpr double kBitsPerByte = fw::bench::kLinkBitsPerByte;
constexpr int kPort = 9;

void BM_ReadRadio129976(benchmark::State& st) {
  fw::FakeClock clock;
  FramedLinkResponder radio;
  fw::sim::SimPty pty;
  pty.AddResponder(&radio);
  pty.SetLineRate(kBaud);
  // The latency timer of a modelled USB serial adapter between radio and tool (0: none).
  pty.SetAdapterLatencyMs(static_cast<uint32_t>(st.range(0)));
  if (!pty.Start()) {
    st.SkipWithError(pty.Error().c_str());
    return;
  }
  fw::GlobalPortMap().SetExplicit(kPort, pty.DevicePath());

  const auto dir =
      std::filesystem::temp_directory_path() / ("flashwright-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string identity;
  for (char c : std::string("KW66000000N02000")) {
    char two[8];
    std::snprintf(two, sizeof two, "%02X00", static_cast<unsigned char>(c));
    identity += two;
  }
  std::ofstream(dir / "Model.dat") << "[Area]\r\nNumber=1\r\nArea0=1\r\n[Type]\r\nNumber=1\r\n"
                                   << "Type0=" << identity << ",1,x,y\r\n";
  radio.SetInfoBlock(
      FramedLinkResponder::MakeInfoBlock("KW66000000N02000", "KW66000000N00000", '1'));

  fw::UpgradeState state;
  state.job.clock.Use(clock);
  state.job.portNumber = kPort;
  state.job.devicePath = pty.DevicePath();
  LoadingInstallation(state).modelTable.Load((dir / "Model.dat").string());
  state.AllocateRadioData(fw::UpgradeState::kDefaultRadioDataSize);
  state.radioVersion = 400;  // the version query is not part of the read being measured

  double ratioSum = 0;
  int runs = 0;
  for (auto _ : st) {
    {
      std::lock_guard<std::mutex> lock(pty.StateMutex());
      radio.ClearRecord();
    }
    const uint64_t sentBefore = pty.BytesReceived();
    state.bytesDone = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const fw::ReadResult result = fw::ReadRadio(state);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (result != fw::ReadResult::Done) {
      st.SkipWithError("the read failed");
      break;
    }
    size_t wireBytes = pty.BytesReceived() - sentBefore;
    size_t exchanges = 1;
    {
      std::lock_guard<std::mutex> lock(pty.StateMutex());
      for (const auto& r : radio.Requests()) {
        wireBytes += fw::bench::LinkReplyBytes(r.command);
      }
      exchanges = radio.Requests().size();
    }
    const double limitSeconds = static_cast<double>(wireBytes) * kBitsPerByte / kBaud;
    ratioSum += limitSeconds / seconds;
    ++runs;
    st.SetIterationTime(seconds);
    st.counters["wire_bytes"] = static_cast<double>(wireBytes);
    st.counters["line_limit_s"] = limitSeconds;
    // Time beyond the line limit, spread over the exchanges of the read.
    st.counters["overhead_ms_per_exchange"] =
        (seconds - limitSeconds) * 1000.0 / static_cast<double>(exchanges);
  }
  if (runs > 0) {
    st.counters["ratio_to_line_limit"] = ratioSum / runs;
    st.counters["data_bytes_per_s"] =
        benchmark::Counter(129976.0 * runs, benchmark::Counter::kIsRate);
  }
  pty.Stop();
  fw::GlobalPortMap().ClearExplicit();
  std::filesystem::remove_all(dir);
}
// The argument: the latency timer of a modelled USB serial adapter (0: none; 16 ms is an FTDI
// chip's default, 1 ms what the serial port asks the driver for).
BENCHMARK(BM_ReadRadio129976)
    ->ArgName("adapter_ms")
    ->Arg(0)
    ->Arg(16)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
