#include "app/qt/AboutBox.h"

#include <QLabel>
#include <QPushButton>

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

  auto* ok = new QPushButton(QString::fromUtf8(kOkText), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setProperty("controlId", 1);
  ok->setGeometry(u.Rect(281, 7, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace fw
