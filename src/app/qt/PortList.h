#pragma once
// The COM port list of the Qt window (combo box 1001): the entries app/window/PortEntries
// gives, the selection and the process-wide port number.

#include <QComboBox>
#include <QString>
#include <atomic>
#include <string>
#include <vector>

#include "app/window/PortEntries.h"
#include "core/UpgradeView.h"
#include "serial/PortAccess.h"

namespace fw {

// A drop-down list that announces its drop-down before the list is shown.
class PortCombo : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;
  void showPopup() override;

 signals:
  void aboutToShowPopup();
};

// The Qt form of the shared entry helpers (app/window/PortEntries.h).
int EntryToNumber(const QString& entry);

class PortList {
 public:
  // `view` shows the rescan message and enables the "Upgrade" button.
  // `selected` is the window's chosen COM number (the state record's dialog value).
  PortList(PortCombo* combo, UpgradeView& view, std::atomic<int>& selected);

  // Refills the combo; leaves no entry selected.
  void Scan(const OpenCheck& check = TryOpenExclusively);
  // Scan, then select entry 0 and store its number; with no port, disable "Upgrade" and
  // tell the user. Returns the number of entries.
  int Rescan();
  // Takes the port number from the selected entry (keeps it when nothing is selected).
  void SelectionChanged();
  // Selects the entry of the current port number (case-insensitive); when absent,
  // selects entry 0 and stores its number. Does nothing on an empty combo.
  void SelectSavedPort();

 private:
  PortCombo* combo_;
  UpgradeView& view_;
  std::atomic<int>& selected_;
};

}  // namespace fw
