#include "app/HeadlessView.h"

#include <algorithm>
#include <chrono>

#include "core/Ids.h"
#include "core/Status.h"
#include "platform/Clock.h"

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

HeadlessView::HeadlessView(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

void HeadlessView::PrintLineLocked(const std::string& line) {
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
  char number[16];
  std::snprintf(number, sizeof number, "row %2zu ", index + 1);
  PrintLineLocked(std::string(number) + r.mark + (r.mark.size() < 8 ? "\t" : " ") + r.text);
}

// A mark changed on its own (the row before a new one marked done, or the first half of
// a two-column change) is printed with the next output, so a row shows once per change.
void HeadlessView::FlushRowsLocked() {
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

void HeadlessView::SetRowText(int index, int column, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) {
    return;
  }
  RowState& r = rows_[index];
  std::string& field = column == 0 ? r.mark : r.text;
  if (field == text) {
    return;
  }
  r.closedOut = column == 0 ? r.mark == kMarkBusy : false;
  field = text;
  r.dirty = true;
  if (column != 0) {
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
  PrintLineLocked("status: " + text);
}

void HeadlessView::EnableControl(int, bool) {}

void HeadlessView::SetProgressRange(int, int, int) {}

void HeadlessView::DrawProgressLocked(int percent) {
  if (terminal_) {
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

void HeadlessView::SetProgressPos(int id, int pos) {
  if (id != kMainProgress) {
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
  PrintLineLocked(line);
  lastBox_ = text;
  // Nobody is there to answer: OK/Cancel questions take their safe answer.
  return buttons == MessageButtons::OkCancel ? MessageResult::Cancel : MessageResult::Ok;
}

void HeadlessView::SetWaitCursor(bool) {}

void HeadlessView::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(Posted{msg, wParam, lParam});
  wake_.notify_all();
}

void HeadlessView::SetTimerScale(double factor) {
  std::lock_guard<std::mutex> lock(mutex_);
  timerScale_ = factor > 0.0 && factor < 1.0 ? factor : 1.0;
}

void HeadlessView::SetTimer(int id, uint32_t periodMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  periodMs = static_cast<uint32_t>(periodMs * timerScale_);
  timers_[id] = Timer{periodMs, RealTimeClock().TickCount() + periodMs};
  wake_.notify_all();
}

void HeadlessView::KillTimer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(id);
}

void HeadlessView::Run(const MessageHandler& onMessage, const TimerHandler& onTimer,
                       const std::function<bool()>& done) {
  Run(onMessage, onTimer, [&](bool) { return done(); });
}

void HeadlessView::Run(const MessageHandler& onMessage, const TimerHandler& onTimer,
                       const std::function<bool(bool timersArmed)>& done) {
  for (;;) {
    Posted posted{};
    bool havePosted = false;
    int dueTimer = -1;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        uint32_t now = RealTimeClock().TickCount();
        for (auto& [id, t] : timers_) {
          if (static_cast<int32_t>(now - t.dueMs) >= 0) {
            t.dueMs = now + t.periodMs;
            dueTimer = id;
            break;
          }
        }
      }
      if (queue_.empty() && dueTimer < 0) {
        if (done(!timers_.empty())) {
          FlushRowsLocked();
          return;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(20));
        continue;
      }
      if (dueTimer < 0) {
        posted = queue_.front();
        queue_.pop_front();
        havePosted = true;
      }
    }
    if (havePosted) {
      onMessage(posted.msg, posted.wParam, posted.lParam);
    } else {
      onTimer(dueTimer);
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
