// The Windows window: the main dialog from the resource script, its status list as a
// report-style list view, the text progress bar drawn by its own window class, the About box,
// the closing question. Its jobs run as the Qt window's do: "Upgrade" copies the controls
// into the record and starts the job through the same steps (DialogHooks); the worker reaches
// the window only through the view (WinUpgradeView), whose calls the window's message queue
// carries.

#include "WinWindow.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "IconResource.h"
#include "WinHistoryDialog.h"
#include "WinInstallationFolder.h"
#include "WinResources.h"
#include "WinText.h"
#include "WinUpgradeView.h"
#include "app/window/BenchJobs.h"
#include "app/window/BenchOptions.h"
#include "app/window/DialogHooks.h"
#include "app/window/JournalOptions.h"
#include "app/window/PortEntries.h"
#include "app/window/WindowSequence.h"
#include "app/window/WindowTexts.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/AppValues.h"
#include "firmware/MainFirmware.h"
#include "platform/Clock.h"
#include "platform/ExecutablePath.h"
#include "serial/PortAccess.h"
#include "serial/PortMap.h"

#ifndef FLASHWRIGHT_VERSION
#define FLASHWRIGHT_VERSION "0.0.0"
#endif

namespace fw {
namespace {

constexpr int kStatusColumnWidth = 52;
constexpr int kMessageColumnWidth = 600;
constexpr UINT kAboutCommand = 0x0010;  // system menu item ids are multiples of 16
constexpr UINT kBenchCommand = 0x0020;
constexpr UINT kHistoryCommand = 0x0030;
constexpr UINT_PTR kAutoStartTimerId = 1;
// Runs the view calls still queued, should their wake-up have been lost: a modal loop that
// ends (a box answered, while another thread's message is being delivered to the window)
// may take a posted message from the queue and drop it, and a worker waiting on its call
// would wait for ever.
constexpr UINT_PTR kViewCallsTimerId = 3;
constexpr UINT kViewCallsPeriodMs = 250;
constexpr UINT_PTR kBenchRefreshTimerId = 2;
constexpr UINT_PTR kPanelTimerBase = 100;  // + COM number: a panel's auto-start timer
constexpr int kUpgradeAllId = 1990;
constexpr int kPanelIdBase = 2000;  // + 10 * panel: its group, Upgrade, Stop, texts, bar, list
// The bench's layout, in dialog units (the Qt bench's).
constexpr int kPanelWidth = 421;
constexpr int kPanelHeight = 122;
constexpr int kPanelGap = 3;
constexpr int kUpgradeAllHeight = 16;

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
      InvalidateRect(hwnd, nullptr, FALSE);
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

void ListInsertRow(HWND list, int index, const std::string& mark, const std::string& text) {
  const int count = ListView_GetItemCount(list);
  std::wstring m = Wide(mark);
  std::wstring t = Wide(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = std::clamp(index, 0, count);  // past the end appends, as the list does
  item.pszText = m.data();
  const int row =
      static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) {
    return;
  }
  LVITEMW sub{};
  sub.iSubItem = 1;
  sub.pszText = t.data();
  SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  ListView_EnsureVisible(list, row, FALSE);
}

void ListSetText(HWND list, int index, Column column, const std::string& text) {
  if (index < 0 || index >= ListView_GetItemCount(list)) {
    return;  // no such row: nothing to change
  }
  std::wstring t = Wide(text);
  LVITEMW sub{};
  sub.iSubItem = column == Column::Mark ? 0 : 1;
  sub.pszText = t.data();
  SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
}

// A modal box owned by `owner`, with the system's icon; the detail below the text.
MessageResult SystemBox(HWND owner, const std::wstring& caption, const std::string& text,
                        MessageIcon icon, MessageButtons buttons, const std::string& detail,
                        int port) {
  UINT flags = buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  switch (icon) {
    case MessageIcon::None:
      break;
    case MessageIcon::Exclamation:
      flags |= MB_ICONEXCLAMATION;
      break;
    case MessageIcon::Error:
      flags |= MB_ICONERROR;
      break;
    case MessageIcon::Question:
      flags |= MB_ICONQUESTION;
      break;
  }
  std::string body = text;
  if (!detail.empty()) {
    body += "\n\n" + WithPermissionAdvice(detail, GlobalPortMap().DevicePath(port));
  }
  const int answer = MessageBoxW(owner, Wide(body).c_str(), caption.c_str(), flags);
  return answer == IDCANCEL ? MessageResult::Cancel : MessageResult::Ok;
}

int ResourceNumber(Control control) {
  switch (control) {
    case Control::Upgrade:
      return IDC_UPGRADE;
    case Control::Port:
      return IDC_PORT;
    case Control::StatusText:
      return IDC_STATUS_TEXT;
    case Control::MainProgress:
      return IDC_MAIN_PROGRESS;
    case Control::HexFile:
      return IDC_HEX_FILE;
    case Control::HexFileText:
      return IDC_HEX_FILE_TEXT;
    case Control::SecondProgress:
      return IDC_SECOND_PROGRESS;
    case Control::StatusList:
      return IDC_STATUS_LIST;
    case Control::ChipOnly:
      return IDC_CHIP_ONLY;
    case Control::Vocoder:
      return IDC_VOCODER;
    case Control::FirmwareOnly:
      return IDC_FIRMWARE_ONLY;
    case Control::UpdateChip:
      return IDC_UPDATE_CHIP;
    case Control::WavFileText:
      return IDC_WAV_FILE_TEXT;
  }
  return 0;
}

// "--program-dir DIR" or "--program-dir=DIR" on the command line (the last one wins).
std::string ProgramDirFromCommandLine() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::string dir;
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    const std::wstring a = argv[i];
    const std::wstring option = L"--program-dir";
    if (a == option && i + 1 < argc) {
      dir = Utf8(argv[++i]);
    } else if (a.rfind(option + L"=", 0) == 0) {
      dir = Utf8(a.substr(option.size() + 1));
    }
  }
  LocalFree(argv);
  return dir;
}

