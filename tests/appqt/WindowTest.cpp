// The main window: layout, start-up, run modes, Enter, check boxes 1015/1018, About.

#include "WindowTestSupport.h"
#include "app/qt/DialogUnits.h"

#include <climits>

using namespace fw;
using fw::test::NextTabStop;
using fw::test::Recorder;
using fw::test::Visible;

class WindowTest : public QObject {
  Q_OBJECT

 private:
  test::WindowPorts ports_;

  void MapPorts(std::initializer_list<int> numbers) { QVERIFY(ports_.Map(numbers)); }

 private slots:
  void init() { ports_.Reset(); }
  void cleanup() { ports_.Reset(); }

  void layoutFollowsTheDialogUnits() {
    Recorder r;
    UpgradeDialog d(r.Hooks());
    const DialogUnits& u = d.Units();
    QCOMPARE(d.size(), QSize(u.X(449), u.Y(211)));
    QCOMPARE(d.Control(Control::Upgrade)->geometry(), u.Rect(388, 25, 49, 25));
    QCOMPARE(d.Control(Control::StatusList)->geometry(), u.Rect(12, 69, 426, 131));
    QCOMPARE(d.Control(Control::Upgrade)->objectName(), QStringLiteral("upgradeButton"));
    QCOMPARE(d.Control(Control::Port)->property("controlId").toInt(), 1001);
    QCOMPARE(static_cast<QPushButton*>(d.Control(Control::Upgrade))->text(),
             QStringLiteral("Upgrade"));
    QCOMPARE(static_cast<QLabel*>(d.Control(Control::StatusText))->text(),
             QStringLiteral("Click \"Upgrade\"  button to start ... "));
    // Tab order: Exit, Upgrade, port combo, ...
    QCOMPARE(NextTabStop(d.Control(2)), d.Control(Control::Upgrade));
    QCOMPARE(NextTabStop(d.Control(Control::Upgrade)), d.Control(Control::Port));
    QCOMPARE(NextTabStop(d.Control(Control::Port)), d.Control(1002));
    QCOMPARE(NextTabStop(d.Control(Control::HexFileText)), d.Control(Control::StatusList));
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
    auto* combo = static_cast<QComboBox*>(d.Control(Control::Port));
    QCOMPARE(combo->currentText(), QStringLiteral("COM7"));
    QCOMPARE(d.State().selectedPort.load(), 7);
    QVERIFY(d.Control(Control::Upgrade)->isEnabled());
    QVERIFY(d.Control(Control::HexFile)->isEnabled());
    QCOMPARE(static_cast<QLabel*>(d.Control(Control::StatusText))->text(),
             QString::fromUtf8(UpgradeDialog::kUsualStatus));
    QCOMPARE(static_cast<QLabel*>(d.Control(1012))->text(),
             QStringLiteral("[ Warning: Do not disconnect when upgrading! ]"));
    QCOMPARE(LoadingInstallation(d.State()).configSubdir, std::string("config/r55"));
    QCOMPARE(d.State().radioDataBuffer.size(), size_t(129976));
    QCOMPARE(d.State().imageSize.load(), -1);  // no image file
    QCOMPARE(static_cast<QComboBox*>(d.Control(Control::Vocoder))->currentText(),
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
      return LoadingInstallation(s).windowTitle;
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
      auto* combo = static_cast<QComboBox*>(d.Control(Control::Port));
      QCOMPARE(combo->count(), 2);
      QCOMPARE(combo->currentText(), QStringLiteral("COM7"));
      QVERIFY(Visible(d, Control::FirmwareOnly));
      QCOMPARE(static_cast<QComboBox*>(d.Control(Control::Vocoder))->currentText(),
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
    QCOMPARE(Visible(d, Control::ChipOnly), show1015);
    QCOMPARE(Visible(d, Control::FirmwareOnly), show1017);
    QCOMPARE(Visible(d, Control::UpdateChip), show1018);
    for (Control c :
         {Control::Vocoder, Control::HexFile, Control::HexFileText, Control::SecondProgress}) {
      QVERIFY(!Visible(d, c));
    }
    QVERIFY(!Visible(d, 1002));
    QVERIFY(!d.Control(Control::FirmwareOnly)->isEnabled());
    // Mode 3: the firmware-only box shows checked and greyed.
    QCOMPARE(static_cast<QCheckBox*>(d.Control(Control::FirmwareOnly))->isChecked(), show1017);
    QCOMPARE(d.State().firmwareOnly.load(), show1017 ? 1 : 0);
    // Mode 5 starts its timer whether or not a port was found.
    QCOMPARE(d.TimerActive(Timer::AutoStart), mode == 5);
    QCOMPARE(d.Control(Control::Upgrade)->isEnabled(), withPort);
    QCOMPARE(d.Control(Control::HexFile)->isEnabled(), withPort);
    if (!withPort) {
      QCOMPARE(static_cast<QLabel*>(d.Control(Control::StatusText))->text(),
               QString::fromUtf8(UpgradeDialog::kCreationStatus));
      QVERIFY(r.boxes.empty());  // no message at start-up
    }
  }

  void enterDoesNothing() {
    MapPorts({2});
    Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* upgrade = static_cast<QPushButton*>(d.Control(Control::Upgrade));
    upgrade->setFocus();
    QTest::keyClick(upgrade, Qt::Key_Return);
    QTest::keyClick(upgrade, Qt::Key_Enter);
    QTest::keyClick(&d, Qt::Key_Return);
    QTest::keyClick(d.Control(Control::Port), Qt::Key_Enter);
    QCOMPARE(r.startJobs, 0);
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), 0);
    // The same button does react to a real press, so the keys above did reach it.
    QTest::keyClick(upgrade, Qt::Key_Space);
    QCOMPARE(r.startJobs, 1);
  }

