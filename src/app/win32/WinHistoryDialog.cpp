#include "WinHistoryDialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "WinResources.h"
#include "WinText.h"
#include "app/HeadlessHistory.h"
#include "platform/SystemError.h"

namespace fw {
namespace {

std::string SystemError(DWORD code) {
  const std::string message = SystemErrorMessage(code);
  return message.empty() ? "error " + std::to_string(code) : message;
}

// Writes `data` to `path` whole or not at all: into a file beside it first, which then
// replaces it. Empty, or why it failed.
std::string WriteFileWhole(const std::wstring& path, const std::string& data) {
  const std::wstring part = path + L".part";
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return SystemError(GetLastError());
  }
  DWORD written = 0;
  const BOOL wrote =
      WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  const DWORD writeError = GetLastError();
  CloseHandle(file);
  if (!wrote || written != data.size()) {
    DeleteFileW(part.c_str());
    return SystemError(wrote ? ERROR_WRITE_FAULT : writeError);
  }
  if (!MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD moveError = GetLastError();
    DeleteFileW(part.c_str());
    return SystemError(moveError);
  }
  return {};
}

struct PortQuestion {
  std::string text;
  std::vector<int> ports;
  int index = 0;
  int chosen = 0;  // 0: cancelled
};

INT_PTR CALLBACK PortQuestionProc(HWND box, UINT msg, WPARAM wp, LPARAM lp) {
  auto* q = reinterpret_cast<PortQuestion*>(GetWindowLongPtrW(box, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(box, DWLP_USER, lp);
      q = reinterpret_cast<PortQuestion*>(lp);
      SetWindowTextW(box, Wide(kWriteBackButton).c_str());
      SetDlgItemTextW(box, IDC_WRITE_BACK_QUESTION, Wide(q->text).c_str());
      HWND combo = GetDlgItem(box, IDC_WRITE_BACK_PORT);
      for (const int port : q->ports) {
        SendMessageW(combo, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide("COM" + std::to_string(port)).c_str()));
      }
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(q->index), 0);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK && q != nullptr) {
        const LRESULT index =
            SendMessageW(GetDlgItem(box, IDC_WRITE_BACK_PORT), CB_GETCURSEL, 0, 0);
        q->chosen = index >= 0 && index < static_cast<LRESULT>(q->ports.size())
                        ? q->ports[static_cast<size_t>(index)]
                        : 0;
        EndDialog(box, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(box, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

WinHistoryDialog::WinHistoryDialog(HINSTANCE instance, HWND owner, HistoryHost& host)
    : instance_(instance), owner_(owner), host_(host) {}

WinHistoryDialog::~WinHistoryDialog() {
  // Closing the window has destroyed it with its owner already.
  if (dialog_ != nullptr && IsWindow(dialog_)) {
    DestroyWindow(dialog_);
  }
}

bool WinHistoryDialog::Show() {
  if (dialog_ == nullptr) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_DATE_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    dialog_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_HISTORY), owner_, Proc,
                                 reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) {
      return false;
    }
    Init();
  }
  Refresh();
  ShowWindow(dialog_, SW_SHOW);
  SetForegroundWindow(dialog_);
  return true;
}

bool WinHistoryDialog::TakeMessage(MSG& message) {
  return dialog_ != nullptr && IsWindowVisible(dialog_) && IsDialogMessageW(dialog_, &message);
}

void WinHistoryDialog::Init() {
  SetWindowTextW(dialog_, Wide(kHistoryCaption).c_str());
  SetDlgItemTextW(dialog_, IDC_HISTORY_SINCE_CHECK, Wide(kHistorySinceText).c_str());
  SetDlgItemTextW(dialog_, IDC_HISTORY_EXPORT, Wide(kExportCsvButton).c_str());
  SetDlgItemTextW(dialog_, IDC_HISTORY_WRITE_BACK, Wide(kWriteBackButton).c_str());
  SendMessageW(Item(IDC_HISTORY_FILTER), EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(Wide(kHistoryFilterHint).c_str()));
  SendMessageW(Item(IDC_HISTORY_SINCE), DTM_SETFORMATW, 0,
               reinterpret_cast<LPARAM>(L"yyyy'-'MM'-'dd"));
  HWND list = Item(IDC_HISTORY_LIST);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const std::vector<std::string>& columns = HistoryTableColumns();
  for (size_t c = 0; c < columns.size(); ++c) {
    std::wstring name = Wide(columns[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = name.data();
    column.cx = 60;
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  // The details in a fixed-width font, as a record is read.
  SendMessageW(Item(IDC_HISTORY_DETAILS), WM_SETFONT,
               reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
  // "Write back"'s tooltip: on the dialog over the button's place, so that it shows while
  // the button is disabled too.
  tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_,
                         nullptr, instance_, nullptr);
  if (tip_ != nullptr) {
    RECT place{};
    GetWindowRect(Item(IDC_HISTORY_WRITE_BACK), &place);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&place), 2);
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = dialog_;
    info.uId = IDC_HISTORY_WRITE_BACK;
    info.rect = place;
    info.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 600);
    SendMessageW(tip_, TTM_ACTIVATE, FALSE, 0);
  }
  // The layout of the resource script is the smallest; a larger dialog gives the list and
  // the details the room.
  RECT client{};
  GetClientRect(dialog_, &client);
  initialClient_ = {client.right, client.bottom};
  RECT frame{};
  GetWindowRect(dialog_, &frame);
  minWindow_ = {frame.right - frame.left, frame.bottom - frame.top};
  for (const int id : {IDC_HISTORY_FILTER, IDC_HISTORY_SINCE_CHECK, IDC_HISTORY_SINCE,
                       IDC_HISTORY_NOTE, IDC_HISTORY_LIST, IDC_HISTORY_DETAILS, IDC_HISTORY_EXPORT,
                       IDC_HISTORY_WRITE_BACK, IDCANCEL}) {
    RECT r{};
    GetWindowRect(Item(id), &r);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    placed_.push_back({id, r});
  }
}

// The controls for a client area of `width` by `height`: the filter and the note widen, the
// date stays at the right, the list and the details share the extra height, the buttons
// stay at the bottom right.
void WinHistoryDialog::LayOut(int width, int height) {
  if (placed_.empty()) {
    return;
  }
  const int dx = std::max(0, width - static_cast<int>(initialClient_.cx));
  const int dy = std::max(0, height - static_cast<int>(initialClient_.cy));
  const int listDy = dy / 2;
  HDWP moves = BeginDeferWindowPos(static_cast<int>(placed_.size()));
  for (const Placed& p : placed_) {
    RECT r = p.rect;
    switch (p.id) {
      case IDC_HISTORY_FILTER:
      case IDC_HISTORY_NOTE:
        r.right += dx;
        break;
      case IDC_HISTORY_SINCE_CHECK:
      case IDC_HISTORY_SINCE:
        OffsetRect(&r, dx, 0);
        break;
      case IDC_HISTORY_LIST:
        r.right += dx;
        r.bottom += listDy;
        break;
      case IDC_HISTORY_DETAILS:
        r.right += dx;
        r.top += listDy;
        r.bottom += dy;
        break;
      default:  // the buttons
        OffsetRect(&r, dx, dy);
        break;
    }
    if (moves != nullptr) {
      moves = DeferWindowPos(moves, Item(p.id), nullptr, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (p.id == IDC_HISTORY_WRITE_BACK && tip_ != nullptr) {
      TTTOOLINFOW info{};
      info.cbSize = sizeof(info);
      info.hwnd = dialog_;
      info.uId = IDC_HISTORY_WRITE_BACK;
      info.rect = r;
      SendMessageW(tip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
    }
  }
  if (moves != nullptr) {
    EndDeferWindowPos(moves);
  }
  InvalidateRect(dialog_, nullptr, TRUE);
}

void WinHistoryDialog::Refresh() {
  const JournalJob* chosen = SelectedJob();
  const int64_t keep = chosen != nullptr ? chosen->id : 0;
  const bool sinceOn = IsDlgButtonChecked(dialog_, IDC_HISTORY_SINCE_CHECK) == BST_CHECKED;
  SYSTEMTIME day{};
  if (SendMessageW(Item(IDC_HISTORY_SINCE), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&day)) !=
      GDT_VALID) {
    day = SYSTEMTIME{};
  }
  listing_ =
      ReadHistory(host_.Journal(), HistoryFilterFor(Utf8(WindowText(Item(IDC_HISTORY_FILTER))),
                                                    sinceOn, day.wYear, day.wMonth, day.wDay));
  SetDlgItemTextW(dialog_, IDC_HISTORY_NOTE, Wide(listing_.note).c_str());
  ShowWindow(Item(IDC_HISTORY_NOTE), listing_.note.empty() ? SW_HIDE : SW_SHOW);

  HWND list = Item(IDC_HISTORY_LIST);
  filling_ = true;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list);
  const std::vector<std::vector<std::string>> rows = HistoryRows(listing_);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      std::wstring text = Wide(rows[r][c]);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(r);
      item.iSubItem = static_cast<int>(c);
      item.pszText = text.data();
      SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, r,
                   reinterpret_cast<LPARAM>(&item));
    }
  }
  for (size_t c = 0; c < HistoryTableColumns().size(); ++c) {
    ListView_SetColumnWidth(list, static_cast<int>(c), LVSCW_AUTOSIZE_USEHEADER);
  }
  const int row = keep != 0 ? HistoryRowOf(listing_, keep) : -1;
  if (row >= 0) {
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, row, FALSE);
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  filling_ = false;
  ShowSelected();
}

