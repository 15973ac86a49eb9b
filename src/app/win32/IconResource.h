#pragma once
// The program's icon (Icon.rc, drawn by tools/make-icon): the first icon of the program, so
// the one Explorer, the Start menu and the taskbar show, and the About box's icon resource.

#define IDI_FLASHWRIGHT 128
