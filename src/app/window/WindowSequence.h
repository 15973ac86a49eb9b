#pragma once
// The window's start-up and closing, in one order for both windows. Each window only does
// what a step asks of its own controls (`WindowControls`); what the steps decide, and in what
// order, is here.

#include <cstdint>
#include <memory>
#include <string>

#include "app/window/BenchOptions.h"
#include "app/window/DialogHooks.h"
#include "app/window/JournalOptions.h"
#include "core/UpgradeState.h"
#include "core/UpgradeView.h"
#include "journal/JournalRecorder.h"

namespace fw {

// What start-up and closing ask of a window's controls.
class WindowControls {
 public:
  virtual ~WindowControls() = default;
  // The record's values into the controls (hex file, check boxes, wave file).
  virtual void WriteControls() = 0;
  // The system menu's items ("About", "Bench mode", "History") and the window's icon.
  virtual void AddMenuItems() = 0;
  virtual void LayOutStatusList() = 0;
  // The port list made again (COM1..COM16 as the system has them).
  virtual void ScanPorts() = 0;
  virtual bool HasPorts() const = 0;
  virtual void SetWarningLine(const std::string& text) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // The vocoder list, "AMBE" and "SELP", with entry `selected` chosen (-1: none).
  virtual void FillVocoderList(int selected) = 0;
  // The entry of the record's port chosen (the first when the saved port is not listed).
  virtual void SelectSavedPort() = 0;
  // The control the installation's run mode shows: 1 "chip only", 3 "firmware only", 7
  // "update chip" (the record already holds the values the control shows).
  virtual void ShowRunModeControl(int mode) = 0;
  virtual void SetUpdateChipChecked(bool checked) = 0;
  virtual bool UpdateChipChecked() const = 0;
  // The bench's panels opened; false when they could not be.
  virtual bool OpenBench() = 0;
  virtual void Enable(Control control, bool enable) = 0;
  virtual void SetStatusLine(const std::string& text) = 0;
  virtual void StartWindowTimer(Timer timer, uint32_t periodMs) = 0;

  // Closing: whether a bench panel's last job did not succeed; every panel's job stopped
  // and served until it has ended; the window's own job likewise (its timers stopped).
  virtual bool BenchUnfinished() const = 0;
  virtual void StopBenchAndWait() = 0;
  virtual void StopJobAndWait() = 0;
};

// The job journal the window's jobs record into.
struct WindowJournal {
  std::unique_ptr<JournalHandle> handle;
  std::shared_ptr<JournalRecorder> recorder;
  bool skipBackup = false;
};

// What start-up and closing share with the window that runs them.
struct WindowSession {
  WindowSession(UpgradeState& s, const DialogHooks& h, UpgradeView& v)
      : state(s), hooks(h), view(v) {}

  UpgradeState& state;
  const DialogHooks& hooks;
  UpgradeView& view;
  BenchChoice bench;            // "--bench"/"--bench-ports", else the settings file's
  bool benchRequested = false;  // the command line chose the bench
  JournalChoice journalChoice;  // "--journal", "--no-backup"
  WindowJournal journal;
  bool startupDone = false;
  bool exiting = false;
  std::string programVersion;
};

// Start-up, from the controls to the run mode's first job. Returns the step it ended at:
// 13 (the firmware image is larger than its buffer), 18 (a character list is missing) or 21.
int RunWindowStartup(WindowControls& window, WindowSession& session);

// Opens the job journal with the settings file's "Journal" and "Backup" and the command
// line's choice; one that cannot be used is said once, and the window opens all the same.
void OpenWindowJournal(WindowSession& session);

// The Cancel command (close box, Escape, "Exit"): asks when the last job did not succeed,
// stops every job and waits for it, closes the port, writes the settings and the bench
// choice. True when the window may go.
bool RunWindowClosing(WindowControls& window, WindowSession& session);

// What "Write back" from the History is refused for: a job runs (the window's or a bench
// panel's), the bench is on, the installation has a problem (its text).
struct WriteBackGate {
  bool anyJobRunning = false;
  bool benchOn = false;
  std::string installationProblem;
};

// Whether the window may write back now; a refusal is said in a box. False also while the
// window closes, or without a journal to read the saved settings from.
bool WindowWriteBackAllowed(WindowSession& session, const WriteBackGate& gate);

// The write-back of job `jobId`'s saved settings to the radio on `port`, as the window's own
// job (asked again: the port question may have taken a while). Saved settings that cannot
// be read are said in a box and nothing starts. "Update chip" stays as the technician left
// its box, for the next job and the settings file. True when the job runs.
bool StartWindowWriteBack(WindowControls& window, WindowSession& session, const WriteBackGate& gate,
                          int64_t jobId, int port);

}  // namespace fw
