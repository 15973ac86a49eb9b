// The headless front end's signals: SIGINT and SIGTERM are interrupts, SIGHUP (the terminal or
// the SSH session went away) lets the jobs finish and starts no further one, SIGPIPE is
// ignored (a reader that went away makes the report's writes fail; the job goes on).

#include <signal.h>
#include <unistd.h>

#include "app/HeadlessSignals.h"

namespace fw {
namespace {

constexpr char kHalfWrittenWarning[] =
    "\nFlashwright: the radio is being written; stopping now leaves it half-written and it may "
    "not start again.\nThe job goes on. To stop anyway, press Ctrl-C again (or send SIGTERM "
    "again).\n";

void OnInterrupt(int) {
  OnInterruptRequest(true);
}

void OnHangUp(int) {
  OnHangUpRequest();
}

}  // namespace

void WriteHalfWrittenWarning() {
  // Nothing to do when the terminal is gone: the warning is a courtesy.
  ssize_t written = ::write(STDERR_FILENO, kHalfWrittenWarning, sizeof kHalfWrittenWarning - 1);
  (void)written;
}

void InstallInterruptHandlers() {
  ClearInterruptFlags();
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = OnHangUp;
  sigaction(SIGHUP, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace fw
