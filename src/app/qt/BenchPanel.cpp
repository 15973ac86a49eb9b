#include "app/qt/BenchPanel.h"

#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/qt/TextProgressBar.h"
#include "app/qt/UpgradeDialog.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "firmware/IdentifyReply.h"
#include "serial/PortMap.h"
#include "workflow/Job.h"

#ifndef FLASHWRIGHT_VERSION
#define FLASHWRIGHT_VERSION "0.0.0"
#endif

namespace fw {
namespace {

// A panel's layout, in dialog units.
constexpr int kPanelWidth = 421;
constexpr int kPanelHeight = 122;
constexpr int kPanelGap = 3;
constexpr int kVisiblePanels = 3;
constexpr int kUpgradeAllHeight = 16;
constexpr int kRowHeight = 15;
constexpr int kStatusColumnWidth = 52;
constexpr int kMessageColumnWidth = 600;
// How often the board looks whether each panel's job still runs ("Stop", "Upgrade all").
constexpr int kRefreshMs = 200;

QPushButton* MakeButton(const char* text, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  // Enter never presses a button.
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

QString PanelTitle(int port) {
  return QString::fromStdString(BenchPanelTitle(port));
}

}  // namespace

BenchPanel::BenchPanel(UpgradeDialog& dialog, const DialogHooks& hooks, int port,
                       std::shared_ptr<CompletedJobCount> jobCount, QWidget* parent)
    : QGroupBox(PanelTitle(port), parent),
      dialog_(dialog),
      hooks_(hooks),
      port_(port),
      state_(std::make_unique<UpgradeState>()),
      view_(*this) {
  const DialogUnits& u = dialog.Units();
  setObjectName(QStringLiteral("benchPanel%1").arg(port));
  setFixedSize(u.X(kPanelWidth), u.Y(kPanelHeight));

  modelText_ = new QLabel(QString::fromUtf8(kRadioModelLabel), this);
  modelText_->setGeometry(u.Rect(8, 11, 300, 9));
  upgradeButton_ = MakeButton("Upgrade", this);
  upgradeButton_->setGeometry(u.Rect(318, 8, 49, 15));
  stopButton_ = MakeButton(kStopButton, this);
  stopButton_->setGeometry(u.Rect(371, 8, 44, 15));
  stopButton_->setEnabled(false);
  statusText_ = new QLabel(QString::fromUtf8(UpgradeDialog::kUsualStatus), this);
  statusText_->setGeometry(u.Rect(8, 25, 407, 9));
  progress_ = new TextProgressBar(this);
  progress_->setGeometry(u.Rect(6, 36, 409, 10));

  statusList_ = new QTableWidget(0, 2, this);
  statusList_->setGeometry(u.Rect(6, 49, 409, 69));
  statusList_->setHorizontalHeaderLabels({QStringLiteral("Status"), QStringLiteral("Message")});
  QHeaderView* header = statusList_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setSectionsClickable(false);
  header->setStretchLastSection(false);
  statusList_->setColumnWidth(0, kStatusColumnWidth);
  statusList_->setColumnWidth(1, kMessageColumnWidth);
  statusList_->verticalHeader()->hide();
  statusList_->verticalHeader()->setMinimumSectionSize(1);
  statusList_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  statusList_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  statusList_->setWordWrap(false);
  statusList_->setSelectionMode(QAbstractItemView::SingleSelection);
  statusList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  statusList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  statusList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  connect(upgradeButton_, &QPushButton::clicked, this, [this] { OnUpgradeClicked(); });
  connect(stopButton_, &QPushButton::clicked, this, [this] { OnStopClicked(); });

  state_->sharedJobCount = std::move(jobCount);
  Prepare();
}

BenchPanel::~BenchPanel() {
  // The board stops and joins every job before panels go; this is the last guard.
  BeginClosing();
  while (JobRunning()) {
    view_.RunQueuedCalls();
    QThread::msleep(5);
  }
  JoinJob();
  for (auto& [id, timer] : timers_) {
    timer->stop();
  }
  state_->SetView(nullptr);
}

// The job's part of the window's start-up, on the window's installation: the same image,
// vocoder variant and hex file as the window's own record, its own buffers.
void BenchPanel::Prepare() {
  PrepareBenchRecord(dialog_.State(), *state_, port_, hooks_, &view_, dialog_.Journal(),
                     dialog_.SkipBackup(), FLASHWRIGHT_VERSION);
}

bool BenchPanel::TimerActive(Timer timer) const {
  auto it = timers_.find(timer);
  return it != timers_.end() && it->second->isActive();
}

bool BenchPanel::JobRunning() const {
  return hooks_.jobRunning && hooks_.jobRunning(*state_);
}

void BenchPanel::OnUpgradeClicked() {
  if (dialog_.Exiting() || JobRunning()) {
    return;
  }
  if (!dialog_.InstallationProblem().empty()) {
    view_.MessageBox(dialog_.InstallationProblem(), MessageIcon::Exclamation, MessageButtons::Ok);
    return;
  }
  // The window's choices (the run mode's check boxes) for this job, on this panel's port.
  dialog_.ReadControls();
  TakeWindowChoices(dialog_.State(), *state_, port_);
  ShowModel();
  view_.SetClosing(false);
  if (hooks_.startJob) {
    hooks_.startJob(*state_);
  }
  RefreshButtons();
}

void BenchPanel::OnStopClicked() {
  StopWindowTimer(Timer::AutoStart);
  if (JobRunning()) {
    // A stopped job asks nothing more; a box it is waiting on counts as answered.
    view_.SetClosing(true);
    view_.AnswerOpenBoxes();
    if (hooks_.stopJob) {
      hooks_.stopJob(*state_);
    } else {
      state_->job.clock.RequestStop();
    }
  }
  RefreshButtons();
}

void BenchPanel::BeginClosing() {
  for (auto& [id, timer] : timers_) {
    timer->stop();
  }
  view_.SetClosing(true);
  view_.AnswerOpenBoxes();
  if (JobRunning()) {
    if (hooks_.stopJob) {
      hooks_.stopJob(*state_);
    } else {
      state_->job.clock.RequestStop();
    }
  }
}

void BenchPanel::JoinJob() {
  if (hooks_.joinJob) {
    hooks_.joinJob(*state_);
  }
}

void BenchPanel::RefreshButtons() {
  const bool running = JobRunning();
  stopButton_->setEnabled(running || TimerActive(Timer::AutoStart));
  // A panel whose job has ended is idle, whatever its job's last step left of its controls:
  // its "Upgrade" starts the next radio, as "Upgrade all" would.
  if (!running && !upgradeButton_->isEnabled()) {
    upgradeButton_->setEnabled(true);
  }
}

void BenchPanel::RunQueuedViewCalls() {
  view_.RunQueuedCalls();
}

void BenchPanel::InsertStatusRow(int index, const std::string& mark, const std::string& text) {
  const int row = std::clamp(index, 0, statusList_->rowCount());
  statusList_->insertRow(row);
  statusList_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(mark)));
  statusList_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(text)));
  statusList_->setCurrentIndex(QModelIndex());
  statusList_->scrollToItem(statusList_->item(row, 1));
}

