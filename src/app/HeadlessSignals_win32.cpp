// The headless front end's console control handler: Ctrl-C and Ctrl-Break are interrupts;
// closing the console window, logging off and shutting down are a hang-up. Windows ends the
// process as soon as the handler returns from a close (and at the latest about five seconds
// after it), so a close also stops the jobs that are not writing their radio, as a first
// interrupt does, and the handler holds the process until they have ended; a job that is
// writing its radio goes on for as long as Windows lets the process live.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

#include "app/HeadlessSignals.h"

namespace fw {
namespace {

constexpr char kHalfWrittenWarning[] =
    "\nFlashwright: the radio is being written; stopping now leaves it half-written and it may "
    "not start again.\nThe job goes on. To stop anyway, press Ctrl-C again (or Ctrl-Break).\n";

BOOL WINAPI OnConsoleControl(DWORD event) {
  return HandleConsoleControl(event) != 0 ? TRUE : FALSE;
}

}  // namespace

void WriteHalfWrittenWarning() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err != nullptr && err != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(err, kHalfWrittenWarning, sizeof kHalfWrittenWarning - 1, &written, nullptr);
  }
}

int HandleConsoleControl(unsigned long event, unsigned closeGraceMs) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      OnInterruptRequest(true);
      return 1;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      OnHangUpRequest();
      OnInterruptRequest(false);  // nobody is there to read a warning
      const DWORD start = GetTickCount();
      while (!InterruptibleRunFinished() && GetTickCount() - start < closeGraceMs) {
        Sleep(20);
      }
      return 1;
    }
    default:
      return 0;
  }
}

void InstallInterruptHandlers() {
  ClearInterruptFlags();
  static std::atomic<bool> installed{false};
  if (!installed.exchange(true)) {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  }
}

}  // namespace fw
