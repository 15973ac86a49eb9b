#include "app/qt/PortList.h"

#include <QSignalBlocker>

namespace fw {
namespace {

constexpr const char* kNoPortMessage = "Please check all connections and port settings!";

}  // namespace

void PortCombo::showPopup() {
  emit aboutToShowPopup();
  QComboBox::showPopup();
}

int EntryToNumber(const QString& entry) {
  return EntryToNumber(entry.toStdString());
}

PortList::PortList(PortCombo* combo, UpgradeView& view, std::atomic<int>& selected)
    : combo_(combo), view_(view), selected_(selected) {}

void PortList::Scan(const OpenCheck& check) {
  QSignalBlocker block(combo_);
  combo_->clear();
  for (const FoundPort& port : ScanPorts16(check)) {
    combo_->addItem(QString::fromStdString(EntryText(port)));
    combo_->setItemData(
        combo_->count() - 1,
        QString::fromStdString(PortToolTip(port.number, port.devicePath, port.access)),
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
  std::vector<std::string> entries;
  for (int i = 0; i < combo_->count(); ++i) {
    entries.push_back(combo_->itemText(i).toStdString());
  }
  const int index = SavedPortIndex(entries, selected_.load());
  QSignalBlocker block(combo_);
  if (index >= 0) {
    combo_->setCurrentIndex(index);
    return;
  }
  combo_->setCurrentIndex(0);
  selected_ = EntryToNumber(combo_->itemText(0));
}

}  // namespace fw
