#pragma once
// A recording UpgradeView for tests: keeps the status list, status text, control
// states, progress bars, message boxes, posted events and timers, and a log of every
// call in order. Thread-safe; message boxes answer with a configurable result.

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/UpgradeView.h"

namespace fw::test {

struct Row {
  std::string mark;
  std::string text;
  bool operator==(const Row&) const = default;
};

struct RecordedBox {
  std::string text;
  MessageIcon icon;
  MessageButtons buttons;
  std::string detail;
};

// Names for the log and for test output.
const char* Name(Control control);
const char* Name(ProgressBar bar);
const char* Name(Timer timer);
const char* Name(Phase phase);
const char* Name(CommError kind);
std::string Describe(const JobEvent& event);

class RecordingView : public UpgradeView {
 public:
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

  // Snapshots.
  std::vector<Row> Rows() const;
  std::string StatusText() const;
  std::vector<std::string> StatusTexts() const;  // every text set, in order
  // Enabled state of a control: -1 never touched, 0 disabled, 1 enabled.
  int Enabled(Control control) const;
  std::vector<RecordedBox> Boxes() const;
  std::vector<JobEvent> Events() const;  // every posted event, in order
  // The byte counts of the progress events of `phase`, from the `from`-th event of all on.
  std::vector<int> ProgressOf(Phase phase, size_t from = 0) const;
  // The communication errors posted, from the `from`-th event of all on.
  std::vector<CommError> CommErrors(size_t from = 0) const;
  // The byte counts of the write-complete events.
  std::vector<int> WriteCompletions() const;
  std::map<Timer, uint32_t> Timers() const;  // active timers -> period
  std::vector<std::string> Log() const;      // one line per call
  int ProgressPos(ProgressBar bar) const;

  void SetBoxAnswer(MessageResult r);

 private:
  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  std::vector<std::string> statusTexts_;
  std::map<Control, bool> enabled_;
  std::map<ProgressBar, int> progress_;
  std::vector<RecordedBox> boxes_;
  std::vector<JobEvent> events_;
  std::map<Timer, uint32_t> timers_;
  std::vector<std::string> log_;
  MessageResult answer_ = MessageResult::Ok;
};

}  // namespace fw::test
