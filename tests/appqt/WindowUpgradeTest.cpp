// A whole upgrade clicked through the window: a generated installation, the simulated radio
// on a pseudo-terminal mapped to COM1 in the settings file, one click on "Upgrade", and the
// rows, status text, both progress bars and the final box as a technician sees them.
// The bench: two simulated radios on COM1 and COM2 upgraded at once with "Upgrade all", a
// box of one job while the other completes, and run mode 5 repeating port by port.
// The job journal: the window's record of an upgrade, its History (list, filter, details,
// "Export CSV...", "Write back"), the question after a write whose line was cut (in the
// window and in a bench panel), and a journal that cannot be opened.

#include <sqlite3.h>
#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTableWidget>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>

#include "DemoIdentity.h"
#include "DemoInstall.h"
#include "RadioSim.h"
#include "WindowTestSupport.h"
#include "app/qt/BenchPanel.h"
#include "app/qt/HistoryDialog.h"
#include "config/Settings.h"
#include "platform/FileIo.h"
#include "platform/Profile.h"
#include "support/JournalJobs.h"
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

using Link = sim::FramedLinkResponder;

// A job's record as the journal file holds it, read with SQLite itself.
struct StoredJob {
  int64_t id = 0;
  std::string kind, result, backup;
  int64_t writeBackOf = 0;
  std::vector<uint8_t> converted;  // the saved data about to be written
};

std::string Column(sqlite3_stmt* st, int i) {
  const unsigned char* text = sqlite3_column_text(st, i);
  return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

// Every job of the journal at `path`, oldest first, with the saved data the backup holds
// (zlib-compressed blobs are read back through the journal's own loader).
std::vector<StoredJob> StoredJobs(const std::string& path) {
  std::vector<StoredJob> jobs;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return jobs;
  }
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT id, kind, result, COALESCE(backup, ''), COALESCE(write_back_of, 0) "
                     "FROM jobs ORDER BY id",
                     -1, &st, nullptr);
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    StoredJob job;
    job.id = sqlite3_column_int64(st, 0);
    job.kind = Column(st, 1);
    job.result = Column(st, 2);
    job.backup = Column(st, 3);
    job.writeBackOf = sqlite3_column_int64(st, 4);
    jobs.push_back(job);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  std::string error;
  if (std::unique_ptr<Journal> journal = Journal::Open(path, error)) {
    for (StoredJob& job : jobs) {
      if (std::optional<JournalBackup> b = journal->LoadBackup(job.id, error)) {
        job.converted = b->converted;
      }
    }
  }
  return jobs;
}

// The radio's information block carries a serial number in a text field, so that it is told
// from other radios of its model (a radio without one is never offered saved settings).
void GiveSerial(sim::RadioSim& radio, const char* serial) {
  radio.WithLink([serial](Link& link) {
    Link::InfoBlock block =
        Link::MakeInfoBlock(demo::kIdentityText, demo::kModelText, demo::kAreaDigit);
    std::copy_n(serial, std::strlen(serial), block.begin() + 97);
    link.SetInfoBlock(block);
  });
}

std::vector<uint8_t> RadioData(sim::RadioSim& radio) {
  return radio.WithLink([](Link& link) { return link.MemoryImage(Link::Memory::kData); });
}

// The radio's data begins with `expected` (a radio's data as written, byte for byte).
bool RadioDataStartsWith(sim::RadioSim& radio, const std::vector<uint8_t>& expected) {
  const std::vector<uint8_t> data = RadioData(radio);
  return !expected.empty() && data.size() >= expected.size() &&
         std::equal(expected.begin(), expected.end(), data.begin());
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos;
       start = at + separator.size()) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The demo installation with the simulated radio on COM1 and its job journal named in the
// settings file ("Journal", relative to the program folder), and a window on it whose jobs
// run on a fake clock; every box is recorded and answered with `answer`.
struct JournalWindow {
  explicit JournalWindow(const sim::RadioSimConfig& config) : radio(config) {
    folder = dir.Path() + "install";
    journalPath = folder + "/records/journal.db";
    ok =
        radio.Start() && InstallWithRadioOnCom1(folder, radio.DevicePath()).empty() &&
        ProfileWriteString("Setting", "Journal", "records/journal.db", folder + "/Flashwright.ini");
    DialogHooks hooks = DefaultDialogHooks();
    hooks.loadSettings = [this](UpgradeState& s) {
      LoadSettingsForProgramDir(s, folder);
      s.selectedPort = 1;
      return LoadingInstallation(s).windowTitle;
    };
    hooks.saveSettings = [](UpgradeState&) {};
    window = std::make_unique<UpgradeDialog>(std::move(hooks));
    clock.Attach(window->State().job.clock);
    window->View().SetBoxHandler([this](const BoxRequest& r) {
      boxes.push_back(r);
      return answer;
    });
  }
  ~JournalWindow() { window.reset(); }

