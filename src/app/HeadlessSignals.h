#pragma once
// Interrupts of the headless front end: Ctrl-C (and SIGTERM, Ctrl-Break) and the terminal going
// away (SIGHUP, closing the console window). The handlers only count and set flags; the event
// loops of the jobs read them and stop the jobs by the same rules on every system:
//  - an interrupt while a radio is being written only warns (stopping then leaves it
//    half-written); a second one stops every job; any other interrupt stops at once (with
//    several jobs: the jobs that are not writing their radio stop at the first);
//  - the terminal going away starts no further job.
// The POSIX handlers (HeadlessSignals_posix.cpp) are signal handlers; the Windows one
// (HeadlessSignals_win32.cpp) is the console control handler, which runs on a thread of its
// own.

#include <atomic>

namespace fw {

struct InterruptFlags {
  std::atomic<int> stopAsked{0};   // the single job is to stop
  std::atomic<int> warned{0};      // the half-written warning was given
  std::atomic<int> hungUp{0};      // the terminal or console went away
  std::atomic<int> interrupts{0};  // every interrupt so far
};
static_assert(std::atomic<int>::is_always_lock_free, "written from a signal handler");

InterruptFlags& Interrupts();

// Clears the flags and installs the handlers of this system.
void InstallInterruptHandlers();

// The rules, for the handlers (async-signal-safe): one interrupt; `warn` prints the
// half-written warning on standard error when it applies (not when the console is gone).
void OnInterruptRequest(bool warn);
// The terminal went away: no further job starts.
void OnHangUpRequest();

// The front end has ended its jobs: a console that is being closed may go (Windows keeps the
// process only while its control handler runs).
void MarkInterruptibleRunFinished();

// For the handlers of each system: the warning on standard error (async-signal-safe on
// POSIX), clearing the flags, and whether the front end has ended its jobs.
void WriteHalfWrittenWarning();
void ClearInterruptFlags();
bool InterruptibleRunFinished();

#ifdef _WIN32
// The console control handler (SetConsoleCtrlHandler): Ctrl-C and Ctrl-Break are
// interrupts; closing the console, logging off and shutting down are a hang-up that also stops
// the jobs that are not writing their radio, and the handler holds the process until the
// front end has ended its jobs or `closeGraceMs` has passed (Windows ends the process when
// the handler returns, and at the latest about five seconds after a close).
int HandleConsoleControl(unsigned long event, unsigned closeGraceMs = 4500);
#endif

}  // namespace fw
