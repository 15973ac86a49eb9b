#pragma once
// The program's main window: the controls through which the user picks a COM port,
// starts an upgrade and watches its progress; the start-up sequence; the exit question.
// It owns the UpgradeState and the window's UpgradeView.

#include <QDialog>
#include <QHash>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/qt/DialogUnits.h"
#include "app/qt/PortList.h"
#include "app/qt/QtUpgradeView.h"
#include "app/window/BenchOptions.h"
#include "app/window/DialogHooks.h"
#include "app/window/HistoryView.h"
#include "app/window/JournalOptions.h"
#include "app/window/WindowSequence.h"
#include "app/window/WindowTexts.h"
#include "core/UpgradeState.h"
#include "journal/JournalRecorder.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class QAction;

namespace fw {

class BenchBoard;
class HistoryDialog;
class TextProgressBar;

class UpgradeDialog : public QDialog, public ViewTarget, public WindowControls {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = kWindowCaption;
  static constexpr const char* kCreationStatus = "Click \"Upgrade\"  button to start ... ";
  static constexpr const char* kUsualStatus = kUsualStatusText;
  static constexpr const char* kChipOnlyStatus = kChipOnlyStatusText;
  static constexpr const char* kWarningLine = kWarningLineText;
  static constexpr const char* kExitQuestion = kExitQuestionText;
  static constexpr const char* kImageTooLarge = kImageTooLargeText;
  static constexpr const char* kCommError = kCommErrorText;
  static constexpr const char* kAboutItem = kAboutItemText;
  static constexpr const char* kHistoryItem = kHistoryItemText;
  static constexpr const char* kJournalProblem = kJournalProblemText;
  static constexpr const char* kNoBackupConsequence = kNoBackupConsequenceText;
  static constexpr const char* kNoRecordConsequence = kNoRecordConsequenceText;
  static constexpr const char* kWriteBackWhileRunning = kWriteBackWhileRunningText;
  static constexpr const char* kWriteBackOnBench = kWriteBackOnBenchText;

  explicit UpgradeDialog(DialogHooks hooks = DefaultDialogHooks(), QWidget* parent = nullptr);
  ~UpgradeDialog() override;

  // The start-up sequence; returns the number of the last step that ran (21 when all
  // ran, 13 or 18 when start-up ended early).
  int Startup();

  UpgradeState& State() { return *state_; }
  QtUpgradeView& View() { return view_; }
  PortList& Ports() { return *ports_; }
  // The control with this resource number (nullptr when there is none).
  QWidget* Control(int id) const;
  // A named control.
  QWidget* Control(fw::Control control) const;
  QTableWidget* StatusList() const { return statusList_; }
  TextProgressBar* MainProgress() const { return mainProgress_; }
  const DialogUnits& Units() const { return units_; }
  bool TimerActive(Timer timer) const;
  QAction* AboutAction() const { return aboutAction_; }
  QAction* HistoryAction() const { return historyAction_; }
  // The window's context menu as it opens now: "About", "History" (when the window keeps
  // records), "Bench mode".
  std::vector<QAction*> ContextMenuActions();

  // Dialog data exchange: controls -> state record, and back.
  void ReadControls();
  void WriteControls() override;

  // Window-thread operations behind the view.
  QWidget* TargetWidget() override { return this; }
  void InsertStatusRow(int index, const std::string& mark, const std::string& text) override;
  void SetStatusRowText(int index, Column column, const std::string& text) override;
  void DeleteStatusRows() override;
  void SetStatusLine(const std::string& text) override;
  void Enable(fw::Control control, bool enable) override;
  void SetProgressRange(ProgressBar bar, int lower, int upper) override;
  void SetProgressPos(ProgressBar bar, int pos) override;
  void StartWindowTimer(Timer timer, uint32_t periodMs) override;
  void StopWindowTimer(Timer timer) override;
  int BoxPort() const override { return state_->selectedPort; }
  QString BoxTitle() const override { return windowTitle(); }

  // The bench: one panel per chosen port, each running its own job (app/qt/BenchPanel.h).
  // Before Startup: the choice of the command line, which wins over the settings file's.
  void RequestBench(const BenchChoice& choice);
  // On or off (refused while a job runs); the ports are the chosen ones or, when none
  // were chosen, every port the scan found. Returns whether the bench is now on.
  bool SetBenchMode(bool on);
  bool BenchMode() const { return bench_ != nullptr; }
  BenchBoard* Bench() const { return bench_; }
  const BenchChoice& BenchSettings() const { return session_.bench; }
  // The ports the bench shows when it opens.
  std::vector<int> BenchPorts() const;
  QAction* BenchAction() const { return benchAction_; }
  bool Exiting() const { return session_.exiting; }
  // The COM numbers of the port list's entries, in order.
  std::vector<int> PortNumbers() const;

