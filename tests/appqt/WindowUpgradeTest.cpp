// A whole upgrade clicked through the window: a generated installation, the simulated radio
// on a pseudo-terminal mapped to COM1 in the settings file, one click on "Upgrade", and the
// rows, status text, both progress bars and the final box as a technician sees them.
// The bench: two simulated radios on COM1 and COM2 upgraded at once with "Upgrade all", a
// box of one job while the other completes, and run mode 5 repeating port by port.

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTableWidget>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "DemoIdentity.h"
#include "DemoInstall.h"
#include "RadioSim.h"
#include "WindowTestSupport.h"
#include "app/qt/BenchPanel.h"
#include "config/Settings.h"
#include "platform/FileIo.h"
#include "platform/Profile.h"
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

sim::RadioSimConfig DemoRadio() {
  sim::RadioSimConfig config;
  config.download.restartMs = 50;
  config.download.info = demo::kInfoField;
  config.download.model = demo::kDownloadModelText;
  config.linkIdentifier = demo::kIdentityText;
  config.linkModelText = demo::kModelText;
  config.areaDigit = demo::kAreaDigit;
  config.firmwareVersionText = demo::kLinkVersionText;
  return config;
}

// The demo installation with radio k on COMk, and a window on it (bench of COM1 and COM2)
// whose jobs run on a fake clock.
struct TwoRadioBench {
  explicit TwoRadioBench(sim::RadioSimConfig first, int runMode = -1) {
    folder = dir.Path() + "install";
    radios[0] = std::make_unique<sim::RadioSim>(first);
    radios[1] = std::make_unique<sim::RadioSim>(DemoRadio());
    ok = radios[0]->Start() && radios[1]->Start() &&
         InstallWithRadioOnCom1(folder, radios[0]->DevicePath()).empty();
    if (!ok) {
      return;
    }
    std::ofstream(folder + "/Flashwright.ini", std::ios::app | std::ios::binary)
        << "COM2=" << radios[1]->DevicePath() << "\r\n";
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [this, runMode](UpgradeState& s) {
      LoadSettingsForProgramDir(s, folder);
      if (runMode >= 0) {
        LoadingInstallation(s).readWriteLog = runMode;
      }
      s.selectedPort = 1;
      return LoadingInstallation(s).windowTitle;
    };
    hooks.saveSettings = [](UpgradeState&) {};
    window = std::make_unique<UpgradeDialog>(std::move(hooks));
    clock.Attach(window->State().job.clock);
    window->RequestBench(BenchChoice{true, {1, 2}});
  }
  ~TwoRadioBench() { window.reset(); }

  BenchPanel& Panel(int port) { return *window->Bench()->Panel(port); }
  // The image file the installation names, as the radio received it.
  bool ReceivedImage(int k) {
    sim::DownloadRecord got = radios[k - 1]->DownloadSnapshot();
    std::optional<std::string> image = ReadWholeFile(folder + "/" + got.fileName);
    std::vector<uint8_t> sent = got.Image();
    return got.completed && image.has_value() && std::string(sent.begin(), sent.end()) == *image;
  }

  test::TempDir dir;
  std::string folder;
  std::unique_ptr<sim::RadioSim> radios[2];
  bool ok = false;
  test::FakeClockScope clock;
  std::unique_ptr<UpgradeDialog> window;
};

// A fake clock whose one-second waits last until the test opens the gate (at most 30 s, or
// until the job is stopped):
// the pause a job's bars make at full, held for as long as the test needs.
class GateClock : public Clock {
 public:
  void Sleep(uint32_t ms, StopSignal& stop) override {
    if (ms == 1000) {
      std::unique_lock<std::mutex> lock(mutex_);
      ++waiting_;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!open_ && !stop.Requested() && std::chrono::steady_clock::now() < until) {
        opened_.wait_for(lock, std::chrono::milliseconds(10));
      }
      --waiting_;
    }
    fake_.Sleep(ms, stop);
  }
  uint32_t TickCount() override { return fake_.TickCount(); }
  int Waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }

 private:
  FakeClock fake_;
  std::mutex mutex_;
  std::condition_variable opened_;
  int waiting_ = 0;
  bool open_ = false;
};

