// The main window and jobs: the auto-start timer, the exit question, stopping a running job on
// close, the view's calls from a worker, box details. The bench: its options and settings
// keys, switching it in the menu, stopping one panel's job, closing with jobs running.

#include <QAction>

#include "WindowTestSupport.h"
#include "app/qt/BenchPanel.h"
#include "app/window/BenchOptions.h"
#include "app/window/JournalOptions.h"
#include "platform/FileIo.h"
#include "platform/Profile.h"
#include "support/TempDir.h"

using namespace fw;
using fw::test::NextTabStop;
using fw::test::Recorder;
using fw::test::Visible;

class WindowJobTest : public QObject {
  Q_OBJECT

 private:
  test::WindowPorts ports_;

  void MapPorts(std::initializer_list<int> numbers) { QVERIFY(ports_.Map(numbers)); }

 private slots:
  void init() { ports_.Reset(); }
  void cleanup() { ports_.Reset(); }

  void autoStartTimerStartsOneJob() {
    MapPorts({2});
    Recorder r;
    r.runMode = 5;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    QTimer* timer = nullptr;
    for (QTimer* t : d.findChildren<QTimer*>()) {
      if (t->isActive()) {
        timer = t;
      }
    }
    QVERIFY(timer != nullptr);
    QCOMPARE(timer->interval(), 10000);
    QCOMPARE(r.startJobs, 0);
    QMetaObject::invokeMethod(timer, "timeout");
    QCOMPARE(r.startJobs, 1);
    // The window read its controls and the port before the job started.
    QCOMPARE(d.State().selectedPort.load(), 2);
  }

  void autoStartTimerRunsARealJobThatClosingStops() {
    MapPorts({2});
    test::FakeClockScope clock;  // the job's fixed waits cost nothing
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [](UpgradeState& s) {
      LoadingInstallation(s).readWriteLog = 5;
      s.firmwareOnly = 1;
      return std::string();
    };
    hooks.buildFonts = [](UpgradeState&) { return true; };
    hooks.saveSettings = [](UpgradeState&) {};
    Recorder r;
    UpgradeDialog d(std::move(hooks));
    clock.Attach(d.State().job.clock);
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QVERIFY(d.TimerActive(Timer::AutoStart));
    d.OnTimer(Timer::AutoStart);
    // The job started: its timer is killed, the controls are disabled, its first row is
    // there; the radio on the pseudo-terminal never answers.
    QVERIFY(!d.TimerActive(Timer::AutoStart));
    QVERIFY(!d.Control(Control::Upgrade)->isEnabled());
    QVERIFY(!d.Control(Control::Port)->isEnabled());
    QCOMPARE(d.State().resultOk.load(), 0);
    QTRY_VERIFY(d.StatusList()->rowCount() >= 1);
    QCOMPARE(d.StatusList()->item(0, 1)->text(), QStringLiteral("Connecting the radio..."));
    // Leaving asks, stops the job and waits for it while serving its calls.
    r.answer = MessageResult::Ok;
    QVERIFY(d.OnCancel());
    QCOMPARE(r.boxes.front(), std::string("Are you sure to exit?"));
    QVERIFY(!JobRunning(d.State()));
    QVERIFY(!d.State().worker.joinable());
  }

  void exitQuestionOnlyAfterAFailure() {
    Recorder r;
    {
      UpgradeDialog d(r.Hooks());
      r.Attach(d);
      d.Startup();
      QCOMPARE(d.State().resultOk.load(), 1);
      QVERIFY(d.OnCancel());
      QVERIFY(r.boxes.empty());
      QCOMPARE(r.saves, 1);
    }
    {
      UpgradeDialog d(r.Hooks());
      r.Attach(d);
      d.Startup();
      d.show();
      d.State().resultOk = 0;
      r.answer = MessageResult::Cancel;
      QVERIFY(!d.OnCancel());
      QCOMPARE(r.boxes, std::vector<std::string>{"Are you sure to exit?"});
      QCOMPARE(r.saves, 1);
      QVERIFY(d.isVisible());
      // Escape and the close box take the same path.
      QTest::keyClick(&d, Qt::Key_Escape);
      QCOMPARE(r.boxes.size(), size_t(2));
      QVERIFY(d.isVisible());
      r.answer = MessageResult::Ok;
      d.close();
      QCOMPARE(r.boxes.size(), size_t(3));
      QCOMPARE(r.saves, 2);
      QCOMPARE(d.State().resultOk.load(), 1);
      QVERIFY(!d.isVisible());
    }
  }

