#include "WinUpgradeView.h"

#include <utility>

namespace fw {

WinUpgradeView::WinUpgradeView(WinViewTarget& target, HWND window, WPARAM tag)
    : target_(target), window_(window), tag_(tag), windowThread_(GetCurrentThreadId()) {}

void WinUpgradeView::Enqueue(QueuedCall call) {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.push_back(std::move(call));
  }
  // One wake-up per call; a wake-up that finds the queue empty does nothing.
  PostMessageW(window_, WM_FW_VIEW_CALLS, tag_, 0);
}

void WinUpgradeView::OnWindowThread(const std::function<void()>& f) {
  if (OnOwnThread()) {
    f();
    return;
  }
  bool done = false;
  Enqueue({f, &done});
  std::unique_lock<std::mutex> lock(queueMutex_);
  callDone_.wait(lock, [&done] { return done; });
}

void WinUpgradeView::RunQueuedCalls() {
  for (;;) {
    QueuedCall call;
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      if (queue_.empty()) {
        return;
      }
      call = std::move(queue_.front());
      queue_.pop_front();
    }
    call.run();
    if (call.done != nullptr) {
      std::lock_guard<std::mutex> lock(queueMutex_);
      *call.done = true;
      callDone_.notify_all();
    }
  }
}

void WinUpgradeView::InsertRow(int index, const std::string& mark, const std::string& text) {
  OnWindowThread([&] { target_.InsertStatusRow(index, mark, text); });
}

void WinUpgradeView::SetRowText(int index, Column column, const std::string& text) {
  OnWindowThread([&] { target_.SetStatusRowText(index, column, text); });
}

void WinUpgradeView::DeleteAllRows() {
  OnWindowThread([&] { target_.DeleteStatusRows(); });
}

void WinUpgradeView::SetStatusText(const std::string& text) {
  OnWindowThread([&] { target_.SetStatusLine(text); });
}

void WinUpgradeView::EnableControl(Control control, bool enable) {
  OnWindowThread([&] { target_.Enable(control, enable); });
}

void WinUpgradeView::SetProgressRange(ProgressBar bar, int lower, int upper) {
  OnWindowThread([&] { target_.SetProgressRange(bar, lower, upper); });
}

void WinUpgradeView::SetProgressPos(ProgressBar bar, int pos) {
  OnWindowThread([&] { target_.SetProgressPos(bar, pos); });
}

void WinUpgradeView::SetClosing(bool closing) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  closing_ = closing;
}

MessageResult WinUpgradeView::MessageBox(const std::string& text, MessageIcon icon,
                                         MessageButtons buttons, const std::string& detail) {
  MessageResult result = MessageResult::Ok;
  OnWindowThread([&] {
    bool closing = false;
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      closing = closing_;
    }
    if (closing) {
      result = buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
      return;
    }
    result = target_.ShowBox(text, icon, buttons, detail);
  });
  return result;
}

void WinUpgradeView::SetWaitCursor(bool wait) {
  OnWindowThread([&] { target_.SetWaitCursor(wait); });
}

void WinUpgradeView::Post(const JobEvent& event) {
  Enqueue({[this, event] { target_.OnJobEvent(event); }});
}

void WinUpgradeView::SetTimer(Timer timer, uint32_t periodMs) {
  if (OnOwnThread()) {
    target_.StartWindowTimer(timer, periodMs);
    return;
  }
  Enqueue({[this, timer, periodMs] { target_.StartWindowTimer(timer, periodMs); }});
}

void WinUpgradeView::KillTimer(Timer timer) {
  if (OnOwnThread()) {
    target_.StopWindowTimer(timer);
    return;
  }
  Enqueue({[this, timer] { target_.StopWindowTimer(timer); }});
}

}  // namespace fw
