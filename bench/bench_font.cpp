// Start-up cost of the font images: the language image and both character-set images
// rendered from full-size lists (all 6763 GB2312 hanzi, 2350 Hangul syllables).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchInstall.h"
#include "config/Installation.h"
#include "core/AppValues.h"
#include "core/UpgradeState.h"
#include "font/FontImages.h"

namespace {

// Builds the images `bs` times; with `freshState` each time in a new state record (the
// window's start-up: the font is opened anew with the record's glyph builder).
void RunBuilds(benchmark::State& bs, bool freshState) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("fw_bench_font_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::u16string hanzi = fw::bench::AllGb2312Hanzi();
  fw::bench::WriteFullSizeLists(dir);
  {
    std::ofstream lang(dir / "0409.bin", std::ios::binary);
    lang << std::string(100000, '\x55');
  }
  auto state = std::make_unique<fw::UpgradeState>();
  LoadingInstallation(*state).programDir = dir.string() + "/";
  for (auto _ : bs) {
    if (freshState) {
      state = std::make_unique<fw::UpgradeState>();
      LoadingInstallation(*state).programDir = dir.string() + "/";
    }
    fw::App().fullWidthGlyphs = false;
    const std::string error = fw::BuildFontImages(LoadingInstallation(*state));
    if (!error.empty()) {
      bs.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(LoadingInstallation(*state).fontBufferB.data());
  }
  bs.counters["hanzi"] = static_cast<double>(hanzi.size());
  std::filesystem::remove_all(dir);
}
void BM_BuildFontImages(benchmark::State& bs) {
  RunBuilds(bs, false);
}
BENCHMARK(BM_BuildFontImages)->Unit(benchmark::kMillisecond);

void BM_BuildFontImagesNewState(benchmark::State& bs) {
  RunBuilds(bs, true);
}
BENCHMARK(BM_BuildFontImagesNewState)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
