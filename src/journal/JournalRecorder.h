#pragma once
// Keeps a job's record in the journal: stands between the job and its front end's view,
// passing every call on and noting the rows (with the time each step took) and the boxes,
// and takes the job's begin, backup, write and end (JobRecorder).
//
// One recorder per job record (UpgradeState); its jobs run one after another. The view's
// calls may come from the worker and the front end's thread at once.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/JobRecorder.h"
#include "core/UpgradeState.h"
#include "core/UpgradeView.h"
#include "journal/Journal.h"
#include "journal/JournalSender.h"

namespace fw {

// A journal shared by the jobs of one program, or why there is none.
struct JournalHandle {
  std::shared_ptr<Journal> journal;  // null when it could not be opened
  std::string path;                  // the local journal
  std::string problem;               // why it could not be opened
  // The journal server's connection string, when there is one (never shown: ServerLabel),
  // and the sender that takes the ended jobs there.
  std::string server;
  std::shared_ptr<JournalSender> sender;
};

// Opens the journal at `path` (empty: the default one) and marks the records of this host's
// dead processes interrupted. A journal server (`path` "postgresql://...") keeps each job
// in the local journal `localPath` (empty: the default one) first; a sender started here
// takes the ended jobs to the server, telling `notice` of its problems.
JournalHandle OpenJournal(const std::string& path, const std::string& localPath = std::string(),
                          std::function<void(const std::string&)> notice = {});

class JournalRecorder : public JobRecorder, public UpgradeView {
 public:
  JournalRecorder(JournalHandle journal, UpgradeView* inner, std::string programVersion);

  void SetInner(UpgradeView* inner);
  const JournalHandle& Handle() const { return journal_; }

  // JobRecorder
  void JobBegun(const UpgradeState& state) override;
  BackupOutcome SaveBackup(const UpgradeState& state, std::span<const uint8_t> readData,
                           std::span<const uint8_t> converted, RecordedFont font) override;
  void WriteCompleted(const UpgradeState& state) override;
  std::optional<int64_t> UnfinishedWrite(const UpgradeState& state) override;
  std::optional<WriteBackPlan> LoadWriteBack(int64_t jobId, std::string& problem) override;
  void JobEnded(const UpgradeState& state) override;
  int64_t JobId() const override;

  // UpgradeView: passed on to the front end's view.
  void InsertRow(int index, const std::string& mark, const std::string& text) override;
  void SetRowText(int index, Column column, const std::string& text) override;
  void DeleteAllRows() override;
  void SetStatusText(const std::string& text) override;
  void EnableControl(Control control, bool enable) override;
  void SetProgressRange(ProgressBar bar, int lower, int upper) override;
  void SetProgressPos(ProgressBar bar, int pos) override;
  MessageResult MessageBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                           const std::string& detail) override;
  void SetWaitCursor(bool wait) override;
  void Post(const JobEvent& event) override;
  void SetTimer(Timer timer, uint32_t periodMs) override;
  void KillTimer(Timer timer) override;
  void HoldThen(JobClock& clock, uint32_t ms, std::function<void()> then) override;

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;
  struct Row {
    std::string mark;
    std::string text;
    SteadyTime begun;
    SteadyTime ended;
    bool open = true;
  };
  void CollectLocked(const UpgradeState& state);
  void StepsLocked();
  bool UpdateLocked();
  UpgradeView* Inner();

  JournalHandle journal_;
  std::string programVersion_;
  mutable std::mutex mutex_;
  UpgradeView* inner_;
  JournalJob job_;
  bool recording_ = false;  // a record was begun for the job
  std::vector<Row> rows_;
};

// The jobs of every bench from the journal server (its `host` names the bench); nullopt with
// `problem` when there is no server or it cannot be read.
std::optional<std::vector<JournalJob>> ServerHistory(const JournalHandle& journal,
                                                     const HistoryFilter& filter,
                                                     std::string& problem);
// The backup job `jobId` of bench `bench` saved, from the journal server: another bench's
// backup may be written back here.
std::optional<WriteBackPlan> LoadServerWriteBack(const JournalHandle& journal,
                                                 const std::string& bench, int64_t jobId,
                                                 std::string& problem);

// Puts a recorder between `state` and its front end's `view`, keeping the records in
// `journal`. Returns the recorder (also held by the state).
std::shared_ptr<JournalRecorder> AttachJournal(UpgradeState& state, const JournalHandle& journal,
                                               UpgradeView* view,
                                               const std::string& programVersion);

}  // namespace fw
