// Start-up cost of the font images: the language image and both character-set images
// rendered from full-size lists (all 6763 GB2312 hanzi, 2350 Hangul syllables).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/AppValues.h"
#include "core/UpgradeState.h"
#include "font/FontImages.h"
#include "platform/CodePage.h"

namespace {

// Every GB2312 hanzi: rows 16 to 87 through code page 936.
std::u16string AllGb2312Hanzi() {
  std::u16string out;
  for (int row = 16; row <= 87; ++row) {
    for (int col = 1; col <= 94; ++col) {
      const char bytes[2] = {static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + col)};
      const std::u16string c = fw::Cp936ToUtf16(std::string_view(bytes, 2));
      if (c.size() == 1 && c[0] != u'?') {
        out += c;
      }
    }
  }
  return out;
}

// A list of 16 characters a line, CR LF line ends, behind a byte-order-mark line.
void WriteList(const std::filesystem::path& path, const std::u16string& chars) {
  std::u16string text = u"\uFEFF\r\n";
  for (size_t i = 0; i < chars.size(); ++i) {
    text += chars[i];
    if (i % 16 == 15 || i + 1 == chars.size()) {
      text += u"\r\n";
    }
  }
  std::ofstream out(path, std::ios::binary);
  for (char16_t u : text) {
    out.put(static_cast<char>(u & 0xFF));
    out.put(static_cast<char>(u >> 8));
  }
}

// Builds the images `bs` times; with `freshState` each time in a new state record (the
// window's start-up: the font is opened anew with the record's glyph builder).
void RunBuilds(benchmark::State& bs, bool freshState) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("fw_bench_font_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::u16string hanzi = AllGb2312Hanzi();
  std::u16string hangul;
  for (char16_t c = 0xAC00; hangul.size() < 2350; ++c) {
    hangul += c;
  }
  WriteList(dir / "SimpleCH.dat", hanzi);
  WriteList(dir / "SimpleCH_0412.dat", hangul);
  {
    std::ofstream lang(dir / "0409.bin", std::ios::binary);
    lang << std::string(100000, '\x55');
  }
  auto state = std::make_unique<fw::UpgradeState>();
  state->programDir = dir.string() + "/";
  for (auto _ : bs) {
    if (freshState) {
      state = std::make_unique<fw::UpgradeState>();
      state->programDir = dir.string() + "/";
    }
    fw::App().fullWidthGlyphs = false;
    const std::string error = fw::BuildFontImages(*state);
    if (!error.empty()) {
      bs.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(state->fontBufferB.data());
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
