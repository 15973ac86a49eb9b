// The Win32 window's view: what a worker asks of the window arrives on the window's thread,
// in the order asked, through the window's message queue; a synchronous call returns only
// after the window carried it out, a posted event at once.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WinUpgradeView.h"

namespace fw {
namespace {

// Records each operation with the thread that ran it.
class RecordingTarget : public WinViewTarget {
 public:
  void InsertStatusRow(int index, const std::string& mark, const std::string& text) override {
    Note("row " + std::to_string(index) + " " + mark + " " + text);
  }
  void SetStatusRowText(int index, Column, const std::string& text) override {
    Note("cell " + std::to_string(index) + " " + text);
  }
  void DeleteStatusRows() override { Note("clear"); }
  void SetStatusLine(const std::string& text) override { Note("status " + text); }
  void Enable(Control, bool enable) override { Note(enable ? "enable" : "disable"); }
  void SetProgressRange(ProgressBar, int lower, int upper) override {
    Note("range " + std::to_string(lower) + ".." + std::to_string(upper));
  }
  void SetProgressPos(ProgressBar, int pos) override { Note("pos " + std::to_string(pos)); }
  void StartWindowTimer(Timer, uint32_t ms) override { Note("timer " + std::to_string(ms)); }
  void StopWindowTimer(Timer) override { Note("timer off"); }
  void OnJobEvent(const JobEvent& event) override {
    const auto* p = std::get_if<ProgressEvent>(&event);
    Note(p != nullptr ? "progress " + std::to_string(p->bytesDone) : "event");
  }
  MessageResult ShowBox(const std::string& text, MessageIcon, MessageButtons buttons,
                        const std::string&) override {
    Note("box " + text);
    return buttons == MessageButtons::OkCancel ? answer : MessageResult::Ok;
  }
  void SetWaitCursor(bool) override { Note("cursor"); }

  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mutex);
    return log;
  }
  bool AllOnThread(DWORD thread) {
    std::lock_guard<std::mutex> lock(mutex);
    for (DWORD t : threads) {
      if (t != thread) {
        return false;
      }
    }
    return true;
  }

  MessageResult answer = MessageResult::Cancel;

 private:
  void Note(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back(what);
    threads.push_back(GetCurrentThreadId());
  }
  std::mutex mutex;
  std::vector<std::string> log;
  std::vector<DWORD> threads;
};

// A message-only window standing in for the main window: it runs the view's queued calls on
// WM_FW_VIEW_CALLS, as the main window does.
class ViewWindow {
 public:
  ViewWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FlashwrightViewTest";
    RegisterClassW(&wc);
    hwnd = CreateWindowExW(0, L"FlashwrightViewTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           wc.hInstance, nullptr);
    view = std::make_unique<WinUpgradeView>(target, hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view.get()));
  }
  ~ViewWindow() { DestroyWindow(hwnd); }

  // Serves the window's queue until `done` holds (or 20 s have passed).
  template <class Done>
  bool PumpUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) {
        return false;
      }
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&m);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_FW_VIEW_CALLS) {
      auto* v = reinterpret_cast<WinUpgradeView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (v != nullptr) {
        v->RunQueuedCalls();
      }
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  RecordingTarget target;
  HWND hwnd = nullptr;
  std::unique_ptr<WinUpgradeView> view;
};

TEST(WinUpgradeView, CallsFromAWorkerArriveInOrderOnTheWindowsThread) {
  ViewWindow w;
  ASSERT_NE(w.hwnd, nullptr);
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    w.view->DeleteAllRows();
    for (int i = 0; i < 40; ++i) {
      w.view->InsertRow(i, "------>", "step " + std::to_string(i));
      w.view->PostProgress(Phase::Firmware, i * 1024);  // posted between synchronous calls
      w.view->SetProgressPos(ProgressBar::Main, i);
    }
    w.view->SetTimer(Timer::AutoStart, 40000);
    w.view->SetRowText(39, Column::Mark, "   √");
    finished = true;
  });
  ASSERT_TRUE(w.PumpUntil([&] { return finished.load() && w.target.Log().size() == 123; }));
  worker.join();

  std::vector<std::string> want = {"clear"};
  for (int i = 0; i < 40; ++i) {
    want.push_back("row " + std::to_string(i) + " ------> step " + std::to_string(i));
    want.push_back("progress " + std::to_string(i * 1024));
    want.push_back("pos " + std::to_string(i));
  }
  want.push_back("timer 40000");
  want.push_back("cell 39    √");
  EXPECT_EQ(w.target.Log(), want);
  EXPECT_TRUE(w.target.AllOnThread(GetCurrentThreadId()));
}

TEST(WinUpgradeView, ASynchronousCallReturnsOnlyAfterTheWindowCarriedItOut) {
  ViewWindow w;
  std::atomic<bool> returned{false};
  std::vector<std::string> seenOnReturn;
  MessageResult answer = MessageResult::Ok;
  std::thread worker([&] {
    w.view->SetStatusText("writing");
    answer = w.view->MessageBox("Go on?", MessageIcon::Question, MessageButtons::OkCancel);
    seenOnReturn = w.target.Log();
    returned = true;
  });
  // The window serves nothing for a while: the worker must still be waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(returned.load());
  EXPECT_TRUE(w.target.Log().empty());
  ASSERT_TRUE(w.PumpUntil([&] { return returned.load(); }));
  worker.join();
  // Both were carried out, in order, before the box's answer came back; it is the window's.
  EXPECT_EQ(seenOnReturn, (std::vector<std::string>{"status writing", "box Go on?"}));
  EXPECT_EQ(answer, MessageResult::Cancel);
  EXPECT_TRUE(w.target.AllOnThread(GetCurrentThreadId()));
}

TEST(WinUpgradeView, APostedEventReturnsAtOnceAndRunsWhenTheWindowServesItsQueue) {
  ViewWindow w;
  std::atomic<bool> posted{false};
  std::thread worker([&] {
    w.view->PostCommError(CommError::ReadBlock);
    w.view->KillTimer(Timer::AutoStart);
    posted = true;
  });
  // Without the window serving its queue the worker goes on.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!posted.load() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker.join();
  EXPECT_TRUE(posted.load());
  EXPECT_TRUE(w.target.Log().empty());
  ASSERT_TRUE(w.PumpUntil([&] { return w.target.Log().size() == 2; }));
  EXPECT_EQ(w.target.Log(), (std::vector<std::string>{"event", "timer off"}));
}

TEST(WinUpgradeView, OnTheWindowsThreadACallRunsAtOnce) {
  ViewWindow w;
  w.view->EnableControl(Control::Upgrade, false);
  w.view->SetProgressRange(ProgressBar::Main, 0, 200);
  EXPECT_EQ(w.target.Log(), (std::vector<std::string>{"disable", "range 0..200"}));
}

TEST(WinUpgradeView, AClosingWindowAnswersBoxesWithoutShowingThem) {
  ViewWindow w;
  w.target.answer = MessageResult::Ok;  // a shown question would be answered OK
  w.view->SetClosing(true);
  MessageResult question = MessageResult::Ok;
  MessageResult notice = MessageResult::Cancel;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    question = w.view->MessageBox("Write anyway?", MessageIcon::Question, MessageButtons::OkCancel);
    notice = w.view->MessageBox("Stopped.", MessageIcon::Error);
    done = true;
  });
  ASSERT_TRUE(w.PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(question, MessageResult::Cancel);
  EXPECT_EQ(notice, MessageResult::Ok);
  EXPECT_TRUE(w.target.Log().empty());
}

}  // namespace
}  // namespace fw
