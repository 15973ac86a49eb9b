// The README's demo in a real window: the program's start routine with the demo's own
// arguments (the installation folder relative to the current folder), on an X server when
// run under xvfb-run (ctest does), a click on "Upgrade" at the button's place in the window,
// and what the simulated radio received: the firmware, the radio data, the font and the
// firmware chip. Then a second click upgrades it again, as the next radio on the bench.
// The bench as a technician opens it (--bench --bench-ports=1,2): one click on "Upgrade all"
// upgrades two simulated radios, each panel's box answered where it stands.
//
// Also the installation folder: a folder without an installation is named and another can be
// chosen, the choice is remembered for the user, and choices that the installation's settings
// file cannot take are kept for the user, with one note.

#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QWindow>
#include <cstdlib>

#include "DemoIdentity.h"
#include "DemoInstall.h"
#include "RadioSim.h"
#include "WindowTestSupport.h"
#include "app/qt/BenchPanel.h"
#include "app/qt/InstallationFolder.h"
#include "app/qt/UpgradeApp.h"
#include "platform/FileIo.h"
#include "platform/Profile.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"

using namespace fw;

namespace {

namespace fs = std::filesystem;
using Link = sim::FramedLinkResponder;

constexpr const char* kSuccess = "All upgrade completed successfully!";

UpgradeDialog* FindWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* d = qobject_cast<UpgradeDialog*>(w); d != nullptr && d->isVisible()) {
      return d;
    }
  }
  return nullptr;
}

// The bytes of each memory area that the radio was written since `from` requests.
std::pair<size_t, size_t> WrittenBytes(sim::RadioSim& radio, size_t from) {
  return radio.WithLink([&](Link& link) {
    size_t data = 0;
    size_t font = 0;
    const auto& requests = link.Requests();
    for (size_t i = from; i < requests.size(); ++i) {
      if (requests[i].command == Link::Command::kWriteBlock) {
        (requests[i].memory == Link::Memory::kFont ? font : data) += requests[i].length;
      }
    }
    return std::make_pair(data, font);
  });
}

size_t RequestCount(sim::RadioSim& radio) {
  return radio.WithLink([](Link& link) { return link.Requests().size(); });
}

// A generated demo installation in `root`/demo-install with the simulated radio on COM1 (and,
// with `twoRadios`, a second one on COM2).
struct DemoSetup {
  explicit DemoSetup(const std::string& rootDir, bool twoRadios = false) : root(rootDir) {
    demo::DemoInstallOptions options;
    options.folder = root + "demo-install";
    options.pluginsDir = FLASHWRIGHT_PLUGIN_DIR;
    made = demo::WriteDemoInstallation(options);
    sim::RadioSimConfig config;
    config.download.restartMs = 500;  // 25 s shortened as the demo shortens it
    config.download.info = demo::kInfoField;
    config.download.variant = demo::kVariantAmbe;
    config.download.model = demo::kDownloadModelText;
    config.linkIdentifier = demo::kIdentityText;
    config.linkModelText = demo::kModelText;
    config.areaDigit = demo::kAreaDigit;
    config.firmwareVersionText = demo::kLinkVersionText;
    config.chipEnterText = demo::kChipEnterText;
    radio = std::make_unique<sim::RadioSim>(config);
    started = made.ok && radio->Start();
    if (twoRadios) {
      second = std::make_unique<sim::RadioSim>(config);
      started = started && second->Start();
    }
    if (started) {
      std::ofstream ini(options.folder + "/Flashwright.ini", std::ios::app | std::ios::binary);
      ini << "COM1=" << radio->DevicePath() << "\r\n";
      if (second) {
        ini << "COM2=" << second->DevicePath() << "\r\n";
      }
    }
  }
  std::string root;
  demo::DemoInstallResult made;
  std::unique_ptr<sim::RadioSim> radio;
  std::unique_ptr<sim::RadioSim> second;
  bool started = false;
};

}  // namespace

class WindowDemoTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // The per-user settings of this test live in a folder of its own.
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, userDir_.path());
  }

  void cleanup() {
    QSettings(QStringLiteral("flashwright"), QStringLiteral("flashwright")).clear();
    GlobalPortMap().ClearExplicit();
  }

  void demoUpgradesTwiceFromARelativeFolder() {
    test::TempDir dir;
    const std::string root = fs::canonical(dir.Path()).string() + "/";
    DemoSetup demo(root);
    QVERIFY2(demo.made.ok, demo.made.error.c_str());
    QVERIFY2(demo.started, demo.radio->Error().c_str());
    sim::RadioSim& radio = *demo.radio;

    // As tools/demo starts it: the fixed waits shortened, the folder relative.
    qputenv("FLASHWRIGHT_TIME_SCALE", "0.02");
    const fs::path before = fs::current_path();
    fs::current_path(root);

    std::vector<std::string> boxes;
    std::string programDir;
    bool firstChecked = false;
    size_t requestsAfterFirst = 0;
    int clicks = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes.push_back(box->text().toStdString());
        if (boxes.back() == kSuccess && clicks == 1) {
          // What the radio holds after the first upgrade, before the next one.
          firstChecked = true;
          requestsAfterFirst = RequestCount(radio);
        }
        QMetaObject::invokeMethod(box->button(QMessageBox::Ok), &QAbstractButton::click,
                                  Qt::QueuedConnection);
        return;
      }
      UpgradeDialog* d = FindWindow();
      if (d == nullptr) {
        return;
      }
      programDir = LoadingInstallation(d->State()).programDir;
      QWidget* upgrade = d->Control(Control::Upgrade);
      const bool idle = upgrade->isEnabled() && !JobRunning(d->State());
      if (elapsed.elapsed() > 150000 || (idle && clicks == 2) ||
          (idle && clicks == 1 && boxes.empty())) {
        // Done, or something went wrong (the checks below say what). Queued: the exit may
        // ask a question, which this slot answers on its next turn.
        QMetaObject::invokeMethod(d, &QWidget::close, Qt::QueuedConnection);
        return;
      }
      if (!idle || !d->windowHandle()->isExposed()) {
        return;
      }
      if (clicks == 1) {
        if (boxes.back() != kSuccess) {
          QMetaObject::invokeMethod(d, &QWidget::close, Qt::QueuedConnection);
          return;
        }
        // Nothing to do between the clicks: after a completed upgrade the simulated radio
        // answers the next identification as the next radio on the bench, in download mode.
      }
      // A click where the button is, as the window system delivers it.
      const QPoint at = upgrade->mapTo(d, upgrade->rect().center());
      QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::KeyboardModifiers(), at);
      ++clicks;
    });
    driver.start();

    std::string name = "Flashwright";
    std::string option = "--program-dir";
    std::string folder = "demo-install";  // relative, as in the README's demo
    char* argv[] = {name.data(), option.data(), folder.data(), nullptr};
    const int code = UpgradeApp::Run(3, argv);
    driver.stop();
    fs::current_path(before);
    qunsetenv("FLASHWRIGHT_TIME_SCALE");

    QCOMPARE(code, 0);
    // The folder was made absolute before anything used it.
    QCOMPARE(QString::fromStdString(programDir), QString::fromStdString(root + "demo-install/"));
    QCOMPARE(clicks, 2);
    for (const std::string& b : boxes) {
      qInfo("box: %s", b.c_str());
    }
    QCOMPARE(boxes.size(), size_t{2});
    QCOMPARE(QString::fromStdString(boxes[0]), QString::fromUtf8(kSuccess));
    QCOMPARE(QString::fromStdString(boxes[1]), QString::fromUtf8(kSuccess));
    QVERIFY(firstChecked);

    // The second upgrade: the image the installation names, byte for byte.
    sim::DownloadRecord got = radio.DownloadSnapshot();
    QVERIFY(got.completed);
    std::optional<std::string> image = ReadWholeFile(root + "demo-install/" + got.fileName);
    QVERIFY(image.has_value());
    std::vector<uint8_t> sent = got.Image();
    QVERIFY(std::string(sent.begin(), sent.end()) == *image);
    // Each upgrade wrote the whole radio data (129976 bytes) and a font image.
    auto [data1, font1] = WrittenBytes(radio, 0);
    auto [data2, font2] = WrittenBytes(radio, requestsAfterFirst);
    QCOMPARE(data2, size_t{129976});
    QCOMPARE(data1, 2 * data2);
    QVERIFY(font2 > 0);
    QCOMPARE(font1, 2 * font2);
    radio.WithChip([](sim::ChipLoaderResponder& chip) { QVERIFY(chip.Completed()); });
    // The installation's choices went back to its own settings file.
    QCOMPARE(ProfileGetInt("Setting", "Port", 0, root + "demo-install/Flashwright.ini"), 1);
  }

  // The bench, opened by its options, on a real window system under xvfb-run: the boxes of
  // the two jobs are not modal; each is answered where it stands, and the settings file keeps
  // the bench for the next start.
  void benchDemoUpgradesTwoRadiosWithOneClick() {
    test::TempDir dir;
    const std::string root = fs::canonical(dir.Path()).string() + "/";
    DemoSetup demo(root, true);
    QVERIFY2(demo.made.ok, demo.made.error.c_str());
    QVERIFY(demo.started);

    qputenv("FLASHWRIGHT_TIME_SCALE", "0.02");
    std::vector<std::string> boxes;
    bool modalBox = false;
    int clicks = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->isVisible() && box->property("answered").isNull()) {
          box->setProperty("answered", true);
          boxes.push_back(box->windowTitle().left(4).toStdString() + " " +
                          box->text().toStdString());
          modalBox = modalBox || box->isModal();
          QMetaObject::invokeMethod(box->button(QMessageBox::Ok), &QAbstractButton::click,
                                    Qt::QueuedConnection);
        }
      }
      UpgradeDialog* d = FindWindow();
      if (d == nullptr || d->Bench() == nullptr) {
        return;
      }
      const bool idle = !d->Bench()->AnyJobRunning();
      if (elapsed.elapsed() > 150000 || (idle && clicks == 1 && boxes.size() >= 2)) {
        QMetaObject::invokeMethod(d, &QWidget::close, Qt::QueuedConnection);
        return;
      }
      if (clicks == 0 && idle && d->windowHandle()->isExposed()) {
        QPushButton* all = d->Bench()->UpgradeAllButton();
        QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::KeyboardModifiers(),
                          all->mapTo(d, all->rect().center()));
        ++clicks;
      }
    });
    driver.start();

    std::string name = "Flashwright";
    std::string option = "--program-dir";
    std::string folder = root + "demo-install";
    std::string bench = "--bench";
    std::string ports = "--bench-ports=1,2";
    char* argv[] = {name.data(), option.data(), folder.data(), bench.data(), ports.data(), nullptr};
    const int code = UpgradeApp::Run(5, argv);
    driver.stop();
    qunsetenv("FLASHWRIGHT_TIME_SCALE");

    QCOMPARE(code, 0);
    QCOMPARE(clicks, 1);
    std::sort(boxes.begin(), boxes.end());
    QCOMPARE(boxes, (std::vector<std::string>{std::string("COM1 ") + kSuccess,
                                              std::string("COM2 ") + kSuccess}));
    QVERIFY(!modalBox);
    for (sim::RadioSim* radio : {demo.radio.get(), demo.second.get()}) {
      sim::DownloadRecord got = radio->DownloadSnapshot();
      QVERIFY(got.completed);
      std::optional<std::string> image = ReadWholeFile(folder + "/" + got.fileName);
      QVERIFY(image.has_value());
      std::vector<uint8_t> sent = got.Image();
      QVERIFY(std::string(sent.begin(), sent.end()) == *image);
      QCOMPARE(WrittenBytes(*radio, 0).first, size_t{129976});
      radio->WithChip([](sim::ChipLoaderResponder& chip) { QVERIFY(chip.Completed()); });
    }
    const std::string ini = folder + "/Flashwright.ini";
    QCOMPARE(ProfileGetInt("Setting", "BenchMode", -1, ini), 1);
    QCOMPARE(ProfileGetString("Setting", "BenchPorts", "", ini), std::string("1,2"));
  }

  // The desktop entry of an installed package: the program's folder holds no installation.
  // The technician is told, chooses the demo's folder, and the next start opens on it.
  void folderWithoutInstallationIsNamedAndTheChoiceRemembered() {
    test::TempDir dir;
    DemoSetup demo(dir.Path());
    QVERIFY(demo.made.ok);
    fs::create_directories(dir.Path() + "empty");

    std::vector<std::string> asked;
    std::string startedIn;
    {
      auto state = std::make_unique<UpgradeState>();
      QtInstallationFolder folder(dir.Path() + "empty", nullptr);
      folder.SetAsk([&](const InstallationCheck& c) {
        asked.push_back(c.Message());
        return true;
      });
      folder.SetChoose([&](const std::string& start) {
        startedIn = start;
        return dir.Path() + "demo-install";
      });
      folder.Load(*state);
      QCOMPARE(QString::fromStdString(folder.Problem()), QString());
      QCOMPARE(QString::fromStdString(LoadingInstallation(*state).programDir),
               QString::fromStdString(dir.Path() + "demo-install/"));
    }
    QCOMPARE(asked.size(), size_t{1});
    QVERIFY2(
        asked[0].rfind("No installation in " + dir.Path() + "empty/: no settings file", 0) == 0,
        asked[0].c_str());
    QCOMPARE(QString::fromStdString(QtUserSettings().LastInstallation()),
             QString::fromStdString(dir.Path() + "demo-install/"));

    // No folder given and none beside the program: the one last chosen, without a question.
    auto state = std::make_unique<UpgradeState>();
    QtInstallationFolder again("", nullptr);
    again.SetAsk([&](const InstallationCheck& c) {
      asked.push_back(c.Message());
      return false;
    });
    again.Load(*state);
    QCOMPARE(asked.size(), size_t{1});
    QCOMPARE(QString::fromStdString(LoadingInstallation(*state).programDir),
             QString::fromStdString(dir.Path() + "demo-install/"));
    QCOMPARE(QString::fromStdString(LoadingInstallation(*state).mainImageName),
             QStringLiteral("KV86_AMBE_V401.bin"));
  }

  // Declining to choose leaves the window on the empty folder: "Upgrade" is disabled, the
  // status text names the folder, and a click (a rescan may enable the button) starts nothing.
  void declinedChoiceLeavesUpgradeRefused() {
    test::TempDir dir;
    auto state = std::make_unique<UpgradeState>();
    QtInstallationFolder folder(dir.Path(), nullptr);
    folder.SetAsk([](const InstallationCheck&) { return false; });
    folder.Load(*state);
    QVERIFY(folder.NoInstallation());
    QVERIFY(folder.Problem().rfind("No installation in " + dir.Path() + ": ", 0) == 0);

    test::Recorder r;
    UpgradeDialog d(r.Hooks());
    r.Attach(d);
    d.Startup();
    d.SetInstallationProblem(folder.Problem());
    QVERIFY(!d.Control(Control::Upgrade)->isEnabled());
    auto* status = static_cast<QLabel*>(d.Control(Control::StatusText));
    QCOMPARE(status->text().toStdString(), folder.Problem());
    QCOMPARE(status->toolTip().toStdString(), folder.Problem());
    d.Control(Control::Upgrade)->setEnabled(true);
    d.OnUpgradeClicked();
    QCOMPARE(r.startJobs, 0);
    QCOMPARE(r.boxes, std::vector<std::string>{folder.Problem()});
  }

  // An installation whose settings file cannot be written (a package's folder, a read-only
  // share): the window's choices are kept for the user, the technician is told once, the file
  // is left as it was, and the next start takes the kept choices.
  void unwritableSettingsAreKeptForTheUserAndToldOnce() {
    test::TempDir dir;
    DemoSetup demo(dir.Path());
    QVERIFY(demo.made.ok);
    const std::string ini = dir.Path() + "demo-install/Flashwright.ini";
    const std::optional<std::string> before = ReadWholeFile(ini);

    test::RecordingView view;
    auto state = std::make_unique<UpgradeState>();
    state->SetView(&view);
    QtInstallationFolder folder(dir.Path() + "demo-install", nullptr);
    folder.SetWritable([](const std::string&) { return false; });
    folder.Load(*state);
    QCOMPARE(state->selectedPort.load(), 1);
    state->selectedPort = 7;
    state->vocoderIndex = 1;
    state->updateChip = 0;
    folder.Save(*state);
    folder.Save(*state);  // a second close says nothing more
    QCOMPARE(view.Boxes().size(), size_t{1});
    QVERIFY2(view.Boxes()[0].text.find(ini + " cannot be written") != std::string::npos,
             view.Boxes()[0].text.c_str());
    QVERIFY(ReadWholeFile(ini) == before);

    auto next = std::make_unique<UpgradeState>();
    QtInstallationFolder reopened(dir.Path() + "demo-install", nullptr);
    reopened.Load(*next);
    QCOMPARE(next->selectedPort.load(), 7);
    QCOMPARE(next->vocoderIndex, 1);
    QCOMPARE(next->updateChip, 0);

    // Once the file can be written again the choices go there, and the kept ones are dropped.
    reopened.Save(*next);
    QCOMPARE(ProfileGetInt("Setting", "Port", 0, ini), 7);
    QCOMPARE(ProfileGetInt("Setting", "CMOS", 0, ini), 1);
    QVERIFY(!QtUserSettings().Kept(dir.Path() + "demo-install/").has_value());

    // Choices kept by an earlier version, under the folder as Qt percent-encodes it (a folder
    // name with a space, '+' and a non-ASCII letter), are still found.
    const std::string odd = dir.Path() + "Bench 2+\xc3\xa9/";
    {
      QSettings raw(QStringLiteral("flashwright"), QStringLiteral("flashwright"));
      const QString group =
          QStringLiteral("kept/") +
          QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(odd)));
      raw.setValue(group + QStringLiteral("/Port"), 12);
      raw.setValue(group + QStringLiteral("/CMOS"), 1);
      raw.setValue(group + QStringLiteral("/UpdateChip"), 1);
      raw.setValue(group + QStringLiteral("/toldReadOnly"), true);
    }
    const std::optional<KeptChoices> old = QtUserSettings().Kept(odd);
    QVERIFY(old.has_value());
    QCOMPARE(old->port, 12);
    QCOMPARE(old->vocoder, 1);
    QCOMPARE(old->updateChip, 1);
    QVERIFY(QtUserSettings().ToldReadOnly(odd));
    QVERIFY(!QtUserSettings().ToldReadOnly(dir.Path() + "Bench 2/"));
  }

 private:
  QTemporaryDir userDir_;
};

QTEST_MAIN(WindowDemoTest)
#include "WindowDemoTest.moc"
#include "config/Installation.h"
