#include "app/qt/UpgradeApp.h"

#include <QApplication>
#include <memory>

#include "app/qt/AppIcon.h"
#include "app/qt/UpgradeDialog.h"
#include "config/Settings.h"
#include "platform/Clock.h"

namespace fw {

int UpgradeApp::Run(int argc, char** argv, DialogHooks hooks) {
  std::unique_ptr<QApplication> ownApp;
  if (QApplication::instance() == nullptr) {
    ownApp = std::make_unique<QApplication>(argc, argv);
  }
  QApplication::setApplicationName(QStringLiteral("Radio Flashwright"));
  QApplication::setWindowIcon(AppIcon());
  InstallClockFromEnvironment();
  // "--program-dir DIR" (or "--program-dir=DIR"): an installation folder elsewhere.
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString dir;
    if (args[i] == QLatin1String("--program-dir") && i + 1 < args.size()) {
      dir = args[i + 1];
    } else if (args[i].startsWith(QLatin1String("--program-dir="))) {
      dir = args[i].mid(14);
    }
    if (!dir.isEmpty()) {
      hooks.loadSettings = [path = dir.toStdString()](UpgradeState& state) {
        LoadSettingsForProgramDir(state, path);
        return state.windowTitle;
      };
    }
  }
  {
    UpgradeDialog dialog(std::move(hooks));
    dialog.Startup();
    dialog.exec();
  }
  // The window is gone; the program does not go on to a message loop of its own.
  return 0;
}

}  // namespace fw
