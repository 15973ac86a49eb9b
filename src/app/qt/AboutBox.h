#pragma once
// The About box: the version text, the small-MCU text and the company text (or a
// built-in company line), with an OK button.

#include <QDialog>

#include "app/window/WindowTexts.h"

class QLabel;

namespace fw {
class DialogUnits;
}  // namespace fw

namespace fw {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = kAboutCaptionText;
  static constexpr const char* kDefaultCompanyLine = kAboutDefaultCompanyLine;
  static constexpr const char* kOkText = kAboutOkText;

  // Takes the three texts from the process-wide values as they are now.
  explicit AboutBox(QWidget* parent = nullptr);

  QLabel* VersionLabel() const { return version_; }
  QLabel* SmallMcuLabel() const { return smallMcu_; }
  QLabel* CompanyLabel() const { return company_; }

 private:
  void FitTexts(const DialogUnits& u);

  QLabel* version_;
  QLabel* smallMcu_;
  QLabel* company_;
};

}  // namespace fw