INT_PTR CALLBACK AboutProc(HWND box, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      const AppValues& app = App();
      SetWindowTextW(box, Wide(kAboutCaptionText).c_str());
      SetDlgItemTextW(box, IDC_ABOUT_VERSION, Wide(app.versionText).c_str());
      SetDlgItemTextW(box, IDC_ABOUT_SMALL_MCU, Wide(app.smallMcuText).c_str());
      SetDlgItemTextW(
          box, IDC_ABOUT_COMPANY,
          Wide(app.companyText.empty() ? std::string(kAboutDefaultCompanyLine) : app.companyText)
              .c_str());
      SetDlgItemTextW(box, IDOK, Wide(kAboutOkText).c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        EndDialog(box, LOWORD(wp));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

class Window;

// One panel of the bench: its own record on the window's installation, its own view (woken
// with its COM number), its own rows, texts, bar, timer and boxes.
class BenchPanel : public WinViewTarget {
 public:
  BenchPanel(Window& window, int port, int index, std::shared_ptr<CompletedJobCount> count);
  ~BenchPanel() override;
  BenchPanel(const BenchPanel&) = delete;
  BenchPanel& operator=(const BenchPanel&) = delete;

  int Port() const { return port_; }
  bool Owns(int id) const { return id >= firstId_ && id < firstId_ + 10; }
  void OnCommand(int id);
  void OnUpgradeClicked();
  void Stop();
  void RefreshButtons();
  bool JobRunning() const;
  void JoinJob();
  bool Unfinished() const { return state_->resultOk == 0; }
  WinUpgradeView& View() { return view_; }

  void InsertStatusRow(int index, const std::string& mark, const std::string& text) override {
    ListInsertRow(list_, index, mark, text);
  }
  void SetStatusRowText(int index, Column column, const std::string& text) override {
    ListSetText(list_, index, column, text);
  }
  void DeleteStatusRows() override { ListView_DeleteAllItems(list_); }
  void SetStatusLine(const std::string& text) override {
    SetWindowTextW(status_, Wide(text).c_str());
  }
  // The job's own button; the port, vocoder and check boxes are the window's.
  void Enable(Control control, bool enable) override {
    if (control == Control::Upgrade) {
      EnableWindow(upgrade_, enable ? TRUE : FALSE);
    }
  }
  void SetProgressRange(ProgressBar bar, int lower, int upper) override {
    if (bar == ProgressBar::Main) {
      SendMessageW(progress_, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    }
  }
  void SetProgressPos(ProgressBar bar, int pos) override {
    if (bar == ProgressBar::Main) {
      SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
    }
  }
  void StartWindowTimer(Timer, uint32_t periodMs) override;
  void StopWindowTimer(Timer) override;
  void OnJobEvent(const JobEvent& event) override;
  MessageResult ShowBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                        const std::string& detail) override;
  void SetWaitCursor(bool) override {}  // the window's cursor is not one job's

 private:
  HWND Make(const wchar_t* cls, const std::wstring& text, DWORD style, int id, int x, int y, int w,
            int h);

  Window& window_;
  int port_;
  int firstId_;
  int top_;  // in dialog units
  std::unique_ptr<UpgradeState> state_;
  WinUpgradeView view_;
  HWND group_ = nullptr;
  HWND upgrade_ = nullptr;
  HWND stop_ = nullptr;
  HWND model_ = nullptr;
  HWND status_ = nullptr;
  HWND progress_ = nullptr;
  HWND list_ = nullptr;
  bool timerOn_ = false;
};

HWND MakeToolTips(HWND dialog);
void AddToolTip(HWND tip, HWND dialog, HWND control);

class Window : public WinViewTarget, public WindowControls, public HistoryHost {
 public:
  explicit Window(HINSTANCE instance)
      : instance_(instance),
        state_(std::make_unique<UpgradeState>()),
        view_(*this, nullptr),
        folder_(ProgramDirFromCommandLine(), [] { return RegistryUserStore(); }),
        session_(*state_, hooks_, view_) {
    hooks_ = DefaultDialogHooks();
    session_.programVersion = FLASHWRIGHT_VERSION;
    // The folder given with --program-dir, else the program's own, else the one last used;
    // one without an installation is named and another may be chosen.
    folder_.SetAsk([this](const InstallationCheck& check) {
      return AskForInstallationFolder(dialog_, check);
    });
    folder_.SetChoose(
        [this](const std::string& start) { return PickInstallationFolder(dialog_, start); });
    hooks_.loadSettings = [this](UpgradeState& state) { return folder_.Load(state); };
    hooks_.saveSettings = [this](UpgradeState& state) { folder_.Save(state); };
    // "--bench", "--bench-ports", "--journal", "--no-backup": as the Qt window takes them
    // (a bad one is left alone: the window opens with the settings file's choice).
    std::vector<std::string> args = CommandLineArguments();
    std::string error;
    if (std::optional<BenchChoice> bench = TakeBenchOptions(args, error)) {
      session_.bench = *bench;
      session_.benchRequested = true;
    }
    error.clear();
    session_.journalChoice = TakeJournalOptions(args, error);
  }

  bool Create() {
    dialog_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_UPGRADE), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) {
      return false;
    }
    view_.SetWindow(dialog_);
    state_->job.clock.Use(ClockFromEnvironment());
    ::SetTimer(dialog_, kViewCallsTimerId, kViewCallsPeriodMs, nullptr);
    return true;
  }

  // Every view's queued calls, the window's and each bench panel's (a panel may go while a
  // call of another shows a box: looked up by index each time).
  void RunAllQueuedCalls() {
    view_.RunQueuedCalls();
    for (size_t i = 0; i < panels_.size(); ++i) {
      panels_[i]->View().RunQueuedCalls();
    }
  }

  HWND Dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  // The start-up sequence, the Qt window's (app/window/WindowSequence).
  void Startup() { RunWindowStartup(*this, session_); }

  // --- what start-up and closing ask of the controls -------------------------------------

  void AddMenuItems() override { AddSystemMenuItems(); }  // the icon came with the dialog
  void LayOutStatusList() override { fw::LayOutStatusList(Item(IDC_STATUS_LIST)); }
  bool HasPorts() const override { return !entries_.empty(); }
  void SetWarningLine(const std::string& text) override {
    SetDlgItemTextW(dialog_, IDC_WARNING, Wide(text).c_str());
  }
  void SetCaption(const std::string& caption) override {
    SetWindowTextW(dialog_, Wide(caption).c_str());
  }
  void FillVocoderList(int selected) override {
    HWND vocoder = Item(IDC_VOCODER);
    SendMessageW(vocoder, CB_RESETCONTENT, 0, 0);
    SendMessageW(vocoder, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"AMBE"));
    SendMessageW(vocoder, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"SELP"));
    SendMessageW(vocoder, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }
  void ShowRunModeControl(int mode) override {
    switch (mode) {
      case 1:
        ShowWindow(Item(IDC_CHIP_ONLY), SW_SHOW);
        SetWindowPos(Item(IDC_CHIP_ONLY), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        break;
      case 3:
        ShowWindow(Item(IDC_FIRMWARE_ONLY), SW_SHOW);
        break;
      case 7:
        ShowWindow(Item(IDC_UPDATE_CHIP), SW_SHOW);
        break;
      default:
        break;
    }
  }
  void SetUpdateChipChecked(bool checked) override {
    CheckDlgButton(dialog_, IDC_UPDATE_CHIP, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  bool UpdateChipChecked() const override {
    return IsDlgButtonChecked(dialog_, IDC_UPDATE_CHIP) == BST_CHECKED;
  }
  bool OpenBench() override { return SetBenchMode(true); }
  bool BenchUnfinished() const override {
    return std::any_of(panels_.begin(), panels_.end(),
                       [](const auto& p) { return p->Unfinished(); });
  }

  // --- the view's operations, on the window's thread -------------------------------------

  void InsertStatusRow(int index, const std::string& mark, const std::string& text) override {
    ListInsertRow(Item(IDC_STATUS_LIST), index, mark, text);
  }

  void SetStatusRowText(int index, Column column, const std::string& text) override {
    ListSetText(Item(IDC_STATUS_LIST), index, column, text);
  }

  void DeleteStatusRows() override { ListView_DeleteAllItems(Item(IDC_STATUS_LIST)); }

  void SetStatusLine(const std::string& text) override {
    SetDlgItemTextW(dialog_, IDC_STATUS_TEXT, Wide(text).c_str());
  }

  void Enable(Control control, bool enable) override {
    if (HWND w = Item(ResourceNumber(control))) {
      EnableWindow(w, enable ? TRUE : FALSE);
    }
  }

  void SetProgressRange(ProgressBar bar, int lower, int upper) override {
    if (bar == ProgressBar::Main) {
      SendMessageW(Item(IDC_MAIN_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    } else if (lower < upper) {
      // A plain bar ignores an empty or inverted range.
      SendMessageW(Item(IDC_SECOND_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    }
  }

  void SetProgressPos(ProgressBar bar, int pos) override {
    SendMessageW(Item(bar == ProgressBar::Main ? IDC_MAIN_PROGRESS : IDC_SECOND_PROGRESS),
                 PBM_SETPOS, static_cast<WPARAM>(pos), 0);
  }

  void StartWindowTimer(Timer, uint32_t periodMs) override {
    ::SetTimer(dialog_, kAutoStartTimerId, std::max<uint32_t>(periodMs, USER_TIMER_MINIMUM),
               nullptr);
  }

  void StopWindowTimer(Timer) override { ::KillTimer(dialog_, kAutoStartTimerId); }

  void OnJobEvent(const JobEvent& event) override {
    if (hooks_.jobEvent && hooks_.jobEvent(*state_, event)) {
      return;
    }
    if (std::holds_alternative<CommErrorEvent>(event)) {
      view_.MessageBox(kCommErrorText, MessageIcon::None, MessageButtons::Ok);
    }
  }

  MessageResult ShowBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                        const std::string& detail) override {
    return SystemBox(dialog_, WindowText(dialog_), text, icon, buttons, detail,
                     state_->selectedPort);
  }

  void SetWaitCursor(bool wait) override {
    waitDepth_ = std::max(0, waitDepth_ + (wait ? 1 : -1));
    SetCursor(LoadCursor(nullptr, waitDepth_ > 0 ? IDC_WAIT : IDC_ARROW));
  }

  // After start-up: a folder without an installation leaves "Upgrade" refused, and the
  // status line names what is missing (the whole text in its tooltip).
  void ApplyInstallationProblem() {
    if (!folder_.NoInstallation()) {
      return;
    }
    installationProblem_ = folder_.Problem();
    Enable(Control::Upgrade, false);
    SetStatusLine(installationProblem_);
    // A static passes the mouse to the window unless it notifies: the tooltip needs it.
    HWND status = Item(IDC_STATUS_TEXT);
    SetWindowLongPtrW(status, GWL_STYLE, GetWindowLongPtrW(status, GWL_STYLE) | SS_NOTIFY);
    AddToolTip(toolTips_, dialog_, status);
  }

  // True (after saying why) when the installation lets no job start.
  bool RefuseForInstallation() {
    if (installationProblem_.empty()) {
      return false;
    }
    view_.MessageBox(installationProblem_, MessageIcon::Exclamation, MessageButtons::Ok);
    return true;
  }

  // --- handlers ---------------------------------------------------------------------------

  void OnUpgradeClicked() {
    // On the bench the single port's "Upgrade" is hidden and its timer stopped.
    if (session_.exiting || BenchOn() || RefuseForInstallation()) {
      return;
    }
    if (!JobRunning()) {
      state_->writeBack.reset();
    }
    ReadControls();
    SelectionChanged();
    if (hooks_.startJob) {
      hooks_.startJob(*state_);
    }
  }

  // The Cancel command (close box, Escape, "Exit"). Returns true when the window ends.
  bool OnCancel() {
    if (!RunWindowClosing(*this, session_)) {
      return false;
    }
    ::KillTimer(dialog_, kViewCallsTimerId);
    panels_.clear();
    DestroyWindow(dialog_);
    return true;
  }

  void OnCommand(int id, int code) {
    if (id == kUpgradeAllId && code == BN_CLICKED) {
      for (auto& p : panels_) {
        p->OnUpgradeClicked();
      }
      return;
    }
    for (auto& p : panels_) {
      if (p->Owns(id)) {
        if (code == BN_CLICKED) {
          p->OnCommand(id);
        }
        return;
      }
    }
    switch (id) {
      case IDC_UPGRADE:
        if (code == BN_CLICKED) {
          OnUpgradeClicked();
        }
        break;
      case IDC_PORT:
        if (code == CBN_SELCHANGE) {
          SelectionChanged();
        } else if (code == CBN_DROPDOWN && !JobRunning()) {
          RescanKeepingSelection();
        }
        break;
      case IDC_CHIP_ONLY:
        ReadControls();
        SetStatusLine(state_->chipOnly == 1 ? kChipOnlyStatusText : kUsualStatusText);
        if (state_->updateChip == 1) {
          CheckDlgButton(dialog_, IDC_UPDATE_CHIP, BST_UNCHECKED);
        }
        break;
      case IDC_UPDATE_CHIP:
        ReadControls();
        SetStatusLine(kUsualStatusText);
        if (state_->chipOnly == 1) {
          CheckDlgButton(dialog_, IDC_CHIP_ONLY, BST_UNCHECKED);
        }
        break;
      case IDC_FIRMWARE_ONLY:
        ReadControls();
        break;
      case IDC_VOCODER:
        if (code == CBN_SELCHANGE && hooks_.selectVocoder) {
          hooks_.selectVocoder(
              *state_, static_cast<int>(SendMessageW(Item(IDC_VOCODER), CB_GETCURSEL, 0, 0)));
          WriteControls();
        }
        break;
      case IDCANCEL:  // also "Exit" (IDC_EXIT), the close box and Escape
        OnCancel();
        break;
      default:
        break;  // Enter (IDOK) never presses a button
    }
  }

  void OnTimer() {
    if (!session_.exiting) {
      OnUpgradeClicked();
    }
  }

  void ShowAbout() {
    DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_ABOUT), dialog_, AboutProc, 0);
  }

  // "History" (system menu): the dialog, opened once and shown again with the jobs read
  // afresh; it blocks nothing.
  void ShowHistory() {
    if (session_.exiting) {
      return;
    }
    if (!history_) {
      history_ = std::make_unique<WinHistoryDialog>(instance_, dialog_, *this);
    }
    history_->Show();
  }
  bool HistoryTakes(MSG& message) { return history_ && history_->TakeMessage(message); }

  bool WriteBackAllowed() override {
    return WindowWriteBackAllowed(session_, {AnyJobRunning(), BenchOn(), installationProblem_});
  }

  bool StartWriteBack(int64_t jobId, int port) override {
    return StartWindowWriteBack(*this, session_, {AnyJobRunning(), BenchOn(), installationProblem_},
                                jobId, port);
  }

  std::vector<int> PortNumbers() const override {
    std::vector<int> ports;
    for (const std::string& e : entries_) {
      if (const int n = EntryToNumber(e); n != 0) {
        ports.push_back(n);
      }
    }
    return ports;
  }

  int SelectedPort() const override { return state_->selectedPort; }

  void SayProblem(const std::string& text, const std::string& detail) override {
    view_.MessageBox(text, MessageIcon::Exclamation, MessageButtons::Ok, detail);
  }

  // The tooltip of the port list: the selected entry's.
  std::wstring PortTip() const {
    const int index = static_cast<int>(SendMessageW(Item(IDC_PORT), CB_GETCURSEL, 0, 0));
    return index >= 0 && index < static_cast<int>(tips_.size()) ? tips_[index] : std::wstring();
  }

  WinUpgradeView& View() { return view_; }
  const UpgradeState& State() const { return *state_; }
  const DialogHooks& Hooks() const { return hooks_; }
  const JournalHandle* Journal() const override { return session_.journal.handle.get(); }
  bool SkipBackup() const { return state_->skipBackup; }
  bool Exiting() const { return session_.exiting; }
  HINSTANCE Instance() const { return instance_; }
  void TakeControls() { ReadControls(); }

  // The view a wake-up names: the window's own (0) or a panel's (its COM number).
  WinUpgradeView* ViewFor(WPARAM tag) {
    if (tag == 0) {
      return &view_;
    }
    for (auto& p : panels_) {
      if (static_cast<WPARAM>(p->Port()) == tag) {
        return &p->View();
      }
    }
    return nullptr;  // a panel that has gone
  }

  void OnBenchTimer(UINT_PTR id) {
    if (id == kBenchRefreshTimerId) {
      for (auto& p : panels_) {
        p->RefreshButtons();
      }
      return;
    }
    for (auto& p : panels_) {
      if (id == kPanelTimerBase + static_cast<UINT_PTR>(p->Port())) {
        p->OnUpgradeClicked();
      }
    }
  }

  // On or off (refused while a job runs); the ports are the chosen ones or, when none were
  // chosen, every port the list has. Returns whether the bench is now on.
  bool SetBenchMode(bool on) {
    const bool now = !panels_.empty();
    if (on == now) {
      return on;
    }
    if (session_.exiting || !session_.startupDone || AnyJobRunning()) {
      return now;
    }
    const bool repeat = state_->installation->readWriteLog == 5;
    if (on) {
      std::vector<int> ports = session_.bench.ports;
      if (ports.empty()) {
        for (const std::string& e : entries_) {
          if (const int n = EntryToNumber(e); n != 0) {
            ports.push_back(n);
          }
        }
      }
      if (ports.empty()) {
        return false;
      }
      StopWindowTimer(Timer::AutoStart);
      ShowSinglePortControls(false);
      auto count = std::make_shared<CompletedJobCount>();
      count->total = state_->completedJobs;
      jobCount_ = count;
      RECT all{7 + 435 - 4 - 60, 42, 7 + 435 - 4, 42 + kUpgradeAllHeight};
      MapDialogRect(dialog_, &all);
      upgradeAll_ = CreateWindowExW(0, L"BUTTON", Wide(kUpgradeAllButton).c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, all.left,
                                    all.top, all.right - all.left, all.bottom - all.top, dialog_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kUpgradeAllId)),
                                    instance_, nullptr);
      SendMessageW(upgradeAll_, WM_SETFONT, SendMessageW(dialog_, WM_GETFONT, 0, 0), TRUE);
      for (size_t i = 0; i < ports.size(); ++i) {
        panels_.push_back(
            std::make_unique<BenchPanel>(*this, ports[i], static_cast<int>(i), count));
      }
      const int height =
          kUpgradeAllHeight + 3 + static_cast<int>(ports.size()) * (kPanelHeight + kPanelGap);
      ResizeToUnits(std::max(211, 42 + height + 4));
      ::SetTimer(dialog_, kBenchRefreshTimerId, 200, nullptr);
      if (repeat) {
        for (auto& p : panels_) {
          p->StartWindowTimer(Timer::AutoStart, kAutoStartPeriodMs);
        }
      }
    } else {
      state_->completedJobs = jobCount_ ? jobCount_->total : state_->completedJobs;
      ::KillTimer(dialog_, kBenchRefreshTimerId);
      panels_.clear();
      DestroyWindow(upgradeAll_);
      upgradeAll_ = nullptr;
      ResizeToUnits(211);
      ShowSinglePortControls(true);
      if (repeat) {
        StartWindowTimer(Timer::AutoStart, kAutoStartPeriodMs);
      }
    }
    session_.bench.on = on;
    CheckMenuItem(GetSystemMenu(dialog_, FALSE), kBenchCommand,
                  MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    return on;
  }

  bool BenchOn() const { return !panels_.empty(); }

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);

 private:
  bool JobRunning() const { return hooks_.jobRunning && hooks_.jobRunning(*state_); }

  bool AnyJobRunning() const {
    return JobRunning() || std::any_of(panels_.begin(), panels_.end(),
                                       [](const auto& p) { return p->JobRunning(); });
  }

  static std::vector<std::string> CommandLineArguments() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv != nullptr && i < argc; ++i) {
      args.push_back(Utf8(argv[i]));
    }
    LocalFree(argv);
    return args;
  }

  // The single port's controls, shown without the bench and hidden with it.
  void ShowSinglePortControls(bool show) {
    for (int id : {IDC_UPGRADE, IDC_PORT, IDC_PORT_LABEL, IDC_STATUS_TEXT, IDC_MAIN_PROGRESS,
                   IDC_STATUS_LIST, IDC_FRAME}) {
      ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
    }
  }

  // The window's client area to 449 dialog units wide and `heightUnits` high.
  void ResizeToUnits(int heightUnits) {
    RECT r{0, 0, 449, heightUnits};
    MapDialogRect(dialog_, &r);
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(dialog_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog_, GWL_EXSTYLE)));
    SetWindowPos(dialog_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER);
  }

  // Every panel's job stopped (its open boxes answered as a closing window's), served until
  // it has ended, and joined.
  void StopBenchAndWait() override {
    ::KillTimer(dialog_, kBenchRefreshTimerId);
    for (auto& p : panels_) {
      p->Stop();
    }
    while (std::any_of(panels_.begin(), panels_.end(),
                       [](const auto& p) { return p->JobRunning(); })) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      for (auto& p : panels_) {
        p->View().RunQueuedCalls();
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    for (auto& p : panels_) {
      p->JoinJob();
    }
  }

  void ReadControls() {
    state_->hexFilePath = Utf8(WindowText(Item(IDC_HEX_FILE_TEXT)));
    state_->chipOnly = IsDlgButtonChecked(dialog_, IDC_CHIP_ONLY) == BST_CHECKED ? 1 : 0;
    state_->firmwareOnly = IsDlgButtonChecked(dialog_, IDC_FIRMWARE_ONLY) == BST_CHECKED ? 1 : 0;
    state_->updateChip = IsDlgButtonChecked(dialog_, IDC_UPDATE_CHIP) == BST_CHECKED ? 1 : 0;
    state_->wavFilePath = Utf8(WindowText(Item(IDC_WAV_FILE_TEXT)));
  }

  void WriteControls() override {
    SetDlgItemTextW(dialog_, IDC_HEX_FILE_TEXT, Wide(state_->hexFilePath).c_str());
    CheckDlgButton(dialog_, IDC_CHIP_ONLY, state_->chipOnly != 0 ? BST_CHECKED : 0);
    CheckDlgButton(dialog_, IDC_FIRMWARE_ONLY, state_->firmwareOnly != 0 ? BST_CHECKED : 0);
    CheckDlgButton(dialog_, IDC_UPDATE_CHIP, state_->updateChip != 0 ? BST_CHECKED : 0);
    SetDlgItemTextW(dialog_, IDC_WAV_FILE_TEXT, Wide(state_->wavFilePath).c_str());
  }

  void AddSystemMenuItems() {
    HMENU menu = GetSystemMenu(dialog_, FALSE);
    if (menu == nullptr) {
      return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, Wide(kAboutItemText).c_str());
    AppendMenuW(menu, MF_STRING, kBenchCommand, Wide(kBenchModeItem).c_str());
    AppendMenuW(menu, MF_STRING, kHistoryCommand, Wide(kHistoryItemText).c_str());
  }

  // The port list: the shared entries, their tooltips kept beside the combo.
  void ScanPorts() override {
    HWND combo = Item(IDC_PORT);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    entries_.clear();
    tips_.clear();
    for (const FoundPort& port : ScanPorts16()) {
      entries_.push_back(EntryText(port));
      tips_.push_back(Wide(PortToolTip(port.number, port.devicePath, port.access)));
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entries_.back()).c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  }

  // The list is refreshed when it drops down; the entry of the chosen port stays chosen.
  void RescanKeepingSelection() {
    ScanPorts();
    SelectSavedPort();
  }

  void SelectionChanged() {
    const int index = static_cast<int>(SendMessageW(Item(IDC_PORT), CB_GETCURSEL, 0, 0));
    if (index >= 0 && index < static_cast<int>(entries_.size())) {
      state_->selectedPort = EntryToNumber(entries_[index]);
    }
  }

  void SelectSavedPort() override {
    if (entries_.empty()) {
      return;
    }
    int index = SavedPortIndex(entries_, state_->selectedPort.load());
    if (index < 0) {
      index = 0;
      state_->selectedPort = EntryToNumber(entries_[0]);
    }
    SendMessageW(Item(IDC_PORT), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  // Stops a running job and waits for it while the window keeps serving its calls.
  void StopJobAndWait() override {
    StopWindowTimer(Timer::AutoStart);
    if (JobRunning()) {
      view_.SetClosing(true);
      if (hooks_.stopJob) {
        hooks_.stopJob(*state_);
      } else {
        state_->job.clock.RequestStop();
      }
      while (JobRunning()) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
        view_.RunQueuedCalls();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      }
    }
    if (hooks_.joinJob) {
      hooks_.joinJob(*state_);
    }
  }

  HINSTANCE instance_;
  HWND dialog_ = nullptr;
  DialogHooks hooks_;
  std::unique_ptr<UpgradeState> state_;
  WinUpgradeView view_;
  InstallationFolder folder_;
  std::string installationProblem_;
  HWND toolTips_ = nullptr;
  std::vector<std::string> entries_;
  std::vector<std::wstring> tips_;
  // The bench choice, the journal, and how far start-up and closing have come.
  WindowSession session_;
  int waitDepth_ = 0;
  std::shared_ptr<CompletedJobCount> jobCount_;
  std::vector<std::unique_ptr<BenchPanel>> panels_;
  HWND upgradeAll_ = nullptr;
  std::unique_ptr<WinHistoryDialog> history_;
};

BenchPanel::BenchPanel(Window& window, int port, int index,
                       std::shared_ptr<CompletedJobCount> count)
    : window_(window),
      port_(port),
      firstId_(kPanelIdBase + 10 * index),
      top_(42 + kUpgradeAllHeight + 3 + index * (kPanelHeight + kPanelGap)),
      state_(std::make_unique<UpgradeState>()),
      view_(*this, window.Dialog(), static_cast<WPARAM>(port)) {
  group_ = Make(L"BUTTON", Wide(BenchPanelTitle(port)), BS_GROUPBOX, firstId_, 0, 0, kPanelWidth,
                kPanelHeight);
  model_ = Make(L"STATIC", Wide(kRadioModelLabel), SS_NOPREFIX, firstId_ + 6, 8, 11, 300, 9);
  upgrade_ = Make(L"BUTTON", L"Upgrade", BS_PUSHBUTTON | WS_TABSTOP, firstId_ + 1, 318, 8, 49, 15);
  stop_ =
      Make(L"BUTTON", Wide(kStopButton), BS_PUSHBUTTON | WS_TABSTOP, firstId_ + 2, 371, 8, 44, 15);
  EnableWindow(stop_, FALSE);
  status_ = Make(L"STATIC", Wide(kUsualStatusText), SS_NOPREFIX, firstId_ + 3, 8, 25, 407, 9);
  progress_ = Make(L"" FW_TEXT_PROGRESS_CLASS, L"", 0, firstId_ + 4, 6, 36, 409, 10);
  list_ = Make(WC_LISTVIEWW, L"", LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | WS_BORDER,
               firstId_ + 5, 6, 49, 409, 69);
  LayOutStatusList(list_);
  state_->sharedJobCount = std::move(count);
  PrepareBenchRecord(window.State(), *state_, port_, window.Hooks(), &view_, window.Journal(),
                     window.SkipBackup(), FLASHWRIGHT_VERSION);
}

BenchPanel::~BenchPanel() {
  // The window stops and joins every job before panels go; this is the last guard.
  view_.SetClosing(true);
  Stop();
  while (JobRunning()) {
    view_.RunQueuedCalls();
    Sleep(5);
  }
  JoinJob();
  StopWindowTimer(Timer::AutoStart);
  state_->SetView(nullptr);
  for (HWND w : {group_, model_, upgrade_, stop_, status_, progress_, list_}) {
    DestroyWindow(w);
  }
}

HWND BenchPanel::Make(const wchar_t* cls, const std::wstring& text, DWORD style, int id, int x,
                      int y, int w, int h) {
  RECT r{7 + x, top_ + y, 7 + x + w, top_ + y + h};
  MapDialogRect(window_.Dialog(), &r);
  HWND hwnd = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, window_.Dialog(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), window_.Instance(),
                              nullptr);
  SendMessageW(hwnd, WM_SETFONT, SendMessageW(window_.Dialog(), WM_GETFONT, 0, 0), TRUE);
  return hwnd;
}

