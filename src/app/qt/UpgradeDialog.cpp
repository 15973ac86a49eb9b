#include "app/qt/UpgradeDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "app/qt/AppIcon.h"
#include "app/qt/BenchPanel.h"
#include "app/qt/TextProgressBar.h"
#include "voice/VoicePrompts.h"
#include "workflow/Job.h"

namespace fw {
namespace {

// The controls' resource numbers.
constexpr int kExitButton = 2;
constexpr int kUpgradeButton = 1000;
constexpr int kPortCombo = 1001;
constexpr int kRefreshButton = 1002;
constexpr int kStatusText = 1004;
constexpr int kMainProgress = 1006;
constexpr int kHexFileButton = 1007;
constexpr int kHexFileText = 1008;
constexpr int kSecondProgress = 1009;
constexpr int kStatusList = 1011;
constexpr int kWarningLabel = 1012;
constexpr int kChipOnlyCheck = 1015;
constexpr int kVocoderCombo = 1016;
constexpr int kFirmwareOnlyCheck = 1017;
constexpr int kUpdateChipCheck = 1018;
constexpr int kWavFileText = 1023;
constexpr int kReadWavButton = 1021;
constexpr int kWriteWavButton = 1022;
constexpr int kOpenWavButton = 1024;

constexpr int kStatusColumnWidth = 52;
constexpr int kMessageColumnWidth = 600;
constexpr int kRowHeight = 15;

int ResourceNumber(Control control) {
  switch (control) {
    case Control::Upgrade:
      return kUpgradeButton;
    case Control::Port:
      return kPortCombo;
    case Control::StatusText:
      return kStatusText;
    case Control::MainProgress:
      return kMainProgress;
    case Control::HexFile:
      return kHexFileButton;
    case Control::HexFileText:
      return kHexFileText;
    case Control::SecondProgress:
      return kSecondProgress;
    case Control::StatusList:
      return kStatusList;
    case Control::ChipOnly:
      return kChipOnlyCheck;
    case Control::Vocoder:
      return kVocoderCombo;
    case Control::FirmwareOnly:
      return kFirmwareOnlyCheck;
    case Control::UpdateChip:
      return kUpdateChipCheck;
    case Control::WavFileText:
      return kWavFileText;
  }
  return 0;
}

QPushButton* MakeButton(const char* text, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  // Enter never presses a button.
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

QLabel* MakeRightLabel(const char* text, QWidget* parent) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setAlignment(Qt::AlignRight | Qt::AlignTop);
  return l;
}

}  // namespace

UpgradeDialog::UpgradeDialog(DialogHooks hooks, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      hooks_(std::move(hooks)),
      state_(std::make_unique<UpgradeState>()),
      view_(*this),
      units_(MainDialogFont()) {
  setFont(MainDialogFont());
  setWindowTitle(QString::fromUtf8(kCaption));
  setFixedSize(units_.X(449), units_.Y(211));
  CreateControls();
  ports_ = std::make_unique<PortList>(portCombo_, view_, state_->selectedPort);
  // Enter is discarded for the window and its drop-down lists.
  qApp->installEventFilter(this);
}

UpgradeDialog::~UpgradeDialog() {
  qApp->removeEventFilter(this);
  // The records must outlive any worker that still uses them.
  if (bench_ != nullptr) {
    delete bench_;
    bench_ = nullptr;
  }
  StopJobAndWait();
  for (auto& [id, timer] : timers_) {
    timer->stop();
  }
  state_->SetView(nullptr);
}

void UpgradeDialog::Place(QWidget* w, int id, const char* name, int x, int y, int width,
                          int height) {
  w->setGeometry(units_.Rect(x, y, width, height));
  w->setObjectName(QString::fromLatin1(name));
  if (id != 0) {
    w->setProperty("controlId", id);
    controls_[id] = w;
  }
}

void UpgradeDialog::CreateControls() {
  // In tab order.
  exitButton_ = MakeButton("Exit", this);
  Place(exitButton_, kExitButton, "exitButton", 416, 7, 25, 18);
  exitButton_->hide();

  upgradeButton_ = MakeButton("Upgrade", this);
  Place(upgradeButton_, kUpgradeButton, "upgradeButton", 388, 25, 49, 25);

  group_ = new QGroupBox(this);
  Place(group_, 0, "groupBox", 7, 4, 435, 197);
  // A group box is only a frame: clicks pass through it to the controls inside.
  group_->setAttribute(Qt::WA_TransparentForMouseEvents);
  group_->setFocusPolicy(Qt::NoFocus);

  portCombo_ = new PortCombo(this);
  Place(portCombo_, kPortCombo, "portCombo", 50, 12, 52, 89);
  portCombo_->setFixedHeight(units_.Y(14));
  portCombo_->setMaxVisibleItems(8);

  portLabel_ = MakeRightLabel("COM Port", this);
  Place(portLabel_, 0, "portLabel", 14, 14, 33, 9);

  statusText_ = new QLabel(QString::fromUtf8(kCreationStatus), this);
  Place(statusText_, kStatusText, "statusText", 16, 44, 321, 9);

  mainProgress_ = new TextProgressBar(this);
  Place(mainProgress_, kMainProgress, "mainProgress", 12, 56, 423, 10);

  refreshButton_ = MakeButton("Refresh", this);
  Place(refreshButton_, kRefreshButton, "refreshButton", 373, 7, 40, 14);
  refreshButton_->hide();

  hexFileButton_ = MakeButton("Hex File..", this);
  Place(hexFileButton_, kHexFileButton, "hexFileButton", 219, 7, 45, 14);
  hexFileButton_->hide();

  hexFileText_ = new QLineEdit(this);
  Place(hexFileText_, kHexFileText, "hexFileText", 175, 7, 44, 14);
  hexFileText_->setReadOnly(true);
  hexFileText_->hide();

  statusList_ = new QTableWidget(0, 2, this);
  Place(statusList_, kStatusList, "statusList", 12, 69, 426, 131);

  warningLine_ = new QLabel(this);
  Place(warningLine_, kWarningLabel, "warningLine", 114, 14, 204, 8);

  chipOnlyCheck_ = new QCheckBox(
      QStringLiteral("Only update the firmware chip when radio display dadazu init error."), this);
  Place(chipOnlyCheck_, kChipOnlyCheck, "chipOnlyCheck", 110, 14, 290, 10);
  chipOnlyCheck_->hide();

  vocoderCombo_ = new QComboBox(this);
  Place(vocoderCombo_, kVocoderCombo, "vocoderCombo", 313, 7, 52, 62);
  vocoderCombo_->setEditable(true);
  vocoderCombo_->setFixedHeight(units_.Y(14));
  vocoderCombo_->setEnabled(false);
  vocoderCombo_->hide();

  modelLabel_ = MakeRightLabel("Model", this);
  Place(modelLabel_, 0, "modelLabel", 275, 15, 33, 9);
  modelLabel_->hide();

  secondProgress_ = new QProgressBar(this);
  Place(secondProgress_, kSecondProgress, "secondProgress", 15, 197, 376, 10);
  secondProgress_->setRange(0, 100);
  secondProgress_->setValue(0);
  secondProgress_->setTextVisible(false);
  secondProgress_->hide();

  vocoderLabel_ = MakeRightLabel("Vocoder", this);
  Place(vocoderLabel_, 0, "vocoderLabel", 277, 9, 33, 9);
  vocoderLabel_->setEnabled(false);
  vocoderLabel_->hide();

  firmwareOnlyCheck_ = new QCheckBox(QStringLiteral("Only upgrade the radio firmware."), this);
  Place(firmwareOnlyCheck_, kFirmwareOnlyCheck, "firmwareOnlyCheck", 196, 29, 172, 10);
  firmwareOnlyCheck_->setEnabled(false);
  firmwareOnlyCheck_->hide();

  updateChipCheck_ = new QCheckBox(QStringLiteral("Ugrade the firmware chip."), this);
  Place(updateChipCheck_, kUpdateChipCheck, "updateChipCheck", 15, 29, 160, 10);
  updateChipCheck_->hide();

  wavFileText_ = new QLineEdit(this);
  Place(wavFileText_, kWavFileText, "wavFileText", 297, 24, 40, 14);
  wavFileText_->hide();

  openWavButton_ = MakeButton("OpenWav", this);
  Place(openWavButton_, kOpenWavButton, "openWavButton", 347, 23, 33, 14);
  openWavButton_->hide();

  readWavButton_ = MakeButton("ReadWav", this);
  Place(readWavButton_, kReadWavButton, "readWavButton", 308, 35, 41, 14);
  readWavButton_->hide();

  writeWavButton_ = MakeButton("WriteWav", this);
  Place(writeWavButton_, kWriteWavButton, "writeWavButton", 349, 38, 40, 14);
  writeWavButton_->hide();

  // The frame lies behind everything; the tab order is the creation order above.
  group_->lower();
  QWidget* order[] = {exitButton_,      upgradeButton_, portCombo_,      mainProgress_,
                      refreshButton_,   hexFileButton_, hexFileText_,    statusList_,
                      chipOnlyCheck_,   vocoderCombo_,  secondProgress_, firmwareOnlyCheck_,
                      updateChipCheck_, wavFileText_,   openWavButton_,  readWavButton_,
                      writeWavButton_};
  for (size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(order[i - 1], order[i]);
  }

  connect(exitButton_, &QPushButton::clicked, this, [this] { OnCancel(); });
  connect(upgradeButton_, &QPushButton::clicked, this, [this] { OnUpgradeClicked(); });
  connect(portCombo_, &QComboBox::activated, this, [this] { ports_->SelectionChanged(); });
  connect(portCombo_, &PortCombo::aboutToShowPopup, this, [this] { ports_->Rescan(); });
  connect(refreshButton_, &QPushButton::clicked, this, [this] { ports_->Rescan(); });
  connect(hexFileButton_, &QPushButton::clicked, this, [this] { OnHexFileClicked(); });
  connect(vocoderCombo_, &QComboBox::activated, this, [this](int i) { OnVocoderChanged(i); });
  connect(chipOnlyCheck_, &QCheckBox::clicked, this, [this] { OnChipOnlyClicked(); });
  connect(firmwareOnlyCheck_, &QCheckBox::clicked, this, [this] { OnFirmwareOnlyClicked(); });
  connect(updateChipCheck_, &QCheckBox::clicked, this, [this] { OnUpdateChipClicked(); });
  connect(readWavButton_, &QPushButton::clicked, this, [this] { OnReadWavClicked(); });
  connect(writeWavButton_, &QPushButton::clicked, this, [this] { OnWriteWavClicked(); });
  connect(openWavButton_, &QPushButton::clicked, this, [this] { OnOpenWavClicked(); });
}

void UpgradeDialog::LayOutStatusList() {
  QTableWidget* list = statusList_;
  list->setHorizontalHeaderLabels({QStringLiteral("Status"), QStringLiteral("Message")});
  list->horizontalHeaderItem(0)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->horizontalHeaderItem(1)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QHeaderView* header = list->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setSectionsClickable(false);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  list->setColumnWidth(0, kStatusColumnWidth);
  list->setColumnWidth(1, kMessageColumnWidth);
  list->verticalHeader()->hide();
  list->verticalHeader()->setMinimumSectionSize(1);
  list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->verticalHeader()->setDefaultSectionSize(kRowHeight);
  list->setShowGrid(true);
  list->setWordWrap(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setRowCount(0);
}

QWidget* UpgradeDialog::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QWidget* UpgradeDialog::Control(fw::Control control) const {
  return Control(ResourceNumber(control));
}

bool UpgradeDialog::TimerActive(Timer timer) const {
  auto it = timers_.find(timer);
  return it != timers_.end() && it->second->isActive();
}

void UpgradeDialog::ReadControls() {
  state_->hexFilePath = hexFileText_->text().toStdString();
  state_->chipOnly = chipOnlyCheck_->isChecked() ? 1 : 0;
  state_->firmwareOnly = firmwareOnlyCheck_->isChecked() ? 1 : 0;
  state_->updateChip = updateChipCheck_->isChecked() ? 1 : 0;
  state_->wavFilePath = wavFileText_->text().toStdString();
}

void UpgradeDialog::WriteControls() {
  hexFileText_->setText(QString::fromStdString(state_->hexFilePath));
  chipOnlyCheck_->setChecked(state_->chipOnly != 0);
  firmwareOnlyCheck_->setChecked(state_->firmwareOnly != 0);
  updateChipCheck_->setChecked(state_->updateChip != 0);
  wavFileText_->setText(QString::fromStdString(state_->wavFilePath));
}

void UpgradeDialog::InsertStatusRow(int index, const std::string& mark, const std::string& text) {
  // An index past the end appends, as a list control does.
  int row = std::clamp(index, 0, statusList_->rowCount());
  statusList_->insertRow(row);
  statusList_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(mark)));
  statusList_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(text)));
  // Rows are a report, not a choice: no row becomes current by being added.
  statusList_->setCurrentIndex(QModelIndex());
  statusList_->scrollToItem(statusList_->item(row, 1));
}

