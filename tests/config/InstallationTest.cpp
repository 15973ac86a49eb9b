// The program folder: made absolute and canonical before anything uses it, and checked for
// what a job reads there, with one message naming the folder and each missing item.

#include "config/Installation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "config/Settings.h"
#include "core/AppValues.h"
#include "platform/ExecutablePath.h"
#include "serial/PortMap.h"
#include "support/ScratchDir.h"

namespace fw {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

// Runs the test body in `dir` as the current folder, and goes back afterwards.
class InCurrentFolder {
 public:
  explicit InCurrentFolder(const std::string& dir) : before_(fs::current_path()) {
    fs::current_path(dir);
  }
  ~InCurrentFolder() { fs::current_path(before_); }

 private:
  fs::path before_;
};

class Installation : public testing::Test {
 protected:
  void TearDown() override {
    App().versionText.clear();
    App().companyText.clear();
    App().smallMcuText.clear();
    GlobalPortMap().ClearExplicit();
  }
  // Loads the settings of `folder` as a front end does and checks it for `use`.
  InstallationCheck Check(const std::string& folder, InstallationUse use, bool chip = false) {
    LoadSettingsForProgramDir(*state, folder);
    return CheckInstallation(*state, use, chip);
  }
  void WriteComplete() {
    dir.Write("Flashwright.ini",
              "[Setting]\r\nMainBin=Main.bin\r\nMainBinSelp=Selp.bin\r\nDadazuHex=Chip.hex\r\n");
    dir.Write("Main.bin", "image");
    dir.Write("Chip.hex", ":00000001FF\r\n");
    dir.Write("config/r55/Model.dat", "[Area]\r\n");
    dir.Write("SimpleCH.dat", std::string("A\0\n\0", 4));
    dir.Write("SimpleCH_0412.dat", std::string("B\0\n\0", 4));
  }

