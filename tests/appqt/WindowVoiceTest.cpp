// The main window's hidden voice-prompt controls: 1024 loads a file and shows its path in
// 1023, 1022 writes it into a simulated radio, 1021 reads the radio's voice area.

#include <QLineEdit>
#include <cstring>

#include "FramedLinkResponder.h"
#include "SimPty.h"
#include "WindowTestSupport.h"
#include "radiodata/DataLog.h"

using namespace fw;
using fw::test::Recorder;
using fw::test::Visible;
using Memory = fw::sim::FramedLinkResponder::Memory;

namespace {

LogTime FixedTime() {
  return {2024, 1, 2, 3, 4, 5};
}

QPushButton* Button(UpgradeDialog& d, int id) {
  return static_cast<QPushButton*>(d.Control(id));
}

QString EditText(UpgradeDialog& d) {
  return static_cast<QLineEdit*>(d.Control(1023))->text();
}

}  // namespace

class WindowVoiceTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  sim::FramedLinkResponder radio_;
  sim::SimPty pty_;

  std::vector<uint8_t> VoiceMemory() {
    std::lock_guard<std::mutex> lock(pty_.StateMutex());
    return radio_.MemoryImage(Memory::kVoice);
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    pty_.AddResponder(&radio_);
    QVERIFY(pty_.Start());
    GlobalPortMap().SetExplicit(9, pty_.DevicePath());
    SetLogTimeSource(&FixedTime);
  }
  void cleanupTestCase() {
    SetLogTimeSource(nullptr);
    pty_.Stop();
    GlobalPortMap().ClearExplicit();
  }

  void controlsStayHiddenButTheirHandlersWork() {
    test::FakeClockScope clock;
    Recorder r;
    UpgradeDialog d(r.Hooks());
    clock.Attach(d.State().job.clock);
    d.State().selectedPort = 9;
    r.Attach(d);
    d.State().SetView(&d.View());  // as start-up does
    LoadingInstallation(d.State()).programDir = dir_.path().toStdString() + "/";
    for (int id : {1021, 1022, 1023, 1024}) {
      QVERIFY(!Visible(d, id));
    }

    // A voice file with 20 bytes of head before the marker and 700 bytes of data.
    std::vector<uint8_t> file(720);
    for (size_t i = 0; i < file.size(); ++i) {
      file[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    std::memcpy(file.data() + 20, "WAVE", 4);
    file[24] = 700 % 256;
    file[25] = 700 / 256;
    file[26] = file[27] = 0;
    const QString path = dir_.filePath(QStringLiteral("voice.bin"));
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    d.SetWavFileChooser([&] { return path.toStdString(); });
    Button(d, 1024)->click();
    QCOMPARE(EditText(d), path);
    QCOMPARE(d.State().wavDataOffset, 20u);

    Button(d, 1022)->click();
    QCOMPARE(r.boxes, std::vector<std::string>{"Write Wav finish!"});
    const std::vector<uint8_t> voice = VoiceMemory();
    QVERIFY(std::equal(file.begin() + 20, file.end(), voice.begin()));

    Button(d, 1021)->click();
    QCOMPARE(r.boxes.back(), std::string("Read Wav finish!"));
    const std::string log = dir_.path().toStdString() + "/WAVLog/[2024-01-02 03-04-05]Wav.bin";
    QCOMPARE(static_cast<qint64>(std::filesystem::file_size(log)), qint64{10240});

    // The dialog cancelled: no path, nothing to write.
    d.SetWavFileChooser([] { return std::string(); });
    Button(d, 1024)->click();
    QCOMPARE(EditText(d), QString());
    const size_t boxes = r.boxes.size();
    Button(d, 1022)->click();
    QCOMPARE(r.boxes.size(), boxes + 1);
    QVERIFY(r.boxes.back() != "Write Wav finish!");
  }

  void nothingRunsWhileAJobUsesTheLink() {
    test::FakeClockScope clock;
    Recorder r;
    DialogHooks hooks = r.Hooks();
    bool running = true;
    hooks.jobRunning = [&](UpgradeState&) { return running; };
    UpgradeDialog d(hooks);
    clock.Attach(d.State().job.clock);
    d.State().selectedPort = 9;
    r.Attach(d);
    d.State().SetView(&d.View());
    LoadingInstallation(d.State()).programDir = dir_.path().toStdString() + "/";
    bool asked = false;
    d.SetWavFileChooser([&] {
      asked = true;
      return std::string();
    });
    {
      std::lock_guard<std::mutex> lock(pty_.StateMutex());
      radio_.ClearRecord();
    }
    Button(d, 1024)->click();
    Button(d, 1021)->click();
    Button(d, 1022)->click();
    QVERIFY(!asked);
    QVERIFY(r.boxes.empty());
    {
      std::lock_guard<std::mutex> lock(pty_.StateMutex());
      QVERIFY(radio_.Requests().empty());
    }
    running = false;  // the job has ended: the window may close
  }
};

QTEST_MAIN(WindowVoiceTest)
#include "WindowVoiceTest.moc"
#include "config/Installation.h"
