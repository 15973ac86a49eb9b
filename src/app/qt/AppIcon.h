#pragma once
// The program's icon, drawn in code: a radio with an upward arrow.

#include <QIcon>
#include <QPixmap>

namespace fw {

QPixmap AppIconPixmap(int size);
// All sizes the window and the task bar use.
QIcon AppIcon();

}  // namespace fw
