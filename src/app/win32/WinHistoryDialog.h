#pragma once
// The Win32 window's "History" (system menu): a modeless dialog from the resource script
// (IDD_HISTORY) that blocks nothing. It shows what the shared HistoryView says: the jobs of
// the job journal, newest first, in a report-style list view, for the filter text and the
// "Since" date; the chosen job's details; "Export CSV..." of the jobs listed (the system's
// save dialog); "Write back", which asks for the port and has the main window start a
// write-back of the chosen job's saved data. It may be made larger: the list and the
// details take the room.

#include <windows.h>
// UpgradeView's call of that name, not the system's macro.
#undef MessageBox

#include <cstdint>
#include <string>
#include <vector>

#include "app/window/HistoryView.h"

namespace fw {

// What the dialog asks of the main window.
class HistoryHost {
 public:
  virtual ~HistoryHost() = default;
  virtual const JournalHandle* Journal() const = 0;
  // Whether a write-back may start now; when not, the window has said why.
  virtual bool WriteBackAllowed() = 0;
  // Starts the write-back of job `jobId`'s saved data on `port`; whether it runs.
  virtual bool StartWriteBack(int64_t jobId, int port) = 0;
  // The port list's COM numbers and the one selected.
  virtual std::vector<int> PortNumbers() const = 0;
  virtual int SelectedPort() const = 0;
  // A box of the main window's, with the exclamation icon.
  virtual void SayProblem(const std::string& text, const std::string& detail) = 0;
};

class WinHistoryDialog {
 public:
  WinHistoryDialog(HINSTANCE instance, HWND owner, HistoryHost& host);
  ~WinHistoryDialog();
  WinHistoryDialog(const WinHistoryDialog&) = delete;
  WinHistoryDialog& operator=(const WinHistoryDialog&) = delete;

  // Opens it (once; again it is brought to the front) with the jobs read afresh.
  bool Show();
  HWND Handle() const { return dialog_; }
  // The dialog's keyboard messages (Tab, Enter, Escape) from the program's message loop.
  bool TakeMessage(MSG& message);

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);
  void Init();
  void Refresh();
  const JournalJob* SelectedJob() const;
  void ShowSelected();
  void OnExport();
  void OnWriteBack();
  void LayOut(int width, int height);
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  HINSTANCE instance_;
  HWND owner_;
  HistoryHost& host_;
  HWND dialog_ = nullptr;
  HWND tip_ = nullptr;
  HistoryListing listing_;
  bool filling_ = false;  // the list is being filled: its selection changes are not the user's
  // The controls' places in the resource script's layout (client coordinates), that
  // layout's client size, and the window's size then (the smallest it may be made).
  struct Placed {
    int id;
    RECT rect;
  };
  std::vector<Placed> placed_;
  SIZE initialClient_{};
  SIZE minWindow_{};
};

}  // namespace fw