  // The job journal. Before Startup: the command line's choice (--journal, --no-backup).
  void RequestJournal(const JournalChoice& choice) { session_.journalChoice = choice; }
  // After Startup: the journal the window's jobs keep their records in (null when the hooks
  // open none), shared by the bench panels, and whether radios are written without a backup.
  const JournalHandle* Journal() const { return session_.journal.handle.get(); }
  bool SkipBackup() const { return session_.journal.skipBackup; }
  // The window's own record's recorder (null without a journal).
  JournalRecorder* Recorder() const { return session_.journal.recorder.get(); }
  // The "History" item: shows the journal's jobs (a dialog that blocks nothing), refreshed.
  HistoryDialog* ShowHistory();
  HistoryDialog* History() const { return history_; }
  // Starts a job on the window's record that writes back the saved data of job `jobId`
  // on COM `port`, as "Upgrade" starts a job: its rows and boxes are the window's. Refused,
  // said in a box, while any job runs or on the bench, or when the data cannot be had.
  // Returns whether the job started.
  bool StartWriteBack(int64_t jobId, int port);
  // Whether a write-back may start now; when not, a box says why (a job runs, the bench,
  // the installation's problem).
  bool WriteBackAllowed();
  // Any job, the window's own or a panel's.
  bool AnyJobRunning() const;
  const std::string& InstallationProblem() const { return installationProblem_; }

  // The folder the window runs on holds no installation: "Upgrade" is disabled, the status
  // text names the problem, and a click (after a rescan enabled it) shows it again instead of
  // starting a job.
  void SetInstallationProblem(const std::string& problem);

  // Handlers (public so that the program and the tests can drive them).
  void OnUpgradeClicked();
  void OnTimer(Timer timer);
  void OnChipOnlyClicked();
  void OnUpdateChipClicked();
  void OnFirmwareOnlyClicked();
  void OnVocoderChanged(int index);
  void OnHexFileClicked();
  void OnJobEvent(const JobEvent& event) override;
  // Runs what other threads queued through the view (invoked by name from the view).
  Q_INVOKABLE void RunQueuedViewCalls();
  // The Cancel command (close box, Escape, button 2). Returns true when the window ends.
  bool OnCancel();
  void ShowAbout();

  // Voice prompts (buttons 1021, 1022, 1024 and edit 1023, created hidden). Each runs on
  // the window's thread; none runs while a job uses the radio link.
  void OnReadWavClicked();
  void OnWriteWavClicked();
  // Asks for a voice file (empty when cancelled), loads it and shows its path in 1023.
  void OnOpenWavClicked();
  // Replaces the file-open dialog of OnOpenWavClicked (for tests); empty restores it.
  void SetWavFileChooser(std::function<std::string()> chooser) {
    wavFileChooser_ = std::move(chooser);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef _WIN32
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

 public slots:
  void reject() override;

 private:
  void CreateControls();
  void Place(QWidget* w, int id, const char* name, int x, int y, int width, int height);
  // What start-up and closing (app/window/WindowSequence) ask of the controls.
  void AddMenuItems() override;
  void LayOutStatusList() override;
  void ScanPorts() override;
  bool HasPorts() const override;
  void SetWarningLine(const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  void FillVocoderList(int selected) override;
  void SelectSavedPort() override;
  void ShowRunModeControl(int mode) override;
  void SetUpdateChipChecked(bool checked) override;
  bool UpdateChipChecked() const override;
  bool OpenBench() override {
    return SetBenchMode(true);
  }
  bool BenchUnfinished() const override;
  void StopBenchAndWait() override;
  void AddAboutItem();
  // Stops a running job and waits for it while the window keeps serving its calls.
  void StopJobAndWait() override;
  bool JobRunning() const;
  // The single port's controls, shown without the bench and hidden with it.
  void ShowSinglePortControls(bool show);

  DialogHooks hooks_;
  std::function<std::string()> wavFileChooser_;
  std::unique_ptr<UpgradeState> state_;
  QtUpgradeView view_;
  DialogUnits units_;
  std::unique_ptr<PortList> ports_;
  std::map<int, QWidget*> controls_;
  std::map<Timer, QTimer*> timers_;
  // The bench choice, the journal, and how far start-up and closing have come.
  WindowSession session_{*state_, hooks_, view_};
  std::string installationProblem_;
  BenchBoard* bench_ = nullptr;
  QAction* benchAction_ = nullptr;
  QLabel* portLabel_ = nullptr;

  QPushButton* exitButton_ = nullptr;
  QPushButton* upgradeButton_ = nullptr;
  QGroupBox* group_ = nullptr;
  PortCombo* portCombo_ = nullptr;
  QLabel* statusText_ = nullptr;
  TextProgressBar* mainProgress_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  QPushButton* hexFileButton_ = nullptr;
  QLineEdit* hexFileText_ = nullptr;
  QTableWidget* statusList_ = nullptr;
  QLabel* warningLine_ = nullptr;
  QCheckBox* chipOnlyCheck_ = nullptr;
  QComboBox* vocoderCombo_ = nullptr;
  QLabel* modelLabel_ = nullptr;
  QProgressBar* secondProgress_ = nullptr;
  QLabel* vocoderLabel_ = nullptr;
  QCheckBox* firmwareOnlyCheck_ = nullptr;
  QCheckBox* updateChipCheck_ = nullptr;
  QLineEdit* wavFileText_ = nullptr;
  QPushButton* openWavButton_ = nullptr;
  QPushButton* readWavButton_ = nullptr;
  QPushButton* writeWavButton_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* historyAction_ = nullptr;
  HistoryDialog* history_ = nullptr;
};

}  // namespace fw
