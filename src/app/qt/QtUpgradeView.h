#pragma once
// The window's side of UpgradeView. Synchronous calls are carried out on the window's
// thread before they return (directly when the caller is that thread, through a blocking
// queued invocation from a worker); posted messages become queued events; timers are the
// window's. Message boxes are modal on the window's thread.

#include <QEvent>
#include <QString>
#include <atomic>
#include <functional>

#include "core/UpgradeView.h"

namespace fw {

class UpgradeDialog;

// A message posted by a job, delivered to the window as an event.
class WindowMessageEvent : public QEvent {
 public:
  static QEvent::Type EventType();
  WindowMessageEvent(uint32_t msg, uintptr_t wParam, intptr_t lParam)
      : QEvent(EventType()), msg(msg), wParam(wParam), lParam(lParam) {}
  const uint32_t msg;
  const uintptr_t wParam;
  const intptr_t lParam;
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
  explicit QtUpgradeView(UpgradeDialog& dialog);

  void InsertRow(int index, const std::string& mark, const std::string& text) override;
  void SetRowText(int index, int column, const std::string& text) override;
  void DeleteAllRows() override;
  void SetStatusText(const std::string& text) override;
  void EnableControl(int id, bool enable) override;
  void SetProgressRange(int id, int lower, int upper) override;
  void SetProgressPos(int id, int pos) override;
  MessageResult MessageBox(const std::string& text, MessageIcon icon,
                           MessageButtons buttons = MessageButtons::Ok,
                           const std::string& detail = std::string()) override;
  void SetWaitCursor(bool wait) override;
  void PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void SetTimer(int id, uint32_t periodMs) override;
  void KillTimer(int id) override;

  // Replaces the modal box (tests). Called on the window's thread.
  void SetBoxHandler(std::function<MessageResult(const BoxRequest&)> handler);
  // While the window is closing, boxes are not shown: OK-only boxes count as read,
  // questions as cancelled, so that a stopping job ends without waiting for the user.
  void SetClosing(bool closing) { closing_ = closing; }

 private:
  template <class F>
  void OnWindowThread(F&& f);
  MessageResult ShowBox(const BoxRequest& request);

  UpgradeDialog& dialog_;
  std::function<MessageResult(const BoxRequest&)> boxHandler_;
  std::atomic<bool> closing_{false};
  int waitCursorDepth_ = 0;
};

// Detail text for a box: the system's reason and, where the reason is a missing
// permission on a serial device, the fix a Linux user needs.
QString DetailWithFix(const std::string& detail, const std::string& devicePath);

}  // namespace fw
