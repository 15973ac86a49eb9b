#pragma once
// A recording UpgradeView for tests: keeps the status list, status text, control
// states, progress bars, message boxes, posted messages and timers, and a log of every
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

struct Posted {
  uint32_t msg;
  uintptr_t wParam;
  intptr_t lParam;
};

class RecordingView : public UpgradeView {
 public:
  void InsertRow(int index, const std::string& mark, const std::string& text) override;
  void SetRowText(int index, int column, const std::string& text) override;
  void DeleteAllRows() override;
  void SetStatusText(const std::string& text) override;
  void EnableControl(int id, bool enable) override;
  void SetProgressRange(int id, int lower, int upper) override;
  void SetProgressPos(int id, int pos) override;
  MessageResult MessageBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                           const std::string& detail) override;
  void SetWaitCursor(bool wait) override;
  void PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void SetTimer(int id, uint32_t periodMs) override;
  void KillTimer(int id) override;

  // Snapshots.
  std::vector<Row> Rows() const;
  std::string StatusText() const;
  std::vector<std::string> StatusTexts() const;  // every text set, in order
  // Enabled state of a control: -1 never touched, 0 disabled, 1 enabled.
  int Enabled(int id) const;
  std::vector<RecordedBox> Boxes() const;
  std::vector<Posted> PostedMessages() const;
  std::map<int, uint32_t> Timers() const;  // active timers: id -> period
  std::vector<std::string> Log() const;    // one line per call
  int ProgressPos(int id) const;

  void SetBoxAnswer(MessageResult r);

 private:
  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  std::vector<std::string> statusTexts_;
  std::map<int, bool> enabled_;
  std::map<int, int> progress_;
  std::vector<RecordedBox> boxes_;
  std::vector<Posted> posted_;
  std::map<int, uint32_t> timers_;
  std::vector<std::string> log_;
  MessageResult answer_ = MessageResult::Ok;
};

}  // namespace fw::test
