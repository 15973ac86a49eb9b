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
#include <cstdio>

#include "app/HeadlessHistory.h"
#include "app/qt/UpgradeDialog.h"
#include "journal/JournalRecorder.h"

namespace fw {
namespace {

std::string Or(const std::string& text, const char* none = "-") {
  return text.empty() ? std::string(none) : text;
}

std::string YesNo(bool value) {
  return value ? "yes" : "no";
}

}  // namespace

std::string JobDetailsText(const JournalJob& j) {
  std::string s;
  const auto line = [&s](const std::string& name, const std::string& value) {
    s += name + ": " + Or(value) + "\n";
  };
  line("Job", std::to_string(j.id));
  line("Unique id", j.uid);
  line("Kind", j.kind);
  line("Result", j.result);
  line("Started (UTC)", j.startedUtc);
  line("Ended (UTC)", j.endedUtc);
  line("Host", j.host);
  line("User", j.user);
  line("Process", std::to_string(j.pid));
  line("Program version", j.programVersion);
  line("Installation", j.installation);
  line("Port", j.port > 0 ? "COM" + std::to_string(j.port) : std::string());
  line("Device", j.device);
  line("Adapter", j.adapter);
  line("Identify reply", j.identifyReply);
  line("Radio model", j.radioModel);
  line("Identity", j.identityText);
  line("Identity (hex)", j.identityHex);
  line("Model id", j.modelId);
  line("Area", j.area);
  line("Text 1", j.infoText1);
  line("Text 2", j.infoText2);
  line("Text 3", j.infoText3);
  line("Date 1", j.infoDate1);
  line("Date 2", j.infoDate2);
  line("Radio key", j.radioKey);
  line("Firmware version", j.firmwareVersion >= 0 ? std::to_string(j.firmwareVersion) : "");
  line("Read attempts", std::to_string(j.readAttempts));
  line("Chip attempts", std::to_string(j.chipAttempts));
  line("Backup", j.backup);
  line("Read data SHA-256", j.readSha256);
  line("Converted data SHA-256", j.convertedSha256);
  char font[64];
  std::snprintf(font, sizeof font, "source %d, language 0x%04X", j.fontSource, j.fontLanguage);
  line("Font", font);
  line("Write started", YesNo(j.writeStarted));
  line("Write completed", YesNo(j.writeCompleted));
  line("Write-back of",
       j.writeBackOf != 0 ? "job " + std::to_string(j.writeBackOf) : j.writeBackFile);
  line("Ended at row", j.failedRow);
  line("Last box", j.boxText);
  s += "Files:\n";
  for (const JournalFile& f : j.files) {
    s += "  " + f.role + ": " + f.path + ", " +
         (f.size >= 0 ? std::to_string(f.size) + " bytes, SHA-256 " + Or(f.sha256)
                      : std::string("could not be read")) +
         "\n";
  }
  s += "Steps:\n";
  for (const JournalStep& step : j.steps) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f s", step.seconds);
    s += "  " + step.mark + ", " + seconds + ": " + step.text + "\n";
  }
  s += "Boxes:\n";
  for (const JournalBox& b : j.boxes) {
    s += "  " + b.text + (b.detail.empty() ? std::string() : " (" + b.detail + ")") + "\n";
  }
  return s;
}

HistoryDialog::HistoryDialog(UpgradeDialog& window, QWidget* parent)
    : QDialog(parent), window_(window) {
  setWindowTitle(QString::fromUtf8(kHistoryCaption));
  setObjectName(QStringLiteral("historyDialog"));
  setWindowModality(Qt::NonModal);
  resize(900, 560);

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("historyFilter"));
  filter_->setPlaceholderText(QStringLiteral("Radio model, identity, model id or text"));
  filter_->setClearButtonEnabled(true);
  sinceCheck_ = new QCheckBox(QStringLiteral("Since"), this);
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
  jobs_.clear();
  const JournalHandle* journal = window_.Journal();
  if (journal == nullptr || journal->journal == nullptr) {
    problem_->setText(QString::fromStdString(
        journal == nullptr ? std::string("No job journal is kept.") : journal->problem));
    problem_->show();
  } else {
    HistoryFilter filter;
    filter.radio = filter_->text().trimmed().toStdString();
    if (sinceCheck_->isChecked()) {
      filter.since = since_->date().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    }
    fromServer_ = false;
    problem_->hide();
    if (!journal->server.empty()) {
      // A line's journal server lists every bench's jobs; when it cannot be read, this
      // bench's own are shown, and said to be only those.
      std::string problem;
      if (auto jobs = ServerHistory(*journal, filter, problem)) {
        jobs_ = std::move(*jobs);
        fromServer_ = true;
      } else {
        problem_->setText(
            QString::fromStdString("Only the local journal " + journal->path +
                                   " is shown (this bench's jobs, not the line's): " + problem));
        problem_->show();
      }
    }
    if (!fromServer_) {
      jobs_ = journal->journal->History(filter);
    }
  }
  const QSignalBlocker block(table_);
  table_->clearContents();
  table_->setRowCount(static_cast<int>(jobs_.size()));
  for (size_t r = 0; r < jobs_.size(); ++r) {
    const std::vector<std::string> cells = HistoryTableRow(jobs_[r], fromServer_);
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
  return row >= 0 && row < static_cast<int>(jobs_.size()) ? &jobs_[static_cast<size_t>(row)]
                                                          : nullptr;
}

bool HistoryDialog::SelectJob(int64_t id) {
  for (size_t r = 0; r < jobs_.size(); ++r) {
    if (jobs_[r].id == id) {
      table_->selectRow(static_cast<int>(r));
      ShowSelected();
      return true;
    }
  }
  return false;
}

void HistoryDialog::ShowSelected() {
  const JournalJob* job = SelectedJob();
  details_->setPlainText(job != nullptr ? QString::fromStdString(JobDetailsText(*job)) : QString());
  // Another bench's job (from the journal server) is written back by its bench/job name
  // from the headless program; the window writes back this bench's own.
  const bool otherBench = job != nullptr && fromServer_ && job->host != HostName();
  writeBack_->setEnabled(job != nullptr && HasSavedBackup(*job) && !otherBench);
  writeBack_->setToolTip(
      otherBench ? QString::fromStdString("A job of another bench: Flashwright --headless --port "
                                          "N --restore " +
                                          job->host + "/" + std::to_string(job->id))
                 : QString());
}

void HistoryDialog::OnExportClicked() {
  std::string path;
  if (saveFileChooser_) {
    path = saveFileChooser_();
  } else {
    path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                        QStringLiteral("flashwright-history.csv"),
                                        QStringLiteral("CSV files (*.csv)"))
               .toStdString();
  }
  if (path.empty()) {
    return;  // cancelled
  }
  const std::string csv = HistoryCsv(jobs_);
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
  int current = 0;
  for (size_t i = 0; i < ports.size(); ++i) {
    items << QStringLiteral("COM%1").arg(ports[i]);
    if (ports[i] == preselected) {
      current = static_cast<int>(i);
    }
  }
  bool ok = false;
  const QString chosen = QInputDialog::getItem(
      this, QString::fromUtf8(kWriteBackButton),
      QStringLiteral("Write the saved settings of job %1 to the radio on:").arg(job.id), items,
      current, false, &ok);
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
