#include "app/qt/PortList.h"

#include <QSignalBlocker>
#include <limits>

#include "serial/PortMap.h"
#include "serial/UsbAdapter.h"

namespace fw {
namespace {

constexpr const char* kNoPortMessage = "Please check all connections and port settings!";

}  // namespace

void PortCombo::showPopup() {
  emit aboutToShowPopup();
  QComboBox::showPopup();
}

std::vector<FoundPort> ScanPorts16(const OpenCheck& check) {
  std::vector<FoundPort> found;
  for (const PortMap::ScannedPort& p : GlobalPortMap().ScanPortList(check)) {
    if (p.number >= 1 && p.number <= PortMap::kMaxPort) {
      found.push_back({p.number, p.devicePath, p.access});
    }
  }
  return found;
}

QString EntryText(const FoundPort& port) {
  QString text = QStringLiteral("COM%1").arg(port.number);
  const char* mark = PortListMark(port.access);
  if (mark[0] != '\0') {
    text += QStringLiteral(" (%1)").arg(QString::fromLatin1(mark));
  }
  return text;
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

QString PortToolTip(int portNumber, const std::string& devicePath, PortAccess access) {
  QString tip = QString::fromStdString(devicePath);
  std::string product = GlobalPortMap().ProductName(portNumber);
  if (!product.empty()) {
    tip += QStringLiteral(" (%1)").arg(QString::fromStdString(product));
  }
  const std::string adapter = AdapterSummary(DescribeAdapter(devicePath));
  if (!adapter.empty()) {
    tip += QStringLiteral("\n") + QString::fromStdString(adapter);
  }
  // A latency timer that stayed long during a job, with the rule that fixes it.
  const std::string latency = NotedLatencyAdvice(devicePath);
  if (!latency.empty()) {
    tip += QStringLiteral("\n") + QString::fromStdString(latency);
  }
  std::string more = access == PortAccess::kNotPermitted
                         ? PermissionAdvice(devicePath, GroupOfDevice(devicePath))
                         : OtherProgramsOnPort(devicePath);
  if (!more.empty()) {
    tip += QStringLiteral("\n") + QString::fromStdString(more);
  }
  return tip;
}

PortList::PortList(PortCombo* combo, UpgradeView& view, std::atomic<int>& selected)
    : combo_(combo), view_(view), selected_(selected) {}

void PortList::Scan(const OpenCheck& check) {
  QSignalBlocker block(combo_);
  combo_->clear();
  for (const FoundPort& port : ScanPorts16(check)) {
    combo_->addItem(EntryText(port));
    combo_->setItemData(combo_->count() - 1, PortToolTip(port.number, port.devicePath, port.access),
                        Qt::ToolTipRole);
  }
  combo_->setCurrentIndex(-1);
}

int PortList::Rescan() {
  Scan();
  if (combo_->count() == 0) {
    view_.EnableControl(Control::Upgrade, false);
    view_.MessageBox(kNoPortMessage, MessageIcon::Exclamation, MessageButtons::Ok);
    return 0;
  }
  view_.EnableControl(Control::Upgrade, true);
  {
    QSignalBlocker block(combo_);
    combo_->setCurrentIndex(0);
  }
  selected_ = EntryToNumber(combo_->itemText(0));
  return combo_->count();
}

void PortList::SelectionChanged() {
  int index = combo_->currentIndex();
  if (index < 0) {
    return;  // nothing selected: the number stays
  }
  selected_ = EntryToNumber(combo_->itemText(index));
}

void PortList::SelectSavedPort() {
  if (combo_->count() == 0) {
    return;
  }
  // The entry's name (before a mark such as " (no permission)"), compared in any case.
  QString wanted = QStringLiteral("COM%1").arg(selected_.load());
  int index = -1;
  for (int i = 0; i < combo_->count() && index < 0; ++i) {
    if (combo_->itemText(i).section(QLatin1Char(' '), 0, 0).compare(wanted, Qt::CaseInsensitive) ==
        0) {
      index = i;
    }
  }
  QSignalBlocker block(combo_);
  if (index >= 0) {
    combo_->setCurrentIndex(index);
    return;
  }
  combo_->setCurrentIndex(0);
  selected_ = EntryToNumber(combo_->itemText(0));
}

}  // namespace fw
