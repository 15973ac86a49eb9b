// Writing the radio with its font library at 115200 baud, two stop bits, against the
// simulated radio: the 129976 data bytes, then a full-size 153600-byte character-set font
// image (a "KV" radio whose data names Korean), as the full upgrade's write step does it.
// The ratio is the time the requests and replies of the write need on the wire (11 bits a
// byte), divided by the time the write took. The fixed waits of the protocol (200 ms
// before an information request after a reconnect, 2 s before the completion) run on a
// fake clock and are not counted; the read deadlines are real.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "FramedLinkResponder.h"
#include "LinkWire.h"
#include "SimPty.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "platform/Clock.h"
#include "radiodata/WriteRadio.h"
#include "serial/PortMap.h"

namespace {

using fw::sim::FramedLinkResponder;
using Memory = FramedLinkResponder::Memory;

constexpr uint32_t kBaud = 115200;
constexpr int kPort = 10;
constexpr uint32_t kDataSize = fw::UpgradeState::kDefaultRadioDataSize;
constexpr uint32_t kFontSize = fw::UpgradeState::kFontImageSize;

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>((i * seed + (i >> 9)) & 0xFF);
  }
  return v;
}

bool Holds(const std::vector<uint8_t>& memory, const std::vector<uint8_t>& expected, size_t size) {
  return memory.size() >= size && expected.size() >= size &&
         std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(size),
                    memory.begin());
}

void BM_WriteRadioWithFont(benchmark::State& st) {
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
  // A "KV" model that is not on a no-font list: with Korean in its data it gets the
  // Korean character-set image, the largest font write there is.
  radio.SetInfoBlock(
      FramedLinkResponder::MakeInfoBlock("KV55000000N02000", "KV55000000N00000L", '1'));

  fw::UpgradeState state;
  state.job.clock.Use(clock);
  state.job.portNumber = kPort;
  state.job.devicePath = pty.DevicePath();
  state.radioModel = "KV55";
  state.radioDataSize = kDataSize;
  state.templateData = Pattern(kDataSize, 7);
  state.templateData[fw::kLanguageOffset] = fw::kLangKorean & 0xFF;
  state.templateData[fw::kLanguageOffset + 1] = fw::kLangKorean >> 8;
  LoadingInstallation(state).fontBufferB = Pattern(fw::UpgradeState::kFontImageBufferSize, 13);
  state.updateChip = 1;  // the job's end is the chip update's to report: not measured here

  double ratioSum = 0;
  int runs = 0;
  for (auto _ : st) {
    {
      std::lock_guard<std::mutex> lock(pty.StateMutex());
      radio.ClearRecord();
      radio.MemoryImage(Memory::kData).assign(kDataSize, 0);
      radio.MemoryImage(Memory::kFont).assign(kFontSize, 0);
    }
    const uint64_t sentBefore = pty.BytesReceived();
    state.bytesDone = 0;
    state.resultOk = 0;
    const auto t0 = std::chrono::steady_clock::now();
    fw::WriteRadio(state);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (state.resultOk != 1) {
      st.SkipWithError("the write failed");
      break;
    }
    size_t wireBytes = pty.BytesReceived() - sentBefore;
    size_t exchanges = 1;
    bool intact = false;
    {
      std::lock_guard<std::mutex> lock(pty.StateMutex());
      for (const auto& r : radio.Requests()) {
        wireBytes += fw::bench::LinkReplyBytes(r.command);
      }
      exchanges = radio.Requests().size();
      intact = Holds(radio.MemoryImage(Memory::kData), state.templateData, kDataSize) &&
               Holds(radio.MemoryImage(Memory::kFont), LoadingInstallation(state).fontBufferB,
                     kFontSize);
    }
    if (!intact) {
      st.SkipWithError("the radio does not hold what was written");
      break;
    }
    const double limitSeconds =
        static_cast<double>(wireBytes) * fw::bench::kLinkBitsPerByte / kBaud;
    ratioSum += limitSeconds / seconds;
    ++runs;
    st.SetIterationTime(seconds);
    st.counters["written_bytes"] = static_cast<double>(state.bytesDone.load());
    st.counters["wire_bytes"] = static_cast<double>(wireBytes);
    st.counters["line_limit_s"] = limitSeconds;
    // Time beyond the line limit, spread over the exchanges of the write.
    st.counters["overhead_ms_per_exchange"] =
        (seconds - limitSeconds) * 1000.0 / static_cast<double>(exchanges);
  }
  if (runs > 0) {
    st.counters["ratio_to_line_limit"] = ratioSum / runs;
    st.counters["data_bytes_per_s"] = benchmark::Counter(
        static_cast<double>(kDataSize + kFontSize) * runs, benchmark::Counter::kIsRate);
  }
  pty.Stop();
  fw::GlobalPortMap().ClearExplicit();
}
// The argument: the latency timer of a modelled USB serial adapter (0: none; 16 ms is an FTDI
// chip's default, 1 ms what the serial port asks the driver for).
BENCHMARK(BM_WriteRadioWithFont)
    ->ArgName("adapter_ms")
    ->Arg(0)
    ->Arg(16)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