  ScratchDir dir;
  std::unique_ptr<UpgradeState> state = std::make_unique<UpgradeState>();
};

TEST_F(Installation, RelativeFolderBecomesAbsoluteAndCanonical) {
  // Folders as the system writes them, with its own separator at the end ("/" or "\\").
  auto folder = [](const fs::path& p) { return (p / "").string(); };
  const fs::path root = fs::canonical(dir.Dir());
  const std::string demo = folder(root / "build" / "demo-install");
  fs::create_directories(root / "build" / "demo-install");
  InCurrentFolder here(folder(root));
  // The demo's own spelling, and the forms a shell may hand over.
  EXPECT_EQ(ResolveProgramDir("build/demo-install"), demo);
  EXPECT_EQ(ResolveProgramDir("build/demo-install/"), demo);
  EXPECT_EQ(ResolveProgramDir("./build//demo-install/."), demo);
  EXPECT_EQ(ResolveProgramDir("build/../build/demo-install"), demo);
  EXPECT_EQ(ResolveProgramDir("."), folder(root));
#ifndef _WIN32  // MinGW's library cannot make symbolic links
  // A symbolic link is followed to the folder it names.
  fs::create_directory_symlink(root / "build" / "demo-install", root / "link");
  EXPECT_EQ(ResolveProgramDir("link"), demo);
#endif
  // A folder that does not exist stays absolute and normalised, for the message.
  EXPECT_EQ(ResolveProgramDir("gone/../nowhere/x"), folder(root / "nowhere" / "x"));
  const std::string top = folder(root.root_path());
  EXPECT_EQ(ResolveProgramDir(top), top);
}

TEST_F(Installation, NoFolderGivenIsTheProgramsOwnFolder) {
  const std::string own = ResolveProgramDir("");
  EXPECT_EQ(own, (fs::canonical(ExecutablePath()).parent_path() / "").string());
}

TEST_F(Installation, FolderThatDoesNotExistIsNamed) {
  InstallationCheck c = Check(dir.Dir() + "nonexistent", InstallationUse::kFull);
  EXPECT_FALSE(c.Complete());
  EXPECT_TRUE(c.Empty());
  EXPECT_EQ(c.Message(),
            "No installation in " + dir.Dir() + "nonexistent/: the folder does not exist.");
}

TEST_F(Installation, EmptyFolderNamesEverythingAJobReads) {
  EXPECT_EQ(Check(dir.Dir(), InstallationUse::kFull, true).Message(),
            "No installation in " + dir.Dir() +
                ": no settings file Flashwright.ini, no firmware images, no chip hex files, no "
                "model file config/r55/Model.dat, no character list SimpleCH.dat, no character "
                "list SimpleCH_0412.dat.");
  EXPECT_EQ(
      Check(dir.Dir(), InstallationUse::kChipOnly).Message(),
      "No installation in " + dir.Dir() + ": no settings file Flashwright.ini, no chip hex files.");
  EXPECT_EQ(Check(dir.Dir(), InstallationUse::kFirmwareOnly).Message(),
            "No installation in " + dir.Dir() +
                ": no settings file Flashwright.ini, no firmware images.");
}

TEST_F(Installation, CompleteInstallationPassesForEveryUse) {
  WriteComplete();
  for (InstallationUse use :
       {InstallationUse::kFull, InstallationUse::kFirmwareOnly, InstallationUse::kChipOnly}) {
    InstallationCheck c = Check(dir.Dir(), use, true);
    EXPECT_TRUE(c.Complete()) << c.Message();
    EXPECT_EQ(c.Message(), "");
  }
}

TEST_F(Installation, EmptyKeyIsReportedAsTheKeyNotAsTheFolder) {
  dir.Write("Flashwright.ini", "[Setting]\r\nMainBin=\r\nDadazuHex=\r\n");
  InstallationCheck c = Check(dir.Dir(), InstallationUse::kFirmwareOnly, true);
  EXPECT_FALSE(c.Empty());
  EXPECT_EQ(c.Message(), "The installation in " + dir.Dir() +
                             " is incomplete: the settings key \"MainBin\" is empty, the "
                             "settings key \"DadazuHex\" is empty.");
  // With SELP chosen the SELP keys are the ones named.
  dir.Write("Flashwright.ini", "[Setting]\r\nCMOS=1\r\nMainBin=Main.bin\r\n");
  dir.Write("Main.bin", "image");
  state = std::make_unique<UpgradeState>();
  // Another image that exists serves (the radio decides which one is sent).
  EXPECT_TRUE(Check(dir.Dir(), InstallationUse::kFirmwareOnly).Complete());
  std::filesystem::remove(dir.Path("Main.bin"));
  state = std::make_unique<UpgradeState>();
  EXPECT_EQ(Check(dir.Dir(), InstallationUse::kFirmwareOnly).Message(),
            "The installation in " + dir.Dir() +
                " is incomplete: the settings key \"MainBinSelp\" is empty.");
}

TEST_F(Installation, NamedFilesThatAreNotThereAreListed) {
  WriteComplete();
  fs::remove(dir.Path("Main.bin"));
  fs::remove(dir.Path("Chip.hex"));
  fs::remove(dir.Path("SimpleCH_0412.dat"));
  fs::remove_all(dir.Path("config"));
  EXPECT_EQ(Check(dir.Dir(), InstallationUse::kFull, true).Message(),
            "The installation in " + dir.Dir() +
                " is incomplete: no firmware image Main.bin (\"MainBin\"), no chip hex file "
                "Chip.hex (\"DadazuHex\"), no model file config/r55/Model.dat, no character "
                "list SimpleCH_0412.dat.");
  // A firmware-only job reads neither the model file nor the lists, nor the chip's file.
  state = std::make_unique<UpgradeState>();
  EXPECT_EQ(Check(dir.Dir(), InstallationUse::kFirmwareOnly).Message(),
            "The installation in " + dir.Dir() +
                " is incomplete: no firmware image Main.bin (\"MainBin\").");
}

TEST_F(Installation, SettingsAreWrittenOnlyToAnExistingFileInAWritableFolder) {
  const std::string ini = dir.Path("Flashwright.ini");
  EXPECT_FALSE(SettingsWritable(ini));  // never created where there was none
  dir.Write("Flashwright.ini", "[Setting]\r\n");
  EXPECT_TRUE(SettingsWritable(ini));
#ifndef _WIN32  // read-only folders by file mode
  if (geteuid() == 0) {
    GTEST_SKIP() << "root writes into read-only folders";
  }
  chmod(dir.Dir().c_str(), 0555);
  EXPECT_FALSE(SettingsWritable(ini));  // the file is replaced through a file beside it
  chmod(dir.Dir().c_str(), 0755);
  chmod(ini.c_str(), 0444);
  EXPECT_FALSE(SettingsWritable(ini));
  chmod(ini.c_str(), 0644);
#endif
}

}  // namespace
}  // namespace fw
