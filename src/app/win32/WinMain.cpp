// The Windows window program's entry (Flashwright.exe): a GUI-subsystem program, so that a
// double-click opens the window without a console. A command line for the console
// (--headless, --help, --version, an option the window does not take) is answered as the
// console program answers it, on the console the program was started from, or on a console
// of its own when it has none.

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "WinWindow.h"
#include "app/HeadlessMain.h"
#include "app/window/BenchOptions.h"
#include "app/window/JournalOptions.h"

namespace {

// True when `handle` leads somewhere (a console, a file, a pipe).
bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Gives the C streams a console where they have none: the standard handles this program was
// started with when they lead somewhere (redirected to a file or a pipe), else the console
// of the program that started it, else a new one. True when a new one was opened.
bool BindConsole() {
  const bool out = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
  const bool err = Usable(GetStdHandle(STD_ERROR_HANDLE));
  const bool in = Usable(GetStdHandle(STD_INPUT_HANDLE));
  if (out && err && in) {
    return false;
  }
  bool opened = false;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
    opened = AllocConsole() != 0;
    if (!opened) {
      return false;  // no console to be had: the streams stay as they are
    }
  }
  if (!out && std::freopen("CONOUT$", "w", stdout) != nullptr) {
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
  }
  if (!err && std::freopen("CONOUT$", "w", stderr) != nullptr) {
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr))));
  }
  if (!in && std::freopen("CONIN$", "r", stdin) != nullptr) {
    SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin))));
  }
  // The console of a parent that does not wait for this program: its output starts on a
  // line of its own, after the prompt the shell has printed already.
  if (!opened && !out) {
    std::fputs("\n", stdout);
  }
  return opened;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  std::vector<std::string> args = fw::Utf8CommandLine();
  // The window's own options (the bench, the journal) are the window's to read, and to
  // refuse in its own box: what is left decides whether the console is wanted.
  std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  std::string windowOptionError;
  (void)fw::TakeBenchOptions(rest, windowOptionError);
  (void)fw::TakeJournalOptions(rest, windowOptionError);
  if (!rest.empty() && fw::NeedsConsole(rest)) {
    const bool ownConsole = BindConsole();
    std::vector<char*> argv = fw::ArgvOf(args);
    const fw::ProgramStart start =
        fw::RunCommandLine(std::vector<std::string>(args.begin() + 1, args.end()),
                           static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    if (!start.openWindow) {
      if (ownConsole) {
        // A console opened for this program closes with it: keep what it says readable.
        std::fputs("\nPress Enter to close this window.", stdout);
        std::fflush(stdout);
        std::getchar();
      }
      return start.exitStatus;
    }
  }
  return fw::RunWindow(instance, show);
}
