#include "app/qt/UpgradeApp.h"

#include <QApplication>
#include <memory>

#include "app/qt/AppIcon.h"
#include "app/qt/UpgradeDialog.h"
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
  {
    UpgradeDialog dialog(std::move(hooks));
    dialog.Startup();
    dialog.exec();
  }
  // The window is gone; the program does not go on to a message loop of its own.
  return 0;
}

}  // namespace fw
