// The main window: start-up, run modes, Enter, the exit question, the auto-start timer,
// check boxes 1015/1018, the view's calls from a worker, and the About box.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "PtyPair.h"
#include "app/qt/AboutBox.h"
#include "app/qt/TextProgressBar.h"
#include "app/qt/UpgradeDialog.h"
#include "config/Settings.h"
#include "core/AppValues.h"
#include "core/Ids.h"
#include "platform/Clock.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"
#include "support/FakeClockScope.h"
#include "workflow/Job.h"

using namespace fw;

namespace {

// Hooks that record what the window asked for.
struct Recorder {
  int runMode = 0;
  int savedPort = 0;
  bool fontsOk = true;
  std::string imageDir;
  std::string imageName;
  int startJobs = 0;
  int saves = 0;
  std::vector<std::string> boxes;
  MessageResult answer = MessageResult::Ok;
  std::vector<std::pair<uint32_t, intptr_t>> progress;
  bool progressOnWindowThread = true;

  DialogHooks Hooks() {
    DialogHooks h;
    h.loadSettings = [this](UpgradeState& s) {
      s.readWriteLog = runMode;
      s.imageDir = imageDir;
      s.selectedImageName = imageName;
      SetSelectedPortNumber(savedPort);
      return std::string("Radio Flashwright 2.0");
    };
    h.buildFonts = [this](UpgradeState&) { return fontsOk; };
    h.startJob = [this](UpgradeState&) { ++startJobs; };
    h.saveSettings = [this](UpgradeState&) { ++saves; };
    h.jobMessage = [this](UpgradeState&, uint32_t msg, uintptr_t, intptr_t bytes) {
      if (!IsProgressMessage(msg)) {
        return false;
      }
      progress.emplace_back(msg, bytes);
      progressOnWindowThread = progressOnWindowThread && QThread::currentThread() == qApp->thread();
      return true;
    };
    return h;
  }

  void Attach(UpgradeDialog& d) {
    d.View().SetBoxHandler([this](const BoxRequest& r) {
      boxes.push_back(r.text);
      return answer;
    });
  }
};

// The next widget in the tab order that can take focus by Tab.
QWidget* NextTabStop(QWidget* w) {
  for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain()) {
    if (n->focusPolicy() & Qt::TabFocus) {
      return n;
    }
  }
  return nullptr;
}

