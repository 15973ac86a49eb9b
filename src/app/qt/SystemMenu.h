#pragma once
// The window's system menu, where the platform lets a program add to it (Windows).

#include <QString>
#include <QWidget>

namespace fw {

// Appends a separator and an item with this command id to the window's system menu.
// Does nothing where programs cannot add to it.
void AppendSystemMenuItem(QWidget* window, int commandId, const QString& text);
// Whether a native message is the system command with this id (Windows only).
bool IsSystemMenuCommand(void* nativeMessage, int commandId);

}  // namespace fw
