#include "app/qt/DialogUnits.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

namespace fw {
namespace {

// Rounded a * b / c, as the dialog manager scales.
int MulDiv(int a, int b, int c) {
  long long v = static_cast<long long>(a) * b;
  return static_cast<int>(v >= 0 ? (v + c / 2) / c : (v - c / 2) / c);
}

}  // namespace

QFont DialogFont(const QStringList& families, int pointSize) {
  const QStringList available = QFontDatabase::families();
  for (const QString& name : families) {
    if (available.contains(name, Qt::CaseInsensitive)) {
      return QFont(name, pointSize);
    }
  }
  QFont font(families.value(0), pointSize);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QFont MainDialogFont() {
  // Faces of similar shape and width, best first.
  return DialogFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                     QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                     QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")},
                    9);
}

QFont AboutDialogFont() {
  return DialogFont({QString::fromUtf8("宋体"), QStringLiteral("SimSun"),
                     QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Bitmap Song"),
                     QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")},
                    9);
}

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics m(font);
  // Average width of the 52 Latin letters, rounded as the dialog manager does.
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  baseX_ = (m.horizontalAdvance(letters) / 26 + 1) / 2;
  baseY_ = m.height();
  if (baseX_ <= 0) {
    baseX_ = 6;
  }
  if (baseY_ <= 0) {
    baseY_ = 13;
  }
}

int DialogUnits::X(int dlu) const {
  return MulDiv(dlu, baseX_, 4);
}

int DialogUnits::Y(int dlu) const {
  return MulDiv(dlu, baseY_, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  // Both corners are converted, so that adjacent controls meet exactly.
  int left = X(x);
  int top = Y(y);
  return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

}  // namespace fw
