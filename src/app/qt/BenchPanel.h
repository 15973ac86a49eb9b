#pragma once
// The window's bench: one panel per chosen COM port, each with its own job record on the
// window's installation and its own view, so that the radios on several ports are upgraded
// at the same time. A panel shows its port and device, the radio's model once known, the
// job's status rows, status text and progress bar, and its own "Upgrade" and "Stop"; the
// board above the panels has "Upgrade all".
//
// Each panel's worker reaches the window only through the panel's view: its rows, texts and
// bars go to that panel, and its message boxes block nobody but that worker. In run mode 5
// each panel repeats on its own (10 s after the bench opens, 40 s after each completed job);
// the jobs of all panels share one count of completed jobs ("UpdateTimes").

#include <QGroupBox>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/QtUpgradeView.h"
#include "app/window/BenchJobs.h"
#include "app/window/DialogHooks.h"
#include "core/UpgradeState.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QTableWidget;
class QTimer;

namespace fw {

class TextProgressBar;
class UpgradeDialog;

class BenchPanel : public QGroupBox, public ViewTarget {
  Q_OBJECT

 public:
  // A panel for COM `port` on the window's installation; its job's fixed waits run on the
  // window's job clock; completed jobs are counted in `jobCount`.
  BenchPanel(UpgradeDialog& dialog, const DialogHooks& hooks, int port,
             std::shared_ptr<CompletedJobCount> jobCount, QWidget* parent);
  ~BenchPanel() override;

  int Port() const { return port_; }
  UpgradeState& State() { return *state_; }
  QtUpgradeView& View() { return view_; }
  QPushButton* UpgradeButton() const { return upgradeButton_; }
  QPushButton* StopButton() const { return stopButton_; }
  QTableWidget* StatusList() const { return statusList_; }
  QLabel* StatusText() const { return statusText_; }
  QLabel* ModelText() const { return modelText_; }
  TextProgressBar* Progress() const { return progress_; }
  bool TimerActive(Timer timer) const;

  bool JobRunning() const;
  // Starts this panel's job with the window's present choices (as "Upgrade" does).
  void OnUpgradeClicked();
  // Stops this panel's job (and its repeating) only; its open boxes are answered.
  void OnStopClicked();
  // The window is closing: no more boxes, the open ones answered, the job asked to stop.
  void BeginClosing();
  void JoinJob();
  // Enables "Stop" while the job runs or waits for its next start, "Upgrade" once it ended.
  void RefreshButtons();

  Q_INVOKABLE void RunQueuedViewCalls();

  // The view's target.
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
  void OnJobEvent(const JobEvent& event) override;
  int BoxPort() const override { return port_; }
  QString BoxTitle() const override;
  bool BoxesBlockWindow() const override { return false; }
  void WorkerWaiting() override;

 private:
  void Prepare();
  void ShowModel();

  UpgradeDialog& dialog_;
  const DialogHooks& hooks_;
  const int port_;
  std::unique_ptr<UpgradeState> state_;
  QtUpgradeView view_;
  std::map<Timer, QTimer*> timers_;

  QLabel* modelText_ = nullptr;
  QPushButton* upgradeButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QLabel* statusText_ = nullptr;
  TextProgressBar* progress_ = nullptr;
  QTableWidget* statusList_ = nullptr;
};

// "Upgrade all" and the panels, one under the other in a scrolling area.
class BenchBoard : public QWidget {
  Q_OBJECT

 public:
  // `jobCount`: the window's count of completed jobs, which the panels' jobs go on counting.
  BenchBoard(UpgradeDialog& dialog, const DialogHooks& hooks, const std::vector<int>& ports,
             std::shared_ptr<CompletedJobCount> jobCount, QWidget* parent);
  ~BenchBoard() override;

  const std::vector<BenchPanel*>& Panels() const { return panels_; }
  BenchPanel* Panel(int port) const;
  QPushButton* UpgradeAllButton() const { return upgradeAll_; }
  const CompletedJobCount& JobCount() const { return *jobCount_; }
  // The height the board needs in dialog units (at most three panels show at once).
  static int HeightUnits(size_t panels);

  // Starts the job of every panel whose job is not running, one after the other from the
  // window's event loop.
  void OnUpgradeAllClicked();
  // Run mode 5: each panel starts its first job 10 s from now.
  void ArmAutoStart();
  bool AnyJobRunning() const;
  // Whether some panel's last job did not succeed (or is still running).
  bool AnyJobUnfinished() const;
  // Stops every job, keeps serving their calls until each has ended, and joins them all.
  void StopAllAndWait();

 private:
  std::shared_ptr<CompletedJobCount> jobCount_;
  std::vector<BenchPanel*> panels_;
  QPushButton* upgradeAll_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QTimer* refresh_ = nullptr;
};

}  // namespace fw
