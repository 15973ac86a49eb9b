// A whole upgrade clicked through the window: a generated installation, the simulated radio
// on a pseudo-terminal mapped to COM1 in the settings file, one click on "Upgrade", and the
// rows, status text, both progress bars and the final box as a technician sees them.

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>

#include <fstream>

#include "DemoIdentity.h"
#include "DemoInstall.h"
#include "RadioSim.h"
#include "WindowTestSupport.h"
#include "config/Settings.h"
#include "platform/FileIo.h"
#include "support/TempDir.h"

using namespace fw;

namespace {

// Writes the demo installation into `folder` with COM1 mapped to `device` in its settings
// file; "" or what went wrong.
std::string InstallWithRadioOnCom1(const std::string& folder, const std::string& device) {
  demo::DemoInstallOptions options;
  options.folder = folder;
  options.pluginsDir = FLASHWRIGHT_PLUGIN_DIR;
  demo::DemoInstallResult made = demo::WriteDemoInstallation(options);
  if (!made.ok) {
    return made.error;
  }
  std::ofstream ini(folder + "/Flashwright.ini", std::ios::app | std::ios::binary);
  ini << "COM1=" << device << "\r\n";
  return std::string();
}

}  // namespace

class WindowUpgradeTest : public QObject {
  Q_OBJECT

