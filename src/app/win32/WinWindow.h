#pragma once
// The Windows window: the main dialog and its message loop.

#include <windows.h>

namespace fw {

// Opens the main window and runs its message loop until it closes; the exit status.
int RunWindow(HINSTANCE instance, int show);

}  // namespace fw
