#include "app/qt/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace fw {

QPixmap AppIconPixmap(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);

  // Antenna.
  p.setPen(QPen(QColor(40, 40, 40), 2.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(10, 9), QPointF(10, 2));
  // Body.
  p.setPen(QPen(QColor(25, 25, 25), 1.0));
  p.setBrush(QColor(60, 64, 72));
  p.drawRoundedRect(QRectF(5, 8, 16, 23), 3, 3);
  // Display.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(120, 200, 255));
  p.drawRect(QRectF(8, 11, 10, 6));
  // Keypad.
  p.setBrush(QColor(190, 190, 190));
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      p.drawRect(QRectF(8 + col * 3.5, 19.5 + row * 3.5, 2.5, 2.5));
    }
  }
  // Upgrade arrow.
  QPainterPath arrow;
  arrow.moveTo(26, 4);
  arrow.lineTo(32, 12);
  arrow.lineTo(28.5, 12);
  arrow.lineTo(28.5, 22);
  arrow.lineTo(23.5, 22);
  arrow.lineTo(23.5, 12);
  arrow.lineTo(20, 12);
  arrow.closeSubpath();
  p.setPen(QPen(QColor(0, 90, 0), 1.0));
  p.setBrush(QColor(40, 170, 60));
  p.drawPath(arrow);
  return pm;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addPixmap(AppIconPixmap(size));
  }
  return icon;
}

}  // namespace fw
