#include "app/qt/TextProgressBar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace fw {
namespace {

// Truncates toward zero into an int without overflowing on out-of-range positions.
int TruncToInt(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  constexpr double kMax = std::numeric_limits<int>::max();
  constexpr double kMin = std::numeric_limits<int>::min();
  return static_cast<int>(std::trunc(std::clamp(v, kMin, kMax)));
}

}  // namespace

TextProgressBar::TextProgressBar(QWidget* parent) : QProgressBar(parent) {
  // The colours are taken from the palette once, when the control is created.
  const QPalette& pal = palette();
  barColour_ = pal.color(QPalette::Active, QPalette::Highlight);
  trackColour_ = pal.color(QPalette::Active, QPalette::Base);
  textOnTrackColour_ = barColour_;
  textOnBarColour_ = trackColour_;
  // The whole client area is painted every time: no background erase, no flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A one-pixel border around the client area.
  setContentsMargins(1, 1, 1, 1);
  setTextVisible(false);
}

void TextProgressBar::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
}

void TextProgressBar::SetStep(int step) {
  step_ = step;
}

int TextProgressBar::BarWidth(int pos, int lower, int upper, int clientWidth) {
  if (upper == lower) {
    return 0;
  }
  double f = (static_cast<double>(pos) - lower) / (static_cast<double>(upper) - lower);
  return std::clamp(TruncToInt(f * clientWidth), 0, std::max(clientWidth, 0));
}

int TextProgressBar::SetPos(int pos) {
  int old = pos_;
  pos_ = pos;
  int w = BarWidth(pos_, lower_, upper_, contentsRect().width());
  if (w != lastBarWidth_) {
    lastBarWidth_ = w;
    repaint();
  }
  return old;
}

void TextProgressBar::SetText(const QString& text) {
  // A null text equals an empty caption.
  if (text != caption_) {
    caption_ = text;
    update();
  }
}

int TextProgressBar::GetText(QChar* buffer, int n) const {
  if (buffer == nullptr || n <= 0) {
    return 0;
  }
  int count = std::min<int>(n, static_cast<int>(caption_.size()));
  for (int i = 0; i < n; ++i) {
    buffer[i] = i < count ? caption_.at(i) : QChar(0);
  }
  return count;
}

void TextProgressBar::resizeEvent(QResizeEvent* event) {
  QProgressBar::resizeEvent(event);
  lastBarWidth_ = -1;
}

void TextProgressBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter screen(this);
  // Border (outside the client area).
  screen.setPen(palette().color(QPalette::Mid));
  screen.setBrush(Qt::NoBrush);
  screen.drawRect(rect().adjusted(0, 0, -1, -1));
  if (lower_ >= upper_) {
    return;
  }
  const QRect client = contentsRect();
  if (client.isEmpty()) {
    return;
  }
  const double f = (static_cast<double>(pos_) - lower_) / (static_cast<double>(upper_) - lower_);

  // Off-screen surface with the client rectangle's coordinates.
  const qreal dpr = devicePixelRatioF();
  QPixmap buffer(client.size() * dpr);
  buffer.setDevicePixelRatio(dpr);
  QPainter p(&buffer);
  p.translate(-client.topLeft());

  const int split = client.left() + std::clamp(TruncToInt(client.width() * f), 0, client.width());
  const QRect barPart(QPoint(client.left(), client.top()), QPoint(split - 1, client.bottom()));
  const QRect trackPart(QPoint(split, client.top()), client.bottomRight());
  p.fillRect(barPart, barColour_);
  p.fillRect(trackPart, trackColour_);

  if (showText_ != 0) {
    const QString text =
        caption_.isEmpty() ? QStringLiteral("%1%").arg(TruncToInt(f * 100)) : caption_;
    p.setFont(font());
    const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
    p.setClipRect(barPart);
    p.setPen(textOnBarColour_);
    p.drawText(client, flags, text);
    p.setClipRect(trackPart);
    p.setPen(textOnTrackColour_);
    p.drawText(client, flags, text);
  }
  p.end();
  screen.drawPixmap(client.topLeft(), buffer);
}

}  // namespace fw