bool BenchPanel::JobRunning() const {
  const DialogHooks& hooks = window_.Hooks();
  return hooks.jobRunning && hooks.jobRunning(*state_);
}

void BenchPanel::JoinJob() {
  if (window_.Hooks().joinJob) {
    window_.Hooks().joinJob(*state_);
  }
}

void BenchPanel::OnCommand(int id) {
  if (id == firstId_ + 1) {
    OnUpgradeClicked();
  } else if (id == firstId_ + 2) {
    Stop();
  }
}

void BenchPanel::OnUpgradeClicked() {
  if (window_.Exiting() || JobRunning() || window_.RefuseForInstallation()) {
    return;
  }
  window_.TakeControls();
  TakeWindowChoices(window_.State(), *state_, port_);
  SetWindowTextW(model_, Wide(kRadioModelLabel).c_str());
  view_.SetClosing(false);
  if (window_.Hooks().startJob) {
    window_.Hooks().startJob(*state_);
  }
  RefreshButtons();
}

void BenchPanel::Stop() {
  StopWindowTimer(Timer::AutoStart);
  if (JobRunning()) {
    // A stopped job asks nothing more.
    view_.SetClosing(true);
    if (window_.Hooks().stopJob) {
      window_.Hooks().stopJob(*state_);
    } else {
      state_->job.clock.RequestStop();
    }
  }
  RefreshButtons();
}

