#pragma once
// The Win32 window's side of UpgradeView. Every call is carried out on the window's thread:
// directly when the caller is that thread; from a worker, queued and the window woken with
// PostMessage (WM_FW_VIEW_CALLS). Synchronous calls (rows, texts, controls, bars, boxes)
// wait until the window has run them; posted events and timers return at once. The worker
// never touches a control. Nothing here decides anything: each call goes to the target.

#include <windows.h>
// UpgradeView's call of that name, not the system's macro.
#undef MessageBox

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "core/UpgradeView.h"

namespace fw {

// The message that wakes the window to run queued view calls; wParam names the view (0: the
// main window's, a COM number: that bench panel's), lParam is unused.
constexpr UINT WM_FW_VIEW_CALLS = WM_APP + 1;

// What the view drives: the main window. Every operation runs on the window's thread.
class WinViewTarget {
 public:
  virtual ~WinViewTarget() = default;
  virtual void InsertStatusRow(int index, const std::string& mark, const std::string& text) = 0;
  virtual void SetStatusRowText(int index, Column column, const std::string& text) = 0;
  virtual void DeleteStatusRows() = 0;
  virtual void SetStatusLine(const std::string& text) = 0;
  virtual void Enable(Control control, bool enable) = 0;
  virtual void SetProgressRange(ProgressBar bar, int lower, int upper) = 0;
  virtual void SetProgressPos(ProgressBar bar, int pos) = 0;
  virtual void StartWindowTimer(Timer timer, uint32_t periodMs) = 0;
  virtual void StopWindowTimer(Timer timer) = 0;
  virtual void OnJobEvent(const JobEvent& event) = 0;
  // A modal box owned by the window (MessageBoxW with the system's icon), its answer.
  virtual MessageResult ShowBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                                const std::string& detail) = 0;
  virtual void SetWaitCursor(bool wait) = 0;
};

class WinUpgradeView : public UpgradeView {
 public:
  // `window` is woken for queued calls with `tag` in wParam; the thread calling this
  // constructor is the window's thread.
  WinUpgradeView(WinViewTarget& target, HWND window, WPARAM tag = 0);
  WinUpgradeView(const WinUpgradeView&) = delete;
  WinUpgradeView& operator=(const WinUpgradeView&) = delete;

  void SetWindow(HWND window) { window_ = window; }

  void InsertRow(int index, const std::string& mark, const std::string& text) override;
  void SetRowText(int index, Column column, const std::string& text) override;
  void DeleteAllRows() override;
  void SetStatusText(const std::string& text) override;
  void EnableControl(Control control, bool enable) override;
  void SetProgressRange(ProgressBar bar, int lower, int upper) override;
  void SetProgressPos(ProgressBar bar, int pos) override;
  MessageResult MessageBox(const std::string& text, MessageIcon icon,
                           MessageButtons buttons = MessageButtons::Ok,
                           const std::string& detail = std::string()) override;
  void SetWaitCursor(bool wait) override;
  void Post(const JobEvent& event) override;
  void SetTimer(Timer timer, uint32_t periodMs) override;
  void KillTimer(Timer timer) override;

  // While the window is closing, boxes are not shown: OK-only boxes count as read,
  // questions as cancelled, so that a stopping job ends without waiting for the user.
  void SetClosing(bool closing);

  // Runs, in order, what other threads queued (the window calls it on WM_FW_VIEW_CALLS).
  void RunQueuedCalls();

 private:
  struct QueuedCall {
    std::function<void()> run;
    bool* done = nullptr;  // set when a synchronous call has run; none for posted work
  };
  // Runs `f` on the window's thread and returns when it has run.
  void OnWindowThread(const std::function<void()>& f);
  // Queues work for the window's thread and wakes it; returns at once.
  void Enqueue(QueuedCall call);
  bool OnOwnThread() const { return GetCurrentThreadId() == windowThread_; }

  WinViewTarget& target_;
  HWND window_;
  WPARAM tag_;
  DWORD windowThread_;

  std::mutex queueMutex_;
  std::condition_variable callDone_;
  std::deque<QueuedCall> queue_;
  bool closing_ = false;  // under queueMutex_
};

}  // namespace fw
