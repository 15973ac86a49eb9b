// The main window's start-up sequence, its event handlers and its exit.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>

#include "app/qt/AboutBox.h"
#include "app/qt/AppIcon.h"
#include "app/qt/BenchPanel.h"
#include "app/qt/HistoryDialog.h"
#include "app/qt/SystemMenu.h"
#include "app/qt/TextProgressBar.h"
#include "app/qt/UpgradeDialog.h"
#include "app/window/WindowTexts.h"
#include "config/Installation.h"
#include "firmware/MainFirmware.h"
#include "platform/Clock.h"
#include "serial/PortMap.h"

#ifndef FLASHWRIGHT_VERSION
#define FLASHWRIGHT_VERSION "0.0.0"
#endif

namespace fw {
namespace {

constexpr int kAboutCommand = 16;

bool IsEnterKey(QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease &&
      event->type() != QEvent::ShortcutOverride) {
    return false;
  }
  int key = static_cast<QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

int UpgradeDialog::Startup() {
  session_.programVersion = FLASHWRIGHT_VERSION;
  return RunWindowStartup(*this, session_);
}

void UpgradeDialog::AddMenuItems() {
  AddAboutItem();
  setWindowIcon(AppIcon());
}

void UpgradeDialog::ScanPorts() {
  ports_->Scan();
}

bool UpgradeDialog::HasPorts() const {
  return portCombo_->count() != 0;
}

void UpgradeDialog::SetWarningLine(const std::string& text) {
  warningLine_->setText(QString::fromStdString(text));
}

void UpgradeDialog::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void UpgradeDialog::FillVocoderList(int selected) {
  vocoderCombo_->clear();
  vocoderCombo_->addItem(QStringLiteral("AMBE"));
  vocoderCombo_->addItem(QStringLiteral("SELP"));
  vocoderCombo_->setCurrentIndex(selected);
}

void UpgradeDialog::SelectSavedPort() {
  ports_->SelectSavedPort();
}

void UpgradeDialog::ShowRunModeControl(int mode) {
  switch (mode) {
    case 1:
      // The box lies over the warning line: it is drawn opaque, on top, so that the
      // two texts do not run into each other.
      chipOnlyCheck_->setAutoFillBackground(true);
      chipOnlyCheck_->raise();
      chipOnlyCheck_->show();
      break;
    case 3:
      firmwareOnlyCheck_->show();
      break;
    case 7:
      updateChipCheck_->show();
      break;
    default:
      break;
  }
}

void UpgradeDialog::SetUpdateChipChecked(bool checked) {
  updateChipCheck_->setChecked(checked);
}

bool UpgradeDialog::UpdateChipChecked() const {
  return updateChipCheck_->isChecked();
}

bool UpgradeDialog::BenchUnfinished() const {
  return bench_ != nullptr && bench_->AnyJobUnfinished();
}

void UpgradeDialog::StopBenchAndWait() {
  if (bench_ != nullptr) {
    bench_->StopAllAndWait();
  }
}

void UpgradeDialog::AddAboutItem() {
  const QString text = QString::fromUtf8(kAboutItem);
  aboutAction_ = new QAction(text, this);
  // Window managers keep the window menu to themselves: the item is in the window's
  // context menu, and F1 opens the box from anywhere in the window.
  aboutAction_->setShortcut(QKeySequence(Qt::Key_F1));
  aboutAction_->setShortcutContext(Qt::WindowShortcut);
  connect(aboutAction_, &QAction::triggered, this, [this] { ShowAbout(); });
  addAction(aboutAction_);
  // Beside it, the journal's jobs.
  historyAction_ = new QAction(QString::fromUtf8(kHistoryItem), this);
  connect(historyAction_, &QAction::triggered, this, [this] { ShowHistory(); });
  // And the bench of several ports.
  benchAction_ = new QAction(QString::fromUtf8(kBenchModeItem), this);
  benchAction_->setCheckable(true);
  connect(benchAction_, &QAction::triggered, this,
          [this](bool on) { benchAction_->setChecked(SetBenchMode(on)); });
  AppendSystemMenuItem(this, kAboutCommand, text);
}

void UpgradeDialog::ShowAbout() {
  AboutBox box(this);
  box.exec();
}

std::vector<QAction*> UpgradeDialog::ContextMenuActions() {
  std::vector<QAction*> actions;
  if (aboutAction_ == nullptr) {
    return actions;
  }
  actions.push_back(aboutAction_);
  if (historyAction_ != nullptr && session_.journal.handle) {
    actions.push_back(historyAction_);
  }
  if (benchAction_ != nullptr) {
    // Switched only while no job runs.
    benchAction_->setChecked(BenchMode());
    benchAction_->setEnabled(!AnyJobRunning() && !session_.exiting);
    actions.push_back(benchAction_);
  }
  return actions;
}

void UpgradeDialog::contextMenuEvent(QContextMenuEvent* event) {
  const std::vector<QAction*> actions = ContextMenuActions();
  if (actions.empty()) {
    return;
  }
  QMenu menu(this);
  for (QAction* action : actions) {
    menu.addAction(action);
  }
  menu.exec(event->globalPos());
}

#ifdef _WIN32
bool UpgradeDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  if (IsSystemMenuCommand(message, kAboutCommand)) {
    ShowAbout();
    *result = 0;
    return true;
  }
  return QDialog::nativeEvent(eventType, message, result);
}
#endif

void UpgradeDialog::OnUpgradeClicked() {
  if (session_.exiting) {
    return;
  }
  if (!installationProblem_.empty()) {
    view_.MessageBox(installationProblem_, MessageIcon::Exclamation, MessageButtons::Ok);
    return;
  }
  // "Upgrade" upgrades: a write-back started from the history before is not this job's.
  if (!JobRunning()) {
    state_->writeBack.reset();
  }
  // The dialog values and the selected port go into the record before the job starts.
  ReadControls();
  ports_->SelectionChanged();
  if (hooks_.startJob) {
    hooks_.startJob(*state_);
  }
}

void UpgradeDialog::SetInstallationProblem(const std::string& problem) {
  installationProblem_ = problem;
  if (!problem.empty()) {
    Enable(fw::Control::Upgrade, false);
    SetStatusLine(problem);
    // The line may be cut at the window's edge: the whole text on hovering.
    statusText_->setToolTip(QString::fromStdString(problem));
  }
}

void UpgradeDialog::OnTimer(Timer timer) {
  if (timer == Timer::AutoStart && !session_.exiting) {
    OnUpgradeClicked();
  }
}

void UpgradeDialog::OnChipOnlyClicked() {
  ReadControls();
  SetStatusLine(state_->chipOnly == 1 ? kChipOnlyStatus : kUsualStatus);
  if (state_->updateChip == 1) {
    updateChipCheck_->setChecked(false);
  }
}

void UpgradeDialog::OnUpdateChipClicked() {
  ReadControls();
  SetStatusLine(kUsualStatus);
  if (state_->chipOnly == 1) {
    chipOnlyCheck_->setChecked(false);
  }
}

void UpgradeDialog::OnFirmwareOnlyClicked() {
  ReadControls();
}

void UpgradeDialog::OnVocoderChanged(int index) {
  if (hooks_.selectVocoder) {
    hooks_.selectVocoder(*state_, index);
    WriteControls();  // edit 1008 shows the variant's hex file
  }
}

void UpgradeDialog::OnHexFileClicked() {
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(QStringLiteral("Archive Files (*.hex)"));
  dialog.setDefaultSuffix(QStringLiteral("hex"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return;  // cancelled: nothing changes
  }
  const QString path = dialog.selectedFiles().constFirst();
  if (path.isEmpty()) {
    return;
  }
  state_->hexFilePath = path.toStdString();
  if (hooks_.loadHexFile) {
    hooks_.loadHexFile(*state_);
  }
  WriteControls();
}

void UpgradeDialog::RunQueuedViewCalls() {
  view_.RunQueuedCalls();
}

void UpgradeDialog::OnJobEvent(const JobEvent& event) {
  if (hooks_.jobEvent && hooks_.jobEvent(*state_, event)) {
    return;
  }
  if (std::holds_alternative<CommErrorEvent>(event)) {
    view_.MessageBox(kCommError, MessageIcon::None, MessageButtons::Ok);
  }
}

bool UpgradeDialog::eventFilter(QObject* watched, QEvent* event) {
  // Enter is discarded before any control of this window (or one of its drop-down
  // lists) sees it; message boxes and the About box keep theirs.
  if (IsEnterKey(event) && watched->isWidgetType()) {
    for (QObject* o = watched; o != nullptr; o = o->parent()) {
      if (o == this) {
        return true;
      }
      auto* w = qobject_cast<QWidget*>(o);
      if (w != nullptr && w->isWindow() && !(w->windowFlags() & Qt::Popup)) {
        break;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void UpgradeDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);  // Escape becomes reject()
}

void UpgradeDialog::reject() {
  OnCancel();
}

void UpgradeDialog::closeEvent(QCloseEvent* event) {
  if (session_.exiting) {
    event->accept();
    return;
  }
  event->ignore();
  OnCancel();
}

bool UpgradeDialog::OnCancel() {
  if (!RunWindowClosing(*this, session_)) {
    return false;
  }
  done(QDialog::Rejected);
  return true;
}

bool UpgradeDialog::JobRunning() const {
  return hooks_.jobRunning && hooks_.jobRunning(*state_);
}

bool UpgradeDialog::AnyJobRunning() const {
  return JobRunning() || (bench_ != nullptr && bench_->AnyJobRunning());
}

void UpgradeDialog::RequestBench(const BenchChoice& choice) {
  session_.bench = choice;
  session_.benchRequested = true;
}

std::vector<int> UpgradeDialog::BenchPorts() const {
  if (!session_.bench.ports.empty()) {
    return session_.bench.ports;
  }
  return PortNumbers();
}

std::vector<int> UpgradeDialog::PortNumbers() const {
  std::vector<int> found;
  for (int i = 0; i < portCombo_->count(); ++i) {
    const int number = EntryToNumber(portCombo_->itemText(i));
    if (number != 0) {
      found.push_back(number);
    }
  }
  return found;
}

void UpgradeDialog::ShowSinglePortControls(bool show) {
  QWidget* controls[] = {group_,      upgradeButton_, portCombo_, portLabel_,
                         statusText_, mainProgress_,  statusList_};
  for (QWidget* w : controls) {
    w->setVisible(show);
  }
}

bool UpgradeDialog::SetBenchMode(bool on) {
  if (on == BenchMode()) {
    return on;
  }
  if (session_.exiting || !session_.startupDone || AnyJobRunning()) {
    return BenchMode();
  }
  const bool repeat = state_->installation->readWriteLog == 5;
  if (on) {
    const std::vector<int> ports = BenchPorts();
    if (ports.empty()) {
      return false;  // no port to put on the bench
    }
    StopWindowTimer(Timer::AutoStart);
    ShowSinglePortControls(false);
    // "UpdateTimes" goes on from the jobs the window's own record completed. No job runs.
    auto count = std::make_shared<CompletedJobCount>();
    count->total = state_->completedJobs;
    bench_ = new BenchBoard(*this, hooks_, ports, count, this);
    const int height = BenchBoard::HeightUnits(ports.size());
    bench_->setGeometry(units_.Rect(7, 42, 435, height));
    // Never smaller than the single port's window.
    setFixedSize(units_.X(449), units_.Y(std::max(211, 42 + height + 4)));
    bench_->show();
    if (repeat) {
      bench_->ArmAutoStart();
    }
  } else {
    // The window's own record goes on counting from the bench's total.
    state_->completedJobs = bench_->JobCount().total;
    delete bench_;
    bench_ = nullptr;
    setFixedSize(units_.X(449), units_.Y(211));
    ShowSinglePortControls(true);
    if (repeat) {
      StartWindowTimer(Timer::AutoStart, kAutoStartPeriodMs);
    }
  }
  session_.bench.on = on;
  if (benchAction_ != nullptr) {
    benchAction_->setChecked(on);
  }
  return on;
}

void UpgradeDialog::StopJobAndWait() {
  for (auto& [id, timer] : timers_) {
    timer->stop();
  }
  if (JobRunning()) {
    view_.SetClosing(true);
    if (hooks_.stopJob) {
      hooks_.stopJob(*state_);
    } else {
      state_->job.clock.RequestStop();
    }
    // Keep serving the worker's calls to the window until it has ended.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (!JobRunning()) {
        loop.quit();
      }
    });
    poll.start(10);
    if (JobRunning()) {
      loop.exec();
    }
  }
  if (hooks_.joinJob) {
    hooks_.joinJob(*state_);
  }
}

HistoryDialog* UpgradeDialog::ShowHistory() {
  if (history_ == nullptr) {
    history_ = new HistoryDialog(*this, this);
  }
  history_->Refresh();
  history_->show();
  history_->raise();
  history_->activateWindow();
  return history_;
}

bool UpgradeDialog::WriteBackAllowed() {
  return WindowWriteBackAllowed(session_, {AnyJobRunning(), BenchMode(), installationProblem_});
}

bool UpgradeDialog::StartWriteBack(int64_t jobId, int port) {
  return StartWindowWriteBack(*this, session_, {AnyJobRunning(), BenchMode(), installationProblem_},
                              jobId, port);
}

}  // namespace fw
