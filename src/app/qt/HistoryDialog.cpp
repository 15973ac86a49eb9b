#include "app/qt/HistoryDialog.h"

#include <QCheckBox>
#include <QDate>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/HeadlessHistory.h"
#include "app/qt/UpgradeDialog.h"
#include "journal/JournalRecorder.h"

namespace fw {

HistoryDialog::HistoryDialog(UpgradeDialog& window, QWidget* parent)
    : QDialog(parent), window_(window) {
  setWindowTitle(QString::fromUtf8(kHistoryCaption));
  setObjectName(QStringLiteral("historyDialog"));
  setWindowModality(Qt::NonModal);
  resize(900, 560);

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("historyFilter"));
  filter_->setPlaceholderText(QString::fromUtf8(kHistoryFilterHint));
  filter_->setClearButtonEnabled(true);
  sinceCheck_ = new QCheckBox(QString::fromUtf8(kHistorySinceText), this);
  since_ = new QDateEdit(QDate::currentDate(), this);
  since_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  since_->setCalendarPopup(true);
  since_->setEnabled(false);
  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(QStringLiteral("Radio:"), this));
  filters->addWidget(filter_, 1);
  filters->addWidget(sinceCheck_);
  filters->addWidget(since_);

  table_ = new QTableWidget(0, static_cast<int>(HistoryTableColumns().size()), this);
  table_->setObjectName(QStringLiteral("historyTable"));
  QStringList header;
  for (const std::string& name : HistoryTableColumns()) {
    header << QString::fromStdString(name);
  }
  table_->setHorizontalHeaderLabels(header);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);

  details_ = new QPlainTextEdit(this);
  details_->setObjectName(QStringLiteral("historyDetails"));
  details_->setReadOnly(true);
  details_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(table_);
  split->addWidget(details_);

  problem_ = new QLabel(this);
  problem_->setWordWrap(true);
  problem_->hide();
  export_ = new QPushButton(QString::fromUtf8(kExportCsvButton), this);
  writeBack_ = new QPushButton(QString::fromUtf8(kWriteBackButton), this);
  writeBack_->setEnabled(false);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {export_, writeBack_, close}) {
    b->setAutoDefault(false);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(problem_, 1);
  buttons->addStretch();
  buttons->addWidget(export_);
  buttons->addWidget(writeBack_);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(split, 1);
  layout->addLayout(buttons);

  connect(filter_, &QLineEdit::textChanged, this, [this] { Refresh(); });
  connect(sinceCheck_, &QCheckBox::toggled, this, [this](bool on) {
    since_->setEnabled(on);
    Refresh();
  });
  connect(since_, &QDateEdit::dateChanged, this, [this] { Refresh(); });
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { ShowSelected(); });
  connect(export_, &QPushButton::clicked, this, [this] { OnExportClicked(); });
  connect(writeBack_, &QPushButton::clicked, this, [this] { OnWriteBackClicked(); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void HistoryDialog::Refresh() {
  const JournalJob* chosen = SelectedJob();
  const int64_t keep = chosen != nullptr ? chosen->id : 0;
  const QDate day = since_->date();
  listing_ = ReadHistory(window_.Journal(),
                         HistoryFilterFor(filter_->text().toStdString(), sinceCheck_->isChecked(),
                                          day.year(), day.month(), day.day()));
  problem_->setText(QString::fromStdString(listing_.note));
  problem_->setVisible(!listing_.note.empty());
  const QSignalBlocker block(table_);
  table_->clearContents();
  const std::vector<std::vector<std::string>> rows = HistoryRows(listing_);
  table_->setRowCount(static_cast<int>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::vector<std::string>& cells = rows[r];
    for (size_t c = 0; c < cells.size(); ++c) {
      table_->setItem(static_cast<int>(r), static_cast<int>(c),
                      new QTableWidgetItem(QString::fromStdString(cells[c])));
    }
  }
  table_->resizeColumnsToContents();
  if (keep == 0 || !SelectJob(keep)) {
    table_->clearSelection();
    ShowSelected();
  }
}

const JournalJob* HistoryDialog::SelectedJob() const {
  const QList<QTableWidgetItem*> items = table_->selectedItems();
  if (items.isEmpty()) {
    return nullptr;
  }
  const int row = items.front()->row();
  return row >= 0 && row < static_cast<int>(listing_.jobs.size())
             ? &listing_.jobs[static_cast<size_t>(row)]
             : nullptr;
}

bool HistoryDialog::SelectJob(int64_t id) {
  const int row = HistoryRowOf(listing_, id);
  if (row < 0) {
    return false;
  }
  table_->selectRow(row);
  ShowSelected();
  return true;
}

void HistoryDialog::ShowSelected() {
  const JournalJob* job = SelectedJob();
  details_->setPlainText(job != nullptr ? QString::fromStdString(JobDetailsText(*job)) : QString());
  const WriteBackButtonState button = WriteBackButtonFor(job, listing_.fromServer, HostName());
  writeBack_->setEnabled(button.enabled);
  writeBack_->setToolTip(QString::fromStdString(button.tip));
}

void HistoryDialog::OnExportClicked() {
  std::string path;
  if (saveFileChooser_) {
    path = saveFileChooser_();
  } else {
    path = QFileDialog::getSaveFileName(this, QString::fromUtf8(kExportCsvCaption),
                                        QString::fromUtf8(kExportCsvFileName),
                                        QStringLiteral("CSV files (*.csv)"))
               .toStdString();
  }
  if (path.empty()) {
    return;  // cancelled
  }
  const std::string csv = HistoryCsv(listing_.jobs);
  QSaveFile file(QString::fromStdString(path));
  const bool ok =
      file.open(QIODevice::WriteOnly) &&
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      file.commit();
  if (!ok) {
    window_.View().MessageBox(kExportFailedText, MessageIcon::Exclamation, MessageButtons::Ok,
                              path + ": " + file.errorString().toStdString());
  }
}

std::optional<int> HistoryDialog::AskPort(const JournalJob& job) {
  const std::vector<int> ports = window_.PortNumbers();
  const int preselected = window_.State().selectedPort;
  if (portChooser_) {
    return portChooser_(ports, preselected);
  }
  QStringList items;
  for (const int port : ports) {
    items << QStringLiteral("COM%1").arg(port);
  }
  const int current = WriteBackPortIndex(ports, preselected);
  bool ok = false;
  const QString chosen = QInputDialog::getItem(
      this, QString::fromUtf8(kWriteBackButton),
      QString::fromStdString(WriteBackPortQuestion(job.id)), items, current, false, &ok);
  if (!ok || chosen.isEmpty()) {
    return std::nullopt;
  }
  return chosen.mid(3).toInt();
}

void HistoryDialog::OnWriteBackClicked() {
  const JournalJob* job = SelectedJob();
  if (job == nullptr || !HasSavedBackup(*job)) {
    return;
  }
  const int64_t id = job->id;
  // Refused before the port is asked for: the window says why.
  if (!window_.WriteBackAllowed()) {
    return;
  }
  const std::optional<int> port = AskPort(*job);
  if (!port || *port <= 0) {
    return;
  }
  if (window_.StartWriteBack(id, *port)) {
    hide();  // the job's rows and boxes are the window's
  }
}

}  // namespace fw
