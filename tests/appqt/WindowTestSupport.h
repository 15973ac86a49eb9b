#pragma once
// Shared pieces of the window tests: hooks that record what the window asked for, and
// pseudo-terminals standing in for the machine's serial devices.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "PtyPair.h"
#include "app/qt/AboutBox.h"
#include "app/qt/TextProgressBar.h"
#include "app/qt/UpgradeDialog.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/AppValues.h"
#include "platform/Clock.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/TempDir.h"
#include "workflow/Job.h"

namespace fw::test {

// The window keeps records of its jobs (the job journal, by default in the user's data
// folder): every window test program keeps them in a folder of its own, removed at its end,
// never in the user's. Set before any window opens its journal.
struct PrivateDataHome {
  PrivateDataHome() { setenv("XDG_DATA_HOME", dir.Path().c_str(), 1); }
  TempDir dir;
};
inline PrivateDataHome privateDataHome;

// Hooks that record what the window asked for.
struct Recorder {
  int runMode = 0;
  int savedPort = 0;
  bool fontsOk = true;
  std::string imageDir;
  std::string imageName;
  int startJobs = 0;
  int saves = 0;
  std::vector<std::string> boxes;
  MessageResult answer = MessageResult::Ok;
  std::vector<ProgressEvent> progress;
  bool progressOnWindowThread = true;

  DialogHooks Hooks() {
    DialogHooks h;
    h.loadSettings = [this](UpgradeState& s) {
      LoadingInstallation(s).readWriteLog = runMode;
      LoadingInstallation(s).imageDir = imageDir;
      s.selectedImageName = imageName;
      s.selectedPort = savedPort;
      return std::string("Radio Flashwright 2.0");
    };
    h.buildFonts = [this](UpgradeState&) { return fontsOk; };
    h.startJob = [this](UpgradeState&) { ++startJobs; };
    h.saveSettings = [this](UpgradeState&) { ++saves; };
    h.jobEvent = [this](UpgradeState&, const JobEvent& event) {
      const auto* p = std::get_if<ProgressEvent>(&event);
      if (p == nullptr) {
        return false;
      }
      progress.push_back(*p);
      progressOnWindowThread = progressOnWindowThread && QThread::currentThread() == qApp->thread();
      return true;
    };
    return h;
  }

  void Attach(UpgradeDialog& d) {
    d.View().SetBoxHandler([this](const BoxRequest& r) {
      boxes.push_back(r.text);
      return answer;
    });
  }
};

// The next widget in the tab order that can take focus by Tab.
inline QWidget* NextTabStop(QWidget* w) {
  for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain()) {
    if (n->focusPolicy() & Qt::TabFocus) {
      return n;
    }
  }
  return nullptr;
}

inline bool Visible(UpgradeDialog& d, int id) {
  return d.Control(id)->isVisibleTo(&d);
}
inline bool Visible(UpgradeDialog& d, Control control) {
  return d.Control(control)->isVisibleTo(&d);
}

// COM numbers mapped to fresh pseudo-terminals, and no device of this machine.
class WindowPorts {
 public:
  WindowPorts() {
    GlobalPortMap().SetDeviceDirectory(devDir_.path().toStdString());
    GlobalPortMap().SetSysfsRoot(devDir_.path().toStdString());
  }
  bool Map(std::initializer_list<int> numbers) {
    for (int n : numbers) {
      auto pty = std::make_unique<PtyPair>();
      if (!pty->ok()) {
        return false;
      }
      GlobalPortMap().SetExplicit(n, pty->path());
      ptys_.push_back(std::move(pty));
    }
    return true;
  }
  void Reset() {
    ptys_.clear();
    GlobalPortMap().ClearExplicit();
  }

 private:
  QTemporaryDir devDir_;
  std::vector<std::unique_ptr<PtyPair>> ptys_;
};

}  // namespace fw::test
