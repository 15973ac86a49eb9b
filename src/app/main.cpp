// Radio Flashwright. Opens the main window; with --headless the job runs without a window
// and reports on the terminal. On Windows this is the console program (Flashwright-cli.exe,
// for scripts and the console); the window is a program of its own (app/win32).

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/HeadlessMain.h"
#include "app/HeadlessRun.h"
#ifdef FLASHWRIGHT_WITH_QT
#include "app/qt/UpgradeApp.h"
#include "app/window/BenchOptions.h"
#include "app/window/JournalOptions.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The arguments in UTF-8, as every path and text inside the program is.
  std::vector<std::string> utf8 = fw::Utf8CommandLine();
  std::vector<char*> utf8Argv = fw::ArgvOf(utf8);
  if (!utf8.empty()) {
    argc = static_cast<int>(utf8.size());
    argv = utf8Argv.data();
  }
#endif
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
  const fw::ProgramStart start = fw::RunCommandLine(args, argc, argv);
  if (!start.openWindow) {
    return start.exitStatus;
  }
#ifdef FLASHWRIGHT_WITH_QT
#ifndef _WIN32
  // The window is the technician's own: the terminal it was started from closing (SIGHUP)
  // or a reader of its output going away (SIGPIPE) must not end it while it writes a radio.
  std::signal(SIGHUP, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
#endif
  return fw::UpgradeApp::Run(argc, argv);
#elif defined(_WIN32)
  std::fprintf(stderr,
               "This is the console program: the window is Flashwright.exe. Run with "
               "--headless.\n");
  fw::PrintHeadlessUsage(stderr);
  return 2;
#else
  std::fprintf(stderr, "The window is not part of this build; run with --headless.\n");
  fw::PrintHeadlessUsage(stderr);
  return 2;
#endif
}
