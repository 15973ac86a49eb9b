#pragma once
// The window's installation folder: which folder the window runs on, what it says when that
// folder holds no installation, the technician's choice of another one (remembered for the
// user), and where the choices made in the window are kept when the installation's settings
// file cannot be written. Both windows run it; each gives it its own question box, folder
// picker and per-user store (Qt's settings on Linux, the user's registry on Windows).
//
// Per-user values, by key:
//   installation/folder            the installation folder last chosen or used
//   kept/<folder>/Port, CMOS, UpdateChip   the window's choices for an installation whose
//                                  settings file could not be written (<folder> percent-encoded,
//                                  so that its separators make no groups)
//   kept/<folder>/toldReadOnly     the technician was told that once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/Installation.h"
#include "core/UpgradeState.h"

namespace fw {

// Where the per-user values live. Keys are '/'-separated groups and a name; values are text.
class UserStore {
 public:
  virtual ~UserStore() = default;
  // nullopt when the key has no value.
  virtual std::optional<std::string> Get(const std::string& key) const = 0;
  virtual void Set(const std::string& key, const std::string& value) = 0;
  virtual void Remove(const std::string& key) = 0;
  // Writes what was set to where it lives (a store may do so at once).
  virtual void Flush() {}
  // Where the values are stored, for the technician.
  virtual std::string Location() const = 0;
};

using UserStoreFactory = std::function<std::unique_ptr<UserStore>()>;

// `text` with every byte but A-Z a-z 0-9 - . _ ~ as %XX (upper-case hex).
std::string PercentEncoded(const std::string& text);

// What the window's choices were, kept for the user.
struct KeptChoices {
  int port = 0;
  int vocoder = 0;
  int updateChip = 0;
};

class UserSettings {
 public:
  explicit UserSettings(std::unique_ptr<UserStore> store);
  UserSettings(UserSettings&&) = default;
  ~UserSettings();

  std::string LastInstallation() const;
  void SetLastInstallation(const std::string& folder);

  std::optional<KeptChoices> Kept(const std::string& folder) const;
  void Keep(const std::string& folder, const KeptChoices& choices);
  void Forget(const std::string& folder);
  bool ToldReadOnly(const std::string& folder) const;
  void SetToldReadOnly(const std::string& folder);

  std::string Location() const;

 private:
  std::unique_ptr<UserStore> store_;
};

// The texts of the question asked when the folder holds no installation.
inline constexpr const char* kChooseFolderHint =
    "Choose the folder of the installation: the one that holds Flashwright.ini, the firmware "
    "images, config/r55/Model.dat and the character lists.";
inline constexpr const char* kChooseFolderButton = "Choose Folder...";
inline constexpr const char* kChooseFolderCaption = "Choose the installation folder";

// Runs on the window's thread during start-up (the settings step) and at exit.
class InstallationFolder {
 public:
  // Asks the technician what to do about `check` (the folder and what is missing there):
  // returns true to choose another folder.
  using AskFunction = std::function<bool(const InstallationCheck& check)>;
  // The folder picker: the chosen folder, empty when cancelled.
  using ChooseFunction = std::function<std::string(const std::string& startFolder)>;

  // `given`: the folder from the command line (empty: the program's own folder, or the
  // one last chosen when the program's folder holds no installation).
  InstallationFolder(std::string given, UserStoreFactory store);

  void SetAsk(AskFunction ask) { ask_ = std::move(ask); }
  void SetChoose(ChooseFunction choose) { choose_ = std::move(choose); }
  // Whether a settings file can be written (default: SettingsWritable).
  void SetWritable(std::function<bool(const std::string&)> writable) {
    writable_ = std::move(writable);
  }

  // The settings step: loads the settings of the folder to run on; while that folder lacks
  // what the window's jobs read, says so and lets the technician choose another. A folder
  // that holds an installation is remembered for the user; choices kept for the user for
  // that folder replace the settings file's. Returns the window caption.
  std::string Load(UpgradeState& state);

  // After Load: what is wrong with the folder the window runs on (empty when nothing is).
  const std::string& Problem() const { return problem_; }
  // After Load: the folder holds no installation at all (no settings file).
  bool NoInstallation() const { return noInstallation_; }

  // The exit: writes "Port", "CMOS" and "UpdateChip" to the installation's settings file;
  // where that cannot be done, keeps them for the user and says so once.
  void Save(UpgradeState& state);

 private:
  std::string LoadFolder(UpgradeState& state, const std::string& folder, bool ownFolder,
                         bool reload);

  std::string given_;
  UserStoreFactory store_;
  AskFunction ask_;
  ChooseFunction choose_;
  std::function<bool(const std::string&)> writable_ = SettingsWritable;
  std::string problem_;
  bool noInstallation_ = false;
};

// The check the window makes: what its jobs read in the installation's run mode.
InstallationCheck CheckForWindow(const UpgradeState& state);

}  // namespace fw