void BenchPanel::RefreshButtons() {
  const bool running = JobRunning();
  EnableWindow(stop_, running || timerOn_ ? TRUE : FALSE);
  // A panel whose job has ended is idle: its "Upgrade" starts the next radio.
  if (!running && !IsWindowEnabled(upgrade_)) {
    EnableWindow(upgrade_, TRUE);
  }
}

void BenchPanel::StartWindowTimer(Timer, uint32_t periodMs) {
  ::SetTimer(window_.Dialog(), kPanelTimerBase + static_cast<UINT_PTR>(port_),
             std::max<uint32_t>(periodMs, USER_TIMER_MINIMUM), nullptr);
  timerOn_ = true;
  RefreshButtons();
}

void BenchPanel::StopWindowTimer(Timer) {
  ::KillTimer(window_.Dialog(), kPanelTimerBase + static_cast<UINT_PTR>(port_));
  timerOn_ = false;
}

void BenchPanel::OnJobEvent(const JobEvent& event) {
  const DialogHooks& hooks = window_.Hooks();
  if (hooks.jobEvent && hooks.jobEvent(*state_, event)) {
    return;
  }
  if (std::holds_alternative<CommErrorEvent>(event)) {
    view_.MessageBox(kCommErrorText, MessageIcon::None, MessageButtons::Ok);
  }
}

