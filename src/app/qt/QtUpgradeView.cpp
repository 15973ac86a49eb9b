#include "app/qt/QtUpgradeView.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "app/qt/UpgradeDialog.h"
#include "serial/PortAccess.h"
#include "serial/PortMap.h"

namespace fw {

QtUpgradeView::QtUpgradeView(UpgradeDialog& dialog) : dialog_(dialog) {}

template <class F>
void QtUpgradeView::OnWindowThread(F&& f) {
  if (QThread::currentThread() == dialog_.thread()) {
    f();
    return;
  }
  bool done = false;
  Enqueue({[&f] { f(); }, &done});
  std::unique_lock<std::mutex> lock(queueMutex_);
  callDone_.wait(lock, [&done] { return done; });
}

void QtUpgradeView::Enqueue(QueuedCall call) {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.push_back(std::move(call));
  }
  // Named, so that the queued invocation is Qt's alone and holds no data of ours.
  QMetaObject::invokeMethod(&dialog_, "RunQueuedViewCalls", Qt::QueuedConnection);
}

void QtUpgradeView::RunQueuedCalls() {
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
    // A box run here spins an event loop, which may run the calls queued behind this one.
    call.run();
    call.run = nullptr;
    if (call.done != nullptr) {
      std::lock_guard<std::mutex> lock(queueMutex_);
      *call.done = true;
      callDone_.notify_all();
    }
  }
}

void QtUpgradeView::InsertRow(int index, const std::string& mark, const std::string& text) {
  OnWindowThread([&] { dialog_.InsertStatusRow(index, mark, text); });
}

void QtUpgradeView::SetRowText(int index, Column column, const std::string& text) {
  OnWindowThread([&] { dialog_.SetStatusRowText(index, column, text); });
}

void QtUpgradeView::DeleteAllRows() {
  OnWindowThread([&] { dialog_.DeleteStatusRows(); });
}

void QtUpgradeView::SetStatusText(const std::string& text) {
  OnWindowThread([&] { dialog_.SetStatusLine(text); });
}

void QtUpgradeView::EnableControl(Control control, bool enable) {
  OnWindowThread([&] { dialog_.Enable(control, enable); });
}

void QtUpgradeView::SetProgressRange(ProgressBar bar, int lower, int upper) {
  OnWindowThread([&] { dialog_.SetProgressRange(bar, lower, upper); });
}

void QtUpgradeView::SetProgressPos(ProgressBar bar, int pos) {
  OnWindowThread([&] { dialog_.SetProgressPos(bar, pos); });
}

MessageResult QtUpgradeView::MessageBox(const std::string& text, MessageIcon icon,
                                        MessageButtons buttons, const std::string& detail) {
  BoxRequest request{text, icon, buttons, detail};
  MessageResult result = MessageResult::Ok;
  OnWindowThread([&] { result = ShowBox(request); });
  return result;
}

void QtUpgradeView::SetBoxHandler(std::function<MessageResult(const BoxRequest&)> handler) {
  boxHandler_ = std::move(handler);
}

MessageResult QtUpgradeView::ShowBox(const BoxRequest& request) {
  if (closing_) {
    return request.buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
  }
  if (boxHandler_) {
    return boxHandler_(request);
  }
  QMessageBox box(&dialog_);
  box.setWindowTitle(dialog_.windowTitle());
  box.setText(QString::fromStdString(request.text));
  switch (request.icon) {
    case MessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  if (request.buttons == MessageButtons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  if (!request.detail.empty()) {
    box.setDetailedText(
        DetailWithFix(request.detail, GlobalPortMap().DevicePath(dialog_.State().selectedPort)));
  }
  return box.exec() == QMessageBox::Cancel ? MessageResult::Cancel : MessageResult::Ok;
}

void QtUpgradeView::SetWaitCursor(bool wait) {
  OnWindowThread([&] {
    if (wait) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      ++waitCursorDepth_;
    } else if (waitCursorDepth_ > 0) {
      QApplication::restoreOverrideCursor();
      --waitCursorDepth_;
    }
  });
}

void QtUpgradeView::Post(const JobEvent& event) {
  Enqueue({[this, event] { dialog_.OnJobEvent(event); }});
}

void QtUpgradeView::SetTimer(Timer timer, uint32_t periodMs) {
  if (QThread::currentThread() == dialog_.thread()) {
    dialog_.StartWindowTimer(timer, periodMs);
  } else {
    Enqueue({[this, timer, periodMs] { dialog_.StartWindowTimer(timer, periodMs); }});
  }
}

void QtUpgradeView::KillTimer(Timer timer) {
  if (QThread::currentThread() == dialog_.thread()) {
    dialog_.StopWindowTimer(timer);
  } else {
    Enqueue({[this, timer] { dialog_.StopWindowTimer(timer); }});
  }
}

QString DetailWithFix(const std::string& detail, const std::string& devicePath) {
  return QString::fromStdString(WithPermissionAdvice(detail, devicePath));
}

}  // namespace fw
