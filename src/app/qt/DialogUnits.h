#pragma once
// Dialog layouts are given in dialog units: a horizontal unit is a quarter of the dialog
// font's average character width, a vertical unit an eighth of its height.

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

namespace fw {

// The first of `families` that the system has, at `pointSize`; the system's sans-serif
// face when it has none of them.
QFont DialogFont(const QStringList& families, int pointSize);
// The main window's font, "MS Sans Serif" 9 pt, or the closest face the system has.
QFont MainDialogFont();
// The About box's font, "宋体" 9 pt, or the closest face the system has.
QFont AboutDialogFont();

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  // Base units in pixels (average character width, character height).
  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }
  int X(int dlu) const;
  int Y(int dlu) const;
  QRect Rect(int x, int y, int width, int height) const;

 private:
  int baseX_;
  int baseY_;
};

}  // namespace fw
