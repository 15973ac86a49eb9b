// The window's start-up and closing as both windows run them: what is asked in which order,
// what the command line wins over, and that closing writes the settings only after every
// job has ended, and never when the technician answers the exit question with Cancel.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/window/WindowSequence.h"
#include "app/window/WindowTexts.h"
#include "journal/Journal.h"
#include "support/JournalJobs.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"

namespace fw {
namespace {

// Records what the sequence asks of the window's controls.
class RecordingControls : public WindowControls {
 public:
  std::vector<std::string> calls;
  bool ports = true;
  bool benchUnfinished = false;
  bool chipChecked = false;

  void WriteControls() override { calls.push_back("write"); }
  void AddMenuItems() override { calls.push_back("menu"); }
  void LayOutStatusList() override { calls.push_back("list"); }
  void ScanPorts() override { calls.push_back("scan"); }
  bool HasPorts() const override { return ports; }
  void SetWarningLine(const std::string& text) override { calls.push_back("warning " + text); }
  void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
  void FillVocoderList(int selected) override {
    calls.push_back("vocoder " + std::to_string(selected));
  }
  void SelectSavedPort() override { calls.push_back("select"); }
  void ShowRunModeControl(int mode) override { calls.push_back("mode " + std::to_string(mode)); }
  void SetUpdateChipChecked(bool checked) override {
    calls.push_back(checked ? "chip on" : "chip off");
  }
  bool UpdateChipChecked() const override { return chipChecked; }
  bool OpenBench() override {
    calls.push_back("bench");
    return true;
  }
  void Enable(Control control, bool enable) override {
    calls.push_back((enable ? "enable " : "disable ") + std::to_string(static_cast<int>(control)));
  }
  void SetStatusLine(const std::string& text) override { calls.push_back("status " + text); }
  void StartWindowTimer(Timer, uint32_t periodMs) override {
    calls.push_back("timer " + std::to_string(periodMs));
  }
  bool BenchUnfinished() const override { return benchUnfinished; }
  void StopBenchAndWait() override { calls.push_back("stop bench"); }
  void StopJobAndWait() override { calls.push_back("stop job"); }

  bool Has(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  size_t IndexOf(const std::string& call) const {
    return static_cast<size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
  }
};

struct Sequence {
  std::unique_ptr<UpgradeState> owned = std::make_unique<UpgradeState>();
  UpgradeState& state = *owned;
  DialogHooks hooks;
  test::RecordingView view;
  RecordingControls window;
  WindowSession session{state, hooks, view};

