// The COM port list against pseudo-terminals mapped to COM numbers.

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include "PtyPair.h"
#include "app/qt/PortList.h"
#include "serial/PortAccess.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "support/RecordingView.h"

using namespace fw;

namespace {

QStringList Entries(const QComboBox& combo) {
  QStringList list;
  for (int i = 0; i < combo.count(); ++i) {
    list << combo.itemText(i);
  }
  return list;
}

}  // namespace

class PortListTest : public QObject {
  Q_OBJECT

 private:
  std::vector<std::unique_ptr<test::PtyPair>> ptys_;
  std::unique_ptr<PortCombo> combo_;
  std::unique_ptr<test::RecordingView> view_;
  std::atomic<int> selected_{0};  // the window's chosen port
  std::unique_ptr<PortList> list_;
  // No devices of this machine: only the mapped pseudo-terminals exist.
  QTemporaryDir devDir_;
  QTemporaryDir sysDir_;

  // Maps each number to a fresh pseudo-terminal.
  void Map(std::initializer_list<int> numbers) {
    for (int n : numbers) {
      auto pty = std::make_unique<test::PtyPair>();
      QVERIFY(pty->ok());
      GlobalPortMap().SetExplicit(n, pty->path());
      ptys_.push_back(std::move(pty));
    }
  }

 private slots:
  void initTestCase() {
    QVERIFY(devDir_.isValid() && sysDir_.isValid());
    GlobalPortMap().SetDeviceDirectory(devDir_.path().toStdString());
    GlobalPortMap().SetSysfsRoot(sysDir_.path().toStdString());
  }

  void init() {
    GlobalPortMap().ClearExplicit();
    selected_ = 0;
    combo_ = std::make_unique<PortCombo>();
    view_ = std::make_unique<test::RecordingView>();
    list_ = std::make_unique<PortList>(combo_.get(), *view_, selected_);
  }

  void cleanup() {
    list_.reset();
    combo_.reset();
    view_.reset();
    ptys_.clear();
    GlobalPortMap().ClearExplicit();
  }

  void entryToNumber() {
    QCOMPARE(EntryToNumber(QStringLiteral("COM7")), 7);
    QCOMPARE(EntryToNumber(QStringLiteral("COM16")), 16);
    QCOMPARE(EntryToNumber(QStringLiteral("com3")), 3);
    QCOMPARE(EntryToNumber(QStringLiteral("COM12x")), 12);
    QCOMPARE(EntryToNumber(QStringLiteral("COM")), 0);
    QCOMPARE(EntryToNumber(QStringLiteral("COMx1")), 0);
    QCOMPARE(EntryToNumber(QString()), 0);
    QCOMPARE(EntryToNumber(QStringLiteral("COM99999999999999")), 999999999);  // no overflow
  }

  // The shared entries both windows show (app/window/PortEntries).
  void sharedEntries() {
    QCOMPARE(EntryText(FoundPort{3, "/dev/ttyUSB0", PortAccess::kFree}), std::string("COM3"));
    QCOMPARE(EntryText(FoundPort{12, "/dev/ttyS4", PortAccess::kNotPermitted}),
             std::string("COM12 (no permission)"));
    QCOMPARE(EntryToNumber(std::string("COM9 (no permission)")), 9);
    QCOMPARE(EntryToNumber(std::string("CO")), 0);
    const std::vector<std::string> entries = {"COM2", "COM12 (no permission)", "com7"};
    QCOMPARE(SavedPortIndex(entries, 12), 1);  // the name before the mark
    QCOMPARE(SavedPortIndex(entries, 7), 2);   // in any case
    QCOMPARE(SavedPortIndex(entries, 1), -1);  // "COM12" is not "COM1"
    QCOMPARE(SavedPortIndex(entries, 0), -1);
    QCOMPARE(SavedPortIndex({}, 2), -1);
  }

  void savedPortIsSelected() {
    Map({7, 3});
    selected_ = 7;
    list_->Scan();
    QCOMPARE(Entries(*combo_), (QStringList{"COM3", "COM7"}));
    QCOMPARE(combo_->currentIndex(), -1);  // the scan selects nothing
    list_->SelectSavedPort();
    QCOMPARE(combo_->currentText(), QStringLiteral("COM7"));
    QCOMPARE(selected_.load(), 7);
    QVERIFY(view_->Boxes().empty());
  }

  void absentSavedPortTakesTheFirstEntry() {
    Map({3, 7});
    selected_ = 5;
    list_->Scan();
    list_->SelectSavedPort();
    QCOMPARE(combo_->currentText(), QStringLiteral("COM3"));
    QCOMPARE(selected_.load(), 3);
  }

  void com10IsNotTakenForCom1() {
    Map({2, 10});
    selected_ = 1;
    list_->Scan();
    QCOMPARE(Entries(*combo_), (QStringList{"COM2", "COM10"}));
    list_->SelectSavedPort();
    QCOMPARE(combo_->currentText(), QStringLiteral("COM2"));
    QCOMPARE(selected_.load(), 2);
  }

  void portHeldByAnotherOpenerIsNotListed() {
    Map({4, 6});
    SerialPort holder;
    QCOMPARE(holder.Open(GlobalPortMap().DevicePath(6)), 1);
    list_->Scan();
    QCOMPARE(Entries(*combo_), (QStringList{"COM4"}));
    holder.Close();
    list_->Scan();
    QCOMPARE(Entries(*combo_), (QStringList{"COM4", "COM6"}));
  }

