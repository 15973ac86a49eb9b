#pragma once
// What the program answers from its command line alone, before any window system is
// touched: --help, --version, options it does not know, and a window asked for where
// there is no display to open it on (over SSH, in a container, in CI).

#include <functional>
#include <string>
#include <vector>

namespace fw {

enum class PreflightAction {
  kContinue,    // go on: the headless front end (--headless), or the window
  kHelp,        // -h, --help: print the usage, exit 0
  kVersion,     // -V, --version: print the version, exit 0
  kUsageError,  // an unknown option or argument: `message` says which, exit 2
  kNoDisplay,   // the window without a display: `message` suggests --headless, exit 1
};

struct Preflight {
  PreflightAction action = PreflightAction::kContinue;
  std::string message;
};

// `args` without the program name; `environment` reads a variable (null when unset).
// With --headless only --version is answered here: the headless front end parses the rest.
Preflight CheckCommandLine(const std::vector<std::string>& args,
                           const std::function<const char*(const char*)>& environment);

}  // namespace fw