  Sequence() {
    hooks.saveSettings = [this](UpgradeState&) { window.calls.push_back("save settings"); };
    hooks.saveBench = [this](UpgradeState&, const BenchChoice& bench) {
      window.calls.push_back(std::string("save bench ") + (bench.on ? "on" : "off"));
    };
  }
};

TEST(WindowSequence, ClosingWritesTheSettingsOnlyAfterEveryJobEndedAndNeverOnCancel) {
  Sequence s;
  s.state.resultOk = 0;  // the last job did not succeed: the technician is asked
  s.view.SetBoxAnswer(MessageResult::Cancel);
  EXPECT_FALSE(RunWindowClosing(s.window, s.session));
  ASSERT_EQ(s.view.Boxes().size(), 1u);
  EXPECT_EQ(s.view.Boxes()[0].text, kExitQuestionText);
  EXPECT_TRUE(s.window.calls.empty());  // nothing stopped, nothing written
  EXPECT_FALSE(s.session.exiting);

  s.view.SetBoxAnswer(MessageResult::Ok);
  s.session.bench.on = true;
  EXPECT_TRUE(RunWindowClosing(s.window, s.session));
  EXPECT_EQ(s.window.calls,
            (std::vector<std::string>{"stop bench", "stop job", "save settings", "save bench on"}));
  EXPECT_EQ(s.state.resultOk, 1);
  // A second close (the close box while the window goes) does nothing more.
  EXPECT_FALSE(RunWindowClosing(s.window, s.session));
  EXPECT_EQ(s.window.calls.size(), 4u);

  // A bench panel's unfinished job asks too, although the window's own job succeeded.
  Sequence bench;
  bench.state.resultOk = 1;
  bench.window.benchUnfinished = true;
  bench.view.SetBoxAnswer(MessageResult::Cancel);
  EXPECT_FALSE(RunWindowClosing(bench.window, bench.session));
  EXPECT_EQ(bench.view.Boxes().size(), 1u);
  // Nothing unfinished: no question at all.
  Sequence done;
  done.state.resultOk = 1;
  EXPECT_TRUE(RunWindowClosing(done.window, done.session));
  EXPECT_TRUE(done.view.Boxes().empty());
}

TEST(WindowSequence, StartupTakesTheCommandLinesBenchAndTheSettingsCaption) {
  Sequence s;
  int benchLoads = 0;
  s.hooks.loadSettings = [](UpgradeState& state) {
    LoadingInstallation(state).readWriteLog = 5;  // unattended repeat mode
    return std::string("Bench 4");
  };
  s.hooks.loadBench = [&](UpgradeState&) {
    ++benchLoads;
    return BenchChoice{};
  };
  s.session.bench.on = true;
  s.session.benchRequested = true;
  EXPECT_EQ(RunWindowStartup(s.window, s.session), 21);
  EXPECT_EQ(benchLoads, 0);  // "--bench" wins over the settings file
  EXPECT_TRUE(s.session.startupDone);
  EXPECT_TRUE(s.window.Has("caption Bench 4"));
  EXPECT_TRUE(s.window.Has("bench"));
  // On the bench each panel starts its own first job: the window's timer is not started.
  EXPECT_FALSE(s.window.Has("timer " + std::to_string(kAutoStartPeriodMs)));
  EXPECT_EQ(s.state.view, &s.view);

  // Without the bench, run mode 5 starts the first job by the window's timer.
  Sequence single;
  single.hooks.loadSettings = s.hooks.loadSettings;
  EXPECT_EQ(RunWindowStartup(single.window, single.session), 21);
  EXPECT_TRUE(single.window.Has("timer " + std::to_string(kAutoStartPeriodMs)));
  EXPECT_TRUE(single.window.Has("select"));
  EXPECT_LT(single.window.IndexOf("enable " + std::to_string(static_cast<int>(Control::Upgrade))),
            single.window.IndexOf("select"));
}

TEST(WindowSequence, StartupWithoutPortsRefusesUpgradeAndStopsAtAMissingCharacterList) {
  Sequence s;
  s.window.ports = false;
  s.hooks.loadSettings = [](UpgradeState& state) {
    LoadingInstallation(state).readWriteLog = 3;  // firmware only
    return std::string();
  };
  s.hooks.buildFonts = [](UpgradeState&) { return false; };
  EXPECT_EQ(RunWindowStartup(s.window, s.session), 18);
  EXPECT_TRUE(s.window.Has("disable " + std::to_string(static_cast<int>(Control::Upgrade))));
  EXPECT_TRUE(s.window.Has("disable " + std::to_string(static_cast<int>(Control::HexFile))));
  EXPECT_FALSE(s.window.Has("select"));
  EXPECT_FALSE(s.window.Has("mode 3"));  // no port: the run mode's control stays hidden
  EXPECT_FALSE(s.session.startupDone);
  for (const std::string& call : s.window.calls) {
    EXPECT_NE(call.rfind("caption", 0), 0u) << "an empty caption is not set";
  }

  // With ports, firmware-only mode shows its box checked: the record holds it before the
  // controls are written.
  Sequence ports;
  ports.hooks.loadSettings = s.hooks.loadSettings;
  EXPECT_EQ(RunWindowStartup(ports.window, ports.session), 21);
  EXPECT_EQ(ports.state.firmwareOnly, 1);
  EXPECT_TRUE(ports.window.Has("mode 3"));
}

// "Write back" from the History, as both windows start it: refused (said in a box) while a
// job runs, on the bench, without an installation; saved settings that cannot be read start
// nothing; the job it starts writes the saved data to the port chosen, on the window's own
// record, and the technician's "Update chip" box is kept for what comes after.
TEST(WindowSequence, WriteBackIsRefusedSaidOrStartedOnTheChosenPort) {
  test::TempDir dir;
  std::string error;
  std::shared_ptr<Journal> journal = Journal::Open(dir.Path() + "journal.db", error);
  ASSERT_TRUE(journal) << error;
  auto newJob = [] {
    JournalJob job = test::NewJournalJob("radio-7", "success");
    job.identityHex = "4b56383600";
    return job;
  };
  JournalJob saved = newJob();
  const std::vector<uint8_t> data(300, 0x5A);
  ASSERT_TRUE(journal->BeginJob(saved));
  ASSERT_TRUE(journal->SaveBackup(saved, data, data));
  JournalJob unsaved = newJob();
  ASSERT_TRUE(journal->BeginJob(unsaved));  // no backup

  Sequence s;
  std::vector<int> started;  // the port of each job started
  s.hooks.startJob = [&](UpgradeState& state) {
    started.push_back(state.selectedPort);
    EXPECT_EQ(state.updateChip, 0) << "a write-back never programs the chip";
  };
  s.hooks.jobRunning = [&](const UpgradeState&) { return !started.empty(); };
  s.state.updateChip = 1;
  s.window.chipChecked = true;
  s.state.selectedPort = 1;

  // No journal to read from: nothing is said (there is no History to ask from).
  EXPECT_FALSE(StartWindowWriteBack(s.window, s.session, {}, saved.id, 4));
  EXPECT_TRUE(s.view.Boxes().empty());

  s.session.journal.recorder = std::make_shared<JournalRecorder>(
      JournalHandle{journal, dir.Path() + "journal.db", "", "", nullptr}, &s.view, "test");
  const WriteBackGate noFolder{false, false, "There is no installation in this folder."};
  EXPECT_FALSE(WindowWriteBackAllowed(s.session, noFolder));
  EXPECT_FALSE(StartWindowWriteBack(s.window, s.session, noFolder, saved.id, 4));
  ASSERT_EQ(s.view.Boxes().size(), 2u);
  EXPECT_EQ(s.view.Boxes()[1].text, "There is no installation in this folder.");
  EXPECT_FALSE(StartWindowWriteBack(s.window, s.session, {true, false, ""}, saved.id, 4));
  EXPECT_EQ(s.view.Boxes().back().text, "A job is running. Write back when it has ended.");

  // A job without saved settings: said, with the journal's reason, and nothing changed.
  EXPECT_FALSE(StartWindowWriteBack(s.window, s.session, {}, unsaved.id, 4));
  EXPECT_EQ(s.view.Boxes().back().text,
            "The saved settings of job " + std::to_string(unsaved.id) + " cannot be read.");
  EXPECT_FALSE(s.view.Boxes().back().detail.empty());
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(s.state.selectedPort, 1);
  EXPECT_EQ(s.state.writeBack, nullptr);

  const size_t boxes = s.view.Boxes().size();
  EXPECT_TRUE(StartWindowWriteBack(s.window, s.session, {}, saved.id, 4));
  EXPECT_EQ(s.view.Boxes().size(), boxes);
  EXPECT_EQ(started, (std::vector<int>{4}));
  EXPECT_TRUE(s.window.Has("select"));  // the port list shows the port written to
  ASSERT_NE(s.state.writeBack, nullptr);
  EXPECT_EQ(s.state.writeBack->sourceJob, saved.id);
  EXPECT_EQ(s.state.writeBack->data, data);
  EXPECT_EQ(s.state.updateChip, 1);  // the box as the technician left it

  // While the window closes, nothing more starts.
  s.session.exiting = true;
  EXPECT_FALSE(StartWindowWriteBack(s.window, s.session, {}, saved.id, 4));
  EXPECT_EQ(started.size(), 1u);
}

}  // namespace
}  // namespace fw