void UpgradeDialog::SetStatusRowText(int index, Column which, const std::string& text) {
  if (index < 0 || index >= statusList_->rowCount()) {
    return;  // no such row: nothing to change
  }
  const int column = which == Column::Mark ? 0 : 1;
  QTableWidgetItem* item = statusList_->item(index, column);
  if (item == nullptr) {
    statusList_->setItem(index, column, new QTableWidgetItem(QString::fromStdString(text)));
  } else {
    item->setText(QString::fromStdString(text));
  }
}

void UpgradeDialog::DeleteStatusRows() {
  statusList_->setRowCount(0);
}

void UpgradeDialog::SetStatusLine(const std::string& text) {
  statusText_->setText(QString::fromStdString(text));
}

void UpgradeDialog::Enable(fw::Control control, bool enable) {
  if (QWidget* w = Control(control)) {
    w->setEnabled(enable);
  }
}

void UpgradeDialog::SetProgressRange(ProgressBar bar, int lower, int upper) {
  if (bar == ProgressBar::Main) {
    mainProgress_->SetRange(lower, upper);
  } else {
    // A plain bar ignores an empty or inverted range, as the system control does.
    if (lower < upper) {
      secondProgress_->setRange(lower, upper);
    }
  }
}

void UpgradeDialog::SetProgressPos(ProgressBar bar, int pos) {
  if (bar == ProgressBar::Main) {
    mainProgress_->SetPos(pos);
  } else {
    secondProgress_->setValue(
        std::clamp(pos, secondProgress_->minimum(), secondProgress_->maximum()));
  }
}

