#pragma once
// The window's "History": the jobs of the job journal, newest first, filtered by a text
// (found in the radio's model, identity, model identifier or text fields) and a date; the
// chosen job's details; "Export CSV..." of the jobs listed; and "Write back", which starts a
// write-back of the chosen job's saved data in the main window. It blocks nothing: the
// window and its jobs go on while it is open. What it lists and says is the shared
// HistoryView's; this dialog only shows it.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/window/HistoryView.h"
#include "journal/Journal.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace fw {

class UpgradeDialog;

class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  HistoryDialog(UpgradeDialog& window, QWidget* parent);

  // Reads the jobs again with the filter as it stands; the chosen job stays chosen.
  void Refresh();
  const std::vector<JournalJob>& Jobs() const { return listing_.jobs; }
  // The job of the chosen row (nullptr when none is chosen).
  const JournalJob* SelectedJob() const;
  // Chooses the row of job `id`; false when it is not listed.
  bool SelectJob(int64_t id);

  QTableWidget* Table() const { return table_; }
  QLineEdit* FilterEdit() const { return filter_; }
  QCheckBox* SinceCheck() const { return sinceCheck_; }
  QDateEdit* SinceEdit() const { return since_; }
  QPlainTextEdit* Details() const { return details_; }
  QPushButton* ExportButton() const { return export_; }
  QPushButton* WriteBackButton() const { return writeBack_; }

  void OnExportClicked();
  void OnWriteBackClicked();

  // Replace the save-file dialog of "Export CSV..." and the port question of "Write back"
  // (tests); an empty function restores the dialog. The chooser gets the port list's
  // numbers and the one to preselect; nullopt or "" is a cancel.
  void SetSaveFileChooser(std::function<std::string()> chooser) {
    saveFileChooser_ = std::move(chooser);
  }
  void SetPortChooser(std::function<std::optional<int>(const std::vector<int>&, int)> chooser) {
    portChooser_ = std::move(chooser);
  }

 private:
  void ShowSelected();
  std::optional<int> AskPort(const JournalJob& job);

  UpgradeDialog& window_;
  HistoryListing listing_;
  QLineEdit* filter_ = nullptr;
  QCheckBox* sinceCheck_ = nullptr;
  QDateEdit* since_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* details_ = nullptr;
  QLabel* problem_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* writeBack_ = nullptr;
  std::function<std::string()> saveFileChooser_;
  std::function<std::optional<int>(const std::vector<int>&, int)> portChooser_;
};

}  // namespace fw
