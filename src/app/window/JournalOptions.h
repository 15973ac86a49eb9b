#pragma once
// The window's job journal: where it is kept and whether radios are backed up before they
// are written. Chosen by the window program's options (--journal PATH, --no-backup) or the
// settings file ("Journal", "Backup=0"); without either, the user's own journal. No Qt
// here: the program's command line is checked before any window system is touched.

#include <string>
#include <vector>

#include "config/Installation.h"

namespace fw {

struct JournalChoice {
  std::string path;  // --journal PATH; empty: the settings file's, else the user's
  bool noBackup = false;
};

// The window program's journal options: "--journal PATH" (or "--journal=PATH") and
// "--no-backup". Removes them from `args` and returns what they ask for. A "--journal"
// without a path sets `error`.
JournalChoice TakeJournalOptions(std::vector<std::string>& args, std::string& error);

// The journal file to open: the option's, else the settings file's "Journal" (a relative
// name is taken from the program folder), else empty (the user's own journal).
// A journal server ("postgresql://...") is kept as it stands.
std::string JournalPathFor(const JournalChoice& choice, const Installation& installation);
// A journal file name of the settings file (the "Journal" or "JournalLocal" key): a relative
// one is taken from the program folder; empty stays empty.
std::string JournalLocalPathFor(const std::string& name, const Installation& installation);

// Whether radios are written without a backup: --no-backup or "Backup=0".
bool BackupSkipped(const JournalChoice& choice, const Installation& installation);

}  // namespace fw