void UpgradeDialog::StartWindowTimer(Timer which, uint32_t periodMs) {
  QTimer*& timer = timers_[which];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, which] { OnTimer(which); });
  }
  timer->start(static_cast<int>(std::min<uint32_t>(periodMs, INT32_MAX)));
}

void UpgradeDialog::StopWindowTimer(Timer timer) {
  auto it = timers_.find(timer);
  if (it != timers_.end()) {
    it->second->stop();
  }
}

void UpgradeDialog::OnReadWavClicked() {
  if (JobRunning()) {
    return;  // the job owns the radio link until it ends
  }
  SetJobPort(*state_, state_->selectedPort);
  ReadWav(*state_);
}

void UpgradeDialog::OnWriteWavClicked() {
  if (JobRunning()) {
    return;
  }
  SetJobPort(*state_, state_->selectedPort);
  WriteWav(*state_);
}

void UpgradeDialog::OnOpenWavClicked() {
  if (JobRunning()) {
    return;
  }
  std::string path;
  if (wavFileChooser_) {
    path = wavFileChooser_();
  } else {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(QStringLiteral("Archive Files (*.bin)"));
    dialog.setDefaultSuffix(QStringLiteral("WAV"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      path = dialog.selectedFiles().constFirst().toStdString();
    }
  }
  OpenWav(*state_, path);  // an empty path (cancelled) empties the path and the buffer
  wavFileText_->setText(QString::fromStdString(state_->wavFilePath));
}

}  // namespace fw
