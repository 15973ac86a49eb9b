#include "app/qt/InstallationFolder.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace fw {
namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

class QtStore : public UserStore {
 public:
  std::optional<std::string> Get(const std::string& key) const override {
    const QVariant v = settings_.value(Q(key));
    if (!v.isValid()) {
      return std::nullopt;
    }
    return v.toString().toStdString();
  }
  void Set(const std::string& key, const std::string& value) override {
    settings_.setValue(Q(key), Q(value));
  }
  void Remove(const std::string& key) override { settings_.remove(Q(key)); }
  void Flush() override { settings_.sync(); }
  std::string Location() const override { return settings_.fileName().toStdString(); }

 private:
  mutable QSettings settings_{QStringLiteral("flashwright"), QStringLiteral("flashwright")};
};

bool AskWithBox(QWidget* parent, const InstallationCheck& check) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Radio Flashwright"));
  box.setIcon(QMessageBox::Warning);
  box.setText(Q(check.Message()));
  box.setInformativeText(QString::fromUtf8(kChooseFolderHint));
  QPushButton* choose =
      box.addButton(QString::fromUtf8(kChooseFolderButton), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(choose);
  box.exec();
  return box.clickedButton() == choose;
}

std::string ChooseWithDialog(QWidget* parent, const std::string& start) {
  const QString dir =
      QFileDialog::getExistingDirectory(parent, QString::fromUtf8(kChooseFolderCaption), Q(start));
  return dir.toStdString();
}

}  // namespace

std::string ProgramDirArgument(const QStringList& args) {
  std::string dir;
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--program-dir") && i + 1 < args.size()) {
      dir = args[++i].toStdString();
    } else if (args[i].startsWith(QLatin1String("--program-dir="))) {
      dir = args[i].mid(14).toStdString();
    }
  }
  return dir;
}

std::unique_ptr<UserStore> QtUserStore() {
  return std::make_unique<QtStore>();
}

UserSettings QtUserSettings() {
  return UserSettings(QtUserStore());
}

QtInstallationFolder::QtInstallationFolder(std::string given, QWidget* parent)
    : InstallationFolder(std::move(given), QtUserStore), parent_(parent) {
  SetAsk([this](const InstallationCheck& check) { return AskWithBox(parent_, check); });
  SetChoose([this](const std::string& start) { return ChooseWithDialog(parent_, start); });
}

}  // namespace fw
