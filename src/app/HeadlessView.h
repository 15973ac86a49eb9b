#pragma once
// The headless front end's window: prints every status row as it is added or changed,
// the status text, the progress (a bar on a terminal, plain percentage lines otherwise)
// and each message box as a line naming its icon.
//
// The job's synchronous calls run directly on the worker's thread under the view's
// mutex. Posted events and timers go to a queue that the main thread's event loop
// (Run) serves until the job has ended.

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/UpgradeView.h"

namespace fw {

class HeadlessView : public UpgradeView {
 public:
  // Prints to `out`; `terminal` chooses the redrawn bar over percentage lines.
  HeadlessView(std::FILE* out, bool terminal);

  void InsertRow(int index, const std::string& mark, const std::string& text) override;
  void SetRowText(int index, Column column, const std::string& text) override;
  void DeleteAllRows() override;
  void SetStatusText(const std::string& text) override;
  void EnableControl(Control control, bool enable) override;
  void SetProgressRange(ProgressBar bar, int lower, int upper) override;
  void SetProgressPos(ProgressBar bar, int pos) override;
  MessageResult MessageBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                           const std::string& detail) override;
  void SetWaitCursor(bool wait) override;
  void Post(const JobEvent& event) override;
  void SetTimer(Timer timer, uint32_t periodMs) override;
  void KillTimer(Timer timer) override;

  using EventHandler = std::function<void(const JobEvent&)>;
  using TimerHandler = std::function<void(Timer)>;
  // Serves posted events and due timers on the calling thread until `done` returns true
  // and no event is left.
  void Run(const EventHandler& onEvent, const TimerHandler& onTimer,
           const std::function<bool()>& done);
  // The same; `done` is told whether a timer is still armed (called with the view's lock
  // held: it must not call the view).
  void Run(const EventHandler& onEvent, const TimerHandler& onTimer,
           const std::function<bool(bool timersArmed)>& done);

  // Timer periods are multiplied by `factor` (in (0, 1]), as the fixed waits of a demo are.
  void SetTimerScale(double factor);

  // What a failed job ended on: the text of the last row marked failed ("   \u00D7"), or
  // else of the last message box; empty when there was neither.
  std::string WhatFailed();

  // Ends the progress line (call before printing anything else to the same stream).
  void Finish();

 private:
  struct RowState {
    std::string mark;
    std::string text;
    bool dirty = false;
    // The row was under way when the job ended and only got the job's outcome as its mark:
    // its text names the step that was going on, not what failed.
    bool closedOut = false;
  };
  struct ArmedTimer {
    uint32_t periodMs;
    uint32_t dueMs;
  };
  void FlushRowsLocked();
  void PrintLineLocked(const std::string& line);
  void PrintRowLocked(size_t index);
  void DrawProgressLocked(int percent);

  std::FILE* out_;
  bool terminal_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<RowState> rows_;
  std::string statusText_;
  int shownPercent_ = -1;
  int shownQuarter_ = -1;
  std::string lastBox_;  // without a terminal: the quarter last printed
  bool barOpen_ = false;
  std::deque<JobEvent> queue_;
  std::map<Timer, ArmedTimer> timers_;
  double timerScale_ = 1.0;
};

}  // namespace fw
