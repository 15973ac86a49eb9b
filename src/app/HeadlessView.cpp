#include "app/HeadlessView.h"

#include "app/HeadlessHistory.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "core/Status.h"
#include "platform/Clock.h"
#include "serial/UsbAdapter.h"

namespace fw {
namespace {

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation:
      return "exclamation";
    case MessageIcon::Error:
      return "error";
    case MessageIcon::Question:
      return "question";
    case MessageIcon::None:
      break;
  }
  return "none";
}

constexpr int kBarWidth = 40;

}  // namespace

HeadlessOutput::HeadlessOutput(std::FILE* out, bool terminal, std::vector<std::string> labels)
    : out_(out), terminal_(terminal), labels_(std::move(labels)), percents_(labels_.size(), 0) {}

// The progress lines stand below everything printed, the cursor at the end of the last.
void HeadlessOutput::EraseBarsLocked() {
  if (!barsShown_) {
    return;
  }
  std::fputs("\r\x1b[2K", out_);
  for (size_t i = 1; i < labels_.size(); ++i) {
    std::fputs("\x1b[1A\x1b[2K", out_);
  }
  barsShown_ = false;
}

void HeadlessOutput::DrawBarsLocked() {
  for (size_t i = 0; i < labels_.size(); ++i) {
    const int filled = percents_[i] * kBarWidth / 100;
    std::fprintf(out_, "%s%s: [%s%s] %3d%%", i == 0 ? "" : "\n", labels_[i].c_str(),
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), percents_[i]);
  }
  barsShown_ = true;
  std::fflush(out_);
}

void HeadlessOutput::PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool redraw = barsShown_;
  EraseBarsLocked();
  std::fprintf(out_, "%s\n", line.c_str());
  if (redraw) {
    DrawBarsLocked();
  }
  std::fflush(out_);
}

void HeadlessOutput::SetProgress(size_t slot, int percent) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!terminal_ || slot >= percents_.size()) {
    return;
  }
  percents_[slot] = std::clamp(percent, 0, 100);
  EraseBarsLocked();
  DrawBarsLocked();
}

void HeadlessOutput::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (barsShown_) {
    std::fputc('\n', out_);
    std::fflush(out_);
    barsShown_ = false;
  }
}

HeadlessView::HeadlessView(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

void HeadlessView::ShareOutput(HeadlessOutput* output, size_t slot, const std::string& prefix) {
  std::lock_guard<std::mutex> lock(mutex_);
  shared_ = output;
  slot_ = slot;
  prefix_ = prefix;
}

std::pair<int, std::string> HeadlessView::LastRow() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (rows_.empty()) {
    return {0, std::string()};
  }
  return {static_cast<int>(rows_.size()), rows_.back().text};
}

void HeadlessView::UseJson(int port) {
  std::lock_guard<std::mutex> lock(mutex_);
  json_ = true;
  jsonPort_ = port;
  terminal_ = false;
}

std::string HeadlessView::JsonHead(const char* event) const {
  return std::string("{\"event\":\"") + event + "\",\"port\":" + std::to_string(jsonPort_);
}

void HeadlessView::PrintLineLocked(const std::string& line) {
  if (shared_ != nullptr) {
    shared_->PrintLine(json_ ? line : prefix_ + line);
    return;
  }
  if (barOpen_) {
    std::fputc('\n', out_);
    barOpen_ = false;
  }
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void HeadlessView::PrintRowLocked(size_t index) {
  RowState& r = rows_[index];
  r.dirty = false;
  if (json_) {
    const char* mark = r.mark == kMarkDone ? "done" : r.mark == kMarkFailed ? "failed" : "busy";
    PrintLineLocked(JsonHead("row") + ",\"row\":" + std::to_string(index + 1) + ",\"mark\":\"" +
                    mark + "\",\"text\":" + JsonQuote(r.text) + "}");
    return;
  }
  char number[16];
  std::snprintf(number, sizeof number, "row %2zu ", index + 1);
  PrintLineLocked(std::string(number) + r.mark + (r.mark.size() < 8 ? "\t" : " ") + r.text);
}

// A mark changed on its own (the row before a new one marked done, or the first half of
// a two-column change) is printed with the next output, so a row shows once per change.
void HeadlessView::FlushRowsLocked() {
  // What the serial port noted of an adapter (a latency timer that stays long), once.
  for (const std::string& notice : TakeAdapterNotices()) {
    PrintLineLocked("notice: " + notice);
  }
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].dirty) {
      PrintRowLocked(i);
    }
  }
}

void HeadlessView::InsertRow(int index, const std::string& mark, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  FlushRowsLocked();
  size_t at = std::min(static_cast<size_t>(std::max(index, 0)), rows_.size());
  rows_.insert(rows_.begin() + static_cast<long>(at), RowState{mark, text, false});
  PrintRowLocked(at);
}

void HeadlessView::SetRowText(int index, Column column, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) {
    return;
  }
  RowState& r = rows_[index];
  std::string& field = column == Column::Mark ? r.mark : r.text;
  if (field == text) {
    return;
  }
  r.closedOut = column == Column::Mark ? r.mark == kMarkBusy : false;
  field = text;
  r.dirty = true;
  if (column != Column::Mark) {
    FlushRowsLocked();
  }
}