void BenchPanel::SetStatusRowText(int index, Column which, const std::string& text) {
  if (index < 0 || index >= statusList_->rowCount()) {
    return;
  }
  const int column = which == Column::Mark ? 0 : 1;
  if (QTableWidgetItem* item = statusList_->item(index, column)) {
    item->setText(QString::fromStdString(text));
  } else {
    statusList_->setItem(index, column, new QTableWidgetItem(QString::fromStdString(text)));
  }
}

void BenchPanel::DeleteStatusRows() {
  statusList_->setRowCount(0);
}

void BenchPanel::SetStatusLine(const std::string& text) {
  statusText_->setText(QString::fromStdString(text));
}

void BenchPanel::Enable(fw::Control control, bool enable) {
  // The job's own button; the port, vocoder and check boxes are the window's and stay as
  // the technician left them.
  if (control == fw::Control::Upgrade) {
    upgradeButton_->setEnabled(enable);
  }
}

void BenchPanel::SetProgressRange(ProgressBar bar, int lower, int upper) {
  if (bar == ProgressBar::Main) {
    progress_->SetRange(lower, upper);
  }
}

void BenchPanel::SetProgressPos(ProgressBar bar, int pos) {
  if (bar == ProgressBar::Main) {
    progress_->SetPos(pos);
  }
}

void BenchPanel::StartWindowTimer(Timer which, uint32_t periodMs) {
  QTimer*& timer = timers_[which];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, which] {
      if (which == Timer::AutoStart) {
        OnUpgradeClicked();
      }
    });
  }
  timer->start(static_cast<int>(std::min<uint32_t>(periodMs, INT32_MAX)));
  RefreshButtons();
}

void BenchPanel::StopWindowTimer(Timer which) {
  auto it = timers_.find(which);
  if (it != timers_.end()) {
    it->second->stop();
  }
}

