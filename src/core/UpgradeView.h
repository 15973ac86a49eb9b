#pragma once
// What a job may do to the window.
//
// Synchronous calls (rows, status text, enabling controls, progress bars, message
// boxes, cursor) return after the window has carried them out. Posted calls
// (PostMessage, timers) return at once; the window handles them later on its own
// thread. The window never waits for the worker.
//
// Implementations: the Qt window, the headless front end, and a recording fake for
// tests. All text is UTF-8.

#include <cstdint>
#include <string>

namespace fw {

enum class MessageIcon { None, Exclamation, Error, Question };

enum class MessageButtons { Ok, OkCancel };

// The answer of a message box.
enum class MessageResult { Ok, Cancel };

class UpgradeView {
 public:
  virtual ~UpgradeView() = default;

  // Status list (control 1011), two columns: 0 = mark, 1 = text.
  virtual void InsertRow(int index, const std::string& mark, const std::string& text) = 0;
  virtual void SetRowText(int index, int column, const std::string& text) = 0;
  virtual void DeleteAllRows() = 0;

  // Status text (control 1004).
  virtual void SetStatusText(const std::string& text) = 0;

  // Enable or disable a control by id.
  virtual void EnableControl(int id, bool enable) = 0;

  // Progress bars 1006 and 1009.
  virtual void SetProgressRange(int id, int lower, int upper) = 0;
  virtual void SetProgressPos(int id, int pos) = 0;

  // A modal message box; blocks the calling thread until the user closes it.
  // `detail` is optional extra text (for example the system's reason for a failure).
  virtual MessageResult MessageBox(const std::string& text, MessageIcon icon,
                                   MessageButtons buttons = MessageButtons::Ok,
                                   const std::string& detail = std::string()) = 0;

  virtual void SetWaitCursor(bool wait) = 0;

  // Posted to the window's queue; returns at once.
  virtual void PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

  // Window timers (posted: the timer fires later on the window's thread).
  virtual void SetTimer(int id, uint32_t periodMs) = 0;
  virtual void KillTimer(int id) = 0;
};

}  // namespace fw
