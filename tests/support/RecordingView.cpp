#include "support/RecordingView.h"

namespace fw::test {

const char* Name(Control control) {
  switch (control) {
    case Control::Upgrade:
      return "Upgrade";
    case Control::Port:
      return "Port";
    case Control::StatusText:
      return "StatusText";
    case Control::MainProgress:
      return "MainProgress";
    case Control::HexFile:
      return "HexFile";
    case Control::HexFileText:
      return "HexFileText";
    case Control::SecondProgress:
      return "SecondProgress";
    case Control::StatusList:
      return "StatusList";
    case Control::ChipOnly:
      return "ChipOnly";
    case Control::Vocoder:
      return "Vocoder";
    case Control::FirmwareOnly:
      return "FirmwareOnly";
    case Control::UpdateChip:
      return "UpdateChip";
    case Control::WavFileText:
      return "WavFileText";
  }
  return "?";
}

const char* Name(ProgressBar bar) {
  return bar == ProgressBar::Main ? "Main" : "Second";
}

const char* Name(Timer timer) {
  switch (timer) {
    case Timer::AutoStart:
      return "AutoStart";
  }
  return "?";
}

const char* Name(Phase phase) {
  switch (phase) {
    case Phase::Firmware:
      return "Firmware";
    case Phase::Chip:
      return "Chip";
    case Phase::Read:
      return "Read";
    case Phase::Write:
      return "Write";
  }
  return "?";
}

const char* Name(CommError kind) {
  switch (kind) {
    case CommError::ReadBlock:
      return "ReadBlock";
    case CommError::ReadEnd:
      return "ReadEnd";
    case CommError::WriteBlock:
      return "WriteBlock";
    case CommError::WriteEnd:
      return "WriteEnd";
  }
  return "?";
}

std::string Describe(const JobEvent& event) {
  if (const auto* p = std::get_if<ProgressEvent>(&event)) {
    return std::string("Progress ") + Name(p->phase) + " " + std::to_string(p->bytesDone);
  }
  if (const auto* e = std::get_if<CommErrorEvent>(&event)) {
    return std::string("CommError ") + Name(e->kind);
  }
  return "WriteComplete " + std::to_string(std::get<WriteCompleteEvent>(event).bytesDone);
}

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

void RecordingView::SetRowText(int index, Column column, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("SetRowText " + std::to_string(index) +
                 (column == Column::Mark ? " mark " : " text ") + text);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) {
    return;
  }
  (column == Column::Mark ? rows_[index].mark : rows_[index].text) = text;
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

void RecordingView::EnableControl(Control control, bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(std::string("EnableControl ") + Name(control) + (enable ? " on" : " off"));
  enabled_[control] = enable;
}

void RecordingView::SetProgressRange(ProgressBar bar, int lower, int upper) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(std::string("SetProgressRange ") + Name(bar) + " " + std::to_string(lower) + " " +
                 std::to_string(upper));
}

void RecordingView::SetProgressPos(ProgressBar bar, int pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(std::string("SetProgressPos ") + Name(bar) + " " + std::to_string(pos));
  progress_[bar] = pos;
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

void RecordingView::Post(const JobEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back("Post " + Describe(event));
  events_.push_back(event);
}

void RecordingView::SetTimer(Timer timer, uint32_t periodMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(std::string("SetTimer ") + Name(timer) + " " + std::to_string(periodMs));
  timers_[timer] = periodMs;
}

void RecordingView::KillTimer(Timer timer) {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.push_back(std::string("KillTimer ") + Name(timer));
  timers_.erase(timer);
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

int RecordingView::Enabled(Control control) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = enabled_.find(control);
  return it == enabled_.end() ? -1 : (it->second ? 1 : 0);
}

std::vector<RecordedBox> RecordingView::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<JobEvent> RecordingView::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<int> RecordingView::ProgressOf(Phase phase, size_t from) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int> out;
  for (size_t i = from; i < events_.size(); ++i) {
    const auto* p = std::get_if<ProgressEvent>(&events_[i]);
    if (p != nullptr && p->phase == phase) {
      out.push_back(p->bytesDone);
    }
  }
  return out;
}

std::vector<CommError> RecordingView::CommErrors(size_t from) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CommError> out;
  for (size_t i = from; i < events_.size(); ++i) {
    if (const auto* e = std::get_if<CommErrorEvent>(&events_[i])) {
      out.push_back(e->kind);
    }
  }
  return out;
}

std::vector<int> RecordingView::WriteCompletions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int> out;
  for (const JobEvent& event : events_) {
    if (const auto* w = std::get_if<WriteCompleteEvent>(&event)) {
      out.push_back(w->bytesDone);
    }
  }
  return out;
}

std::map<Timer, uint32_t> RecordingView::Timers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_;
}

std::vector<std::string> RecordingView::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

int RecordingView::ProgressPos(ProgressBar bar) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = progress_.find(bar);
  return it == progress_.end() ? -1 : it->second;
}

void RecordingView::SetBoxAnswer(MessageResult r) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = r;
}

}  // namespace fw::test
