// The Windows window's program: the main dialog from the resource script, its status list
// as a report-style list view, the text progress bar drawn by its own window class, and
// the closing question.

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "WinResources.h"
#include "WinWindow.h"

namespace {

constexpr const wchar_t* kExitQuestion = L"Are you sure to exit?";
constexpr int kStatusColumnWidth = 52;
constexpr int kMessageColumnWidth = 600;

// The text progress bar's state, kept in the control's window data.
struct TextProgress {
  int lower = 0;
  int upper = 100;
  int pos = 0;
  std::wstring caption;
};

// trunc((pos - lower) / (upper - lower) * width), kept within 0..width.
int BarWidth(int pos, int lower, int upper, int width) {
  if (upper <= lower) {
    return 0;
  }
  const long long w = static_cast<long long>(pos - lower) * width / (upper - lower);
  return static_cast<int>(std::clamp<long long>(w, 0, width));
}

void PaintTextProgress(HWND hwnd, const TextProgress& bar) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  const int width = client.right - client.left;
  const int filled = BarWidth(bar.pos, bar.lower, bar.upper, width);
  // Drawn off screen, then copied: no flicker while a job moves the bar.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width, client.bottom);
  HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
  HGDIOBJ oldFont =
      SelectObject(mem, reinterpret_cast<HFONT>(SendMessageW(GetParent(hwnd), WM_GETFONT, 0, 0)));
  RECT done = client;
  done.right = filled;
  RECT rest = client;
  rest.left = filled;
  FillRect(mem, &done, GetSysColorBrush(COLOR_HIGHLIGHT));
  FillRect(mem, &rest, GetSysColorBrush(COLOR_BTNFACE));
  std::wstring text = bar.caption;
  if (text.empty()) {
    const int span = bar.upper - bar.lower;
    const int percent =
        span > 0 ? static_cast<int>(static_cast<long long>(bar.pos - bar.lower) * 100 / span) : 0;
    text = std::to_wstring(std::clamp(percent, 0, 100)) + L"%";
  }
  SetBkMode(mem, TRANSPARENT);
  // The text in two colours: over the bar in the bar's text colour, over the track in the
  // window's, each clipped to its part.
  const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
  HRGN clip = CreateRectRgnIndirect(&done);
  SelectClipRgn(mem, clip);
  SetTextColor(mem, GetSysColor(COLOR_HIGHLIGHTTEXT));
  DrawTextW(mem, text.c_str(), -1, &client, format);
  SetRectRgn(clip, rest.left, rest.top, rest.right, rest.bottom);
  SelectClipRgn(mem, clip);
  SetTextColor(mem, GetSysColor(COLOR_WINDOWTEXT));
  DrawTextW(mem, text.c_str(), -1, &client, format);
  SelectClipRgn(mem, nullptr);
  DeleteObject(clip);
  BitBlt(dc, 0, 0, width, client.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, oldFont);
  SelectObject(mem, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(mem);
  EndPaint(hwnd, &ps);
}

// The text progress bar answers the progress bar's own messages (PBM_SETRANGE32,
// PBM_SETPOS, PBM_GETPOS) and WM_SETTEXT for its caption; it repaints only when the bar's
// width in pixels changes.
LRESULT CALLBACK TextProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* bar = reinterpret_cast<TextProgress*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new TextProgress));
      break;
    case WM_NCDESTROY:
      delete bar;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    case PBM_SETRANGE32:
      bar->lower = static_cast<int>(wp);
      bar->upper = static_cast<int>(lp);
      return 0;
    case PBM_SETPOS: {
      RECT client;
      GetClientRect(hwnd, &client);
      const int before = BarWidth(bar->pos, bar->lower, bar->upper, client.right);
      const int previous = bar->pos;
      bar->pos = static_cast<int>(wp);
      if (BarWidth(bar->pos, bar->lower, bar->upper, client.right) != before) {
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
      }
      return previous;
    }
    case PBM_GETPOS:
      return bar->pos;
    case WM_SETTEXT: {
      const std::wstring text = lp != 0 ? reinterpret_cast<const wchar_t*>(lp) : L"";
      if (text != bar->caption) {
        bar->caption = text;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return TRUE;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintTextProgress(hwnd, *bar);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterTextProgress(HINSTANCE instance) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = TextProgressProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = L"" FW_TEXT_PROGRESS_CLASS;
  RegisterClassW(&wc);
}

void LayOutStatusList(HWND list) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = kStatusColumnWidth;
  column.pszText = const_cast<wchar_t*>(L"Status");
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  column.cx = kMessageColumnWidth;
  column.pszText = const_cast<wchar_t*>(L"Message");
  SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      LayOutStatusList(GetDlgItem(dialog, IDC_STATUS_LIST));
      HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
      if (icon != nullptr) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDC_EXIT) {
        wchar_t title[256] = {};
        GetWindowTextW(dialog, title, 256);
        if (MessageBoxW(dialog, kExitQuestion, title, MB_OKCANCEL) == IDOK) {
          DestroyWindow(dialog);
        }
        return TRUE;
      }
      // Enter never presses a button.
      if (LOWORD(wp) == IDOK) {
        return TRUE;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

namespace fw {

int RunWindow(HINSTANCE instance, int show) {
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterTextProgress(instance);
  HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_UPGRADE), nullptr, DialogProc, 0);
  if (dialog == nullptr) {
    return 1;
  }
  ShowWindow(dialog, show);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return 0;
}

}  // namespace fw
