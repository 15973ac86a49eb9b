#pragma once
// The command line of flashwright-radio-sim, and what the program prints, as a library so
// that tests can check them without starting the program: the radios it plays (one or up
// to 32, each on its own pseudo-terminal with its own identity and faults), the line that
// names each radio's device, and the report lines that say what a radio received.
//
// With --radios N every option applies to all N radios; "--only K" before an option makes
// that one option apply to radio K alone (1-based), after the options for all radios,
// whatever their order: "--radios 3 --only 2 --info MCU-0399 --only 3 --fault
// silence:identify" plays three radios of which the second has the small processor and the
// third never answers the identification request.

#include <cstdio>
#include <string>
#include <vector>

#include "RadioSim.h"

namespace fw::sim {

inline constexpr int kMaxRadios = 32;

// One radio the program plays.
struct SimRadioSetup {
  RadioSimConfig config;
  bool running = false;         // --running: start in normal mode
  bool backToDownload = false;  // --back-to-download
};

struct SimOptions {
  std::vector<SimRadioSetup> radios;  // at least one
  bool help = false;
};

// The demo radio (DemoIdentity.h), restarting after 1 s.
SimRadioSetup DemoRadioSetup();

// Parses the arguments (without the program name). False, with `error` saying why, on an
// unknown option, a missing or bad value, a radio count outside 1..32 or an --only naming a
// radio that is not played.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error);
void PrintSimUsage(std::FILE* to);

// "KIND:STEP[:ATTEMPTS[:BLOCK]]" (see the usage text). False when a part is unknown.
bool ParseDownloadFault(const std::string& text, DownloadFault& fault);

// A line the program prints about radio `radio` (1-based) of `radios`: as it is with one
// radio, "radio K: " in front with more than one.
std::string RadioLine(int radio, int radios, const std::string& text);

// Follows one radio and says what it received, once each: the firmware ("received ..."),
// the data and font blocks of each finished access ("written: ..."), the firmware chip's
// programming, the line's hang-up. Takes a radio that waits in download mode again after
// each restart back into it (--back-to-download).
class RadioReporter {
 public:
  RadioReporter(RadioSim& radio, bool backToDownload)
      : radio_(radio), backToDownload_(backToDownload) {}
  // The report lines that became due since the last call (without the radio's number).
  std::vector<std::string> Poll();
  // True once the radio's line was cut: nothing more is reported.
  bool Ended() const { return ended_; }

 private:
  RadioSim& radio_;
  bool backToDownload_;
  uint32_t transfersReported_ = 0;
  int writesReported_ = 0;
  bool chipReported_ = false;
  bool ended_ = false;
};

}  // namespace fw::sim
