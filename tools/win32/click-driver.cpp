// Drives the Win32 window as a technician would, through the window system only: finds the
// main window by its caption and its buttons by their text, clicks them (BM_CLICK), reads
// and answers the message boxes the window opens, and works the window's dialogs (their
// controls by number). Used by tools/win-window-test.
//
//   win-click-driver CAPTION STEP...
// Steps, run in order:
//   wait:S          the main window (caption CAPTION, a dialog with the "Upgrade" button, id
//                   1000) is there within S seconds
//   click:TEXT      clicks the main window's shown button whose text is TEXT (waiting up to
//                   30 seconds for it to be shown and enabled)
//   box:S           a message box of the main window opens within S seconds: prints
//                   "box: <its text>" and answers it with OK
//   nobox:S         no message box opens within S seconds
//   close           closes the main window (its close box) and waits until it has gone,
//                   printing ("box: <its text>") and answering with OK a box it shows on the way
//   press:TEXT      clicks the shown, enabled button TEXT of any dialog of the desktop that
//                   has one (a question asked before the main window has its caption),
//                   waiting up to 30 seconds for it
//   pick:FOLDER     in the folder picker (caption "Choose the installation folder", within 30
//                   seconds) types FOLDER as its name and presses its OK button
//   syscommand:N    chooses the system menu item with command number N (WM_SYSCOMMAND)
//   dialog:CAPTION  a dialog with this caption, of the dialog acted on (a question it asks)
//                   or of the main window, is shown within 30 seconds; the steps below act
//                   on it until "main" (click: its buttons)
//   main            the steps below act on the main window again
//   settext:ID:TEXT sets the text of control ID (an edit: as typed, its change is told)
//   text:ID         prints "text: <line>" for each line of control ID's text
//   count:ID:N      list view ID holds N items within 10 seconds
//   select:ID:ROW   chooses row ROW (from 0) of list view ID
//   enabled:ID:0|1  control ID is disabled (0) or enabled (1)
//   save:PATH       a save dialog of the dialog's opens within 30 seconds: PATH is typed as
//                   its file name and "Save" pressed; it must close
//   resize:W:H      makes the dialog W by H pixels (its frame), as dragging its border does
//   size:ID         prints "size: W H, right R of CW, bottom B of CH": control ID's size and
//                   its right and bottom edge in the dialog's client area of CW by CH
//   hidden:S        the dialog is hidden within S seconds
// Exit status 0 when every step did what it says, 1 otherwise (the failing step is named).

#include <windows.h>
// After windows.h: the list view messages.
#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kUpgradeId = 1000;
constexpr int kBoxTextId = 0xFFFF;  // the message box's text control

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) {
    return {};
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Text(HWND hwnd) {
  wchar_t buffer[4096] = {};
  GetWindowTextW(hwnd, buffer, 4096);
  return buffer;
}

struct Search {
  std::wstring caption;
  HWND owner = nullptr;    // when set: a dialog owned by this window (a message box)
  bool hiddenToo = false;  // a hidden box counts too (one answered, its loop not yet ended)
  HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wstring(cls) != L"#32770" || (!IsWindowVisible(hwnd) && !s->hiddenToo)) {
    return TRUE;
  }
  if (s->owner != nullptr) {
    if (GetWindow(hwnd, GW_OWNER) == s->owner && GetDlgItem(hwnd, kBoxTextId) != nullptr) {
      s->found = hwnd;
      return FALSE;
    }
    return TRUE;
  }
  if (Text(hwnd) == s->caption && GetDlgItem(hwnd, kUpgradeId) != nullptr) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindButton(HWND hwnd, LPARAM lp);

struct AnyButtonSearch {
  std::wstring text;
  HWND found = nullptr;
};

// A top-level window's child button with the text sought.
BOOL CALLBACK FindButtonInTopLevel(HWND hwnd, LPARAM lp);

struct EditSearch {
  HWND found = nullptr;
};

// The first shown edit control (the folder picker's name box).
BOOL CALLBACK FindEdit(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<EditSearch*>(lp);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (_wcsicmp(cls, L"Edit") == 0 && IsWindowVisible(hwnd)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

struct CaptionSearch {
  std::wstring caption;
  HWND found = nullptr;
};

BOOL CALLBACK FindByCaption(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<CaptionSearch*>(lp);
  if (IsWindowVisible(hwnd) && Text(hwnd) == s->caption) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND MainWindow(const std::wstring& caption) {
  Search s{caption};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

struct DialogSearch {
  std::wstring caption;
  HWND owner = nullptr;
  HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<DialogSearch*>(lp);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd) &&
      GetWindow(hwnd, GW_OWNER) == s->owner && (s->caption.empty() || Text(hwnd) == s->caption)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A shown dialog owned by `owner` with this caption (any caption when empty).
HWND DialogOf(HWND owner, const std::wstring& caption) {
  DialogSearch s{caption, owner};
  EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// "ID:REST" split at its first colon.
int ControlId(const std::wstring& arg, std::wstring& rest) {
  const size_t colon = arg.find(L':');
  rest = colon == std::wstring::npos ? L"" : arg.substr(colon + 1);
  return _wtoi(arg.substr(0, colon).c_str());
}

// Sets the state of row `row` of another process's list view: the item it reads lies in
// that process's memory.
bool SelectListRow(HWND list, int row) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) {
    return false;
  }
  LVITEMW item{};
  item.mask = LVIF_STATE;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(item), MEM_COMMIT, PAGE_READWRITE);
  bool ok = remote != nullptr && WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
  DWORD_PTR result = 0;
  ok = ok &&
       SendMessageTimeoutW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, 5000, &result) &&
       result != 0;
  if (remote != nullptr) {
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return ok;
}

// The file name box of a save dialog: the combo box's edit, or the plain edit.
HWND FileNameBox(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {  // cmb13
    if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr)) {
      return edit;
    }
    return combo;
  }
  return GetDlgItem(dialog, 0x480);  // edt1
}

bool IsBoxOf(HWND hwnd, HWND owner) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  return hwnd != nullptr && hwnd != owner && std::wstring(cls) == L"#32770" &&
         IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == owner &&
         GetDlgItem(hwnd, kBoxTextId) != nullptr;
}

