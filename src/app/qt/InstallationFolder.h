#pragma once
// The Qt window's side of the installation folder (app/window/InstallationFolder): the
// per-user values in Qt's settings (QSettings: on Linux ~/.config/flashwright/flashwright.conf),
// the question box and the folder dialog.

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "app/window/InstallationFolder.h"

class QWidget;

namespace fw {

// The value of "--program-dir DIR" or "--program-dir=DIR" in `args` (the last one wins);
// empty when there is none.
std::string ProgramDirArgument(const QStringList& args);

// The user's values in Qt's settings.
std::unique_ptr<UserStore> QtUserStore();
UserSettings QtUserSettings();

// The installation folder with Qt's question box and folder dialog over `parent`.
class QtInstallationFolder : public InstallationFolder {
 public:
  QtInstallationFolder(std::string given, QWidget* parent);
  void SetParent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
};

}  // namespace fw
