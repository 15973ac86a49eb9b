#pragma once
// Files the benchmarks share: full-size character lists (every GB2312 hanzi and the first
// 2350 Hangul syllables, as a real installation carries them), and a complete sample
// installation that holds them in place of the demo's short lists.

#include <filesystem>
#include <fstream>
#include <string>

#include "DemoInstall.h"
#include "platform/CodePage.h"

namespace fw::bench {

// Every GB2312 hanzi: rows 16 to 87 through code page 936.
inline std::u16string AllGb2312Hanzi() {
  std::u16string out;
  for (int row = 16; row <= 87; ++row) {
    for (int col = 1; col <= 94; ++col) {
      const char bytes[2] = {static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + col)};
      const std::u16string c = Cp936ToUtf16(std::string_view(bytes, 2));
      if (c.size() == 1 && c[0] != u'?') {
        out += c;
      }
    }
  }
  return out;
}

inline std::u16string FirstHangul(size_t count) {
  std::u16string out;
  for (char16_t c = 0xAC00; out.size() < count; ++c) {
    out += c;
  }
  return out;
}

// A list of 16 characters a line, CR LF line ends, behind a byte-order-mark line.
inline void WriteCharacterList(const std::filesystem::path& path, const std::u16string& chars) {
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

// "SimpleCH.dat" (6763 hanzi) and "SimpleCH_0412.dat" (2350 Hangul) in `dir`.
inline void WriteFullSizeLists(const std::filesystem::path& dir) {
  WriteCharacterList(dir / "SimpleCH.dat", AllGb2312Hanzi());
  WriteCharacterList(dir / "SimpleCH_0412.dat", FirstHangul(2350));
}

// The demo installation in `folder` (converter libraries from `pluginsDir`, none when
// empty), with full-size character lists. Empty on success, else why it failed.
inline std::string WriteFullSizeInstallation(const std::string& folder,
                                             const std::string& pluginsDir) {
  demo::DemoInstallOptions options;
  options.folder = folder;
  options.pluginsDir = pluginsDir;
  const demo::DemoInstallResult made = demo::WriteDemoInstallation(options);
  if (!made.ok) {
    return made.error;
  }
  WriteFullSizeLists(folder);
  return std::string();
}

}  // namespace fw::bench
