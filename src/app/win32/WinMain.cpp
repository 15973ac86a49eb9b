// The Windows window program's entry: a GUI-subsystem program, so it opens no console.

#include <windows.h>

#include "WinWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  return fw::RunWindow(instance, show);
}
