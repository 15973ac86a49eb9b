#pragma once
// The main window's progress control 1006: a progress bar that paints itself. It draws a
// solid bar and, centred over the whole control, a caption (or else the percentage) in two
// colours, so that the part of the text over the bar and the part over the empty track
// both stay readable. Painting is double-buffered and the control repaints only when the
// bar's width in pixels changes.
//
// Only QProgressBar's widget is used, never its own range, value or painting. Every
// operation runs on the window's thread (the view marshals calls from a job's worker).

#include <QColor>
#include <QProgressBar>
#include <QString>

namespace fw {

class TextProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit TextProgressBar(QWidget* parent = nullptr);

  // Stores both ends; no repaint.
  void SetRange(int lower, int upper);
  // Stored only.
  void SetStep(int step);
  // Sets the position and repaints at once when the bar's pixel width changes.
  // Returns the previous position.
  int SetPos(int pos);

  // The set-text path: a text that differs from the caption replaces it and the whole
  // control is repainted. An empty caption shows the percentage.
  void SetText(const QString& text);
  // The get-text path: copies the caption, at most n characters, padding a shorter
  // caption with zero characters up to n; returns min(n, caption length).
  int GetText(QChar* buffer, int n) const;
  QString text() const override { return caption_; }

  void SetShowText(bool show) { showText_ = show ? 1 : 0; }

  int Pos() const { return pos_; }
  int Step() const { return step_; }
  int Lower() const { return lower_; }
  int Upper() const { return upper_; }
  int LastBarWidth() const { return lastBarWidth_; }
  QColor BarColour() const { return barColour_; }
  QColor TrackColour() const { return trackColour_; }

  // Bar width in pixels for a client width: trunc((pos - lower) / (upper - lower) * W),
  // kept within 0..W (an empty range gives 0).
  static int BarWidth(int pos, int lower, int upper, int clientWidth);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int pos_ = 0;
  int step_ = 1;
  int upper_ = 100;
  int lower_ = 0;
  QString caption_;
  int showText_ = 1;
  int lastBarWidth_ = -1;
  QColor barColour_;
  QColor trackColour_;
  QColor textOnTrackColour_;
  QColor textOnBarColour_;
};

}  // namespace fw
