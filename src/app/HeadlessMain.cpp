#include "app/HeadlessMain.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/HeadlessPreflight.h"
#include "app/HeadlessRun.h"
#include "platform/CodePage.h"

#ifndef FLASHWRIGHT_VERSION
#define FLASHWRIGHT_VERSION "0.0.0"
#endif

namespace fw {

void PrintProgramHelp() {
  std::printf(
      "Usage: Flashwright [--program-dir DIR] [--bench] [--bench-ports N,M,...]\n"
      "                   [--journal PATH] [--no-backup]\n"
      "  or:  Flashwright --headless [--program-dir DIR]\n"
      "                   [--port N ... | --ports N,M,... | --all-ports]\n"
      "                   [--firmware-only | --chip-only] [--update-chip]\n"
      "                   [--vocoder AMBE|SELP] [--allow-unidentified]\n"
      "                   [--journal FILE] [--no-backup] [--json]\n"
      "  or:  Flashwright --headless --port N (--restore JOB | --restore-file FILE)\n"
      "                   [--restore-to-other-radio]\n"
      "  or:  Flashwright --headless --history [--format table|csv|json]\n"
      "                   [--since DATE] [--radio TEXT]\n"
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
      "  --journal FILE     keep the job records and backups in FILE (\"Journal\" in the\n"
      "                     settings file; default: ~/.local/share/flashwright/journal.db)\n"
      "  --no-backup        write radios without saving their data first (\"Backup=0\")\n"
      "  --json             one JSON object per line: start, rows, progress, boxes, result\n"
      "  --restore JOB      write back the settings job JOB saved before it wrote the radio\n"
      "  --restore-file FILE\n"
      "                     write back a data dump (a \"...WriteLog.dat\" data log)\n"
      "  --restore-to-other-radio\n"
      "                     let --restore write another radio of the same model\n"
      "  --history          list the journal's jobs, newest first, and exit\n"
      "  --format F         table, csv or json (with --history)\n"
      "  --since DATE       jobs started at or after DATE (UTC, YYYY-MM-DD[Thh:mm:ss])\n"
      "  --radio TEXT       jobs of radios whose model, identity or text fields hold TEXT\n"
      "  -h, --help         display this help and exit\n"
      "  -V, --version      output version information and exit\n"
      "\n"
      "Exit status (headless): 0 if the job (every job) succeeded, 1 if it (any) failed,\n"
      "2 for a usage error. Without a display (no DISPLAY or WAYLAND_DISPLAY) the\n"
      "window cannot open: the program says so and exits with 1; use --headless there.\n"
      "\n"
      "Environment: FLASHWRIGHT_TIME_SCALE=F (0 < F <= 1) shortens the fixed waits,\n"
      "for use with the simulated radio only.\n");
#ifdef _WIN32
  std::printf(
      "\n"
      "On Windows, Flashwright.exe opens the window (with --headless it writes to the\n"
      "console it was started from, which does not wait for it); scripts run\n"
      "Flashwright-cli.exe --headless ..., whose exit status cmd and PowerShell see.\n");
#endif
}

ProgramStart RunCommandLine(const std::vector<std::string>& args, int argc, char** argv) {
  // Answered before any window system is touched, so that they work without a display.
  const Preflight first =
      CheckCommandLine(args, [](const char* name) { return std::getenv(name); });
  switch (first.action) {
    case PreflightAction::kVersion:
      std::printf("Flashwright (Radio Flashwright) %s\n", FLASHWRIGHT_VERSION);
      return {false, 0};
    case PreflightAction::kHelp:
      PrintProgramHelp();
      return {false, 0};
    case PreflightAction::kUsageError:
      std::fprintf(stderr, "Flashwright: %s\nTry 'Flashwright --help' for more information.\n",
                   first.message.c_str());
      return {false, 2};
    case PreflightAction::kNoDisplay:
      std::fprintf(stderr, "Flashwright: %s\n", first.message.c_str());
      return {false, 1};
    case PreflightAction::kContinue:
      break;
  }
  // Every text of the radios and their files is in code page 936: without the system's
  // converters the program says what is missing instead of converting wrongly.
  const std::string codePages = CodePageProblem();
  if (!codePages.empty()) {
    std::fprintf(stderr, "Flashwright: %s\n", codePages.c_str());
    return {false, 1};
  }
  if (std::find(args.begin(), args.end(), "--headless") != args.end()) {
    try {
      return {false, RunHeadless(argc, argv)};  // answers --help with the headless usage
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Flashwright: %s\n", e.what());
      return {false, 1};
    }
  }
  return {true, 0};
}

bool NeedsConsole(const std::vector<std::string>& args) {
  if (std::find(args.begin(), args.end(), "--headless") != args.end()) {
    return true;
  }
  // The window program always has its desktop: a display is there.
  const Preflight first = CheckCommandLine(args, [](const char*) { return "desktop"; });
  return first.action != PreflightAction::kContinue;
}

}  // namespace fw
