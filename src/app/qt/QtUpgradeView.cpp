#include "app/qt/QtUpgradeView.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <memory>

#include "serial/PortAccess.h"
#include "serial/PortMap.h"

namespace fw {

QtUpgradeView::QtUpgradeView(ViewTarget& target) : target_(target) {}

QtUpgradeView::~QtUpgradeView() {
  // A hold's helper ends when its time has passed or its job was stopped.
  if (holdThread_.joinable()) {
    holdThread_.join();
  }
}

void QtUpgradeView::HoldThen(JobClock& clock, uint32_t ms, std::function<void()> then) {
  if (target_.BoxesBlockWindow() || held_) {
    UpgradeView::HoldThen(clock, ms, std::move(then));
    return;
  }
  if (holdThread_.joinable()) {
    holdThread_.join();  // the last hold is over: its helper has returned
  }
  held_ = true;
  holdThen_ = std::move(then);
  holdThread_ = std::thread([this, &clock, ms] {
    clock.Sleep(ms);
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      holdOver_ = true;
    }
    QMetaObject::invokeMethod(target_.TargetWidget(), "RunQueuedViewCalls", Qt::QueuedConnection);
  });
}

template <class F>
void QtUpgradeView::OnWindowThread(F&& f) {
  if (QThread::currentThread() == target_.TargetWidget()->thread()) {
    f();
    return;
  }
  bool done = false;
  Enqueue({[this, &f] {
             f();
             // The worker waits for this call: its record holds still.
             target_.WorkerWaiting();
           },
           &done});
  std::unique_lock<std::mutex> lock(queueMutex_);
  callDone_.wait(lock, [&done] { return done; });
}

void QtUpgradeView::Enqueue(QueuedCall call) {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.push_back(std::move(call));
  }
  // Named, so that the queued invocation is Qt's alone and holds no data of ours.
  QMetaObject::invokeMethod(target_.TargetWidget(), "RunQueuedViewCalls", Qt::QueuedConnection);
}