bool Visible(UpgradeDialog& d, int id) {
  return d.Control(id)->isVisibleTo(&d);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::vector<std::unique_ptr<test::PtyPair>> ptys_;
  QTemporaryDir devDir_;  // no devices of this machine: only the mapped pseudo-terminals

  void MapPorts(std::initializer_list<int> numbers) {
    for (int n : numbers) {
      auto pty = std::make_unique<test::PtyPair>();
      QVERIFY(pty->ok());
      GlobalPortMap().SetExplicit(n, pty->path());
      ptys_.push_back(std::move(pty));
    }
  }

 private slots:
  void initTestCase() {
    QVERIFY(devDir_.isValid());
    GlobalPortMap().SetDeviceDirectory(devDir_.path().toStdString());
    GlobalPortMap().SetSysfsRoot(devDir_.path().toStdString());
  }

  void init() {
    GlobalPortMap().ClearExplicit();
    SetSelectedPortNumber(0);
    ClearStop();
  }
  void cleanup() {
    ptys_.clear();
    GlobalPortMap().ClearExplicit();
    ClearStop();
  }

  void layoutFollowsTheDialogUnits() {
    Recorder r;
    UpgradeDialog d(r.Hooks());
    const DialogUnits& u = d.Units();
    QCOMPARE(d.size(), QSize(u.X(449), u.Y(211)));
    QCOMPARE(d.Control(kUpgradeButton)->geometry(), u.Rect(388, 25, 49, 25));
    QCOMPARE(d.Control(kStatusList)->geometry(), u.Rect(12, 69, 426, 131));
    QCOMPARE(d.Control(kUpgradeButton)->objectName(), QStringLiteral("upgradeButton"));
    QCOMPARE(d.Control(kPortCombo)->property("controlId").toInt(), 1001);
    QCOMPARE(static_cast<QPushButton*>(d.Control(kUpgradeButton))->text(),
             QStringLiteral("Upgrade"));
    QCOMPARE(static_cast<QLabel*>(d.Control(kStatusText))->text(),
             QStringLiteral("Click \"Upgrade\"  button to start ... "));
    // Tab order: Exit, Upgrade, port combo, ...
    QCOMPARE(NextTabStop(d.Control(2)), d.Control(kUpgradeButton));
    QCOMPARE(NextTabStop(d.Control(kUpgradeButton)), d.Control(kPortCombo));
    QCOMPARE(NextTabStop(d.Control(kPortCombo)), d.Control(1002));
    QCOMPARE(NextTabStop(d.Control(kHexFileText)), d.Control(kStatusList));
    // The voice-prompt buttons exist, hidden.
    for (int id : {1021, 1022, 1024, 1002, 2}) {
      QVERIFY(d.Control(id) != nullptr);
      QVERIFY(!Visible(d, id));
    }
  }

  void startupWithPortsAndStatusList() {
    MapPorts({3, 7});
    Recorder r;
    r.savedPort = 7;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QCOMPARE(d.windowTitle(), QStringLiteral("Radio Flashwright 2.0"));
    auto* combo = static_cast<QComboBox*>(d.Control(kPortCombo));
    QCOMPARE(combo->currentText(), QStringLiteral("COM7"));
    QCOMPARE(SelectedPortNumber(), 7);
    QVERIFY(d.Control(kUpgradeButton)->isEnabled());
    QVERIFY(d.Control(kHexFileButton)->isEnabled());
    QCOMPARE(static_cast<QLabel*>(d.Control(kStatusText))->text(),
             QString::fromUtf8(UpgradeDialog::kUsualStatus));
    QCOMPARE(static_cast<QLabel*>(d.Control(1012))->text(),
             QStringLiteral("[ Warning: Do not disconnect when upgrading! ]"));
    QCOMPARE(d.State().configSubdir, std::string("config/r55"));
    QCOMPARE(d.State().radioDataBuffer.size(), size_t(129976));
    QCOMPARE(d.State().imageSize.load(), -1);  // no image file
    QCOMPARE(static_cast<QComboBox*>(d.Control(kVocoderCombo))->currentText(),
             QStringLiteral("AMBE"));
    QTableWidget* list = d.StatusList();
    QCOMPARE(list->columnWidth(0), 52);
    QCOMPARE(list->columnWidth(1), 600);
    QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Status"));
    QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("Message"));
    QVERIFY(!list->horizontalHeader()->sectionsClickable());
    QCOMPARE(list->rowCount(), 0);
    QVERIFY(r.boxes.empty());
  }

  void startupAndExitWithTheSettingsFile() {
    test::PtyPair com4, com7;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/";
    {
      std::ofstream ini(folder + "Flashwright.ini");
      ini << "[Setting]\nPort=7\nREADWRITELOG=3\nCMOS=1\nUpdateChip=0\n"
          << "TitleVer=Radio Flashwright V9\nVerInfo=V9.0\n"
          << "[Ports]\nCOM4=" << com4.path() << "\nCOM7=" << com7.path() << "\n";
    }
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [&](UpgradeState& s) {
      LoadSettingsForProgramDir(s, folder);
      return s.windowTitle;
    };
    // The real font build stops at the missing character list with its error.
    Recorder r;
    {
      UpgradeDialog d(hooks);
      r.Attach(d);
      QCOMPARE(d.Startup(), 18);
      QCOMPARE(r.boxes.size(), size_t(1));
      QVERIFY(r.boxes[0].find("SimpleCH.dat") != std::string::npos);
    }
    r.boxes.clear();
    hooks.buildFonts = [](UpgradeState&) { return true; };
    {
      UpgradeDialog d(std::move(hooks));
      r.Attach(d);
      QCOMPARE(d.Startup(), 21);
      QCOMPARE(d.windowTitle(), QStringLiteral("Radio Flashwright V9"));
      auto* combo = static_cast<QComboBox*>(d.Control(kPortCombo));
      QCOMPARE(combo->count(), 2);
      QCOMPARE(combo->currentText(), QStringLiteral("COM7"));
      QVERIFY(Visible(d, kFirmwareOnlyCheck));
      QCOMPARE(static_cast<QComboBox*>(d.Control(kVocoderCombo))->currentText(),
               QStringLiteral("SELP"));
      QCOMPARE(App().versionText, std::string("V9.0"));
      // The user picks COM4 and ticks nothing; leaving saves the port.
      combo->setCurrentIndex(0);
      d.Ports().SelectionChanged();
      QVERIFY(d.OnCancel());
      QVERIFY(r.boxes.empty());
    }
    std::ifstream in(folder + "Flashwright.ini");
    std::stringstream text;
    text << in.rdbuf();
    QVERIFY2(text.str().find("Port=4") != std::string::npos, text.str().c_str());
    App().versionText.clear();
  }

  void visibilityPerRunMode_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("withPort");
    QTest::addColumn<bool>("show1015");
    QTest::addColumn<bool>("show1017");
    QTest::addColumn<bool>("show1018");
    QTest::newRow("mode 0") << 0 << true << false << false << false;
    QTest::newRow("mode 1") << 1 << true << true << false << false;
    QTest::newRow("mode 3") << 3 << true << false << true << false;
    QTest::newRow("mode 5") << 5 << true << false << false << false;
    QTest::newRow("mode 7") << 7 << true << false << false << true;
    QTest::newRow("mode 1, no port") << 1 << false << false << false << false;
    QTest::newRow("mode 3, no port") << 3 << false << false << false << false;
    QTest::newRow("mode 5, no port") << 5 << false << false << false << false;
    QTest::newRow("mode 7, no port") << 7 << false << false << false << false;
  }

  void visibilityPerRunMode() {
    QFETCH(int, mode);
    QFETCH(bool, withPort);
    QFETCH(bool, show1015);
    QFETCH(bool, show1017);
    QFETCH(bool, show1018);
    if (withPort) {
      MapPorts({2});
    }
    Recorder r;
    r.runMode = mode;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QCOMPARE(Visible(d, kChipOnlyCheck), show1015);
    QCOMPARE(Visible(d, kFirmwareOnlyCheck), show1017);
    QCOMPARE(Visible(d, kUpdateChipCheck), show1018);
    for (int id : std::initializer_list<int>{kVocoderCombo, kHexFileButton, kHexFileText,
                                             kSecondProgress, 1002}) {
      QVERIFY(!Visible(d, id));
    }
    QVERIFY(!d.Control(kFirmwareOnlyCheck)->isEnabled());
    // Mode 3: the firmware-only box shows checked and greyed.
    QCOMPARE(static_cast<QCheckBox*>(d.Control(kFirmwareOnlyCheck))->isChecked(), show1017);
    QCOMPARE(d.State().firmwareOnly.load(), show1017 ? 1 : 0);
    // Mode 5 starts its timer whether or not a port was found.
    QCOMPARE(d.TimerActive(kAutoStartTimer), mode == 5);
    QCOMPARE(d.Control(kUpgradeButton)->isEnabled(), withPort);
    QCOMPARE(d.Control(kHexFileButton)->isEnabled(), withPort);
    if (!withPort) {
      QCOMPARE(static_cast<QLabel*>(d.Control(kStatusText))->text(),
               QString::fromUtf8(UpgradeDialog::kCreationStatus));
      QVERIFY(r.boxes.empty());  // no message at start-up
    }
  }

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
    QCOMPARE(SelectedPortNumber(), 2);
    // Another timer id starts nothing.
    d.OnTimer(41);
    QCOMPARE(r.startJobs, 1);
  }

  void autoStartTimerRunsARealJobThatClosingStops() {
    MapPorts({2});
    test::FakeClockScope clock;  // the job's fixed waits cost nothing
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [](UpgradeState& s) {
      s.readWriteLog = 5;
      s.firmwareOnly = 1;
      return std::string();
    };
    hooks.buildFonts = [](UpgradeState&) { return true; };
    hooks.saveSettings = [](UpgradeState&) {};
    Recorder r;
    UpgradeDialog d(std::move(hooks));
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QVERIFY(d.TimerActive(kAutoStartTimer));
    d.OnTimer(kAutoStartTimer);
    // The job started: its timer is killed, the controls are disabled, its first row is
    // there; the radio on the pseudo-terminal never answers.
    QVERIFY(!d.TimerActive(kAutoStartTimer));
    QVERIFY(!d.Control(kUpgradeButton)->isEnabled());
    QVERIFY(!d.Control(kPortCombo)->isEnabled());
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

  void enterDoesNothing() {
    MapPorts({2});
    Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* upgrade = static_cast<QPushButton*>(d.Control(kUpgradeButton));
    upgrade->setFocus();
    QTest::keyClick(upgrade, Qt::Key_Return);
    QTest::keyClick(upgrade, Qt::Key_Enter);
    QTest::keyClick(&d, Qt::Key_Return);
    QTest::keyClick(d.Control(kPortCombo), Qt::Key_Enter);
    QCOMPARE(r.startJobs, 0);
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), 0);
    // The same button does react to a real press, so the keys above did reach it.
    QTest::keyClick(upgrade, Qt::Key_Space);
    QCOMPARE(r.startJobs, 1);
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
        while (!StopRequested()) {
          statePtr->view->SetStatusText("working");
          Sleep(5);
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
      QTRY_COMPARE(static_cast<QLabel*>(d.Control(kStatusText))->text(), QStringLiteral("working"));
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

  void checkBoxes1015And1018NeverBothChecked() {
    MapPorts({2});
    Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    auto* chipOnly = static_cast<QCheckBox*>(d.Control(kChipOnlyCheck));
    auto* updateChip = static_cast<QCheckBox*>(d.Control(kUpdateChipCheck));
    auto* status = static_cast<QLabel*>(d.Control(kStatusText));
    updateChip->click();
    QVERIFY(updateChip->isChecked());
    QCOMPARE(status->text(), QString::fromUtf8(UpgradeDialog::kUsualStatus));
    chipOnly->click();
    QVERIFY(chipOnly->isChecked());
    QVERIFY(!updateChip->isChecked());
    QCOMPARE(status->text(), QStringLiteral("Click \"Upgrade\" button to start ..."));
    // updateChip follows the box only at the next read of the controls.
    QCOMPARE(d.State().updateChip.load(), 1);
    updateChip->click();
    QVERIFY(updateChip->isChecked());
    QVERIFY(!chipOnly->isChecked());
    QCOMPARE(status->text(), QString::fromUtf8(UpgradeDialog::kUsualStatus));
    chipOnly->click();
    QVERIFY(!updateChip->isChecked());
    chipOnly->click();  // unchecking: the usual text again
    QVERIFY(!chipOnly->isChecked() && !updateChip->isChecked());
    QCOMPARE(status->text(), QString::fromUtf8(UpgradeDialog::kUsualStatus));
    d.ReadControls();
    QCOMPARE(d.State().chipOnly.load(), 0);
    QCOMPARE(d.State().updateChip.load(), 0);
  }

  void imageSizeLimitEndsStartup() {
    MapPorts({2});
    const std::string dir = QDir::tempPath().toStdString() + "/fw-window-test-" +
                            std::to_string(QCoreApplication::applicationPid()) + "/";
    std::filesystem::create_directories(dir);
    {
      std::ofstream(dir + "exact.bin", std::ios::binary)
          << std::string(UpgradeState::kImageBufferSize, 'x');
      std::ofstream(dir + "over.bin", std::ios::binary)
          << std::string(UpgradeState::kImageBufferSize + 1, 'x');
    }
    Recorder r;
    r.runMode = 5;
    r.imageDir = dir;
    r.imageName = "exact.bin";
    {
      UpgradeDialog d(r.Hooks());
      r.Attach(d);
      QCOMPARE(d.Startup(), 21);
      QCOMPARE(d.State().imageSize.load(), 1048576);
      QVERIFY(r.boxes.empty());
    }
    r.imageName = "over.bin";
    {
      UpgradeDialog d(r.Hooks());
      r.Attach(d);
      QCOMPARE(d.Startup(), 13);
      QCOMPARE(r.boxes, std::vector<std::string>{"Open the file cache is too small!"});
      QVERIFY(!d.TimerActive(kAutoStartTimer));
      QVERIFY(d.Control(kUpgradeButton)->isEnabled());  // as created
    }
    std::filesystem::remove_all(dir);
  }

  void missingCharacterListEndsStartup() {
    MapPorts({2});
    Recorder r;
    r.runMode = 5;
    r.fontsOk = false;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    QCOMPARE(d.Startup(), 18);
    QVERIFY(!d.TimerActive(kAutoStartTimer));
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
      view->SetRowText(0, 0, "   \u221A");
      view->SetRowText(7, 1, "no such row");  // ignored
      view->SetStatusText("Writing the radio, please wait...");
      view->EnableControl(kUpgradeButton, false);
      view->SetProgressRange(kMainProgress, 0, 100);
      view->SetProgressPos(kMainProgress, 42);
      view->SetProgressPos(kSecondProgress, 42);
      answer = view->MessageBox("Open port failed!", MessageIcon::Error, MessageButtons::Ok,
                                "Permission denied");
      view->PostMessage(kMsgFirmwareProgress, 0, 4096);
      view->PostMessage(kMsgReadCommError, 0, 0);
      view->PostMessage(kMsgWriteComplete, 77, 0);
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QTableWidget* list = d.StatusList();
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->item(0, 0)->text(), QStringLiteral("   \u221A"));
    QCOMPARE(list->item(1, 1)->text(), QStringLiteral("Reading"));
    QCOMPARE(static_cast<QLabel*>(d.Control(kStatusText))->text(),
             QStringLiteral("Writing the radio, please wait..."));
    QVERIFY(!d.Control(kUpgradeButton)->isEnabled());
    QCOMPARE(d.MainProgress()->Pos(), 42);
    QVERIFY(answer == MessageResult::Ok);
    // Posted messages are handled later, on the window's thread.
    QTRY_COMPARE(r.progress.size(), size_t(1));
    QCOMPARE(r.progress[0].first, uint32_t(kMsgFirmwareProgress));
    QCOMPARE(r.progress[0].second, intptr_t(4096));
    QVERIFY(r.progressOnWindowThread);
    QTRY_COMPARE(r.boxes.size(), size_t(2));
    QCOMPARE(r.boxes[1], std::string("Communication error, Please retry!"));
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

  void aboutBoxTexts() {
    App().versionText.clear();
    App().smallMcuText.clear();
    App().companyText.clear();
    {
      AboutBox box;
      QCOMPARE(box.windowTitle(), QString::fromUtf8("关于 Radio Flashwright"));
      QCOMPARE(box.VersionLabel()->text(), QString());
      QCOMPARE(box.SmallMcuLabel()->text(), QString());
      QCOMPARE(box.CompanyLabel()->text(), QString::fromUtf8(AboutBox::kDefaultCompanyLine));
      auto* ok = box.findChild<QPushButton*>(QStringLiteral("okButton"));
      QCOMPARE(ok->text(), QString::fromUtf8("确定"));
      QVERIFY(ok->isDefault());
    }
    App().versionText = "V2.01";
    App().companyText = "Example Radio Works";
    AboutBox box;
    QCOMPARE(box.VersionLabel()->text(), QStringLiteral("V2.01"));
    QCOMPARE(box.CompanyLabel()->text(), QStringLiteral("Example Radio Works"));
    App().versionText.clear();
    App().companyText.clear();
  }

  void aboutItemIsReachable() {
    Recorder r;
    UpgradeDialog d(r.Hooks());
    d.Startup();
    QVERIFY(d.AboutAction() != nullptr);
    QCOMPARE(d.AboutAction()->text(), QString::fromUtf8("关于 Radio Flashwright(&A)..."));
    QCOMPARE(d.AboutAction()->shortcut(), QKeySequence(Qt::Key_F1));
    QVERIFY(d.actions().contains(d.AboutAction()));
    QVERIFY(!d.windowIcon().isNull());
  }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