// The radio data bytes written to the radio.
size_t DataBytesWritten(sim::RadioSim& radio) {
  using Link = sim::FramedLinkResponder;
  return radio.WithLink([](Link& link) {
    size_t bytes = 0;
    for (const auto& r : link.Requests()) {
      if (r.command == Link::Command::kWriteBlock && r.memory != Link::Memory::kFont) {
        bytes += r.length;
      }
    }
    return bytes;
  });
}

QTimer* AutoStartTimer(BenchPanel& panel) {
  const auto timers = panel.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
  return timers.isEmpty() ? nullptr : timers.front();
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

  // One click on "Upgrade all" upgrades both radios at once, each panel showing its own
  // job; every radio gets the image byte for byte and the whole radio data.
  void benchUpgradeAllUpgradesBothRadios() {
    GateClock gate;  // outlives the bench, whose first job runs on it
    TwoRadioBench bench(DemoRadio());
    QVERIFY(bench.ok);
    UpgradeDialog& d = *bench.window;
    QCOMPARE(d.Startup(), 21);
    QVERIFY(d.BenchMode());
    QVERIFY(!d.Control(Control::Upgrade)->isVisibleTo(&d));
    QCOMPARE(d.Bench()->Panels().size(), size_t{2});
    std::map<int, std::vector<std::string>> boxes;
    for (BenchPanel* p : d.Bench()->Panels()) {
      p->View().SetBoxHandler([&boxes, p](const BoxRequest& r) {
        boxes[p->Port()].push_back(r.text);
        return MessageResult::Ok;
      });
      QCOMPARE(p->title(),
               QStringLiteral("COM%1 (%2)")
                   .arg(p->Port())
                   .arg(QString::fromStdString(bench.radios[p->Port() - 1]->DevicePath())));
    }

    // The first job's bars pause at full for as long as the test holds its gate: meanwhile
    // the window and the second job go on, and the first job's rows wait behind its bars.
    bench.Panel(1).State().job.clock.Use(gate);
    d.Bench()->UpgradeAllButton()->click();
    // (This loop runs on the window's thread: it could not go on if the pause held it.)
    QTRY_VERIFY_WITH_TIMEOUT(
        !boxes[2].empty() && !bench.Panel(2).JobRunning() && gate.Waiting() == 1, 120000);
    QVERIFY(bench.Panel(1).JobRunning());
    QVERIFY(bench.Panel(1).Progress()->Pos() < 100);
    QVERIFY(boxes[1].empty());
    gate.Open();
    QTRY_VERIFY_WITH_TIMEOUT(!boxes[1].empty(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!d.Bench()->AnyJobRunning(), 10000);
    for (int k : {1, 2}) {
      QCOMPARE(boxes[k], std::vector<std::string>{"All upgrade completed successfully!"});
      BenchPanel& p = bench.Panel(k);
      QCOMPARE(p.State().resultOk.load(), 1);
      QCOMPARE(p.Progress()->Pos(), 100);
      QTableWidget* list = p.StatusList();
      QCOMPARE(list->item(list->rowCount() - 1, 1)->text(),
               QStringLiteral("All upgrade completed successfully!"));
      QCOMPARE(p.ModelText()->text(), QStringLiteral("Radio model: KV86000000N00000"));
      QVERIFY(p.UpgradeButton()->isEnabled());
      QVERIFY(bench.ReceivedImage(k));
      QCOMPARE(DataBytesWritten(*bench.radios[k - 1]), size_t{129976});
    }
    // The window's own record ran nothing: leaving asks nothing.
    QVERIFY(!d.Bench()->AnyJobUnfinished());
  }

  // A question of one job waits in a box of its own; the other job meanwhile shows its own
  // box and ends. Neither box is modal, and each job waits only for its own answer.
  void benchBoxOfOneJobLeavesTheOtherGoingOn() {
    sim::RadioSimConfig garbled = DemoRadio();
    garbled.download.fault =
        sim::DownloadFault{sim::FaultKind::kGarbled, sim::DownloadStep::kIdentify, 0};
    TwoRadioBench bench(garbled, 3);  // firmware only: the question is the transfer's
    QVERIFY(bench.ok);
    UpgradeDialog& d = *bench.window;
    QCOMPARE(d.Startup(), 21);
    BenchPanel& asking = bench.Panel(1);
    BenchPanel& other = bench.Panel(2);

    d.Bench()->UpgradeAllButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(asking.View().OpenBoxes().size() == 1, 60000);
    QMessageBox* question = asking.View().OpenBoxes().front();
    QVERIFY(question->text().startsWith(QStringLiteral("The radio did not identify itself.")));
    QCOMPARE(question->windowModality(), Qt::NonModal);
    QVERIFY(question->windowTitle().startsWith(QStringLiteral("COM1 - ")));
    // The other job goes on to its own end and its own box, the question still open.
    QTRY_VERIFY_WITH_TIMEOUT(other.View().OpenBoxes().size() == 1, 60000);
    QMessageBox* done = other.View().OpenBoxes().front();
    QCOMPARE(done->text(), QStringLiteral("Update the radio software completed!"));
    QVERIFY(question->isVisible());
    done->button(QMessageBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!other.JobRunning(), 10000);
    QVERIFY(bench.ReceivedImage(2));
    // The asking job still waits for its answer; Cancel sends nothing.
    QVERIFY(asking.JobRunning());
    QVERIFY(question->isVisible());
    question->button(QMessageBox::Cancel)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!asking.JobRunning(), 10000);
    QCOMPARE(bench.radios[0]
                 ->DownloadSnapshot()
                 .requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)],
             0u);
    QCOMPARE(asking.State().resultOk.load(), 0);
    QCOMPARE(other.State().resultOk.load(), 1);
  }

  // Run mode 5 on the bench: each port starts 10 s after the bench opened and again 40 s
  // after each of its completed jobs; "UpdateTimes" counts the jobs of both ports, and each
  // port's data logs carry its name.
  void benchRunModeFiveRepeatsPortByPort() {
    TwoRadioBench bench(DemoRadio(), 5);
    QVERIFY(bench.ok);
    UpgradeDialog& d = *bench.window;
    QCOMPARE(d.Startup(), 21);
    QVERIFY(!d.TimerActive(Timer::AutoStart));  // the window's own job never starts
    for (BenchPanel* p : d.Bench()->Panels()) {
      p->View().SetBoxHandler([](const BoxRequest&) { return MessageResult::Ok; });
      QVERIFY(p->TimerActive(Timer::AutoStart));
      QCOMPARE(AutoStartTimer(*p)->interval(), 10000);
    }
    QMetaObject::invokeMethod(AutoStartTimer(bench.Panel(1)), "timeout");
    QMetaObject::invokeMethod(AutoStartTimer(bench.Panel(2)), "timeout");
    for (int k : {1, 2}) {
      BenchPanel& p = bench.Panel(k);
      QTRY_VERIFY_WITH_TIMEOUT(!p.JobRunning() && p.TimerActive(Timer::AutoStart), 120000);
      QCOMPARE(AutoStartTimer(p)->interval(), 40000);
      QCOMPARE(p.State().resultOk.load(), 1);
      QVERIFY(bench.ReceivedImage(k));
    }
    const std::string ini = bench.folder + "/Flashwright.ini";
    QCOMPARE(ProfileGetInt("Setting", "UpdateTimes", -1, ini), 2);
    QCOMPARE(d.Bench()->JobCount().total, 2);

    // The next radio on COM1 only: the count goes on from both ports' total.
    QMetaObject::invokeMethod(AutoStartTimer(bench.Panel(1)), "timeout");
    QTRY_VERIFY_WITH_TIMEOUT(
        !bench.Panel(1).JobRunning() && bench.Panel(1).TimerActive(Timer::AutoStart), 120000);
    QCOMPARE(ProfileGetInt("Setting", "UpdateTimes", -1, ini), 3);
    QCOMPARE(bench.Panel(1).State().completedJobs, 2);
    QCOMPARE(bench.Panel(2).State().completedJobs, 1);

    // Data logs: every name carries its port, both ports wrote theirs.
    int com1 = 0;
    int com2 = 0;
    for (const auto& entry : std::filesystem::directory_iterator(bench.folder + "/ReadWriteLog")) {
      const std::string name = entry.path().filename().string();
      com1 += name.find("]COM1-") != std::string::npos;
      com2 += name.find("]COM2-") != std::string::npos;
      QVERIFY2(name.find("]COM1-") != std::string::npos || name.find("]COM2-") != std::string::npos,
               name.c_str());
    }
    QVERIFY(com1 > 0);
    QVERIFY(com2 > 0);
  }
};

QTEST_MAIN(WindowUpgradeTest)
#include "WindowUpgradeTest.moc"
#include "config/Installation.h"