  void ClickUpgrade() { static_cast<QAbstractButton*>(window->Control(Control::Upgrade))->click(); }
  bool AnyBoxStartsWith(const std::string& text, size_t from = 0) const {
    for (size_t i = from; i < boxes.size(); ++i) {
      if (boxes[i].text.rfind(text, 0) == 0) {
        return true;
      }
    }
    return false;
  }

  test::TempDir dir;
  std::string folder;
  std::string journalPath;
  sim::RadioSim radio;
  bool ok = false;
  test::FakeClockScope clock;
  std::unique_ptr<UpgradeDialog> window;
  std::vector<BoxRequest> boxes;
  MessageResult answer = MessageResult::Ok;
};

// Clicks OK in every open box of the panel that is not the question asked for (`keep`);
// returns whether that question is open.
bool AnswerNoticesUntil(BenchPanel& panel, const QString& keep) {
  bool asked = false;
  for (QMessageBox* box : panel.View().OpenBoxes()) {
    if (!keep.isEmpty() && box->text().startsWith(keep)) {
      asked = true;
    } else if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    }
  }
  return asked;
}

QString Sha256OfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return QString::fromLatin1(
      QCryptographicHash::hash(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                               QCryptographicHash::Sha256)
          .toHex());
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
    QVERIFY2(boxes[1].empty(), boxes[1].empty() ? "" : boxes[1].front().c_str());
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

  // The window keeps a record of its upgrade in the journal the settings file names; its
  // History lists it, with the image's SHA-256 in the details; "Export CSV..." writes it;
  // "Write back" writes the saved data to the radio again, and is refused while a job runs.
  void historyListsExportsAndWritesBackTheWindowsJob() {
    JournalWindow w(DemoRadio());
    QVERIFY(w.ok);
    UpgradeDialog& d = *w.window;
    QCOMPARE(d.Startup(), 21);
    QVERIFY(w.boxes.empty());  // the journal opened: nothing to say
    QVERIFY(std::filesystem::exists(w.journalPath));
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QCOMPARE(d.State().resultOk.load(), 1);
    const std::vector<uint8_t> upgraded = RadioData(w.radio);

    std::vector<StoredJob> stored = StoredJobs(w.journalPath);
    QCOMPARE(stored.size(), size_t{1});
    const StoredJob first = stored[0];
    QCOMPARE(first.kind, std::string("full"));
    QCOMPARE(first.result, std::string("success"));
    QCOMPARE(first.backup, std::string("saved"));
    // What was saved is what the radio took.
    QVERIFY(RadioDataStartsWith(w.radio, first.converted));

    // The History item stands beside About; the dialog lists the job first.
    QVERIFY(d.HistoryAction() != nullptr);
    QCOMPARE(d.HistoryAction()->text(), QStringLiteral("History"));
    QVERIFY((d.ContextMenuActions() ==
             std::vector<QAction*>{d.AboutAction(), d.HistoryAction(), d.BenchAction()}));
    d.HistoryAction()->trigger();
    HistoryDialog* h = d.History();
    QVERIFY(h != nullptr && h->isVisible());
    QTableWidget* table = h->Table();
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QString::number(first.id));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("full"));
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("COM1"));
    QCOMPARE(table->item(0, 6)->text(), QStringLiteral("success"));
    QCOMPARE(table->item(0, 7)->text(), QStringLiteral("saved"));
    QVERIFY(!h->WriteBackButton()->isEnabled());  // no job chosen yet
    table->selectRow(0);
    QVERIFY(h->WriteBackButton()->isEnabled());
    const std::string imageName = w.radio.DownloadSnapshot().fileName;
    const QString details = h->Details()->toPlainText();
    const QString sha = Sha256OfFile(w.folder + "/" + imageName);
    QCOMPARE(sha.size(), 64);
    QVERIFY2(details.contains(QString::fromStdString(imageName)) && details.contains(sha),
             qPrintable(details));

    // The filter: a text of the radio's, a date.
    h->FilterEdit()->setText(QStringLiteral("no such radio"));
    QCOMPARE(table->rowCount(), 0);
    h->FilterEdit()->setText(QStringLiteral("KV86"));
    QCOMPARE(table->rowCount(), 1);
    h->SinceCheck()->setChecked(true);
    h->SinceEdit()->setDate(QDateTime::currentDateTimeUtc().date().addDays(1));
    QCOMPARE(table->rowCount(), 0);
    h->SinceEdit()->setDate(QDateTime::currentDateTimeUtc().date().addDays(-1));
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(h->SelectedJob() == nullptr);  // the job was filtered out meanwhile
    QVERIFY(!h->WriteBackButton()->isEnabled());
    QVERIFY(h->SelectJob(first.id));
    QVERIFY(h->WriteBackButton()->isEnabled());

    // Export CSV...: the header, then the job.
    const std::string csvPath = w.dir.Path() + "history.csv";
    h->SetSaveFileChooser([&csvPath] { return csvPath; });
    h->ExportButton()->click();
    const std::optional<std::string> csv = ReadWholeFile(csvPath);
    QVERIFY(csv.has_value());
    const std::vector<std::string> lines = Split(*csv, "\r\n");
    QCOMPARE(lines.size(), size_t{3});  // header, one job, the end after the last line
    QCOMPARE(lines[0], std::string("job,started (UTC),ended (UTC),kind,result,host,user,port,"
                                   "device,radio model,identity,model id,area,text 1,text 2,"
                                   "text 3,date 1,date 2,firmware version,backup,failed row,"
                                   "box,write-back of,installation,program version,adapter"));
    const std::vector<std::string> fields = Split(lines[1], ",");
    QVERIFY(fields.size() >= 26);
    QCOMPARE(fields[0], std::to_string(first.id));
    QCOMPARE(fields[3], std::string("full"));
    QCOMPARE(fields[4], std::string("success"));
    QCOMPARE(fields[7], std::string("COM1"));
    QCOMPARE(fields[8], w.radio.DevicePath());
    QCOMPARE(fields[19], std::string("saved"));
    QCOMPARE(lines[2], std::string());

    // Write back: the radio's data spoilt, then the saved data written again on the port
    // asked for (the window's selected port offered first).
    w.radio.WithLink([](Link& link) {
      auto& m = link.MemoryImage(Link::Memory::kData);
      std::fill(m.begin(), m.end(), uint8_t{0xA5});
    });
    QVERIFY(!RadioDataStartsWith(w.radio, first.converted));
    std::vector<int> offered;
    int preselected = 0;
    h->SetPortChooser([&](const std::vector<int>& ports, int selected) {
      offered = ports;
      preselected = selected;
      return std::optional<int>(1);
    });
    const size_t boxesBefore = w.boxes.size();
    h->WriteBackButton()->click();
    QCOMPARE(preselected, 1);
    QVERIFY(std::find(offered.begin(), offered.end(), 1) != offered.end());
    QVERIFY(JobRunning(d.State()));
    QVERIFY(!h->isVisible());  // the job's rows are the window's
    // A second one while it runs is refused, plainly.
    QVERIFY(!d.StartWriteBack(first.id, 1));
    QVERIFY(w.AnyBoxStartsWith(UpgradeDialog::kWriteBackWhileRunning, boxesBefore));
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QCOMPARE(d.State().resultOk.load(), 1);
    QVERIFY(RadioDataStartsWith(w.radio, first.converted));
    QVERIFY(std::equal(first.converted.begin(), first.converted.end(), upgraded.begin()));
    QList<QTableWidgetItem*> matches = d.StatusList()->findItems(
        QStringLiteral("The radio matches the saved settings."), Qt::MatchExactly);
    QCOMPARE(matches.size(), 1);
    stored = StoredJobs(w.journalPath);
    QCOMPARE(stored.size(), size_t{2});
    QCOMPARE(stored[1].kind, std::string("write-back"));
    QCOMPARE(stored[1].result, std::string("success"));
    QCOMPARE(stored[1].writeBackOf, first.id);

    // "Upgrade" upgrades again: the write-back was that one job's.
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    stored = StoredJobs(w.journalPath);
    QCOMPARE(stored.size(), size_t{3});
    QCOMPARE(stored[2].kind, std::string("full"));
  }

  // A first job's line is cut while the radio's data is written; the next job on that radio
  // asks whether to write back the saved settings, and OK writes them instead of a
  // conversion of the half-written data.
  void unfinishedWriteAnsweredOkWritesTheSavedSettingsBack() {
    JournalWindow w(DemoRadio());
    QVERIFY(w.ok);
    UpgradeDialog& d = *w.window;
    QCOMPARE(d.Startup(), 21);
    GiveSerial(w.radio, "SN-00017");
    w.radio.WithLink([](Link& link) {
      link.InjectFault(Link::Command::kWriteBlock, Link::Fault::kHangUp, 100, 1);
    });
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QCOMPARE(d.State().resultOk.load(), 0);
    std::vector<StoredJob> stored = StoredJobs(w.journalPath);
    QCOMPARE(stored.size(), size_t{1});
    const StoredJob broken = stored[0];
    QCOMPARE(broken.result, std::string("failed"));
    QCOMPARE(broken.backup, std::string("saved"));
    QVERIFY(!broken.converted.empty());
    QVERIFY(!RadioDataStartsWith(w.radio, broken.converted));  // half-written

    // The cable is plugged in again (a new line for the same radio).
    QVERIFY(w.radio.Start());
    GlobalPortMap().SetExplicit(1, w.radio.DevicePath());
    GiveSerial(w.radio, "SN-00017");
    w.radio.WithLink([](Link& link) { link.ClearFaults(); });
    const size_t before = w.boxes.size();
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    const std::string question =
        "This radio's last upgrade broke off while its settings were "
        "written. They are saved as job " +
        std::to_string(broken.id) + ". Write them back now?";
    const BoxRequest* asked = nullptr;
    for (size_t i = before; i < w.boxes.size(); ++i) {
      if (w.boxes[i].text == question) {
        asked = &w.boxes[i];
      }
    }
    QVERIFY2(asked != nullptr, w.boxes.empty() ? "no box" : w.boxes.back().text.c_str());
    QCOMPARE(asked->icon, MessageIcon::Question);
    QCOMPARE(asked->buttons, MessageButtons::OkCancel);
    QCOMPARE(d.State().resultOk.load(), 1);
    QVERIFY(RadioDataStartsWith(w.radio, broken.converted));
    stored = StoredJobs(w.journalPath);
    QCOMPARE(stored.size(), size_t{2});
    QCOMPARE(stored[1].result, std::string("success"));
  }

  // A write of the same radio key that is still going on (a job of a live process: another
  // port of a bench of identical radios) has not broken off: nothing is asked.
  void writeStillGoingOnIsNotAskedAbout() {
    JournalWindow w(DemoRadio());
    QVERIFY(w.ok);
    UpgradeDialog& d = *w.window;
    QCOMPARE(d.Startup(), 21);
    GiveSerial(w.radio, "SN-00019");
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QCOMPARE(d.State().resultOk.load(), 1);
    std::string error;
    std::unique_ptr<Journal> journal = Journal::Open(w.journalPath, error);
    QVERIFY2(journal != nullptr, error.c_str());
    const std::vector<JournalJob> done = journal->History(HistoryFilter{});
    QCOMPARE(done.size(), size_t{1});
    QVERIFY(!done[0].radioKey.empty());
    // Another job of this process is writing a radio of the same key right now.
    JournalJob writing = test::NewJournalJob(done[0].radioKey);
    QVERIFY(journal->BeginJob(writing));
    const std::vector<uint8_t> data(129976, 0x3C);
    QVERIFY(journal->SaveBackup(writing, {}, data));
    writing.writeStarted = true;
    QVERIFY(journal->UpdateJob(writing));

    const size_t before = w.boxes.size();
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QVERIFY(!w.AnyBoxStartsWith("This radio's last upgrade broke off", before));
    QCOMPARE(d.State().resultOk.load(), 1);
    QVERIFY(!RadioDataStartsWith(w.radio, data));
  }

  // A journal that cannot be opened is said once, naming the file; the window opens and a
  // job stops before it writes the radio.
  void unusableJournalIsSaidAndNoRadioIsWritten() {
    JournalWindow w(DemoRadio());
    QVERIFY(w.ok);
    // A file where the journal's folder should be.
    std::ofstream(w.folder + "/records") << "not a folder";
    UpgradeDialog& d = *w.window;
    QCOMPARE(d.Startup(), 21);
    QCOMPARE(w.boxes.size(), size_t{1});
    const std::string said = w.boxes[0].text;
    QVERIFY2(said.rfind(UpgradeDialog::kJournalProblem, 0) == 0, said.c_str());
    QVERIFY2(said.find("records") != std::string::npos, said.c_str());
    QVERIFY(d.Control(Control::Upgrade)->isEnabled());
    QVERIFY(d.HistoryAction() != nullptr);
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QCOMPARE(d.State().resultOk.load(), 0);
    QCOMPARE(DataBytesWritten(w.radio), size_t{0});
    QVERIFY(w.radio.DownloadSnapshot().completed);  // the firmware went, the data did not
  }

  // With backups off ("Backup=0") the same unusable journal is said as such, and the radio
  // is written all the same.
  void backupOffWritesTheRadioWithoutAJournal() {
    JournalWindow w(DemoRadio());
    QVERIFY(w.ok);
    std::ofstream(w.folder + "/records") << "not a folder";
    QVERIFY(ProfileWriteString("Setting", "Backup", "0", w.folder + "/Flashwright.ini"));
    UpgradeDialog& d = *w.window;
    QCOMPARE(d.Startup(), 21);
    QCOMPARE(w.boxes.size(), size_t{1});
    QVERIFY(d.SkipBackup());
    QVERIFY2(w.boxes[0].text.find(UpgradeDialog::kNoRecordConsequence) != std::string::npos,
             w.boxes[0].text.c_str());
    w.ClickUpgrade();
    QTRY_VERIFY_WITH_TIMEOUT(!JobRunning(d.State()), 120000);
    QCOMPARE(d.State().resultOk.load(), 1);
    QCOMPARE(DataBytesWritten(w.radio), size_t{129976});
  }

  // On the bench the question after a broken-off write is a box of the panel's own, modal
  // to nothing; its OK writes the saved settings back.
  void benchPanelAsksToWriteBackInABoxOfItsOwn() {
    TwoRadioBench bench(DemoRadio());
    QVERIFY(bench.ok);
    QVERIFY(ProfileWriteString("Setting", "Journal", "records/journal.db",
                               bench.folder + "/Flashwright.ini"));
    const std::string journalPath = bench.folder + "/records/journal.db";
    UpgradeDialog& d = *bench.window;
    QCOMPARE(d.Startup(), 21);
    BenchPanel& panel = bench.Panel(1);
    sim::RadioSim& radio = *bench.radios[0];
    GiveSerial(radio, "SN-00018");
    radio.WithLink([](Link& link) {
      link.InjectFault(Link::Command::kWriteBlock, Link::Fault::kHangUp, 100, 1);
    });
    panel.UpgradeButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT((AnswerNoticesUntil(panel, QString()), !panel.JobRunning()), 120000);
    AnswerNoticesUntil(panel, QString());
    std::vector<StoredJob> stored = StoredJobs(journalPath);
    QCOMPARE(stored.size(), size_t{1});
    const StoredJob broken = stored[0];
    QCOMPARE(broken.backup, std::string("saved"));
    QCOMPARE(broken.result, std::string("failed"));

    QVERIFY(radio.Start());
    GlobalPortMap().SetExplicit(1, radio.DevicePath());
    GiveSerial(radio, "SN-00018");
    radio.WithLink([](Link& link) { link.ClearFaults(); });
    panel.UpgradeButton()->click();
    const QString question = QStringLiteral(
                                 "This radio's last upgrade broke off while its settings were "
                                 "written. They are saved as "
                                 "job %1. Write them back now?")
                                 .arg(broken.id);
    QTRY_VERIFY_WITH_TIMEOUT(AnswerNoticesUntil(panel, question), 120000);
    QMessageBox* box = panel.View().OpenBoxes().front();
    QCOMPARE(box->text(), question);
    QCOMPARE(box->windowModality(), Qt::NonModal);
    QVERIFY(box->windowTitle().startsWith(QStringLiteral("COM1 - ")));
    QVERIFY(box->button(QMessageBox::Cancel) != nullptr);
    // The window goes on meanwhile: the other panel starts its own job.
    bench.Panel(2).UpgradeButton()->click();
    QVERIFY(bench.Panel(2).JobRunning());
    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        (AnswerNoticesUntil(panel, QString()), AnswerNoticesUntil(bench.Panel(2), QString()),
         !d.Bench()->AnyJobRunning()),
        120000);
    QCOMPARE(panel.State().resultOk.load(), 1);
    QVERIFY(RadioDataStartsWith(radio, broken.converted));
    stored = StoredJobs(journalPath);
    QCOMPARE(stored.size(), size_t{3});  // the other panel's job keeps its record too
  }
};

QTEST_MAIN(WindowUpgradeTest)
#include "WindowUpgradeTest.moc"
#include "config/Installation.h"
