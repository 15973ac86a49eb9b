#include "app/qt/SystemMenu.h"

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#endif

namespace fw {

#ifdef _WIN32
void AppendSystemMenuItem(QWidget* window, int commandId, const QString& text) {
  HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
  if (menu == nullptr || text.isEmpty()) {
    return;
  }
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId),
                reinterpret_cast<const wchar_t*>(text.utf16()));
}

bool IsSystemMenuCommand(void* nativeMessage, int commandId) {
  const MSG* msg = static_cast<const MSG*>(nativeMessage);
  return msg != nullptr && msg->message == WM_SYSCOMMAND &&
         (msg->wParam & 0xFFF0) == static_cast<WPARAM>(commandId);
}
#else
void AppendSystemMenuItem(QWidget*, int, const QString&) {}

bool IsSystemMenuCommand(void*, int) {
  return false;
}
#endif

}  // namespace fw