  void closingStopsARunningJobFirst() {
    MapPorts({2});
    Recorder r;
    std::atomic<bool> running{false};
    std::thread worker;
    std::atomic<int> callsAfterStop{0};
    DialogHooks hooks = r.Hooks();
    UpgradeState* statePtr = nullptr;
    hooks.startJob = [&](UpgradeState& s) {
      running = true;
      worker = std::thread([&] {
        // A job that keeps reporting until it is stopped, then reports once more.
        while (!statePtr->job.clock.StopRequested()) {
          statePtr->view->SetStatusText("working");
          statePtr->job.clock.Sleep(5);
        }
        statePtr->view->InsertRow(0, "   \u00D7", "stopped");
        statePtr->view->MessageBox("Open port failed!", MessageIcon::Error);
        ++callsAfterStop;
        running = false;
      });
      (void)s;
    };
    hooks.jobRunning = [&](UpgradeState&) { return running.load(); };
    {
      UpgradeDialog d(std::move(hooks));
      statePtr = &d.State();
      r.Attach(d);
      d.Startup();
      d.OnUpgradeClicked();
      d.State().resultOk = 0;  // a running job has not succeeded
      QTRY_COMPARE(static_cast<QLabel*>(d.Control(Control::StatusText))->text(),
                   QStringLiteral("working"));
      // Cancel keeps the window and the job.
      r.answer = MessageResult::Cancel;
      QVERIFY(!d.OnCancel());
      QVERIFY(running);
      // OK stops the job; the window serves its last calls while it waits.
      r.answer = MessageResult::Ok;
      QVERIFY(d.OnCancel());
      QVERIFY(!running);
      QCOMPARE(callsAfterStop.load(), 1);
      QCOMPARE(d.StatusList()->rowCount(), 1);
      // The job's box was not shown to a user who is leaving.
      QCOMPARE(r.boxes.size(), size_t(2));
      QCOMPARE(r.saves, 1);
    }
    worker.join();
  }