// Waits (up to 30 seconds from start) until every message box of the owner is gone, also
// one answered and hidden whose modal loop has not yet returned: a message posted to the
// window meanwhile is taken from the queue by that ending loop and dropped, not dispatched
// (Wine's dialog loop does so), and a close posted then would be lost.
bool WaitBoxesGone(HWND owner, DWORD start) {
  for (;;) {
    Search s;
    s.owner = owner;
    s.hiddenToo = true;
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
    if (s.found == nullptr) {
      return true;
    }
    if (GetTickCount() - start > 30000) {
      return false;
    }
    Sleep(50);
  }
}

// The box to answer: the one opened last (the owner's last active popup) when there is one.
// On the bench a second job's box opens over the first, inside the first's modal loop: the
// first returns only after the second, so the one opened last is answered first.
HWND BoxOf(HWND owner) {
  HWND last = GetLastActivePopup(owner);
  if (IsBoxOf(last, owner)) {
    return last;
  }
  Search s;
  s.owner = owner;
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

struct ButtonSearch {
  std::wstring text;
  HWND found = nullptr;
};

BOOL CALLBACK FindButton(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<ButtonSearch*>(lp);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (_wcsicmp(cls, L"Button") == 0 && Text(hwnd) == s->text && IsWindowVisible(hwnd)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindButtonInTopLevel(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<AnyButtonSearch*>(lp);
  if (!IsWindowVisible(hwnd)) {
    return TRUE;
  }
  ButtonSearch inner{s->text};
  EnumChildWindows(hwnd, FindButton, reinterpret_cast<LPARAM>(&inner));
  if (inner.found != nullptr && IsWindowEnabled(inner.found)) {
    s->found = inner.found;
    return FALSE;
  }
  return TRUE;
}

// Presses `button` as a click does; returns at once even when the click opens a modal box.
void Click(HWND button) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 2000, &ignored);
}

// Every top-level window of the main window's process, for a step that failed.
BOOL CALLBACK PrintWindow(HWND hwnd, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == static_cast<DWORD>(lp)) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    std::printf("  window %s \"%s\"%s, owner %p\n", Utf8(cls).c_str(), Utf8(Text(hwnd)).c_str(),
                IsWindowVisible(hwnd) ? "" : " (hidden)",
                static_cast<void*>(GetWindow(hwnd, GW_OWNER)));
  }
  return TRUE;
}

void ListWindows(HWND main) {
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  std::printf("  main window %p\n", static_cast<void*>(main));
  EnumWindows(PrintWindow, static_cast<LPARAM>(pid));
}

bool Fail(const std::wstring& step, const char* what) {
  std::printf("win-click-driver: %s: %s\n", Utf8(step).c_str(), what);
  std::fflush(stdout);
  return false;
}