 private slots:
  void oneClickUpgradesTheSimulatedRadio() {
    test::TempDir dir;
    const std::string folder = dir.Path() + "install";
    sim::RadioSimConfig config;
    config.download.restartMs = 50;
    config.download.info = demo::kInfoField;
    config.download.model = demo::kDownloadModelText;
    config.linkIdentifier = demo::kIdentityText;
    config.linkModelText = demo::kModelText;
    config.areaDigit = demo::kAreaDigit;
    config.firmwareVersionText = demo::kLinkVersionText;
    sim::RadioSim radio(config);
    QVERIFY2(radio.Start(), radio.Error().c_str());
    const std::string installed = InstallWithRadioOnCom1(folder, radio.DevicePath());
    QVERIFY2(installed.empty(), installed.c_str());

    test::FakeClockScope clock;  // the restarts and pauses of the job cost nothing
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [folder](UpgradeState& s) {
      LoadSettingsForProgramDir(s, folder);
      s.selectedPort = 1;
      return LoadingInstallation(s).windowTitle;
    };
    hooks.saveSettings = [](UpgradeState&) {};
    test::Recorder r;
    UpgradeDialog d(std::move(hooks));
    clock.Attach(d.State().job.clock);
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    QVERIFY(d.Control(Control::Upgrade)->isEnabled());

    static_cast<QAbstractButton*>(d.Control(Control::Upgrade))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!r.boxes.empty(), 120000);
    QVERIFY2(r.boxes.back() == "All upgrade completed successfully!", r.boxes.back().c_str());
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 10000);

    QTableWidget* list = d.StatusList();
    const int last = list->rowCount() - 1;
    QVERIFY(last >= 6);
    QCOMPARE(list->item(0, 1)->text(), QStringLiteral("Connect the radio successfully!"));
    QCOMPARE(list->item(1, 1)->text(), QStringLiteral("Update the radio software completed!"));
    QCOMPARE(list->item(last, 1)->text(), QStringLiteral("All upgrade completed successfully!"));
    for (int i = 0; i <= last; ++i) {
      QCOMPARE(list->item(i, 0)->text(), QString::fromUtf8("   \u221A"));
    }
    // Both bars reach the end; the window is ready for the next radio.
    QCOMPARE(d.MainProgress()->Pos(), 100);
    auto* second = qobject_cast<QProgressBar*>(d.Control(Control::SecondProgress));
    QVERIFY(second != nullptr);
    QCOMPARE(second->value(), 100);
    QVERIFY(d.Control(Control::Upgrade)->isEnabled());
    QCOMPARE(d.State().resultOk.load(), 1);

    // The radio holds the image the installation names.
    sim::DownloadRecord got = radio.DownloadSnapshot();
    QVERIFY(got.completed);
    std::optional<std::string> image = ReadWholeFile(folder + "/" + got.fileName);
    QVERIFY(image.has_value());
    std::vector<uint8_t> sent = got.Image();
    QVERIFY(std::string(sent.begin(), sent.end()) == *image);

    // The next radio on the bench waits in download mode: a second click upgrades it as
    // the first did, and no row is left marked as under way.
    static_cast<QAbstractButton*>(d.Control(Control::Upgrade))->click();
    QTRY_VERIFY_WITH_TIMEOUT(r.boxes.size() >= 2, 120000);
    QVERIFY2(r.boxes.back() == "All upgrade completed successfully!", r.boxes.back().c_str());
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 10000);
    QCOMPARE(list->rowCount(), last + 1);
    for (int i = 0; i < list->rowCount(); ++i) {
      QCOMPARE(list->item(i, 0)->text(), QString::fromUtf8("   \u221A"));
    }
    QVERIFY(radio.DownloadSnapshot().completed);
  }

  // A radio whose every answer to "R" is garbled: the window asks before it sends the image
  // chosen without knowing the radio, naming it. Cancel sends nothing; OK sends that image.
  void unidentifiedRadioAsksTheTechnician() {
    test::TempDir dir;
    const std::string folder = dir.Path() + "install";
    sim::RadioSimConfig config;
    config.download.restartMs = 50;
    config.download.fault =
        sim::DownloadFault{sim::FaultKind::kGarbled, sim::DownloadStep::kIdentify, 0};
    sim::RadioSim radio(config);
    QVERIFY2(radio.Start(), radio.Error().c_str());
    const std::string installed = InstallWithRadioOnCom1(folder, radio.DevicePath());
    QVERIFY2(installed.empty(), installed.c_str());

    test::FakeClockScope clock;
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [folder](UpgradeState& s) {
      LoadSettingsForProgramDir(s, folder);
      LoadingInstallation(s).readWriteLog = 3;  // firmware only: the question is the transfer's
      s.selectedPort = 1;
      return LoadingInstallation(s).windowTitle;
    };
    hooks.saveSettings = [](UpgradeState&) {};
    test::Recorder r;
    UpgradeDialog d(std::move(hooks));
    clock.Attach(d.State().job.clock);
    r.Attach(d);
    QCOMPARE(d.Startup(), 21);
    const std::string question =
        "The radio did not identify itself. Send the firmware image \"KV86S_AMBE_V399.bin\" "
        "anyway?";

    r.answer = MessageResult::Cancel;
    static_cast<QAbstractButton*>(d.Control(Control::Upgrade))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!r.boxes.empty(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 10000);
    QCOMPARE(r.boxes.size(), size_t(1));
    QVERIFY2(r.boxes[0] == question, r.boxes[0].c_str());
    QCOMPARE(radio.DownloadSnapshot().requests[static_cast<int>(sim::DownloadStep::kIdentify)], 4u);
    QCOMPARE(
        radio.DownloadSnapshot().requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)],
        0u);
    QCOMPARE(d.State().resultOk.load(), 0);
    QVERIFY(d.Control(Control::Upgrade)->isEnabled());

    r.answer = MessageResult::Ok;
    static_cast<QAbstractButton*>(d.Control(Control::Upgrade))->click();
    QTRY_VERIFY_WITH_TIMEOUT(r.boxes.size() >= 3, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 10000);
    QVERIFY2(r.boxes[1] == question, r.boxes[1].c_str());
    QVERIFY2(r.boxes[2] == "Update the radio software completed!", r.boxes[2].c_str());
    sim::DownloadRecord got = radio.DownloadSnapshot();
    QVERIFY(got.completed);
    QCOMPARE(got.fileName, std::string("KV86S_AMBE_V399.bin"));
    std::optional<std::string> image = ReadWholeFile(folder + "/KV86S_AMBE_V399.bin");
    QVERIFY(image.has_value());
    std::vector<uint8_t> sent = got.Image();
    QVERIFY(std::string(sent.begin(), sent.end()) == *image);
  }
};

QTEST_MAIN(WindowUpgradeTest)
#include "WindowUpgradeTest.moc"
#include "config/Installation.h"