void BenchPanel::OnJobEvent(const JobEvent& event) {
  if (hooks_.jobEvent && hooks_.jobEvent(*state_, event)) {
    return;
  }
  if (std::holds_alternative<CommErrorEvent>(event)) {
    view_.MessageBox(UpgradeDialog::kCommError, MessageIcon::None, MessageButtons::Ok);
  }
}

QString BenchPanel::BoxTitle() const {
  return QStringLiteral("COM%1 - %2").arg(port_).arg(dialog_.windowTitle());
}

void BenchPanel::WorkerWaiting() {
  ShowModel();
}

void BenchPanel::ShowModel() {
  // Read only while the worker waits for a call, or while no job runs.
  const std::string& model = state_->radioModel;
  const bool known = !model.empty() && model != UnknownIdentity().model;
  modelText_->setText(QString::fromUtf8(kRadioModelLabel) +
                      (known ? QString::fromStdString(model) : QString()));
}

BenchBoard::BenchBoard(UpgradeDialog& dialog, const DialogHooks& hooks,
                       const std::vector<int>& ports, std::shared_ptr<CompletedJobCount> jobCount,
                       QWidget* parent)
    : QWidget(parent), jobCount_(std::move(jobCount)) {
  const DialogUnits& u = dialog.Units();
  setObjectName(QStringLiteral("bench"));
  upgradeAll_ = MakeButton(kUpgradeAllButton, this);
  upgradeAll_->setObjectName(QStringLiteral("upgradeAllButton"));
  upgradeAll_->setGeometry(u.Rect(435 - 4 - 60, 0, 60, kUpgradeAllHeight));
  connect(upgradeAll_, &QPushButton::clicked, this, [this] { OnUpgradeAllClicked(); });

  scroll_ = new QScrollArea(this);
  scroll_->setGeometry(0, u.Y(kUpgradeAllHeight + 3), u.X(435),
                       u.Y(HeightUnits(ports.size()) - kUpgradeAllHeight - 3));
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setFrameShape(QFrame::NoFrame);
  auto* inner = new QWidget;
  auto* layout = new QVBoxLayout(inner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(u.Y(kPanelGap));
  for (int port : ports) {
    auto* panel = new BenchPanel(dialog, hooks, port, jobCount_, inner);
    layout->addWidget(panel);
    panels_.push_back(panel);
  }
  layout->addStretch(1);
  scroll_->setWidget(inner);
  scroll_->setWidgetResizable(true);

  refresh_ = new QTimer(this);
  connect(refresh_, &QTimer::timeout, this, [this] {
    bool anyIdle = false;
    for (BenchPanel* p : panels_) {
      p->RefreshButtons();
      anyIdle = anyIdle || !p->JobRunning();
    }
    upgradeAll_->setEnabled(anyIdle);
  });
  refresh_->start(kRefreshMs);
}

BenchBoard::~BenchBoard() {
  StopAllAndWait();
}

int BenchBoard::HeightUnits(size_t panels) {
  const int shown = static_cast<int>(std::clamp<size_t>(panels, 1, kVisiblePanels));
  return kUpgradeAllHeight + 3 + shown * (kPanelHeight + kPanelGap);
}

BenchPanel* BenchBoard::Panel(int port) const {
  for (BenchPanel* p : panels_) {
    if (p->Port() == port) {
      return p;
    }
  }
  return nullptr;
}

void BenchBoard::OnUpgradeAllClicked() {
  // One start per turn of the event loop: a start waits a moment on the window's thread
  // before its worker runs, and the jobs started already are served in between.
  for (BenchPanel* p : panels_) {
    if (!p->JobRunning()) {
      QTimer::singleShot(0, p, [p] { p->OnUpgradeClicked(); });
    }
  }
}

void BenchBoard::ArmAutoStart() {
  for (BenchPanel* p : panels_) {
    ArmAutoStartTimer(p->State());
  }
}

bool BenchBoard::AnyJobRunning() const {
  return std::any_of(panels_.begin(), panels_.end(), [](BenchPanel* p) { return p->JobRunning(); });
}

bool BenchBoard::AnyJobUnfinished() const {
  return std::any_of(panels_.begin(), panels_.end(),
                     [](BenchPanel* p) { return p->State().resultOk == 0; });
}

void BenchBoard::StopAllAndWait() {
  refresh_->stop();
  for (BenchPanel* p : panels_) {
    p->BeginClosing();
  }
  if (AnyJobRunning()) {
    // Keep serving the workers' calls to their panels until each has ended.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (!AnyJobRunning()) {
        loop.quit();
      }
    });
    poll.start(10);
    loop.exec();
  }
  for (BenchPanel* p : panels_) {
    p->JoinJob();
  }
}

}  // namespace fw