  void workerCallsRunOnTheWindowThread() {
    MapPorts({2});
    Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    UpgradeView* view = d.State().view;
    QVERIFY(view == &d.View());
    std::atomic<bool> done{false};
    MessageResult answer = MessageResult::Cancel;
    std::thread worker([&] {
      view->InsertRow(0, "------>", "Connecting the radio...");
      view->InsertRow(5, "------>", "Reading");  // past the end: appended
      view->SetRowText(0, Column::Mark, "   \u221A");
      view->SetRowText(7, Column::Text, "no such row");  // ignored
      view->SetStatusText("Writing the radio, please wait...");
      view->EnableControl(Control::Upgrade, false);
      view->SetProgressRange(ProgressBar::Main, 0, 100);
      view->SetProgressPos(ProgressBar::Main, 42);
      view->SetProgressPos(ProgressBar::Second, 42);
      answer = view->MessageBox("Open port failed!", MessageIcon::Error, MessageButtons::Ok,
                                "Permission denied");
      view->PostProgress(Phase::Firmware, 4096);
      view->PostCommError(CommError::ReadBlock);
      view->Post(WriteCompleteEvent{77});
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QTableWidget* list = d.StatusList();
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->item(0, 0)->text(), QStringLiteral("   \u221A"));
    QCOMPARE(list->item(1, 1)->text(), QStringLiteral("Reading"));
    QCOMPARE(static_cast<QLabel*>(d.Control(Control::StatusText))->text(),
             QStringLiteral("Writing the radio, please wait..."));
    QVERIFY(!d.Control(Control::Upgrade)->isEnabled());
    QCOMPARE(d.MainProgress()->Pos(), 42);
    QVERIFY(answer == MessageResult::Ok);
    // Posted events are handled later, on the window's thread.
    QTRY_COMPARE(r.progress.size(), size_t(1));
    QVERIFY(r.progress[0] == (ProgressEvent{Phase::Firmware, 4096}));
    QVERIFY(r.progressOnWindowThread);
    QTRY_COMPARE(r.boxes.size(), size_t(2));
    QCOMPARE(r.boxes[1], std::string("Communication error, Please retry!"));
  }

  void postedEventsKeepTheirPlaceBeforeCalls() {
    MapPorts({2});
    Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    UpgradeView* view = d.State().view;
    // Posted on the window's thread, an event waits for the event loop.
    view->PostProgress(Phase::Firmware, 1);
    QVERIFY(r.progress.empty());
    // A worker's call returns after everything queued before it, its own post included.
    std::atomic<bool> done{false};
    size_t handledBeforeReturn = 0;
    std::thread worker([&] {
      view->PostProgress(Phase::Read, 2);
      view->SetStatusText("Reading the radio...");
      handledBeforeReturn = r.progress.size();
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(handledBeforeReturn, size_t(2));
    QVERIFY(r.progress[0] == (ProgressEvent{Phase::Firmware, 1}));
    QVERIFY(r.progress[1] == (ProgressEvent{Phase::Read, 2}));
  }

  void permissionDetailNamesTheFix() {
    test::PtyPair pty;
    QString detail = DetailWithFix("Permission denied", pty.path());
    QVERIFY(detail.startsWith(QStringLiteral("Permission denied")));
    QVERIFY(detail.contains(QString::fromStdString(pty.path())));
    QVERIFY(detail.contains(QStringLiteral("usermod -aG")));
    // Other reasons are shown as they are.
    QCOMPARE(DetailWithFix("No such file or directory", pty.path()),
             QStringLiteral("No such file or directory"));
  }

  void benchOptionsAndPortLists() {
    QCOMPARE(ParseBenchPorts("1,2,5"), std::optional<std::vector<int>>({1, 2, 5}));
    QCOMPARE(ParseBenchPorts(" 16 , 3"), std::optional<std::vector<int>>({16, 3}));
    QCOMPARE(ParseBenchPorts(""), std::optional<std::vector<int>>(std::vector<int>{}));
    for (const char* bad : {"0", "17", "1,,2", "1,2,1", "COM1", "1;2", "-1", "1,", "123"}) {
      QVERIFY2(!ParseBenchPorts(bad).has_value(), bad);
    }
    QCOMPARE(FormatBenchPorts({1, 2, 5}), std::string("1,2,5"));

    std::string error;
    std::vector<std::string> args = {"--program-dir", "x", "--bench", "-platform", "offscreen"};
    std::optional<BenchChoice> choice = TakeBenchOptions(args, error);
    QVERIFY(choice && choice->on && choice->ports.empty());
    QCOMPARE(args, (std::vector<std::string>{"--program-dir", "x", "-platform", "offscreen"}));
    args = {"--bench-ports=2,4"};
    QVERIFY((TakeBenchOptions(args, error) == BenchChoice{true, {2, 4}}));
    args = {"--bench-ports", "7", "--program-dir=y"};
    QVERIFY((TakeBenchOptions(args, error) == BenchChoice{true, {7}}));
    QCOMPARE(args, std::vector<std::string>{"--program-dir=y"});
    QVERIFY(error.empty());
    args = {"--program-dir", "x"};
    QVERIFY(!TakeBenchOptions(args, error).has_value());
    QVERIFY(error.empty());
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--bench-ports"}, {"--bench-ports=1,99"}, {"--bench-ports="}}) {
      error.clear();
      QVERIFY(!TakeBenchOptions(bad, error).has_value());
      QVERIFY2(error.rfind("--bench-ports", 0) == 0, error.c_str());
    }
  }

  // --journal PATH and --no-backup; the journal file: the option's, else the settings file's
  // "Journal" (relative names from the program folder), else the user's own (empty).
  void journalOptionsAndPath() {
    std::string error;
    std::vector<std::string> args = {"--program-dir", "x",           "--journal",
                                     "j.db",          "--no-backup", "--bench"};
    JournalChoice choice = TakeJournalOptions(args, error);
    QVERIFY(error.empty());
    QCOMPARE(choice.path, std::string("j.db"));
    QVERIFY(choice.noBackup);
    QCOMPARE(args, (std::vector<std::string>{"--program-dir", "x", "--bench"}));
    args = {"--journal=/data/r.db"};
    choice = TakeJournalOptions(args, error);
    QCOMPARE(choice.path, std::string("/data/r.db"));
    QVERIFY(!choice.noBackup);
    QVERIFY(args.empty());
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--journal"}, {"--journal="}}) {
      error.clear();
      TakeJournalOptions(bad, error);
      QVERIFY2(error.rfind("--journal", 0) == 0, error.c_str());
    }

    Installation inst;
    inst.programDir = "/opt/fw/";
    QCOMPARE(JournalPathFor(JournalChoice{}, inst), std::string());
    inst.journalPath = "records/journal.db";
    QCOMPARE(JournalPathFor(JournalChoice{}, inst), std::string("/opt/fw/records/journal.db"));
    inst.journalPath = "/var/fw/journal.db";
    QCOMPARE(JournalPathFor(JournalChoice{}, inst), std::string("/var/fw/journal.db"));
    QCOMPARE(JournalPathFor(JournalChoice{"mine.db", false}, inst), std::string("mine.db"));
    QVERIFY(!BackupSkipped(JournalChoice{}, inst));
    QVERIFY(BackupSkipped(JournalChoice{"", true}, inst));
    inst.backup = false;
    QVERIFY(BackupSkipped(JournalChoice{}, inst));
  }

  // "BenchMode" and "BenchPorts": read at start-up; written back on close only where the
  // bench was used, so that a window that never used it leaves the file as it was.
  void benchSettingsKeys() {
    test::TempDir dir;
    const std::string ini = dir.Path() + "Flashwright.ini";
    const std::string original = "[Setting]\r\nPort=1\r\n";
    std::ofstream(ini, std::ios::binary) << original;
    QCOMPARE(LoadBenchChoice(ini), BenchChoice{});
    QVERIFY(!SaveBenchChoice(ini, BenchChoice{false, {}}));
    QVERIFY(ReadWholeFile(ini) == original);
    QVERIFY(SaveBenchChoice(ini, BenchChoice{true, {1, 2, 5}}));
    QCOMPARE(ProfileGetInt("Setting", "BenchMode", -1, ini), 1);
    QCOMPARE(ProfileGetString("Setting", "BenchPorts", "?", ini), std::string("1,2,5"));
    QVERIFY((LoadBenchChoice(ini) == BenchChoice{true, {1, 2, 5}}));
    // Switched off again: the key says so.
    QVERIFY(SaveBenchChoice(ini, BenchChoice{false, {1, 2, 5}}));
    QCOMPARE(ProfileGetInt("Setting", "BenchMode", -1, ini), 0);
    QCOMPARE(ProfileGetInt("Setting", "Port", -1, ini), 1);
    // A bad list is no list: every port found.
    QVERIFY(ProfileWriteString("Setting", "BenchPorts", "1,x", ini));
    QVERIFY((LoadBenchChoice(ini) == BenchChoice{false, {}}));
    // No settings file: nothing is created.
    QVERIFY(!SaveBenchChoice(dir.Path() + "none.ini", BenchChoice{true, {1}}));
    QVERIFY(!std::filesystem::exists(dir.Path() + "none.ini"));
  }

  // The settings' bench opens with the window; the menu item switches it off and on (the
  // window's own controls come back), and the choice goes back at exit.
  void benchFromSettingsAndTheMenu() {
    MapPorts({2, 4});
    Recorder r;
    DialogHooks hooks = r.Hooks();
    hooks.loadBench = [](UpgradeState&) { return BenchChoice{true, {4}}; };
    std::vector<BenchChoice> saved;
    hooks.saveBench = [&](UpgradeState&, const BenchChoice& c) { saved.push_back(c); };
    UpgradeDialog d(std::move(hooks));
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QVERIFY(d.BenchMode());
    QCOMPARE(d.Bench()->Panels().size(), size_t{1});
    QCOMPARE(d.Bench()->Panels()[0]->Port(), 4);
    QVERIFY(!Visible(d, Control::Upgrade));
    QVERIFY(!Visible(d, Control::StatusList));
    QVERIFY(d.BenchAction()->isCheckable());
    QCOMPARE(d.BenchAction()->text(), QStringLiteral("Bench mode"));

    d.BenchAction()->trigger();  // off
    QVERIFY(!d.BenchMode());
    QVERIFY(Visible(d, Control::Upgrade));
    QVERIFY(Visible(d, Control::StatusList));
    QCOMPARE(d.size(), QSize(d.Units().X(449), d.Units().Y(211)));
    // The count of completed jobs ("UpdateTimes") goes on across the switch, both ways.
    d.State().completedJobs = 3;
    d.BenchAction()->trigger();  // on again, on the chosen port
    QVERIFY(d.BenchMode());
    QCOMPARE(d.Bench()->Panels()[0]->Port(), 4);
    QCOMPARE(d.Bench()->JobCount().total, 3);
    d.BenchAction()->trigger();
    QCOMPARE(d.State().completedJobs, 3);
    d.BenchAction()->trigger();
    QVERIFY(d.BenchMode());
    QVERIFY(d.Bench()->isVisibleTo(&d));
    QVERIFY(d.Bench()->geometry().bottom() < d.height());
    QVERIFY(d.height() >= d.Units().Y(211));
    QVERIFY(d.OnCancel());
    QCOMPARE(saved.size(), size_t{1});
    QVERIFY((saved[0] == BenchChoice{true, {4}}));
    QCOMPARE(r.saves, 1);
  }

  // The bench chosen where no port is found: the single window opens, and the choice is kept
  // for the next start.
  void benchWithoutPortsKeepsTheChoice() {
    Recorder r;
    DialogHooks hooks = r.Hooks();
    hooks.loadBench = [](UpgradeState&) { return BenchChoice{true, {}}; };
    std::vector<BenchChoice> saved;
    hooks.saveBench = [&](UpgradeState&, const BenchChoice& c) { saved.push_back(c); };
    UpgradeDialog d(std::move(hooks));
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QVERIFY(!d.BenchMode());
    QVERIFY(Visible(d, Control::StatusList));
    QVERIFY(!d.SetBenchMode(true));
    QVERIFY(d.OnCancel());
    QCOMPARE(saved.size(), size_t{1});
    QVERIFY((saved[0] == BenchChoice{true, {}}));
  }

  // Two ports whose radios never answer: "Stop" of one panel ends that job only; closing
  // asks (the stopped job did not succeed), stops the other and joins both workers.
  void benchStopOfOnePanelLeavesTheOtherRunning() {
    MapPorts({1, 2});
    test::FakeClockScope clock;
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [](UpgradeState& s) {
      s.firmwareOnly = 1;
      return std::string();
    };
    hooks.buildFonts = [](UpgradeState&) { return true; };
    hooks.saveSettings = [](UpgradeState&) {};
    Recorder r;
    UpgradeDialog d(std::move(hooks));
    clock.Attach(d.State().job.clock);
    r.Attach(d);
    d.RequestBench(BenchChoice{true, {}});  // every port found
    QCOMPARE(d.Startup(), 21);
    QCOMPARE(d.Bench()->Panels().size(), size_t{2});
    BenchPanel& first = *d.Bench()->Panel(1);
    BenchPanel& second = *d.Bench()->Panel(2);
    QVERIFY(!first.StopButton()->isEnabled());
    d.Bench()->UpgradeAllButton()->click();
    QTRY_VERIFY(first.JobRunning() && second.JobRunning());
    QTRY_VERIFY(first.StatusList()->rowCount() >= 1 && second.StatusList()->rowCount() >= 1);
    QCOMPARE(first.StatusList()->item(0, 1)->text(), QStringLiteral("Connecting the radio..."));
    QVERIFY(!first.UpgradeButton()->isEnabled());
    QVERIFY(first.StopButton()->isEnabled());

    first.StopButton()->click();
    QTRY_VERIFY(!first.JobRunning());
    QVERIFY(second.JobRunning());
    QTableWidget* rows = first.StatusList();
    QCOMPARE(rows->item(rows->rowCount() - 1, 1)->text(), QStringLiteral("Stopped by the user."));
    QTRY_VERIFY(!first.StopButton()->isEnabled());
    QVERIFY(first.UpgradeButton()->isEnabled());
    QTest::qWait(50);
    QVERIFY(second.JobRunning());

    r.answer = MessageResult::Ok;
    QVERIFY(d.OnCancel());
    QCOMPARE(r.boxes, std::vector<std::string>{"Are you sure to exit?"});
    QVERIFY(!second.JobRunning());
    QVERIFY(!first.State().worker.joinable());
    QVERIFY(!second.State().worker.joinable());
  }
};

QTEST_MAIN(WindowJobTest)
#include "WindowJobTest.moc"
#include "config/Installation.h"
