// The self-painting progress bar: pixels of bar, track and the two-colour text, repaint
// only on a change of the bar's pixel width, caption, empty range.

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QtTest>

#include "app/qt/TextProgressBar.h"

using fw::TextProgressBar;

namespace {

const QColor kHighlight(0, 0, 200);
const QColor kBase(255, 255, 255);
const QColor kSentinel(255, 0, 0);

// Counts the paints it receives.
class CountingBar : public TextProgressBar {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* e) override {
    ++paints;
    TextProgressBar::paintEvent(e);
  }
};

// Renders the control onto a sentinel-coloured image, without any background.
QImage Render(TextProgressBar& bar) {
  QPixmap pm(bar.size());
  pm.fill(kSentinel);
  bar.render(&pm, QPoint(), QRegion(), QWidget::RenderFlags());
  return pm.toImage().convertToFormat(QImage::Format_RGB32);
}

struct TextPixels {
  int leftOfSplit = 0;   // text pixels over the bar
  int rightOfSplit = 0;  // text pixels over the track
  int wrongLeft = 0;     // pixels over the bar that are darker than the bar (impossible)
  int wrongRight = 0;    // pixels over the track lighter than the track (impossible)
};

// Compares a render with text against one without: the pixels that differ are text.
TextPixels CountText(const QImage& withText, const QImage& plain, const QRect& client, int split) {
  TextPixels t;
  for (int y = client.top(); y <= client.bottom(); ++y) {
    for (int x = client.left(); x <= client.right(); ++x) {
      QRgb a = withText.pixel(x, y);
      if (a == plain.pixel(x, y)) {
        continue;
      }
      if (x < split) {
        ++t.leftOfSplit;  // over the bar: lighter than the bar's red of 0
        if (qRed(a) == 0) {
          ++t.wrongLeft;
        }
      } else {
        ++t.rightOfSplit;  // over the track: darker than white
        if (qRed(a) == 255) {
          ++t.wrongRight;
        }
      }
    }
  }
  return t;
}

}  // namespace

class ProgressBarTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Highlight, kHighlight);
    pal.setColor(QPalette::Base, kBase);
    QApplication::setPalette(pal);
  }

  void coloursComeFromThePaletteAtCreation() {
    TextProgressBar bar;
    QCOMPARE(bar.BarColour(), kHighlight);
    QCOMPARE(bar.TrackColour(), kBase);
    QCOMPARE(bar.Lower(), 0);
    QCOMPARE(bar.Upper(), 100);
    QCOMPARE(bar.Step(), 1);
    QCOMPARE(bar.Pos(), 0);
    QCOMPARE(bar.LastBarWidth(), -1);
  }

  void pixelsAtZeroFiftyAndHundred_data() {
    QTest::addColumn<int>("pos");
    QTest::newRow("0%") << 0;
    QTest::newRow("50%") << 50;
    QTest::newRow("100%") << 100;
  }

  void pixelsAtZeroFiftyAndHundred() {
    QFETCH(int, pos);
    TextProgressBar bar;
    bar.resize(202, 24);  // client area 200 x 22 inside the border
    const QRect client = bar.contentsRect();
    QCOMPARE(client, QRect(1, 1, 200, 22));
    bar.SetPos(pos);
    const int split = client.left() + client.width() * pos / 100;
    const QImage img = Render(bar);
    bar.SetShowText(false);
    const QImage plain = Render(bar);

    // Without text: the bar left of the split, the track right of it, nothing else.
    for (int x = client.left(); x <= client.right(); ++x) {
      QColor expected = x < split ? kHighlight : kBase;
      QCOMPARE(QColor(plain.pixel(x, client.top())), expected);
      QCOMPARE(QColor(plain.pixel(x, client.bottom())), expected);
    }
    // Corners of the client area carry no text.
    QCOMPARE(QColor(img.pixel(client.left(), client.top())), pos > 0 ? kHighlight : kBase);
    QCOMPARE(QColor(img.pixel(client.right(), client.bottom())), pos == 100 ? kHighlight : kBase);

    TextPixels t = CountText(img, plain, client, split);
    QCOMPARE(t.wrongLeft, 0);
    QCOMPARE(t.wrongRight, 0);
    if (pos == 0) {
      QCOMPARE(t.leftOfSplit, 0);
      QVERIFY(t.rightOfSplit > 20);  // "0%" in the highlight colour on the track
    } else if (pos == 100) {
      QVERIFY(t.leftOfSplit > 20);  // "100%" in the window colour on the bar
      QCOMPARE(t.rightOfSplit, 0);
    } else {
      // "50%" straddles the split: both colours are used.
      QVERIFY(t.leftOfSplit > 10);
      QVERIFY(t.rightOfSplit > 10);
    }
    // The text is centred: the text pixels lie around the middle.
    int minX = client.right(), maxX = client.left();
    for (int y = client.top(); y <= client.bottom(); ++y) {
      for (int x = client.left(); x <= client.right(); ++x) {
        if (img.pixel(x, y) != plain.pixel(x, y)) {
          minX = std::min(minX, x);
          maxX = std::max(maxX, x);
        }
      }
    }
    const int centre = client.left() + client.width() / 2;
    QVERIFY(minX < centre && maxX > centre);
    QVERIFY(std::abs((minX + maxX) / 2 - centre) <= 3);
  }

  void barWidthIsTruncatedAndKeptInTheControl() {
    QCOMPARE(TextProgressBar::BarWidth(50, 0, 100, 201), 100);  // 100.5 -> 100
    QCOMPARE(TextProgressBar::BarWidth(1, 0, 3, 100), 33);
    QCOMPARE(TextProgressBar::BarWidth(7, 5, 5, 100), 0);  // empty range: no division
    QCOMPARE(TextProgressBar::BarWidth(150, 0, 100, 100), 100);
    QCOMPARE(TextProgressBar::BarWidth(-10, 0, 100, 100), 0);
    QCOMPARE(TextProgressBar::BarWidth(INT_MAX, INT_MIN, INT_MAX, 1000), 1000);
  }

  void repaintsOnlyWhenTheBarWidthChanges() {
    CountingBar bar;
    bar.resize(202, 24);
    bar.SetRange(0, 1000);  // 0.2 pixel per step
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QCoreApplication::processEvents();
    bar.paints = 0;

    QCOMPARE(bar.SetPos(0), 0);  // first call: lastBarWidth was -1
    QCOMPARE(bar.paints, 1);
    QCOMPARE(bar.LastBarWidth(), 0);
    QCOMPARE(bar.SetPos(4), 0);  // 0.8 pixel: still 0
    QCOMPARE(bar.paints, 1);
    QCOMPARE(bar.Pos(), 4);
    QCOMPARE(bar.SetPos(5), 4);  // exactly one pixel
    QCOMPARE(bar.paints, 2);
    QCOMPARE(bar.LastBarWidth(), 1);
    bar.SetPos(9);  // 1.8 pixels
    QCOMPARE(bar.paints, 2);

    // A resize forces the next SetPos to repaint even at the same width.
    bar.resize(202, 30);
    QCoreApplication::processEvents();
    QCOMPARE(bar.LastBarWidth(), -1);
    bar.paints = 0;
    bar.SetPos(9);
    QCOMPARE(bar.paints, 1);
    // SetRange and SetStep never repaint.
    bar.SetRange(0, 10);
    bar.SetStep(7);
    QCOMPARE(bar.paints, 1);
    QCOMPARE(bar.Step(), 7);
  }

  void captionReplacesThePercentage() {
    TextProgressBar bar;
    bar.resize(202, 24);
    bar.SetPos(50);
    const QImage percent = Render(bar);
    bar.SetText(QStringLiteral("Writing"));
    QCOMPARE(bar.text(), QStringLiteral("Writing"));
    const QImage caption = Render(bar);
    QVERIFY(caption != percent);
    bar.SetPos(80);  // the caption stays whatever the position
    TextProgressBar other;
    other.resize(202, 24);
    other.SetPos(80);
    other.SetText(QStringLiteral("Writing"));
    QCOMPARE(Render(bar), Render(other));
    // An empty (or null) caption brings the percentage back.
    bar.SetPos(50);
    bar.SetText(QString());
    QCOMPARE(Render(bar), percent);
  }

  void getTextCopiesAndPads() {
    TextProgressBar bar;
    bar.SetText(QStringLiteral("abc"));
    QChar buf[6];
    std::fill(std::begin(buf), std::end(buf), QChar('x'));
    QCOMPARE(bar.GetText(buf, 5), 3);
    QCOMPARE(QString(buf, 3), QStringLiteral("abc"));
    QCOMPARE(buf[3], QChar(0));
    QCOMPARE(buf[4], QChar(0));
    QCOMPARE(buf[5], QChar('x'));  // never beyond n
    QCOMPARE(bar.GetText(buf, 2), 2);
    QCOMPARE(QString(buf, 2), QStringLiteral("ab"));
    QCOMPARE(bar.GetText(nullptr, 4), 0);
  }

  void emptyRangeDrawsNothing() {
    TextProgressBar bar;
    bar.resize(202, 24);
    bar.SetRange(30, 30);
    bar.SetPos(30);
    const QImage img = Render(bar);
    const QRect client = bar.contentsRect();
    for (int y = client.top(); y <= client.bottom(); ++y) {
      for (int x = client.left(); x <= client.right(); ++x) {
        QCOMPARE(QColor(img.pixel(x, y)), kSentinel);
      }
    }
    bar.SetRange(50, 10);  // inverted: nothing either
    QCOMPARE(Render(bar), img);
  }
};

QTEST_MAIN(ProgressBarTest)
#include "ProgressBarTest.moc"
