#include "app/qt/InstallationFolder.h"

#include <QByteArray>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <filesystem>

#include "config/Installation.h"
#include "config/Settings.h"
#include "core/AppValues.h"
#include "platform/ExecutablePath.h"
#include "serial/PortMap.h"

namespace fw {
namespace {

constexpr const char* kReadOnlyNote =
    "The settings file %1 cannot be written. The COM port, vocoder and firmware chip choices "
    "are kept for this user instead, in %2.";

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// One group per installation folder; the folder's separators would make subgroups.
QString KeptGroup(const std::string& folder) {
  return QStringLiteral("kept/") + QString::fromLatin1(QUrl::toPercentEncoding(Q(folder)));
}

bool AskWithBox(QWidget* parent, const InstallationCheck& check) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Radio Flashwright"));
  box.setIcon(QMessageBox::Warning);
  box.setText(Q(check.Message()));
  box.setInformativeText(QStringLiteral(
      "Choose the folder of the installation: the one that holds Flashwright.ini, the firmware "
      "images, config/r55/Model.dat and the character lists."));
  QPushButton* choose = box.addButton(QStringLiteral("Choose Folder..."), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(choose);
  box.exec();
  return box.clickedButton() == choose;
}

std::string ChooseWithDialog(QWidget* parent, const std::string& start) {
  const QString dir = QFileDialog::getExistingDirectory(
      parent, QStringLiteral("Choose the installation folder"), Q(start));
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

// ---------------------------------------------------------------------------------------

struct UserSettings::Impl {
  QSettings settings{QStringLiteral("flashwright"), QStringLiteral("flashwright")};
};

UserSettings::UserSettings() : impl_(std::make_unique<Impl>()) {}
UserSettings::~UserSettings() = default;

std::string UserSettings::LastInstallation() const {
  return impl_->settings.value(QStringLiteral("installation/folder")).toString().toStdString();
}

void UserSettings::SetLastInstallation(const std::string& folder) {
  impl_->settings.setValue(QStringLiteral("installation/folder"), Q(folder));
}

std::optional<KeptChoices> UserSettings::Kept(const std::string& folder) const {
  QSettings& s = impl_->settings;
  const QString group = KeptGroup(folder);
  if (!s.contains(group + QStringLiteral("/Port"))) {
    return std::nullopt;
  }
  KeptChoices c;
  c.port = s.value(group + QStringLiteral("/Port")).toInt();
  c.vocoder = s.value(group + QStringLiteral("/CMOS")).toInt();
  c.updateChip = s.value(group + QStringLiteral("/UpdateChip")).toInt();
  return c;
}

void UserSettings::Keep(const std::string& folder, const KeptChoices& c) {
  QSettings& s = impl_->settings;
  const QString group = KeptGroup(folder);
  s.setValue(group + QStringLiteral("/Port"), c.port);
  s.setValue(group + QStringLiteral("/CMOS"), c.vocoder);
  s.setValue(group + QStringLiteral("/UpdateChip"), c.updateChip);
  s.sync();
}

void UserSettings::Forget(const std::string& folder) {
  QSettings& s = impl_->settings;
  const QString group = KeptGroup(folder);
  for (const char* key : {"/Port", "/CMOS", "/UpdateChip"}) {
    s.remove(group + QLatin1String(key));
  }
}

bool UserSettings::ToldReadOnly(const std::string& folder) const {
  return impl_->settings.value(KeptGroup(folder) + QStringLiteral("/toldReadOnly")).toBool();
}

void UserSettings::SetToldReadOnly(const std::string& folder) {
  impl_->settings.setValue(KeptGroup(folder) + QStringLiteral("/toldReadOnly"), true);
}

std::string UserSettings::Location() const {
  return impl_->settings.fileName().toStdString();
}

// ---------------------------------------------------------------------------------------

InstallationCheck CheckForWindow(const UpgradeState& state) {
  const InstallationUse use = state.installation->readWriteLog == 3 ? InstallationUse::kFirmwareOnly
                                                                    : InstallationUse::kFull;
  return CheckInstallation(state, use, state.updateChip != 0);
}

InstallationFolder::InstallationFolder(std::string given, QWidget* parent)
    : given_(std::move(given)), parent_(parent) {
  ask_ = [this](const InstallationCheck& check) { return AskWithBox(parent_, check); };
  choose_ = [this](const std::string& start) { return ChooseWithDialog(parent_, start); };
}

std::string InstallationFolder::LoadFolder(UpgradeState& state, const std::string& folder,
                                           bool ownFolder, bool reload) {
  // A folder chosen after another starts from nothing: keys it lacks are not the other's.
  if (reload) {
    Installation& installation = LoadingInstallation(state);
    for (std::string* s :
         {&installation.modelList, &installation.windowTitle, &installation.mainImageName,
          &installation.mainImageNameSelp, &installation.smallImageName,
          &installation.smallImageNameSelp, &installation.glyphFontFile}) {
      s->clear();
    }
    App().versionText.clear();
    App().companyText.clear();
    App().smallMcuText.clear();
    GlobalPortMap().ClearExplicit();
  }
  if (ownFolder) {
    LoadSettings(state);  // the settings file named after the program, beside it
  } else {
    LoadSettingsForProgramDir(state, folder);
  }
  return state.installation->windowTitle;
}

std::string InstallationFolder::Load(UpgradeState& state) {
  UserSettings user;
  bool own = given_.empty();
  std::string folder = own ? ResolveProgramDir(std::string()) : ResolveProgramDir(given_);
  if (own && !IsFile(SettingsPathForExecutable(ExecutablePath()))) {
    // An installed package's folder holds the program only: the installation last used.
    const std::string last = user.LastInstallation();
    if (!last.empty() && IsFile(last + kSettingsFileName)) {
      folder = last;
      own = false;
    }
  }
  const int portBefore = state.selectedPort.load();
  std::string caption = LoadFolder(state, folder, own, false);
  InstallationCheck check = CheckForWindow(state);
  while (!check.Complete() && ask_ && ask_(check)) {
    const std::string chosen = choose_ ? choose_(check.folder) : std::string();
    if (chosen.empty()) {
      break;  // the folder dialog was cancelled: the window opens on the folder as it is
    }
    state.selectedPort = portBefore;
    caption = LoadFolder(state, ResolveProgramDir(chosen), false, true);
    check = CheckForWindow(state);
  }
  problem_ = check.Message();
  noInstallation_ = check.Empty();
  if (check.Complete()) {
    user.SetLastInstallation(check.folder);
  }
  if (std::optional<KeptChoices> kept = user.Kept(check.folder)) {
    // Choices made in the window that the installation's file could not take.
    state.selectedPort = kept->port;
    state.vocoderIndex = kept->vocoder;
    state.updateChip = kept->updateChip;
  }
  return caption;
}

void InstallationFolder::Save(UpgradeState& state) {
  UserSettings user;
  const std::string folder = state.installation->programDir;
  if (writable_(state.installation->settingsPath) && SaveSettings(state)) {
    user.Forget(folder);
    return;
  }
  user.Keep(folder, KeptChoices{state.selectedPort.load(), state.vocoderIndex, state.updateChip});
  if (!IsFile(state.installation->settingsPath) || user.ToldReadOnly(folder) ||
      state.view == nullptr) {
    return;  // a folder without an installation was named at start-up
  }
  const QString note =
      QString::fromUtf8(kReadOnlyNote).arg(Q(state.installation->settingsPath), Q(user.Location()));
  state.view->MessageBox(note.toStdString(), MessageIcon::None, MessageButtons::Ok);
  user.SetToldReadOnly(folder);
}

}  // namespace fw
