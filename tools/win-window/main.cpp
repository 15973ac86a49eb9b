// Finds a program's top-level window by its title, and closes it as a user would, for the
// tests that start the Windows window program under Wine (tools/win-test).
//
//   flashwright-win-window wait TITLE SECONDS    waits for a visible top-level window titled
//                                                TITLE; prints its title, class and process
//   flashwright-win-window close TITLE SECONDS   sends it WM_CLOSE, answers the closing
//                                                question with OK, waits for the process to end
//
// Exit status: 0 done, 1 no such window (or it did not end) within SECONDS, 2 usage.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Search {
  const wchar_t* title = nullptr;
  DWORD pid = 0;  // 0: any process
  HWND except = nullptr;
  HWND found = nullptr;
};

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  Search& s = *reinterpret_cast<Search*>(data);
  if (window == s.except || !IsWindowVisible(window)) {
    return TRUE;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (s.pid != 0 && pid != s.pid) {
    return TRUE;
  }
  if (s.title != nullptr && TextOf(window) != s.title) {
    return TRUE;
  }
  // By its title only a main window: a message box of the same title is owned by it.
  if (s.title != nullptr && GetWindow(window, GW_OWNER) != nullptr) {
    return TRUE;
  }
  s.found = window;
  return FALSE;
}

HWND Find(const wchar_t* title, DWORD pid, HWND except) {
  Search s;
  s.title = title;
  s.pid = pid;
  s.except = except;
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The text of a message box: its static controls'.
BOOL CALLBACK CollectText(HWND child, LPARAM data) {
  if (ClassOf(child) == L"Static") {
    const std::wstring text = TextOf(child);
    if (!text.empty()) {
      *reinterpret_cast<std::wstring*>(data) += text;
    }
  }
  return TRUE;
}

void Print(const char* what, HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  std::printf("%s: \"%ls\" (class %ls, process %lu)\n", what, TextOf(window).c_str(),
              ClassOf(window).c_str(), static_cast<unsigned long>(pid));
  std::fflush(stdout);
}

HWND WaitFor(const wchar_t* title, DWORD deadline) {
  for (;;) {
    HWND w = Find(title, 0, nullptr);
    if (w != nullptr || GetTickCount() >= deadline) {
      return w;
    }
    Sleep(100);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || (std::wcscmp(argv[1], L"wait") != 0 && std::wcscmp(argv[1], L"close") != 0)) {
    std::fprintf(stderr, "usage: flashwright-win-window wait|close TITLE SECONDS\n");
    return 2;
  }
  const wchar_t* title = argv[2];
  const double seconds = std::wcstod(argv[3], nullptr);
  if (!(seconds > 0 && seconds < 3600)) {
    std::fprintf(stderr, "flashwright-win-window: SECONDS must be between 0 and 3600\n");
    return 2;
  }
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  HWND window = WaitFor(title, deadline);
  if (window == nullptr) {
    std::printf("no window \"%ls\" within %g s\n", title, seconds);
    return 1;
  }
  Print("window", window);
  if (std::wcscmp(argv[1], L"wait") == 0) {
    return 0;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  PostMessageW(window, WM_CLOSE, 0, 0);
  bool answered = false;
  while (GetTickCount() < deadline) {
    if (process != nullptr ? WaitForSingleObject(process, 100) == WAIT_OBJECT_0
                           : (Sleep(100), !IsWindow(window))) {
      std::printf("closed: the process ended\n");
      if (process != nullptr) {
        CloseHandle(process);
      }
      return 0;
    }
    // The closing question: another window of the same process, answered with OK once.
    HWND question = answered ? nullptr : Find(nullptr, pid, window);
    if (question != nullptr) {
      std::wstring text;
      EnumChildWindows(question, CollectText, reinterpret_cast<LPARAM>(&text));
      std::printf("question: \"%ls\": OK\n", text.c_str());
      std::fflush(stdout);
      PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      answered = true;
    }
  }
  std::printf("the window's process did not end within %g s\n", seconds);
  if (process != nullptr) {
    CloseHandle(process);
  }
  return 1;
}
