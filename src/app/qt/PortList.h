#pragma once
// The COM port list of the main window (combo box 1001): which of COM1..COM16 can be
// opened exclusively right now, the selection and the process-wide port number.

#include <QComboBox>
#include <QString>
#include <atomic>
#include <string>
#include <vector>

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

// One port of the list.
struct FoundPort {
  int number = 0;          // 1..16
  std::string devicePath;  // what the number maps to
  PortAccess access = PortAccess::kFree;
};

// COM1..COM16 in ascending order whose device can be opened exclusively at this moment
// (the port map's scan; each is closed again at once), and those the user may not open.
// `check` stands in for the system's open in tests.
std::vector<FoundPort> ScanPorts16(const OpenCheck& check = TryOpenExclusively);

// The entry of a port: "COM3", or "COM3 (no permission)" for one the user may not open.
QString EntryText(const FoundPort& port);

// "COM12" -> 12: the leading decimal digits after the first three characters; 0 if none.
int EntryToNumber(const QString& entry);

// Tooltip of an entry: the device path and, for a USB adapter, its product name; for a
// port the user may not open, what to do about it; for one that other programs hold
// open, who they are.
QString PortToolTip(int portNumber, const std::string& devicePath,
                    PortAccess access = PortAccess::kFree);

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
