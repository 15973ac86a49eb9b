#include "app/qt/PortList.h"

#include <QSignalBlocker>
#include <limits>

#include "core/Ids.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"

namespace fw {
namespace {

constexpr const char* kNoPortMessage = "Please check all connections and port settings!";

}  // namespace

void PortCombo::showPopup() {
  emit aboutToShowPopup();
  QComboBox::showPopup();
}

std::vector<FoundPort> ScanPorts16() {
  std::vector<FoundPort> found;
  for (int n : ScanPorts()) {
    if (n >= 1 && n <= PortMap::kMaxPort) {
      found.push_back({n, GlobalPortMap().DevicePath(n)});
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

QString PortToolTip(int portNumber, const std::string& devicePath) {
  QString tip = QString::fromStdString(devicePath);
  std::string product = GlobalPortMap().ProductName(portNumber);
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
    combo_->setItemData(combo_->count() - 1, PortToolTip(port.number, port.devicePath),
                        Qt::ToolTipRole);
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
