// Radio Flashwright. Opens the main window; with --headless the job runs without a window
// and reports on the terminal.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/HeadlessPreflight.h"
#include "app/HeadlessRun.h"
#ifdef FLASHWRIGHT_WITH_QT
#include "app/qt/BenchOptions.h"
#include "app/qt/JournalOptions.h"
#include "app/qt/UpgradeApp.h"
#endif

#ifndef FLASHWRIGHT_VERSION
#define FLASHWRIGHT_VERSION "0.0.0"
#endif

namespace {

using fw::CheckCommandLine;
using fw::Preflight;
using fw::PreflightAction;

void PrintHelp() {
  std::printf(
      "Usage: Flashwright [--program-dir DIR] [--bench] [--bench-ports N,M,...]\n"
      "                   [--journal PATH] [--no-backup]\n"
      "  or:  Flashwright --headless [--program-dir DIR]\n"
      "                   [--port N ... | --ports N,M,... | --all-ports]\n"
      "                   [--firmware-only | --chip-only] [--update-chip]\n"
      "                   [--vocoder AMBE|SELP] [--allow-unidentified]\n"
      "Upgrade a two-way radio connected to a serial port: main firmware, its\n"
      "configuration data, and the firmware chip.\n"
      "\n"
      "Without --headless the window opens; pick the COM port and click \"Upgrade\".\n"
      "\n"
      "  --program-dir DIR  use the installation in DIR (settings file Flashwright.ini,\n"
      "                     firmware images, hex files, templates); default: the\n"
      "                     program's own folder\n"
      "  --bench            open the window's bench: one panel per port (every port\n"
      "                     found), each with its own \"Upgrade\" and \"Stop\", and\n"
      "                     \"Upgrade all\" (also \"BenchMode=1\" in the settings file)\n"
      "  --bench-ports N,M,...\n"
      "                     the bench on these ports (\"BenchPorts\" in the settings file)\n"
      "  --journal PATH     keep the job records in the journal PATH (\"Journal\" in the\n"
      "                     settings file; default: the user's own)\n"
      "  --no-backup        write radios without a backup of their data in the journal\n"
      "                     (\"Backup=0\" in the settings file)\n"
      "  --headless         run one upgrade job on the terminal, as the \"Upgrade\"\n"
      "                     button would, and exit (in run mode 5, READWRITELOG=5,\n"
      "                     jobs repeat until interrupted)\n"
      "  --port N           COM port number 1..64 (see section \"Ports\" of the settings\n"
      "                     file for the device each number stands for); given more\n"
      "                     than once, one job per port runs at the same time\n"
      "  --ports N,M,...    several ports at once, as --port given for each\n"
      "  --all-ports        every COM number that stands for a device\n"
      "  --firmware-only    only upgrade the radio firmware\n"
      "  --chip-only        only update the firmware chip\n"
      "  --update-chip      update the firmware chip at the end of a full upgrade\n"
      "  --vocoder V        AMBE or SELP\n"
      "  --allow-unidentified\n"
      "                     send a radio that does not identify itself the image\n"
      "                     chosen without knowing it (otherwise the job ends)\n"
      "  -h, --help         display this help and exit\n"
      "  -V, --version      output version information and exit\n"
      "\n"
      "Exit status (headless): 0 if the job (every job) succeeded, 1 if it (any) failed,\n"
      "2 for a usage error. Without a display (no DISPLAY or WAYLAND_DISPLAY) the\n"
      "window cannot open: the program says so and exits with 1; use --headless there.\n"
      "\n"
      "Environment: FLASHWRIGHT_TIME_SCALE=F (0 < F <= 1) shortens the fixed waits,\n"
      "for use with the simulated radio only.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef FLASHWRIGHT_WITH_QT
  // The window's bench options (the window takes them again from its arguments).
  if (std::find(args.begin(), args.end(), "--headless") == args.end()) {
    std::string error;
    fw::TakeBenchOptions(args, error);
    if (error.empty()) {
      fw::TakeJournalOptions(args, error);
    }
    if (!error.empty()) {
      std::fprintf(stderr, "Flashwright: %s\nTry 'Flashwright --help' for more information.\n",
                   error.c_str());
      return 2;
    }
  }
#endif
  // Answered before any window system is touched, so that they work without a display.
  const Preflight first =
      CheckCommandLine(args, [](const char* name) { return std::getenv(name); });
  switch (first.action) {
    case PreflightAction::kVersion:
      std::printf("Flashwright (Radio Flashwright) %s\n", FLASHWRIGHT_VERSION);
      return 0;
    case PreflightAction::kHelp:
      PrintHelp();
      return 0;
    case PreflightAction::kUsageError:
      std::fprintf(stderr, "Flashwright: %s\nTry 'Flashwright --help' for more information.\n",
                   first.message.c_str());
      return 2;
    case PreflightAction::kNoDisplay:
      std::fprintf(stderr, "Flashwright: %s\n", first.message.c_str());
      return 1;
    case PreflightAction::kContinue:
      break;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--headless") {
      return fw::RunHeadless(argc, argv);  // answers --help with the headless usage
    }
  }
#ifdef FLASHWRIGHT_WITH_QT
#ifndef _WIN32
  // The window is the technician's own: the terminal it was started from closing (SIGHUP)
  // or a reader of its output going away (SIGPIPE) must not end it while it writes a radio.
  std::signal(SIGHUP, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
#endif
  return fw::UpgradeApp::Run(argc, argv);
#else
  std::fprintf(stderr, "The window is not part of this build; run with --headless.\n");
  fw::PrintHeadlessUsage(stderr);
  return 2;
#endif
}