  // A device the user may not open is listed, marked, with what to do in its tooltip, and
  // can still be the saved port; one that another program holds is not listed.
  void portTheUserMayNotOpenIsListedMarked() {
    Map({3, 6, 9});
    const std::string refused = GlobalPortMap().DevicePath(6);
    const std::string busy = GlobalPortMap().DevicePath(9);
    auto check = [&](const std::string& path) {
      return path == refused ? EACCES : path == busy ? EBUSY : TryOpenExclusively(path);
    };
    selected_ = 6;
    list_->Scan(check);
    QCOMPARE(Entries(*combo_), (QStringList{"COM3", "COM6 (no permission)"}));
    const QString tip = combo_->itemData(1, Qt::ToolTipRole).toString();
    QVERIFY2(tip.startsWith(QString::fromStdString(refused) + "\n"), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("may not open ") + QString::fromStdString(refused)) ||
                 tip.contains(QStringLiteral("log out and in again")),
             qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("sudo usermod -aG")) ||
                 tip.contains(QStringLiteral("session began before")),
             qPrintable(tip));
    list_->SelectSavedPort();
    QCOMPARE(combo_->currentIndex(), 1);
    QCOMPARE(selected_.load(), 6);
    combo_->setCurrentIndex(0);
    combo_->setCurrentIndex(1);
    list_->SelectionChanged();
    QCOMPARE(selected_.load(), 6);
  }

  void onlyCom1ToCom16AreOffered() {
    Map({16, 17, 1});
    GlobalPortMap().SetExplicit(5, "/dev/flashwright-no-such-device");
    list_->Scan();
    QCOMPARE(Entries(*combo_), (QStringList{"COM1", "COM16"}));
    // Each entry names its device in the tooltip.
    QCOMPARE(combo_->itemData(0, Qt::ToolTipRole).toString(),
             QString::fromStdString(GlobalPortMap().DevicePath(1)));
  }

  void tooltipNamesTheUsbProduct() {
    Map({3});
    // A sysfs tree in which the pseudo-terminal is the tty of a USB adapter's interface.
    namespace fs = std::filesystem;
    const std::string path = GlobalPortMap().DevicePath(3);
    const fs::path root = sysDir_.path().toStdString();
    const fs::path usb = root / "devices/pci0000:00/usb1/1-2";
    fs::create_directories(usb / "1-2:1.0");
    std::ofstream(usb / "product") << "CP2102 USB to UART Bridge Controller\n";
    const fs::path tty = root / "class/tty" / fs::path(path).filename();
    fs::create_directories(tty);
    fs::create_directory_symlink(usb / "1-2:1.0", tty / "device");
    list_->Scan();
    QCOMPARE(combo_->count(), 1);
    QCOMPARE(combo_->itemData(0, Qt::ToolTipRole).toString(),
             QString::fromStdString(path) + " (CP2102 USB to UART Bridge Controller)");
    fs::remove_all(root / "class");
    fs::remove_all(root / "devices");
  }

  void rescanWithoutPortsTellsTheUser() {
    selected_ = 9;
    QCOMPARE(list_->Rescan(), 0);
    auto boxes = view_->Boxes();
    QCOMPARE(boxes.size(), size_t(1));
    QCOMPARE(boxes[0].text, std::string("Please check all connections and port settings!"));
    QVERIFY(boxes[0].icon == MessageIcon::Exclamation);
    QVERIFY(boxes[0].buttons == MessageButtons::Ok);
    QCOMPARE(view_->Enabled(Control::Upgrade), 0);
    QCOMPARE(selected_.load(), 9);  // unchanged
  }

  void rescanSelectsTheFirstEntry() {
    Map({5, 8});
    selected_ = 8;
    QCOMPARE(list_->Rescan(), 2);
    QCOMPARE(combo_->currentIndex(), 0);
    QCOMPARE(selected_.load(), 5);
    QCOMPARE(view_->Enabled(Control::Upgrade), 1);
    QVERIFY(view_->Boxes().empty());
  }

  void dropDownRescansBeforeTheListShows() {
    Map({5, 8});
    QObject::connect(combo_.get(), &PortCombo::aboutToShowPopup, [this] { list_->Rescan(); });
    list_->Scan();
    list_->SelectSavedPort();
    combo_->setCurrentIndex(1);
    list_->SelectionChanged();
    QCOMPARE(selected_.load(), 8);
    Map({2});  // a port that appeared since
    combo_->showPopup();
    combo_->hidePopup();
    // Closed without a choice: the first listed port is selected and stored.
    QCOMPARE(Entries(*combo_), (QStringList{"COM2", "COM5", "COM8"}));
    QCOMPARE(combo_->currentText(), QStringLiteral("COM2"));
    QCOMPARE(selected_.load(), 2);
  }

  void selectionWithoutEntryKeepsTheNumber() {
    selected_ = 4;
    list_->Scan();  // nothing found
    list_->SelectionChanged();
    QCOMPARE(selected_.load(), 4);
    list_->SelectSavedPort();  // empty combo: nothing happens
    QCOMPARE(selected_.load(), 4);
  }
};

QTEST_MAIN(PortListTest)
#include "PortListTest.moc"
