#pragma once
// The window's side of UpgradeView. Synchronous calls are carried out on the window's
// thread before they return (directly when the caller is that thread; a worker queues them
// and waits); posted events are queued and return at once; timers are the window's.
// Message boxes are modal on the window's thread.

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "core/UpgradeView.h"

namespace fw {

class UpgradeDialog;

// A box as it is about to be shown (for tests that answer boxes themselves).
struct BoxRequest {
  std::string text;
  MessageIcon icon;
  MessageButtons buttons;
  std::string detail;
};

class QtUpgradeView : public UpgradeView {
 public:
  explicit QtUpgradeView(UpgradeDialog& dialog);

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

  // Replaces the modal box (tests). Called on the window's thread.
  void SetBoxHandler(std::function<MessageResult(const BoxRequest&)> handler);
  // While the window is closing, boxes are not shown: OK-only boxes count as read,
  // questions as cancelled, so that a stopping job ends without waiting for the user.
  void SetClosing(bool closing) { closing_ = closing; }

  // Runs, in order, the calls and posted events that are waiting for the window's thread.
  // Called on that thread (the window invokes it once for each one queued).
  void RunQueuedCalls();

 private:
  // A call or posted event waiting for the window's thread. `done` is set when a call has
  // run; posted events have none, nobody waits for them.
  struct QueuedCall {
    std::function<void()> run;
    bool* done = nullptr;
  };

  template <class F>
  void OnWindowThread(F&& f);
  // Queues work for the window's thread and wakes it; returns at once.
  void Enqueue(QueuedCall call);
  MessageResult ShowBox(const BoxRequest& request);

  UpgradeDialog& dialog_;
  std::function<MessageResult(const BoxRequest&)> boxHandler_;
  std::atomic<bool> closing_{false};
  int waitCursorDepth_ = 0;

  // Work handed from other threads to the window's thread. The hand-over and the completion
  // of a call go through this mutex and condition variable, not through Qt's blocking queued
  // invocation: Qt's own locks and semaphores are not visible to ThreadSanitizer, this
  // ordering is. Qt's event queue only wakes the window's thread; the wake-up carries
  // nothing of ours.
  std::mutex queueMutex_;
  std::condition_variable callDone_;
  std::deque<QueuedCall> queue_;
};

// Detail text for a box: the system's reason and, where the reason is a missing
// permission on a serial device, the fix a Linux user needs.
QString DetailWithFix(const std::string& detail, const std::string& devicePath);

}  // namespace fw