void QtUpgradeView::RunQueuedCalls() {
  for (;;) {
    QueuedCall call;
    {
      std::unique_lock<std::mutex> lock(queueMutex_);
      if (held_) {
        if (!holdOver_) {
          return;  // the calls wait for the hold's end
        }
        held_ = false;
        holdOver_ = false;
        std::function<void()> then = std::move(holdThen_);
        holdThen_ = nullptr;
        lock.unlock();
        then();
        continue;
      }
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
  OnWindowThread([&] { target_.InsertStatusRow(index, mark, text); });
}

void QtUpgradeView::SetRowText(int index, Column column, const std::string& text) {
  OnWindowThread([&] { target_.SetStatusRowText(index, column, text); });
}

void QtUpgradeView::DeleteAllRows() {
  OnWindowThread([&] { target_.DeleteStatusRows(); });
}

void QtUpgradeView::SetStatusText(const std::string& text) {
  OnWindowThread([&] { target_.SetStatusLine(text); });
}

void QtUpgradeView::EnableControl(Control control, bool enable) {
  OnWindowThread([&] { target_.Enable(control, enable); });
}

void QtUpgradeView::SetProgressRange(ProgressBar bar, int lower, int upper) {
  OnWindowThread([&] { target_.SetProgressRange(bar, lower, upper); });
}

void QtUpgradeView::SetProgressPos(ProgressBar bar, int pos) {
  OnWindowThread([&] { target_.SetProgressPos(bar, pos); });
}

MessageResult QtUpgradeView::MessageBox(const std::string& text, MessageIcon icon,
                                        MessageButtons buttons, const std::string& detail) {
  BoxRequest request{text, icon, buttons, detail};
  MessageResult result = MessageResult::Ok;
  if (target_.BoxesBlockWindow()) {
    OnWindowThread([&] { result = ShowBox(request); });
    return result;
  }
  if (QThread::currentThread() == target_.TargetWidget()->thread()) {
    // On the window's thread a question needs its answer before the caller goes on; a
    // notice is shown and the caller goes on at once.
    if (buttons != MessageButtons::Ok) {
      return ShowBox(request);
    }
    OpenBox(request, [](MessageResult) {});
    return MessageResult::Ok;
  }
  // A worker: the box is opened on the window's thread, and only this worker waits for
  // its answer; the window and every other job go on.
  bool answered = false;
  Enqueue({[this, &request, &result, &answered] {
    OpenBox(request, [this, &result, &answered](MessageResult r) {
      std::lock_guard<std::mutex> lock(queueMutex_);
      result = r;
      answered = true;
      callDone_.notify_all();
    });
  }});
  std::unique_lock<std::mutex> lock(queueMutex_);
  callDone_.wait(lock, [&answered] { return answered; });
  return result;
}

void QtUpgradeView::SetBoxHandler(std::function<MessageResult(const BoxRequest&)> handler) {
  boxHandler_ = std::move(handler);
}

namespace {

MessageResult ClosingAnswer(MessageButtons buttons) {
  return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
}

}  // namespace

QMessageBox* QtUpgradeView::BuildBox(const BoxRequest& request) {
  auto* box = new QMessageBox(target_.TargetWidget());
  box->setWindowTitle(target_.BoxTitle());
  box->setText(QString::fromStdString(request.text));
  switch (request.icon) {
    case MessageIcon::None:
      box->setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::Exclamation:
      box->setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Error:
      box->setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Question:
      box->setIcon(QMessageBox::Question);
      break;
  }
  if (request.buttons == MessageButtons::OkCancel) {
    box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Ok);
  } else {
    box->setStandardButtons(QMessageBox::Ok);
  }
  if (!request.detail.empty()) {
    box->setDetailedText(
        DetailWithFix(request.detail, GlobalPortMap().DevicePath(target_.BoxPort())));
  }
  return box;
}

MessageResult QtUpgradeView::ShowBox(const BoxRequest& request) {
  if (closing_) {
    return ClosingAnswer(request.buttons);
  }
  if (boxHandler_) {
    return boxHandler_(request);
  }
  std::unique_ptr<QMessageBox> box(BuildBox(request));
  return box->exec() == QMessageBox::Cancel ? MessageResult::Cancel : MessageResult::Ok;
}

void QtUpgradeView::OpenBox(const BoxRequest& request,
                            std::function<void(MessageResult)> answered) {
  if (closing_) {
    answered(ClosingAnswer(request.buttons));
    return;
  }
  if (boxHandler_) {
    answered(boxHandler_(request));
    return;
  }
  QMessageBox* box = BuildBox(request);
  box->setAttribute(Qt::WA_DeleteOnClose);
  // Modal to nothing: the other panels and their jobs go on while it waits.
  box->setWindowModality(Qt::NonModal);
  const MessageButtons buttons = request.buttons;
  QObject::connect(box, &QMessageBox::finished, box, [answered, buttons](int code) {
    // Escape or the close box of a question is its Cancel.
    answered(buttons == MessageButtons::Ok || code == QMessageBox::Ok ? MessageResult::Ok
                                                                      : MessageResult::Cancel);
  });
  openBoxes_.emplace_back(box);
  box->show();
}

void QtUpgradeView::AnswerOpenBoxes() {
  std::vector<QPointer<QMessageBox>> boxes;
  boxes.swap(openBoxes_);
  for (const QPointer<QMessageBox>& box : boxes) {
    if (box && box->isVisible()) {
      box->done(QMessageBox::Cancel);  // a notice counts as read, a question as cancelled
    }
  }
}

std::vector<QMessageBox*> QtUpgradeView::OpenBoxes() const {
  std::vector<QMessageBox*> open;
  for (const QPointer<QMessageBox>& box : openBoxes_) {
    if (box && box->isVisible()) {
      open.push_back(box.data());
    }
  }
  return open;
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
  Enqueue({[this, event] { target_.OnJobEvent(event); }});
}

void QtUpgradeView::SetTimer(Timer timer, uint32_t periodMs) {
  if (QThread::currentThread() == target_.TargetWidget()->thread()) {
    target_.StartWindowTimer(timer, periodMs);
  } else {
    Enqueue({[this, timer, periodMs] { target_.StartWindowTimer(timer, periodMs); }});
  }
}

void QtUpgradeView::KillTimer(Timer timer) {
  if (QThread::currentThread() == target_.TargetWidget()->thread()) {
    target_.StopWindowTimer(timer);
  } else {
    Enqueue({[this, timer] { target_.StopWindowTimer(timer); }});
  }
}

QString DetailWithFix(const std::string& detail, const std::string& devicePath) {
  return QString::fromStdString(WithPermissionAdvice(detail, devicePath));
}

}  // namespace fw