const JournalJob* WinHistoryDialog::SelectedJob() const {
  if (dialog_ == nullptr) {
    return nullptr;
  }
  const int row = ListView_GetNextItem(Item(IDC_HISTORY_LIST), -1, LVNI_SELECTED);
  return row >= 0 && row < static_cast<int>(listing_.jobs.size())
             ? &listing_.jobs[static_cast<size_t>(row)]
             : nullptr;
}

void WinHistoryDialog::ShowSelected() {
  const JournalJob* job = SelectedJob();
  SetDlgItemTextW(dialog_, IDC_HISTORY_DETAILS,
                  job != nullptr ? Wide(WithCrLf(JobDetailsText(*job))).c_str() : L"");
  const WriteBackButtonState button = WriteBackButtonFor(job, listing_.fromServer, HostName());
  EnableWindow(Item(IDC_HISTORY_WRITE_BACK), button.enabled ? TRUE : FALSE);
  if (tip_ != nullptr) {
    std::wstring text = Wide(button.tip);
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = dialog_;
    info.uId = IDC_HISTORY_WRITE_BACK;
    info.lpszText = text.data();
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(tip_, TTM_ACTIVATE, text.empty() ? FALSE : TRUE, 0);
  }
}

void WinHistoryDialog::OnExport() {
  std::wstring path(MAX_PATH * 4, L'\0');
  const std::wstring name = Wide(kExportCsvFileName);
  path.replace(0, name.size(), name);
  const std::wstring title = Wide(kExportCsvCaption);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = dialog_;
  ofn.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrDefExt = L"csv";
  ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&ofn)) {
    return;  // cancelled
  }
  path.resize(wcslen(path.c_str()));
  if (path.empty()) {
    return;
  }
  const std::string problem = WriteFileWhole(path, HistoryCsv(listing_.jobs));
  if (!problem.empty()) {
    host_.SayProblem(kExportFailedText, Utf8(path) + ": " + problem);
  }
}

