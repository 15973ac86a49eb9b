#pragma once
// The window's side of UpgradeView. Synchronous calls are carried out on the window's
// thread before they return (directly when the caller is that thread; a worker queues them
// and waits); posted events are queued and return at once; timers are the window's.
// A view serves one target: the main window (message boxes modal on the window's thread)
// or one panel of the bench (boxes that block nobody but the job that asked).

#include <QPointer>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/UpgradeView.h"

class QMessageBox;
class QWidget;

namespace fw {

// What a view drives: the main window or a panel of the bench. Every operation runs on the
// target's thread (the window's).
class ViewTarget {
 public:
  virtual ~ViewTarget() = default;
  // The widget that owns the target's boxes and is woken for queued calls: it has an
  // invokable RunQueuedViewCalls() that runs the view's RunQueuedCalls().
  virtual QWidget* TargetWidget() = 0;
  virtual void InsertStatusRow(int index, const std::string& mark, const std::string& text) = 0;
  virtual void SetStatusRowText(int index, Column column, const std::string& text) = 0;
  virtual void DeleteStatusRows() = 0;
  virtual void SetStatusLine(const std::string& text) = 0;
  virtual void Enable(fw::Control control, bool enable) = 0;
  virtual void SetProgressRange(ProgressBar bar, int lower, int upper) = 0;
  virtual void SetProgressPos(ProgressBar bar, int pos) = 0;
  virtual void StartWindowTimer(Timer timer, uint32_t periodMs) = 0;
  virtual void StopWindowTimer(Timer timer) = 0;
  virtual void OnJobEvent(const JobEvent& event) = 0;
  // The COM number whose device a box's detail names.
  virtual int BoxPort() const = 0;
  // The caption of the target's boxes.
  virtual QString BoxTitle() const = 0;
  // True: a box is modal and its question is answered before anything else goes on (the
  // main window). False: a box blocks only the worker that asked (a panel of the bench).
  virtual bool BoxesBlockWindow() const { return true; }
  // Called on the window's thread while a worker waits for one of its calls: the job's
  // record may be read without a race at this moment.
  virtual void WorkerWaiting() {}
};

// A box as it is about to be shown (for tests that answer boxes themselves).
struct BoxRequest {
  std::string text;
  MessageIcon icon;
  MessageButtons buttons;
  std::string detail;
};

class QtUpgradeView : public UpgradeView {
 public:
  explicit QtUpgradeView(ViewTarget& target);
  ~QtUpgradeView() override;
  QtUpgradeView(const QtUpgradeView&) = delete;
  QtUpgradeView& operator=(const QtUpgradeView&) = delete;

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
  // The main window waits, as the caller does. A panel of the bench holds only its own
  // queued calls while the time passes (on a helper thread, on the job's clock), so that
  // the window and the other panels go on.
  void HoldThen(JobClock& clock, uint32_t ms, std::function<void()> then) override;

  // Replaces the modal box (tests). Called on the window's thread.
  void SetBoxHandler(std::function<MessageResult(const BoxRequest&)> handler);
  // While the window is closing, boxes are not shown: OK-only boxes count as read,
  // questions as cancelled, so that a stopping job ends without waiting for the user.
  void SetClosing(bool closing) { closing_ = closing; }
  // Answers the boxes of this view that are still open (a panel's, which block nobody) as
  // a closing window would: OK-only boxes as read, questions as cancelled. Window's thread.
  void AnswerOpenBoxes();
  // The boxes of this view that are open and wait for an answer (a panel's).
  std::vector<QMessageBox*> OpenBoxes() const;

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
  QMessageBox* BuildBox(const BoxRequest& request);
  // A box that blocks nobody: shown at once; `answered` runs on the window's thread with
  // the answer when the user (or a closing window) gives it.
  void OpenBox(const BoxRequest& request, std::function<void(MessageResult)> answered);

  ViewTarget& target_;
  std::vector<QPointer<QMessageBox>> openBoxes_;
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
  // A panel's hold: while `held_`, the queued calls wait; the helper thread sets
  // `holdOver_` (under queueMutex_) once the time has passed, and the window's thread then
  // runs `holdThen_` and the calls behind it. `held_` and `holdThen_` are the window's.
  bool held_ = false;
  bool holdOver_ = false;
  std::function<void()> holdThen_;
  std::thread holdThread_;
};

// Detail text for a box: the system's reason and, where the reason is a missing
// permission on a serial device, the fix a Linux user needs.
QString DetailWithFix(const std::string& detail, const std::string& devicePath);

}  // namespace fw
