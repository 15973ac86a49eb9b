#pragma once
// Process-wide values of the application object: the full-width glyph flag and the three
// About texts. (The selected COM port number lives in serial/SelectedPort.h, where the
// port layer reads it.) Set at start-up on the window's thread before any job runs.

#include <atomic>
#include <string>

namespace fw {

struct AppValues {
  std::atomic<bool> fullWidthGlyphs{false};
  std::string versionText;   // "VerInfo": first line of the About box
  std::string smallMcuText;  // "SmMCUInfo": middle line
  std::string companyText;   // "CorpInfo": last line (a built-in line when empty)
};

AppValues& App();

}  // namespace fw