bool RunStep(const std::wstring& caption, const std::wstring& step, HWND& main, HWND& target) {
  const size_t colon = step.find(L':');
  const std::wstring name = step.substr(0, colon);
  const std::wstring arg = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
  const DWORD limitMs = static_cast<DWORD>(_wtof(arg.c_str()) * 1000);
  const DWORD start = GetTickCount();
  if (name == L"wait") {
    while ((main = MainWindow(caption)) == nullptr) {
      if (GetTickCount() - start > limitMs) {
        return Fail(step, "the window did not open");
      }
      Sleep(100);
    }
    target = main;
    return true;
  }
  if (name == L"press") {
    AnyButtonSearch s{arg};
    while (EnumWindows(FindButtonInTopLevel, reinterpret_cast<LPARAM>(&s)), s.found == nullptr) {
      if (GetTickCount() - start > 30000) {
        return Fail(step, "no dialog shows that button");
      }
      Sleep(100);
    }
    Click(s.found);
    return true;
  }
  if (name == L"pick") {
    CaptionSearch picker{L"Choose the installation folder"};
    EditSearch edit;
    for (;;) {
      picker.found = nullptr;
      edit.found = nullptr;
      EnumWindows(FindByCaption, reinterpret_cast<LPARAM>(&picker));
      if (picker.found != nullptr) {
        EnumChildWindows(picker.found, FindEdit, reinterpret_cast<LPARAM>(&edit));
      }
      if (edit.found != nullptr && GetDlgItem(picker.found, IDOK) != nullptr) {
        break;
      }
      if (GetTickCount() - start > 30000) {
        return Fail(step, picker.found == nullptr ? "the folder picker did not open"
                                                  : "the folder picker has no name box");
      }
      Sleep(100);
    }
    SendMessageW(edit.found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg.c_str()));
    Click(GetDlgItem(picker.found, IDOK));
    while (IsWindow(picker.found) && GetTickCount() - start <= 30000) {
      Sleep(50);
    }
    return IsWindow(picker.found) ? Fail(step, "the folder picker stayed open") : true;
  }
  if (main == nullptr || !IsWindow(main)) {
    return Fail(step, "no window (a \"wait\" step first)");
  }
  if (target == nullptr || !IsWindow(target)) {
    target = main;
  }
  if (name == L"main") {
    target = main;
    return true;
  }
  if (name == L"syscommand") {
    PostMessageW(main, WM_SYSCOMMAND, static_cast<WPARAM>(_wtoi(arg.c_str())), 0);
    return true;
  }
  if (name == L"dialog") {
    HWND found = nullptr;
    // A dialog of the dialog acted on (a question it asks), else of the main window.
    while ((found = target != main ? DialogOf(target, arg) : nullptr) == nullptr &&
           (found = DialogOf(main, arg)) == nullptr) {
      if (GetTickCount() - start > 30000) {
        return Fail(step, "no such dialog opened");
      }
      Sleep(100);
    }
    target = found;
    return true;
  }
  if (name == L"resize") {
    std::wstring height;
    const int width = ControlId(arg, height);
    DWORD_PTR ignored = 0;
    SetWindowPos(target, nullptr, 0, 0, width, _wtoi(height.c_str()),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The dialog lays its controls out when told of its size; a message it has answered
    // means that is done.
    SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    return true;
  }
  if (name == L"size") {
    HWND control = GetDlgItem(target, _wtoi(arg.c_str()));
    if (control == nullptr) {
      return Fail(step, "no such control");
    }
    RECT r{};
    GetWindowRect(control, &r);
    RECT client{};
    GetClientRect(target, &client);
    MapWindowPoints(nullptr, target, reinterpret_cast<POINT*>(&r), 2);
    std::printf("size: %ld %ld, right %ld of %ld, bottom %ld of %ld\n", r.right - r.left,
                r.bottom - r.top, r.right, client.right, r.bottom, client.bottom);
    std::fflush(stdout);
    return true;
  }
  if (name == L"hidden") {
    while (IsWindow(target) && IsWindowVisible(target)) {
      if (GetTickCount() - start > limitMs) {
        return Fail(step, "the dialog is still shown");
      }
      Sleep(100);
    }
    return true;
  }
  if (name == L"settext" || name == L"text" || name == L"count" || name == L"select" ||
      name == L"enabled") {
    std::wstring rest;
    HWND control = GetDlgItem(target, ControlId(arg, rest));
    if (control == nullptr) {
      return Fail(step, "no such control");
    }
    DWORD_PTR result = 0;
    if (name == L"settext") {
      if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rest.c_str()),
                               SMTO_NORMAL, 10000, &result)) {
        return Fail(step, "the control did not take the text");
      }
      return true;
    }
    if (name == L"text") {
      wchar_t buffer[32768] = {};
      SendMessageTimeoutW(control, WM_GETTEXT, 32768, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                          10000, &result);
      std::wstring all = buffer;
      size_t from = 0;
      while (from <= all.size()) {
        size_t end = all.find(L'\n', from);
        std::wstring line = all.substr(from, end == std::wstring::npos ? end : end - from);
        if (!line.empty() && line.back() == L'\r') {
          line.pop_back();
        }
        std::printf("text: %s\n", Utf8(line).c_str());
        if (end == std::wstring::npos) {
          break;
        }
        from = end + 1;
      }
      std::fflush(stdout);
      return true;
    }
    if (name == L"enabled") {
      const bool wanted = _wtoi(rest.c_str()) != 0;
      return (IsWindowEnabled(control) != FALSE) == wanted
                 ? true
                 : Fail(step, wanted ? "the control is disabled" : "the control is enabled");
    }
    if (name == L"count") {
      const LRESULT wanted = _wtoi(rest.c_str());
      LRESULT count = -1;
      for (;;) {
        SendMessageTimeoutW(control, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &result);
        count = static_cast<LRESULT>(result);
        if (count == wanted || GetTickCount() - start > 10000) {
          break;
        }
        Sleep(100);
      }
      std::printf("count: %ld\n", static_cast<long>(count));
      std::fflush(stdout);
      return count == wanted ? true : Fail(step, "the list holds another number of items");
    }
    return SelectListRow(control, _wtoi(rest.c_str())) ? true
                                                       : Fail(step, "the row was not chosen");
  }
  if (name == L"save") {
    HWND save = nullptr;
    while ((save = DialogOf(target, L"")) == nullptr) {
      if (GetTickCount() - start > 30000) {
        return Fail(step, "no save dialog opened");
      }
      Sleep(100);
    }
    HWND box = nullptr;
    while ((box = FileNameBox(save)) == nullptr && GetTickCount() - start <= 30000) {
      Sleep(100);
    }
    if (box == nullptr) {
      return Fail(step, "the save dialog has no file name box");
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg.c_str()), SMTO_NORMAL,
                        10000, &result);
    Click(GetDlgItem(save, IDOK));
    while (IsWindow(save)) {
      if (GetTickCount() - start > 30000) {
        return Fail(step, "the save dialog did not close");
      }
      Sleep(100);
    }
    return true;
  }
  if (name == L"click") {
    // The window may still be starting up: the button is looked for (shown and enabled)
    // for up to 30 seconds.
    ButtonSearch s{arg};
    for (;;) {
      s.found = nullptr;
      EnumChildWindows(target, FindButton, reinterpret_cast<LPARAM>(&s));
      if (s.found != nullptr && IsWindowEnabled(s.found) && IsWindowVisible(s.found)) {
        break;
      }
      if (GetTickCount() - start > 30000) {
        return Fail(step,
                    s.found == nullptr ? "no such button" : "the button is disabled or hidden");
      }
      Sleep(100);
    }
    Click(s.found);
    return true;
  }
  if (name == L"box" || name == L"nobox") {
    HWND box = nullptr;
    while ((box = BoxOf(main)) == nullptr && GetTickCount() - start <= limitMs) {
      Sleep(100);
    }
    if (name == L"nobox") {
      if (box != nullptr) {
        std::printf("box: %s\n", Utf8(Text(GetDlgItem(box, kBoxTextId))).c_str());
        return Fail(step, "a box opened");
      }
      return true;
    }
    if (box == nullptr) {
      return Fail(step, "no box opened");
    }
    std::printf("box: %s\n", Utf8(Text(GetDlgItem(box, kBoxTextId))).c_str());
    std::fflush(stdout);
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) {
      return Fail(step, "the box has no OK button");
    }
    Click(ok);
    // The box has gone before the next step looks for one (answered under a box that opened
    // over it, it is hidden until that one is answered).
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start <= limitMs + 5000) {
      Sleep(50);
    }
    return true;
  }
  if (name == L"close") {
    // A box the window shows on closing (a note on the settings) is printed and answered.
    if (!WaitBoxesGone(main, start)) {
      ListWindows(main);
      return Fail(step, "a message box of the window is still open");
    }
    PostMessageW(main, WM_CLOSE, 0, 0);
    while (IsWindow(main)) {
      if (HWND box = BoxOf(main)) {
        std::printf("box: %s\n", Utf8(Text(GetDlgItem(box, kBoxTextId))).c_str());
        std::fflush(stdout);
        if (HWND ok = GetDlgItem(box, IDOK)) {
          Click(ok);
        }
        while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start <= 30000) {
          Sleep(50);
        }
      }
      if (GetTickCount() - start > 30000) {
        ListWindows(main);
        return Fail(step, "the window did not close");
      }
      Sleep(100);
    }
    return true;
  }
  return Fail(step, "unknown step");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: win-click-driver CAPTION STEP...\n");
    return 2;
  }
  const std::wstring caption = argv[1];
  HWND main = nullptr;
  HWND target = nullptr;
  for (int i = 2; i < argc; ++i) {
    if (!RunStep(caption, argv[i], main, target)) {
      return 1;
    }
    std::printf("win-click-driver: %s done\n", Utf8(argv[i]).c_str());
    std::fflush(stdout);
  }
  return 0;
}
