#pragma once
// The program's application object: starts the Qt application, runs the main window as
// a modal dialog until the user leaves it, and ends. The process-wide values it carries
// live in core/AppValues.h (About texts, full-width glyph flag); the COM port number
// chosen in the window is a dialog value of the state record.

#include "app/window/DialogHooks.h"

namespace fw {

class UpgradeApp {
 public:
  // The start routine. Creates the QApplication when none exists yet, then the main
  // window with its state record, runs its start-up and the window until it ends, and
  // destroys it. Returns the process exit code.
  static int Run(int argc, char** argv, DialogHooks hooks = DefaultDialogHooks());
};

}  // namespace fw
