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
#include <utility>
#include <vector>

#include "core/UpgradeView.h"

namespace fw {

// One output shared by the views of jobs that run at once (one job per port): whole lines
// are printed one at a time, each already carrying its port. On a terminal each job has a
// progress line of its own below the printed lines, redrawn in place.
class HeadlessOutput {
 public:
  // `labels` name the progress lines, one per job ("COM3").
  HeadlessOutput(std::FILE* out, bool terminal, std::vector<std::string> labels);
  void PrintLine(const std::string& line);
  // The progress line of job `slot` (terminal only).
  void SetProgress(size_t slot, int percent);
  // Leaves the progress lines as they stand; anything printed next starts on a line of its own.
  void Finish();
  bool Terminal() const { return terminal_; }

 private:
  void EraseBarsLocked();
  void DrawBarsLocked();

  std::mutex mutex_;
  std::FILE* out_;
  bool terminal_;
  std::vector<std::string> labels_;
  std::vector<int> percents_;
  bool barsShown_ = false;
};

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

  // Prints through `output` (shared with the views of other jobs), every line after
  // `prefix` ("COM3: "); on a terminal the progress goes to the output's line `slot`.
  void ShareOutput(HeadlessOutput* output, size_t slot, const std::string& prefix);

  // Prints one JSON object per line instead of text (--json): rows, status texts, progress
  // and boxes, each naming the job's `port`.
  void UseJson(int port);

  // The last row the job showed: its number (from 1) and text; 0 and empty when none.
  std::pair<int, std::string> LastRow();

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
  std::string JsonHead(const char* event) const;
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
  bool json_ = false;
  int jsonPort_ = 0;
  HeadlessOutput* shared_ = nullptr;
  size_t slot_ = 0;
  std::string prefix_;
};

}  // namespace fw
