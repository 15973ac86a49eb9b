#include "app/qt/PortList.h"

#include <QSignalBlocker>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "core/Ids.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"
#include "serial/SerialPort.h"

namespace fw {
namespace {

constexpr const char* kNoPortMessage = "Please check all connections and port settings!";

// The product name that a USB serial adapter reports, found by walking up from the tty's
// device node in sysfs; empty for other devices.
std::string UsbProductName(const std::string& devicePath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path dev = fs::canonical(devicePath, ec);
  if (ec) {
    return {};
  }
  fs::path node = fs::canonical(fs::path("/sys/class/tty") / dev.filename() / "device", ec);
  if (ec) {
    return {};
  }
  for (int up = 0; up < 4 && !node.empty() && node != node.root_path(); ++up) {
    std::ifstream in(node / "product");
    std::string name;
    if (in && std::getline(in, name) && !name.empty()) {
      return name;
    }
    node = node.parent_path();
  }
  return {};
}

}  // namespace

void PortCombo::showPopup() {
  emit aboutToShowPopup();
  QComboBox::showPopup();
}

std::vector<FoundPort> ScanPorts16() {
  std::vector<FoundPort> found;
  for (int n = 1; n <= PortMap::kMaxPort; ++n) {
    std::string path = GlobalPortMap().DevicePath(n);
    if (path.empty()) {
      continue;
    }
    SerialPort port;
    if (port.Open(path)) {
      port.Close();
      found.push_back({n, path});
    }
  }
  return found;
}

int EntryToNumber(const QString& entry) {
  int value = 0;
  for (qsizetype i = 3; i < entry.size(); ++i) {
    QChar c = entry.at(i);
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
      break;
    }
    int digit = c.unicode() - '0';
    if (value > (std::numeric_limits<int>::max() - digit) / 10) {
      break;  // no port number is that long; keep what fits
    }
    value = value * 10 + digit;
  }
  return value;
}

QString PortToolTip(const std::string& devicePath) {
  QString tip = QString::fromStdString(devicePath);
  std::string product = UsbProductName(devicePath);
  if (!product.empty()) {
    tip += QStringLiteral(" (%1)").arg(QString::fromStdString(product));
  }
  return tip;
}

PortList::PortList(PortCombo* combo, UpgradeView& view) : combo_(combo), view_(view) {}

void PortList::Scan() {
  QSignalBlocker block(combo_);
  combo_->clear();
  for (const FoundPort& port : ScanPorts16()) {
    combo_->addItem(QStringLiteral("COM%1").arg(port.number));
    combo_->setItemData(combo_->count() - 1, PortToolTip(port.devicePath), Qt::ToolTipRole);
  }
  combo_->setCurrentIndex(-1);
}

int PortList::Rescan() {
  Scan();
  if (combo_->count() == 0) {
    view_.EnableControl(kUpgradeButton, false);
    view_.MessageBox(kNoPortMessage, MessageIcon::Exclamation, MessageButtons::Ok);
    return 0;
  }
  view_.EnableControl(kUpgradeButton, true);
  {
    QSignalBlocker block(combo_);
    combo_->setCurrentIndex(0);
  }
  SetSelectedPortNumber(EntryToNumber(combo_->itemText(0)));
  return combo_->count();
}

void PortList::SelectionChanged() {
  int index = combo_->currentIndex();
  if (index < 0) {
    return;  // nothing selected: the number stays
  }
  SetSelectedPortNumber(EntryToNumber(combo_->itemText(index)));
}

void PortList::SelectSavedPort() {
  if (combo_->count() == 0) {
    return;
  }
  QString wanted = QStringLiteral("COM%1").arg(SelectedPortNumber());
  int index = combo_->findText(wanted, Qt::MatchFixedString);  // whole text, any case
  QSignalBlocker block(combo_);
  if (index >= 0) {
    combo_->setCurrentIndex(index);
    return;
  }
  combo_->setCurrentIndex(0);
  SetSelectedPortNumber(EntryToNumber(combo_->itemText(0)));
}

}  // namespace fw