MessageResult BenchPanel::ShowBox(const std::string& text, MessageIcon icon, MessageButtons buttons,
                                  const std::string& detail) {
  const std::wstring caption =
      L"COM" + std::to_wstring(port_) + L" - " + WindowText(window_.Dialog());
  return SystemBox(window_.Dialog(), caption, text, icon, buttons, detail, port_);
}

// The window's tooltips (the port list's and, for a folder without an installation, the
// status line's); their texts are asked for when shown (TTN_GETDISPINFOW).
HWND MakeToolTips(HWND dialog) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  if (tip != nullptr) {
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 600);
  }
  return tip;
}

void AddToolTip(HWND tip, HWND dialog, HWND control) {
  if (tip == nullptr || control == nullptr) {
    return;
  }
  TTTOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = dialog;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

INT_PTR CALLBACK Window::DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lp);
      self = reinterpret_cast<Window*>(lp);
      // The program's icon, at the sizes the title bar and the task switcher show.
      const HINSTANCE module = GetModuleHandleW(nullptr);
      if (HICON bigIcon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_FLASHWRIGHT),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                        GetSystemMetrics(SM_CYICON), LR_SHARED))) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
      }
      if (HICON smallIcon = static_cast<HICON>(LoadImageW(
              module, MAKEINTRESOURCEW(IDI_FLASHWRIGHT), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
              GetSystemMetrics(SM_CYSMICON), LR_SHARED))) {
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
      }
      if (self != nullptr) {
        self->toolTips_ = MakeToolTips(dialog);
        AddToolTip(self->toolTips_, dialog, GetDlgItem(dialog, IDC_PORT));
      }
      return TRUE;
    }
    case WM_FW_VIEW_CALLS:
      if (self != nullptr) {
        if (WinUpgradeView* view = self->ViewFor(wp)) {
          view->RunQueuedCalls();
        }
      }
      return TRUE;
    case WM_COMMAND:
      if (self != nullptr) {
        self->OnCommand(LOWORD(wp), HIWORD(wp));
      }
      return TRUE;
    case WM_TIMER:
      if (self != nullptr && wp == kViewCallsTimerId) {
        self->RunAllQueuedCalls();
      } else if (self != nullptr && wp == kAutoStartTimerId) {
        self->OnTimer();
      } else if (self != nullptr) {
        self->OnBenchTimer(wp);
      }
      return TRUE;
    case WM_SYSCOMMAND:
      if (self != nullptr && (wp & 0xFFF0) == kAboutCommand) {
        self->ShowAbout();
        return TRUE;
      }
      if (self != nullptr && (wp & 0xFFF0) == kBenchCommand) {
        self->SetBenchMode(!self->BenchOn());
        return TRUE;
      }
      if (self != nullptr && (wp & 0xFFF0) == kHistoryCommand) {
        self->ShowHistory();
        return TRUE;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (self != nullptr && header->code == TTN_GETDISPINFOW) {
        static std::wstring text;  // stays valid until the tooltip has copied it
        text = header->idFrom == reinterpret_cast<UINT_PTR>(self->Item(IDC_STATUS_TEXT))
                   ? Wide(self->installationProblem_)
                   : self->PortTip();
        reinterpret_cast<NMTTDISPINFOW*>(lp)->lpszText = text.data();
        return TRUE;
      }
      break;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int RunWindow(HINSTANCE instance, int show) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                      ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterTextProgress(instance);
  // The folder picker is a COM object of the shell, on this (the window's) thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  struct ComScope {
    bool on;
    ~ComScope() {
      if (on) {
        CoUninitialize();
      }
    }
  } comScope{SUCCEEDED(com)};
  Window window(instance);
  if (!window.Create()) {
    return 1;
  }
  ShowWindow(window.Dialog(), show);
  window.Startup();
  window.ApplyInstallationProblem();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window.Dialog(), &message) && !window.HistoryTakes(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return 0;
}

}  // namespace fw
