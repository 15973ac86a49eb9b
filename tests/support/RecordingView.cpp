#include "support/RecordingView.h"

namespace fw::test {

void RecordingView::InsertRow(int index, const std::string& mark, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("InsertRow " + std::to_string(index) + " " + mark + " | " + text);
  if (index < 0) {
    return;
  }
  // A list control appends when the index is past the end.
  size_t at = std::min(static_cast<size_t>(index), rows_.size());
  rows_.insert(rows_.begin() + static_cast<long>(at), Row{mark, text});
}

void RecordingView::SetRowText(int index, int column, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("SetRowText " + std::to_string(index) + " " + std::to_string(column) + " " + text);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) {
    return;
  }
  (column == 0 ? rows_[index].mark : rows_[index].text) = text;
}

void RecordingView::DeleteAllRows() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("DeleteAllRows");
  rows_.clear();
}

void RecordingView::SetStatusText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("SetStatusText " + text);
  statusTexts_.push_back(text);
}

void RecordingView::EnableControl(int id, bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("EnableControl " + std::to_string(id) + (enable ? " on" : " off"));
  enabled_[id] = enable;
}

void RecordingView::SetProgressRange(int id, int lower, int upper) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("SetProgressRange " + std::to_string(id) + " " + std::to_string(lower) + " " +
                 std::to_string(upper));
}

void RecordingView::SetProgressPos(int id, int pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("SetProgressPos " + std::to_string(id) + " " + std::to_string(pos));
  progress_[id] = pos;
}

MessageResult RecordingView::MessageBox(const std::string& text, MessageIcon icon,
                                        MessageButtons buttons, const std::string& detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("MessageBox " + text);
  boxes_.push_back(RecordedBox{text, icon, buttons, detail});
  return answer_;
}

void RecordingView::SetWaitCursor(bool wait) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(wait ? "WaitCursor on" : "WaitCursor off");
}

void RecordingView::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("PostMessage " + std::to_string(msg) + " " + std::to_string(lParam));
  posted_.push_back(Posted{msg, wParam, lParam});
}

void RecordingView::SetTimer(int id, uint32_t periodMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(periodMs));
  timers_[id] = periodMs;
}

void RecordingView::KillTimer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("KillTimer " + std::to_string(id));
  timers_.erase(id);
}

std::vector<Row> RecordingView::Rows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rows_;
}

std::string RecordingView::StatusText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statusTexts_.empty() ? std::string() : statusTexts_.back();
}

std::vector<std::string> RecordingView::StatusTexts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statusTexts_;
}

int RecordingView::Enabled(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = enabled_.find(id);
  return it == enabled_.end() ? -1 : (it->second ? 1 : 0);
}

std::vector<RecordedBox> RecordingView::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<Posted> RecordingView::PostedMessages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return posted_;
}

std::map<int, uint32_t> RecordingView::Timers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_;
}

std::vector<std::string> RecordingView::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

int RecordingView::ProgressPos(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = progress_.find(id);
  return it == progress_.end() ? -1 : it->second;
}

void RecordingView::SetBoxAnswer(MessageResult r) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = r;
}

}  // namespace fw::test
