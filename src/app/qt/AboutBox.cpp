#include "app/qt/AboutBox.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/qt/AppIcon.h"
#include "app/qt/DialogUnits.h"
#include "core/AppValues.h"

namespace fw {
namespace {

QLabel* MakeLabel(QWidget* parent, const DialogUnits& u, int id, const char* name,
                  const std::string& text, QRect dlu) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setGeometry(u.Rect(dlu.x(), dlu.y(), dlu.width(), dlu.height()));
  label->setObjectName(QString::fromLatin1(name));
  label->setProperty("controlId", id);
  return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  const QFont font = AboutDialogFont();
  setFont(font);
  const DialogUnits u(font);
  setWindowTitle(QString::fromUtf8(kCaption));
  setFixedSize(u.X(338), u.Y(56));
  setModal(true);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("aboutIcon"));
  QRect iconRect = u.Rect(11, 17, 21, 21);
  icon->setGeometry(iconRect);
  icon->setPixmap(AppIconPixmap(std::min(iconRect.width(), iconRect.height())));

  const AppValues& app = App();
  version_ = MakeLabel(this, u, 1019, "versionText", app.versionText, QRect(40, 10, 235, 8));
  smallMcu_ = MakeLabel(this, u, 1021, "smallMcuText", app.smallMcuText, QRect(40, 24, 168, 8));
  company_ = MakeLabel(this, u, 1020, "companyText",
                       app.companyText.empty() ? std::string(kDefaultCompanyLine) : app.companyText,
                       QRect(40, 38, 168, 8));

  FitTexts(u);

  auto* ok = new QPushButton(QString::fromUtf8(kOkText), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setProperty("controlId", 1);
  ok->setGeometry(u.Rect(281, 7, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

// A text longer than its label wraps within the space left of the OK button, and the
// lines below it and the box move down, so that every line shows whole.
void AboutBox::FitTexts(const DialogUnits& u) {
  constexpr int kTextWidth = 235;  // from the texts' left edge to the OK button
  constexpr int kLinePitch = 14;   // 8 high, 6 apart
  int top = 0;
  int bottom = 0;
  for (QLabel* label : {version_, smallMcu_, company_}) {
    label->setWordWrap(true);
    QRect r = label->geometry();
    r.setWidth(std::max(r.width(), u.X(kTextWidth)));
    r.moveTop(std::max(r.top(), top));
    r.setHeight(std::max(r.height(), label->heightForWidth(r.width())));
    label->setGeometry(r);
    top = r.bottom() + 1 + u.Y(kLinePitch - 8);
    bottom = r.bottom() + 1;
  }
  setFixedSize(width(), std::max(height(), bottom + u.Y(10)));
}

}  // namespace fw
