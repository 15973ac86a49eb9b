// The program's entry point while the window is the only front end.

#include "app/qt/UpgradeApp.h"

int main(int argc, char** argv) {
  return fw::UpgradeApp::Run(argc, argv);
}
