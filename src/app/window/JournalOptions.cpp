#include "app/window/JournalOptions.h"

#include "journal/ServerJournal.h"
#include "platform/FileIo.h"

namespace fw {

JournalChoice TakeJournalOptions(std::vector<std::string>& args, std::string& error) {
  JournalChoice choice;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-backup") {
      choice.noBackup = true;
      continue;
    }
    const bool joined = a.rfind("--journal=", 0) == 0;
    if (a == "--journal" || joined) {
      if (joined) {
        choice.path = a.substr(a.find('=') + 1);
      } else if (i + 1 < args.size()) {
        choice.path = args[++i];
      }
      if (choice.path.empty()) {
        error = "--journal needs the path of the journal file (--journal PATH)";
        return choice;
      }
      continue;
    }
    rest.push_back(a);
  }
  args = std::move(rest);
  return choice;
}

std::string JournalPathFor(const JournalChoice& choice, const Installation& installation) {
  if (!choice.path.empty()) {
    return choice.path;
  }
  return JournalLocalPathFor(installation.journalPath, installation);
}

std::string JournalLocalPathFor(const std::string& name, const Installation& installation) {
  if (name.empty() || IsServerJournal(name)) {
    return name;
  }
  return PathFromUtf8(name).is_absolute() ? name : installation.programDir + name;
}

bool BackupSkipped(const JournalChoice& choice, const Installation& installation) {
  return choice.noBackup || !installation.backup;
}

}  // namespace fw