void HeadlessView::DeleteAllRows() {
  std::lock_guard<std::mutex> lock(mutex_);
  rows_.clear();
}

void HeadlessView::SetStatusText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  FlushRowsLocked();
  if (text == statusText_) {
    return;
  }
  statusText_ = text;
  PrintLineLocked(json_ ? JsonHead("status") + ",\"text\":" + JsonQuote(text) + "}"
                        : "status: " + text);
}

void HeadlessView::EnableControl(Control, bool) {}

void HeadlessView::SetProgressRange(ProgressBar, int, int) {}

void HeadlessView::DrawProgressLocked(int percent) {
  if (json_) {
    PrintLineLocked(JsonHead("progress") + ",\"percent\":" + std::to_string(percent) + "}");
  } else if (terminal_ && shared_ != nullptr) {
    shared_->SetProgress(slot_, percent);
  } else if (terminal_) {
    int filled = percent * kBarWidth / 100;
    std::fprintf(out_, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), percent);
    std::fflush(out_);
    barOpen_ = true;
  } else if (percent / 25 != shownQuarter_) {
    // Without a terminal a line per percent would bury the rows: one line per quarter.
    shownQuarter_ = percent / 25;
    PrintLineLocked("progress " + std::to_string(percent) + "%");
  }
}

void HeadlessView::SetProgressPos(ProgressBar bar, int pos) {
  if (bar != ProgressBar::Main) {
    return;  // the second bar shows the same percentage
  }
  std::lock_guard<std::mutex> lock(mutex_);
  FlushRowsLocked();
  pos = std::clamp(pos, 0, 100);
  if (pos == shownPercent_) {
    return;
  }
  shownPercent_ = pos;
  DrawProgressLocked(pos);
}

MessageResult HeadlessView::MessageBox(const std::string& text, MessageIcon icon,
                                       MessageButtons buttons, const std::string& detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  FlushRowsLocked();
  std::string line = std::string("box [") + IconName(icon) + "] " + text;
  if (!detail.empty()) {
    line += " (" + detail + ")";
  }
  if (json_) {
    line = JsonHead("box") + ",\"icon\":\"" + IconName(icon) + "\",\"text\":" + JsonQuote(text) +
           ",\"detail\":" + JsonQuote(detail) + "}";
  }
  PrintLineLocked(line);
  lastBox_ = text;
  // Nobody is there to answer: OK/Cancel questions take their safe answer.
  return buttons == MessageButtons::OkCancel ? MessageResult::Cancel : MessageResult::Ok;
}

void HeadlessView::SetWaitCursor(bool) {}

void HeadlessView::Post(const JobEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(event);
  wake_.notify_all();
}

void HeadlessView::SetTimerScale(double factor) {
  std::lock_guard<std::mutex> lock(mutex_);
  timerScale_ = factor > 0.0 && factor < 1.0 ? factor : 1.0;
}

void HeadlessView::SetTimer(Timer timer, uint32_t periodMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  periodMs = static_cast<uint32_t>(periodMs * timerScale_);
  timers_[timer] = ArmedTimer{periodMs, RealTimeClock().TickCount() + periodMs};
  wake_.notify_all();
}

void HeadlessView::KillTimer(Timer timer) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(timer);
}

void HeadlessView::Run(const EventHandler& onEvent, const TimerHandler& onTimer,
                       const std::function<bool()>& done) {
  Run(onEvent, onTimer, [&](bool) { return done(); });
}

void HeadlessView::Run(const EventHandler& onEvent, const TimerHandler& onTimer,
                       const std::function<bool(bool timersArmed)>& done) {
  for (;;) {
    std::optional<JobEvent> posted;
    std::optional<Timer> dueTimer;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        uint32_t now = RealTimeClock().TickCount();
        for (auto& [timer, t] : timers_) {
          if (static_cast<int32_t>(now - t.dueMs) >= 0) {
            t.dueMs = now + t.periodMs;
            dueTimer = timer;
            break;
          }
        }
      }
      if (queue_.empty() && !dueTimer) {
        if (done(!timers_.empty())) {
          FlushRowsLocked();
          return;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(20));
        continue;
      }
      if (!dueTimer) {
        posted = queue_.front();
        queue_.pop_front();
      }
    }
    if (posted) {
      onEvent(*posted);
    } else {
      onTimer(*dueTimer);
    }
  }
}

std::string HeadlessView::WhatFailed() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto r = rows_.rbegin(); r != rows_.rend(); ++r) {
    if (!r->closedOut && r->mark.find("\u00D7") != std::string::npos) {
      return r->text;
    }
  }
  if (!lastBox_.empty()) {
    return lastBox_;
  }
  for (auto r = rows_.rbegin(); r != rows_.rend(); ++r) {
    if (r->mark.find("\u00D7") != std::string::npos) {
      return r->text;
    }
  }
  return std::string();
}

void HeadlessView::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  FlushRowsLocked();
  if (barOpen_) {
    std::fputc('\n', out_);
    std::fflush(out_);
    barOpen_ = false;
  }
}

}  // namespace fw
