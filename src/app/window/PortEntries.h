#pragma once
// The COM port list of the main window (combo box 1001), as both windows show it: which of
// COM1..COM16 can be opened exclusively right now, each entry's text and tooltip, and which
// entry the saved port number selects. The windows only put these entries in their combo.

#include <string>
#include <vector>

#include "serial/PortAccess.h"

namespace fw {

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
std::string EntryText(const FoundPort& port);

// "COM12" -> 12: the leading decimal digits after the first three characters; 0 if none.
int EntryToNumber(const std::string& entry);

// Tooltip of an entry: the device path and, for a USB adapter, its product name; the name
// the system gives the port (Windows: "USB Serial Port (COM3)"); for a port the user may not
// open, what to do about it; for one that other programs hold open, who they are.
std::string PortToolTip(int portNumber, const std::string& devicePath,
                        PortAccess access = PortAccess::kFree);

// The entry the saved port number `selected` selects: the one named "COM<selected>" before
// any mark, compared in any case; -1 when none is (or the list is empty).
int SavedPortIndex(const std::vector<std::string>& entries, int selected);

}  // namespace fw
