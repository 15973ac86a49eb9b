#pragma once
// What a job may do to the window.
//
// Synchronous calls (rows, status text, enabling controls, progress bars, message
// boxes, cursor) return after the window has carried them out. Posted events (progress
// of a phase, a communication error, the end of a write) and timers return at once; the
// window handles them later on its own thread. The window never waits for the worker.
//
// Implementations: the Qt window, the headless front end, and a recording fake for
// tests. All text is UTF-8.

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "platform/JobClock.h"

namespace fw {

enum class MessageIcon { None, Exclamation, Error, Question };

enum class MessageButtons { Ok, OkCancel };

// The answer of a message box.
enum class MessageResult { Ok, Cancel };

// The main window's controls.
enum class Control {
  Upgrade,         // the "Upgrade" button
  Port,            // the COM port list
  StatusText,      // the one-line status text
  MainProgress,    // the progress bar with its percentage
  HexFile,         // the "Hex File.." button
  HexFileText,     // the hex file path
  SecondProgress,  // the plain progress bar
  StatusList,      // the two-column status list
  ChipOnly,        // "Only update the firmware chip ..."
  Vocoder,         // the vocoder list
  FirmwareOnly,    // "Only upgrade the radio firmware."
  UpdateChip,      // "Ugrade the firmware chip."
  WavFileText,     // the voice file path
};

// The two columns of the status list.
enum class Column { Mark, Text };

// The two progress bars; both show the same percentage.
enum class ProgressBar { Main, Second };

// The window's timers.
enum class Timer {
  AutoStart,  // starts a job by itself in the unattended repeat mode
};

// The phases whose byte counts the window turns into a percentage.
enum class Phase { Firmware, Chip, Read, Write };

// Where the radio link broke off; each is shown as "Communication error, Please retry!".
enum class CommError {
  ReadBlock,   // a block (or the information request) of the read failed
  ReadEnd,     // the radio did not confirm the end of the read
  WriteBlock,  // a block or an information request of the write failed
  WriteEnd,    // the radio did not confirm the end of the write
};

// Posted events.
struct ProgressEvent {
  Phase phase;
  int bytesDone;  // cumulative over the job
  bool operator==(const ProgressEvent&) const = default;
};
struct CommErrorEvent {
  CommError kind;
  bool operator==(const CommErrorEvent&) const = default;
};
// The write step has completed; the window has no handling of its own for it.
struct WriteCompleteEvent {
  int bytesDone;
  bool operator==(const WriteCompleteEvent&) const = default;
};
using JobEvent = std::variant<ProgressEvent, CommErrorEvent, WriteCompleteEvent>;

class UpgradeView {
 public:
  virtual ~UpgradeView() = default;

  // Status list: column Mark holds "------>", "   √" or "   ×", column Text the text.
  virtual void InsertRow(int index, const std::string& mark, const std::string& text) = 0;
  virtual void SetRowText(int index, Column column, const std::string& text) = 0;
  virtual void DeleteAllRows() = 0;

  virtual void SetStatusText(const std::string& text) = 0;

  virtual void EnableControl(Control control, bool enable) = 0;

  virtual void SetProgressRange(ProgressBar bar, int lower, int upper) = 0;
  virtual void SetProgressPos(ProgressBar bar, int pos) = 0;

  // A modal message box; blocks the calling thread until the user closes it.
  // `detail` is optional extra text (for example the system's reason for a failure).
  virtual MessageResult MessageBox(const std::string& text, MessageIcon icon,
                                   MessageButtons buttons = MessageButtons::Ok,
                                   const std::string& detail = std::string()) = 0;

  virtual void SetWaitCursor(bool wait) = 0;

  // Posted to the window's queue; returns at once.
  virtual void Post(const JobEvent& event) = 0;
  void PostProgress(Phase phase, int bytesDone) { Post(ProgressEvent{phase, bytesDone}); }
  void PostCommError(CommError kind) { Post(CommErrorEvent{kind}); }

  // Window timers (posted: the timer fires later on the window's thread).
  virtual void SetTimer(Timer timer, uint32_t periodMs) = 0;
  virtual void KillTimer(Timer timer) = 0;

  // Called on the window's thread: lets `ms` pass on the job's clock, then runs `then`,
  // and this job's later calls wait until it has run. Here the caller waits, and with it
  // the window; a view that shows one of several jobs holds only that job's calls.
  virtual void HoldThen(JobClock& clock, uint32_t ms, std::function<void()> then) {
    clock.Sleep(ms);
    then();
  }
};

}  // namespace fw