void WinHistoryDialog::OnWriteBack() {
  const JournalJob* job = SelectedJob();
  if (job == nullptr || !WriteBackButtonFor(job, listing_.fromServer, HostName()).enabled) {
    return;
  }
  const int64_t id = job->id;
  // Refused before the port is asked for: the window says why.
  if (!host_.WriteBackAllowed()) {
    return;
  }
  PortQuestion question;
  question.text = WriteBackPortQuestion(id);
  question.ports = host_.PortNumbers();
  question.index = WriteBackPortIndex(question.ports, host_.SelectedPort());
  if (DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_WRITE_BACK_PORT), dialog_, PortQuestionProc,
                      reinterpret_cast<LPARAM>(&question)) != IDOK ||
      question.chosen <= 0) {
    return;
  }
  if (host_.StartWriteBack(id, question.chosen)) {
    ShowWindow(dialog_, SW_HIDE);  // the job's rows and boxes are the window's
  }
}

INT_PTR CALLBACK WinHistoryDialog::Proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<WinHistoryDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lp);
      return TRUE;
    case WM_COMMAND:
      if (self == nullptr) {
        break;
      }
      switch (LOWORD(wp)) {
        case IDC_HISTORY_FILTER:
          if (HIWORD(wp) == EN_CHANGE) {
            self->Refresh();
          }
          return TRUE;
        case IDC_HISTORY_SINCE_CHECK:
          if (HIWORD(wp) == BN_CLICKED) {
            EnableWindow(self->Item(IDC_HISTORY_SINCE),
                         IsDlgButtonChecked(dialog, IDC_HISTORY_SINCE_CHECK) == BST_CHECKED);
            self->Refresh();
          }
          return TRUE;
        case IDC_HISTORY_EXPORT:
          if (HIWORD(wp) == BN_CLICKED) {
            self->OnExport();
          }
          return TRUE;
        case IDC_HISTORY_WRITE_BACK:
          if (HIWORD(wp) == BN_CLICKED) {
            self->OnWriteBack();
          }
          return TRUE;
        case IDCANCEL:  // "Close", the close box, Escape
          ShowWindow(dialog, SW_HIDE);
          return TRUE;
        default:
          break;  // Enter (IDOK) presses nothing
      }
      return TRUE;
    case WM_SIZE:
      if (self != nullptr && wp != SIZE_MINIMIZED) {
        self->LayOut(LOWORD(lp), HIWORD(lp));
      }
      return TRUE;
    case WM_GETMINMAXINFO:
      if (self != nullptr && self->minWindow_.cx > 0) {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lp);
        limits->ptMinTrackSize = {self->minWindow_.cx, self->minWindow_.cy};
        return TRUE;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      if (self == nullptr) {
        break;
      }
      if (header->idFrom == IDC_HISTORY_LIST && header->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lp);
        if (!self->filling_ && (change->uChanged & LVIF_STATE) != 0 &&
            ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) != 0) {
          self->ShowSelected();
        }
        return TRUE;
      }
      if (header->idFrom == IDC_HISTORY_SINCE && header->code == DTN_DATETIMECHANGE) {
        self->Refresh();
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return FALSE;
}

}  // namespace fw