  void checkBoxes1015And1018NeverBothChecked() {
    MapPorts({2});
    Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    auto* chipOnly = static_cast<QCheckBox*>(d.Control(Control::ChipOnly));
    auto* updateChip = static_cast<QCheckBox*>(d.Control(Control::UpdateChip));
    auto* status = static_cast<QLabel*>(d.Control(Control::StatusText));
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
      QVERIFY(!d.TimerActive(Timer::AutoStart));
      QVERIFY(d.Control(Control::Upgrade)->isEnabled());  // as created
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
    QVERIFY(!d.TimerActive(Timer::AutoStart));
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

  // Every line shows whole: a long text wraps and the box grows to hold it.
  void aboutBoxShowsLongLinesWhole() {
    App().versionText = "Radio Flashwright V2.01 build 2026-12-08 for KV680, KW66, KZ66 and KX4X";
    App().smallMcuText = "Small MCU firmware V1.07, hex file KV680_SmallMCU_V107.hex";
    App().companyText =
        "Example Radio Works Ltd., 12 Harbour Road, Springfield, service line +1 555 0100";
    {
      AboutBox box;
      QLabel* lines[] = {box.VersionLabel(), box.SmallMcuLabel(), box.CompanyLabel()};
      for (QLabel* label : lines) {
        const int needed =
            label->wordWrap()
                ? label->heightForWidth(label->width())
                : (label->sizeHint().width() <= label->width() ? label->height() : INT_MAX);
        QVERIFY2(needed <= label->height(), qPrintable(label->text()));
        QVERIFY2(box.rect().contains(label->geometry()), qPrintable(label->text()));
      }
      // The lines keep their order and do not overlap.
      QVERIFY(lines[0]->geometry().bottom() < lines[1]->geometry().top());
      QVERIFY(lines[1]->geometry().bottom() < lines[2]->geometry().top());
      auto* ok = box.findChild<QPushButton*>(QStringLiteral("okButton"));
      for (QLabel* label : lines) {
        QVERIFY(label->geometry().right() < ok->geometry().left());
      }
    }
    // Short texts keep the box's own size.
    App().versionText = "V2.01";
    App().smallMcuText.clear();
    App().companyText.clear();
    AboutBox small;
    const DialogUnits u(AboutDialogFont());
    QCOMPARE(small.height(), u.Y(56));
    App().versionText.clear();
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
    // Hooks that open no journal: the window keeps no records, and has no "History".
    QVERIFY(d.Journal() == nullptr);
    QVERIFY((d.ContextMenuActions() == std::vector<QAction*>{d.AboutAction(), d.BenchAction()}));
  }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
#include "config/Installation.h"
