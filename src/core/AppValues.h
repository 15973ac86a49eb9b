#pragma once
// Process-wide values of the application object: the full-width glyph flag and the three
// About texts. (The COM port number chosen in the window is a dialog value of the state
// record; each job carries its own port.) Set at start-up on the window's thread before any job
// runs.

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
