#include "app/qt/UpgradeApp.h"

#include <QApplication>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/AppIcon.h"
#include "app/qt/InstallationFolder.h"
#include "app/qt/UpgradeDialog.h"
#include "app/window/BenchOptions.h"
#include "app/window/JournalOptions.h"
#include "platform/Clock.h"

namespace fw {

int UpgradeApp::Run(int argc, char** argv, DialogHooks hooks) {
  std::unique_ptr<QApplication> ownApp;
  if (QApplication::instance() == nullptr) {
    ownApp = std::make_unique<QApplication>(argc, argv);
  }
  QApplication::setApplicationName(QStringLiteral("Radio Flashwright"));
  QApplication::setWindowIcon(AppIcon());
  // "--program-dir DIR" (or "--program-dir=DIR"): an installation folder elsewhere, made
  // absolute and canonical before anything uses it. Without it: the program's own folder or,
  // when that holds no installation, the one last used.
  // The arguments given to this call (an application made by the caller may have others).
  QStringList args;
  for (int i = 0; i < argc; ++i) {
    args.append(QString::fromLocal8Bit(argv[i]));
  }
  QtInstallationFolder folder(ProgramDirArgument(args), nullptr);
  // "--bench" and "--bench-ports=1,2,5": the bench, whatever the settings file says. A bad
  // list was refused before the window was started.
  std::vector<std::string> plain;
  for (const QString& a : args) {
    plain.push_back(a.toStdString());
  }
  std::string benchError;
  const std::optional<BenchChoice> bench = TakeBenchOptions(plain, benchError);
  // "--journal PATH" and "--no-backup": the job journal and the backups, whatever the
  // settings file says (a bad one was refused before the window was started).
  std::string journalError;
  const JournalChoice journal = TakeJournalOptions(plain, journalError);
  hooks.loadSettings = [&folder](UpgradeState& state) { return folder.Load(state); };
  hooks.saveSettings = [&folder](UpgradeState& state) { folder.Save(state); };
  {
    UpgradeDialog dialog(std::move(hooks));
    // The demo's time scale (FLASHWRIGHT_TIME_SCALE) shortens the jobs' fixed waits.
    dialog.State().job.clock.Use(ClockFromEnvironment());
    folder.SetParent(&dialog);
    if (bench) {
      dialog.RequestBench(*bench);
    }
    dialog.RequestJournal(journal);
    dialog.Startup();
    if (folder.NoInstallation()) {
      dialog.SetInstallationProblem(folder.Problem());
    }
    dialog.exec();
  }
  // The window is gone; the program does not go on to a message loop of its own.
  return 0;
}

}  // namespace fw
