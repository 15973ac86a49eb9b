// Saves pictures of the main window in each run mode: window_shots <folder>.
// Ports are pseudo-terminals mapped to COM2 and COM5.

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "PtyPair.h"
#include "app/qt/AboutBox.h"
#include "app/qt/AppIcon.h"
#include "app/qt/BenchPanel.h"
#include "app/qt/UpgradeDialog.h"
#include "config/Installation.h"
#include "core/Status.h"
#include "serial/PortMap.h"

using namespace fw;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(folder);
  test::PtyPair a, b;
  // Only the two pseudo-terminals, none of this machine's devices.
  const QString empty = QDir::tempPath() + QStringLiteral("/flashwright-shots-nodev");
  QDir().mkpath(empty);
  GlobalPortMap().SetDeviceDirectory(empty.toStdString());
  struct Shot {
    const char* name;
    int mode;
    bool ports;
    bool busy;
  };
  const Shot shots[] = {{"mode0", 0, true, false}, {"mode1", 1, true, false},
                        {"mode3", 3, true, false}, {"mode5", 5, true, false},
                        {"mode7", 7, true, false}, {"noport", 0, false, false},
                        {"busy", 0, true, true}};
  for (const Shot& s : shots) {
    GlobalPortMap().ClearExplicit();
    if (s.ports) {
      GlobalPortMap().SetExplicit(2, a.path());
      GlobalPortMap().SetExplicit(5, b.path());
    }
    DialogHooks hooks = DefaultDialogHooks();
    hooks.openJournal = nullptr;  // pictures only: no records kept
    const int mode = s.mode;
    hooks.loadSettings = [mode](UpgradeState& st) {
      LoadingInstallation(st).readWriteLog = mode;
      st.selectedPort = 5;
      return std::string();
    };
    hooks.buildFonts = [](UpgradeState&) { return true; };
    UpgradeDialog d(std::move(hooks));
    // No box may wait for a user here.
    d.View().SetBoxHandler([](const BoxRequest&) { return MessageResult::Ok; });
    d.Startup();
    if (s.busy) {
      UpgradeState& st = d.State();
      AddRow(st, kMarkBusy, "Connecting the radio...");
      AddRow(st, kMarkBusy, "The radio is restarting, about 20 seconds...");
      SetLastRow(st, kMarkBusy, "Reading the radio, please wait...");
      st.view->SetProgressPos(ProgressBar::Main, 47);
      st.view->SetStatusText("Reading the radio, please wait...");
      for (Control id : {Control::Port, Control::Upgrade, Control::Vocoder, Control::HexFile}) {
        st.view->EnableControl(id, false);
      }
    }
    d.show();
    QApplication::processEvents();
    d.grab().save(folder + QStringLiteral("/window-%1.png").arg(QLatin1String(s.name)));
    d.State().resultOk = 1;
  }
  {
    // The bench on both ports, one of them busy.
    GlobalPortMap().SetExplicit(2, a.path());
    GlobalPortMap().SetExplicit(5, b.path());
    DialogHooks hooks = DefaultDialogHooks();
    hooks.openJournal = nullptr;  // pictures only: no records kept
    hooks.loadSettings = [](UpgradeState& st) {
      LoadingInstallation(st).readWriteLog = 7;
      return std::string();
    };
    hooks.buildFonts = [](UpgradeState&) { return true; };
    hooks.saveSettings = [](UpgradeState&) {};
    hooks.saveBench = nullptr;
    UpgradeDialog d(std::move(hooks));
    d.RequestBench(BenchChoice{true, {}});
    d.Startup();
    BenchPanel* panel = d.Bench()->Panel(5);
    UpgradeState& st = panel->State();
    AddRow(st, kMarkDone, "Connect the radio successfully!");
    AddRow(st, kMarkBusy, "Update the radio software...");
    st.view->SetProgressPos(ProgressBar::Main, 47);
    st.view->SetStatusText("Update the radio software...");
    st.view->EnableControl(Control::Upgrade, false);
    d.show();
    QApplication::processEvents();
    d.grab().save(folder + QStringLiteral("/window-bench.png"));
  }
  AboutBox about;
  about.show();
  QApplication::processEvents();
  about.grab().save(folder + QStringLiteral("/about.png"));
  AppIconPixmap(128).save(folder + QStringLiteral("/icon.png"));
  return 0;
}
