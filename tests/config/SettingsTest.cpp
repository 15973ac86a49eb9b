#include "config/Settings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "config/Installation.h"
#include "core/AppValues.h"
#include "firmware/MainFirmware.h"
#include "firmware/VocoderChoice.h"
#include "platform/ExecutablePath.h"
#include "serial/PortMap.h"
#include "support/RecordingView.h"
#include "support/ScratchDir.h"

namespace fw {
namespace {

using test::ScratchDir;

// Settings touch process-wide values (port number, About texts, port map): each test
// starts from the program-start values and leaves them so.
class Settings : public testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    App().versionText.clear();
    App().companyText.clear();
    App().smallMcuText.clear();
    GlobalPortMap().ClearExplicit();
  }

  ScratchDir dir;
};

TEST_F(Settings, SettingsFileIsNamedAfterTheExecutable) {
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/Flashwright"), "/opt/fw/Flashwright.ini");
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/Flashwright.exe"), "/opt/fw/Flashwright.ini");
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/Other.exe"), "/opt/fw/Other.ini");
  // The Windows console program reads the window program's settings file.
  EXPECT_EQ(SettingsPathForExecutable("C:\\Fw\\Flashwright-cli.exe"), "C:\\Fw\\Flashwright.ini");
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/Flashwright-cli"), "/opt/fw/Flashwright-cli.ini");
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/-cli.exe"), "/opt/fw/-cli.ini");
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/Flashwright-cli.exe.exe"),
            "/opt/fw/Flashwright-cli.exe.ini");
  // Only the program's own name changes, never a folder that happens to hold ".exe".
  EXPECT_EQ(SettingsPathForExecutable("/srv/tools.exe/Flashwright.exe"),
            "/srv/tools.exe/Flashwright.ini");
  EXPECT_EQ(SettingsPathForExecutable("/srv/tools.exe/Flashwright"),
            "/srv/tools.exe/Flashwright.ini");
  // The match is case-sensitive, as the Windows rule is.
  EXPECT_EQ(SettingsPathForExecutable("/opt/fw/FW.EXE"), "/opt/fw/FW.EXE.ini");
}

TEST_F(Settings, FlashwrightInAFolderGivesThatFolderForEverything) {
  UpgradeState s;
  LoadSettingsFile(s, dir.Path("Flashwright.ini"));
  EXPECT_EQ(LoadingInstallation(s).settingsPath, dir.Dir() + "Flashwright.ini");
  EXPECT_EQ(LoadingInstallation(s).programDir, dir.Dir());
  EXPECT_EQ(LoadingInstallation(s).imageDir, dir.Dir());
  EXPECT_EQ(LoadingInstallation(s).modelTablePath, dir.Dir() + "config/r55/Model.dat");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("Flashwright.ini")));  // reading creates nothing
}

TEST_F(Settings, OtherIniIsReadAndItsImagesAreStillFoundBesideIt) {
  dir.Write("Other.ini", "[Setting]\r\nMainBin=main.bin\r\nMODEL=KV680\r\n");
  dir.Write("Flashwright.ini", "[Setting]\r\nMODEL=wrong file\r\n");
  UpgradeState s;
  LoadSettingsFile(s, SettingsPathForExecutable(dir.Path("Other.exe")));
  EXPECT_EQ(LoadingInstallation(s).settingsPath, dir.Dir() + "Other.ini");
  EXPECT_EQ(LoadingInstallation(s).modelList, "KV680");
  EXPECT_EQ(LoadingInstallation(s).programDir, dir.Dir());
  EXPECT_EQ(LoadingInstallation(s).imageDir, dir.Dir());
}

TEST_F(Settings, CheckReplySumsIsOnUnlessTheKeySaysZero) {
  UpgradeState s;
  s.radioLink.Port().SetCheckReplySums(false);
  LoadSettingsFile(s, dir.Path("Flashwright.ini"));  // no file: the default
  EXPECT_TRUE(s.radioLink.Port().CheckReplySums());
  dir.Write("Flashwright.ini", "[Setting]\r\ncheckreplysums=0\r\n");
  LoadSettingsFile(s, dir.Path("Flashwright.ini"));
  EXPECT_FALSE(s.radioLink.Port().CheckReplySums());
  dir.Write("Flashwright.ini", "[Setting]\r\nCheckReplySums=1\r\n");
  LoadSettingsFile(s, dir.Path("Flashwright.ini"));
  EXPECT_TRUE(s.radioLink.Port().CheckReplySums());
  // The key belongs to section "Setting" only.
  dir.Write("Flashwright.ini", "[Ports]\r\nCheckReplySums=0\r\n");
  LoadSettingsFile(s, dir.Path("Flashwright.ini"));
  EXPECT_TRUE(s.radioLink.Port().CheckReplySums());
}

TEST_F(Settings, ProgramDirOptionUsesFlashwrightIniThere) {
  dir.Write("inst/Flashwright.ini", "[Setting]\nMODEL=KZ66\n");
  UpgradeState s;
  LoadSettingsForProgramDir(s, dir.Path("inst"));
  EXPECT_EQ(LoadingInstallation(s).settingsPath, dir.Path("inst") + "/Flashwright.ini");
  EXPECT_EQ(LoadingInstallation(s).programDir, dir.Path("inst") + "/");
  EXPECT_EQ(LoadingInstallation(s).modelList, "KZ66");
}

TEST_F(Settings, RunningProgramReadsTheIniBesideItself) {
  UpgradeState s;
  LoadSettings(s);
  const std::filesystem::path exe = ExecutablePath();
  // "test_config" gains ".ini"; "test_config.exe" has its ".exe" replaced.
  std::filesystem::path ini = exe;
  ini.extension() == ".exe" ? ini.replace_extension(".ini") : ini += ".ini";
  EXPECT_EQ(LoadingInstallation(s).settingsPath, ini.string());
  EXPECT_EQ(LoadingInstallation(s).programDir, (exe.parent_path() / "").string());
}

TEST_F(Settings, AutoTestDefaultsToTheRunModeJustRead) {
  UpgradeState a;
  LoadSettingsFile(a, dir.Write("a.ini", "[Setting]\nREADWRITELOG=1\n"));
  EXPECT_EQ(LoadingInstallation(a).readWriteLog, 1);
  EXPECT_EQ(LoadingInstallation(a).autoTest, 1);

  UpgradeState b;
  LoadSettingsFile(b, dir.Write("b.ini", "[Setting]\nREADWRITELOG=0\n"));
  EXPECT_EQ(LoadingInstallation(b).autoTest, 0);

  UpgradeState c;
  LoadSettingsFile(c, dir.Write("c.ini", "[Setting]\nAutoTest=0\nREADWRITELOG=5\n"));
  EXPECT_EQ(LoadingInstallation(c).readWriteLog, 5);
  EXPECT_EQ(LoadingInstallation(c).autoTest, 0);
}

TEST_F(Settings, OnlyAllowUnidentifiedOneGivesTheConsentInAdvance) {
  for (const auto& [text, allowed] :
       std::vector<std::pair<std::string, bool>>{{"", false},
                                                 {"AllowUnidentified=0\n", false},
                                                 {"AllowUnidentified=2\n", false},
                                                 {"AllowUnidentified=yes\n", false},
                                                 {"AllowUnidentified=1\n", true},
                                                 {"allowunidentified=1\n", true}}) {
    UpgradeState s;
    LoadSettingsFile(s, dir.Write("u.ini", "[Setting]\nREADWRITELOG=5\n" + text));
    EXPECT_EQ(s.allowUnidentified, allowed) << text;
    EXPECT_TRUE(s.askTechnician);  // the front end decides that, not the settings
  }
}

TEST_F(Settings, HexPathsWhenKeysAreMissing) {
  UpgradeState s;
  LoadSettingsFile(s, dir.Write("Flashwright.ini", "[Setting]\nDadazuHex=chip_ambe.hex\n"));
  EXPECT_EQ(LoadingInstallation(s).chipHexPath, dir.Dir() + "chip_ambe.hex");
  EXPECT_EQ(LoadingInstallation(s).chipHexPathSelp, dir.Dir());
  EXPECT_EQ(LoadingInstallation(s).smallChipHexPath, dir.Dir());
  EXPECT_EQ(LoadingInstallation(s).smallChipHexPathSelp, dir.Dir());
  EXPECT_EQ(s.hexFilePath, LoadingInstallation(s).chipHexPath);
}

TEST_F(Settings, EmptyStringKeysLeaveTheirTargetsAlone) {
  UpgradeState s;
  LoadingInstallation(s).windowTitle = "Flashwright";
  LoadingInstallation(s).mainImageName = "kept.bin";
  App().companyText = "built in";
  LoadSettingsFile(s,
                   dir.Write("Flashwright.ini",
                             "[Setting]\nTitleVer=\nMainBin=  \nCorpInfo=\"\"\nVerInfo=V 2.1\n"));
  EXPECT_EQ(LoadingInstallation(s).windowTitle, "Flashwright");
  EXPECT_EQ(LoadingInstallation(s).mainImageName, "kept.bin");
  EXPECT_EQ(App().companyText, "built in");
  EXPECT_EQ(App().versionText, "V 2.1");

  LoadSettingsFile(s, dir.Write("Flashwright.ini", "[Setting]\nTitleVer=Radio Flashwright 3\n"));
  EXPECT_EQ(LoadingInstallation(s).windowTitle, "Radio Flashwright 3");
}

TEST_F(Settings, PortComesFromTheFileOrKeepsTheSystemWideValue) {
  UpgradeState s;
  s.selectedPort = 6;  // as read from the system-wide profile before
  LoadSettingsFile(s, dir.Write("a.ini", "[Setting]\nCMOS=1\n"));
  EXPECT_EQ(s.selectedPort.load(), 6);
  LoadSettingsFile(s, dir.Write("b.ini", "[setting]\nport=11\n"));
  EXPECT_EQ(s.selectedPort.load(), 11);
}

TEST_F(Settings, LongValuesAreCutToTheBuffer) {
  UpgradeState s;
  LoadSettingsFile(s, dir.Write("a.ini", "[Setting]\nMODEL=" + std::string(5000, 'K') + "\n"));
  EXPECT_EQ(LoadingInstallation(s).modelList.size(), 4095u);
}

TEST_F(Settings, WindowsFolderSeparatorsInFileNamesBecomeNative) {
  UpgradeState s;
  LoadSettingsFile(s, dir.Write("Flashwright.ini",
                                "[Setting]\r\nDadazuHex=hex\\chip.hex\r\nMainBin=bin\\m.bin\r\n"));
#ifdef _WIN32
  EXPECT_EQ(LoadingInstallation(s).chipHexPath, dir.Dir() + "hex\\chip.hex");
  EXPECT_EQ(LoadingInstallation(s).mainImageName, "bin\\m.bin");
#else
  EXPECT_EQ(LoadingInstallation(s).chipHexPath, dir.Dir() + "hex/chip.hex");
  EXPECT_EQ(LoadingInstallation(s).mainImageName, "bin/m.bin");
#endif
}

#ifndef _WIN32  // COM numbers map to devices through "Ports" off Windows only
TEST_F(Settings, PortsSectionReachesThePortMap) {
  UpgradeState s;
  LoadSettingsFile(s, dir.Write("Flashwright.ini",
                                "[Ports]\nCOM3=/dev/ttyUSB0\ncom12 = /dev/pts/7\nCOM3=/dev/other\n"
                                "COM17=/dev/x\nCOM0=/dev/y\nCOM05=/dev/z\nCOM4=\n"));
  EXPECT_EQ(GlobalPortMap().DevicePath(3), "/dev/ttyUSB0");
  EXPECT_EQ(GlobalPortMap().DevicePath(12), "/dev/pts/7");
  // Only the two valid lines map numbers: look at a device folder with no serial devices.
  GlobalPortMap().SetDeviceDirectory(dir.Dir());
  GlobalPortMap().SetSysfsRoot(dir.Dir());
  std::map<int, std::string> entries = GlobalPortMap().Entries();
  GlobalPortMap().SetDeviceDirectory("/dev");
  GlobalPortMap().SetSysfsRoot("/sys");
  EXPECT_EQ(entries.size(), 2u);
}
#endif  // _WIN32

// A whole installation's settings file, as saved on Windows: comments, keys the program
// does not know, a second section. Loading fills the state; saving changes the three
// values and nothing else.
TEST_F(Settings, SampleInstallationLoadsAndSavesBackWithoutDisturbingTheFile) {
  const std::string head =
      "; Flashwright settings for the service bench\r\n"
      "[Setting]\r\n";
  const std::string port = "Port=3\r\n";
  const std::string middle =
      "READWRITELOG=7\r\n"
      "; AutoTest is left to default\r\n"
      "MODEL=KV680/KV86/KV89/KW86/KZ66/KX4X\r\n"
      "TitleVer=Radio Flashwright V3.2\r\n"
      "VerInfo=Flashwright V3.2\r\n"
      "CorpInfo=Bench Tools Ltd.\r\n"
      "SmMCUInfo=Small MCU 1.4\r\n"
      "MainBin=KV_MAIN.bin\r\n"
      "MainBinSelp=KV_MAIN_SELP.bin\r\n"
      "SmallMainBin=KS_MAIN.bin\r\n"
      "SmallMainBinSelp=KS_MAIN_SELP.bin\r\n"
      "DadazuHex=dadazu.hex\r\n"
      "DadazuHexSelp=dadazu_selp.hex\r\n"
      "SmallDadazuHex=small.hex\r\n"
      "SmallDadazuHexSelp=small_selp.hex\r\n"
      "Operator = somebody   \r\n";
  const std::string cmos = "CMOS = 0\r\n";
  const std::string tail =
      "\r\n"
      "[Ports]\r\n"
      "COM3=/dev/ttyUSB0\r\n";
  std::string path = dir.Write("Flashwright.ini", head + port + middle + cmos + tail);
  dir.Write("dadazu.hex", ":0100000055AA\r\n:00000001FF\r\n");
  dir.Write("dadazu_selp.hex", ":02000000556643\r\n:00000001FF\r\n");

  UpgradeState s;
  LoadSettingsFile(s, path);
  EXPECT_EQ(s.selectedPort.load(), 3);
  EXPECT_EQ(LoadingInstallation(s).readWriteLog, 7);
  EXPECT_EQ(LoadingInstallation(s).autoTest, 7);
  EXPECT_EQ(s.vocoderIndex, 0);
  EXPECT_EQ(s.updateChip, 0);
  EXPECT_EQ(LoadingInstallation(s).modelList, "KV680/KV86/KV89/KW86/KZ66/KX4X");
  EXPECT_EQ(LoadingInstallation(s).windowTitle, "Radio Flashwright V3.2");
  EXPECT_EQ(App().versionText, "Flashwright V3.2");
  EXPECT_EQ(App().companyText, "Bench Tools Ltd.");
  EXPECT_EQ(App().smallMcuText, "Small MCU 1.4");
  EXPECT_EQ(LoadingInstallation(s).mainImageName, "KV_MAIN.bin");
  EXPECT_EQ(LoadingInstallation(s).mainImageNameSelp, "KV_MAIN_SELP.bin");
  EXPECT_EQ(LoadingInstallation(s).smallImageName, "KS_MAIN.bin");
  EXPECT_EQ(LoadingInstallation(s).smallImageNameSelp, "KS_MAIN_SELP.bin");
  EXPECT_EQ(LoadingInstallation(s).chipHexPath, dir.Dir() + "dadazu.hex");
  EXPECT_EQ(LoadingInstallation(s).chipHexPathSelp, dir.Dir() + "dadazu_selp.hex");
  EXPECT_EQ(LoadingInstallation(s).smallChipHexPath, dir.Dir() + "small.hex");
  EXPECT_EQ(LoadingInstallation(s).smallChipHexPathSelp, dir.Dir() + "small_selp.hex");
  EXPECT_EQ(s.hexFilePath, dir.Dir() + "dadazu.hex");
#ifndef _WIN32  // Windows opens \\.\COM3 whatever "Ports" says
  EXPECT_EQ(GlobalPortMap().DevicePath(3), "/dev/ttyUSB0");
#endif

  // The user picks SELP, COM5 and ticks the chip box, then closes the window.
  SelectVocoder(s, 1);
  EXPECT_EQ(s.vocoderIndex, 1);
  EXPECT_EQ(s.selectedImageName, "KV_MAIN_SELP.bin");
  EXPECT_EQ(s.hexFilePath, dir.Dir() + "dadazu_selp.hex");
  EXPECT_EQ(s.chipLoadedBytes, 2u + 52u);  // the SELP hex file was loaded
  s.selectedPort = 5;
  s.updateChip = 1;
  ASSERT_TRUE(SaveSettings(s));
  EXPECT_EQ(ScratchDir::Read(path),
            head + "Port=5\r\n" + middle + "CMOS = 1\r\n" + "UpdateChip=1\r\n" + tail);

  // The next start selects SELP again.
  Reset();
  UpgradeState next;
  LoadSettingsFile(next, path);
  EXPECT_EQ(next.vocoderIndex, 1);
  EXPECT_EQ(next.updateChip, 1);
  EXPECT_EQ(next.selectedPort.load(), 5);

  SelectVocoder(next, -1);  // no selection: nothing changes
  EXPECT_EQ(next.vocoderIndex, 1);
  SelectVocoder(next, 0);
  EXPECT_EQ(next.vocoderIndex, 0);
  EXPECT_EQ(next.selectedImageName, "KV_MAIN.bin");
  EXPECT_EQ(next.chipLoadedBytes, 1u + 52u);
}

TEST_F(Settings, SavingCreatesTheFileWhenThereIsNone) {
  UpgradeState s;
  LoadSettingsFile(s, dir.Path("Flashwright.ini"));
  s.selectedPort = 2;
  ASSERT_TRUE(SaveSettings(s));
  EXPECT_EQ(ScratchDir::Read(dir.Path("Flashwright.ini")),
            "[Setting]\r\nPort=2\r\nCMOS=0\r\nUpdateChip=0\r\n");
  UpgradeState unloaded;
  EXPECT_FALSE(SaveSettings(unloaded));
}

// One installation, loaded once, serves two job records: each starts from the settings as
// read, changes only its own values, and writes back its own choice to the one file.
TEST_F(Settings, TwoJobsShareOneInstallationReadOnly) {
  auto loaded = std::make_shared<Installation>();
  const std::string path =
      dir.Write("Flashwright.ini",
                "[Setting]\r\nPort=3\r\nCMOS=1\r\nUpdateChip=1\r\nAllowUnidentified=1\r\n"
                "CheckReplySums=0\r\nMODEL=KV86\r\nMainBin=a.bin\r\nMainBinSelp=s.bin\r\n"
                "DadazuHex=a.hex\r\nDadazuHexSelp=s.hex\r\n");
  EXPECT_EQ(LoadInstallationSettings(*loaded, path), "");
  const std::shared_ptr<const Installation> shared = loaded;
  loaded.reset();

  UpgradeState first;
  UpgradeState second;
  first.installation = shared;
  second.installation = shared;
  ApplySettingsToJob(first);
  ApplySettingsToJob(second);
  EXPECT_EQ(&*first.installation, shared.get());
  EXPECT_EQ(&*second.installation, shared.get());
  EXPECT_EQ(shared.use_count(), 3);
  for (UpgradeState* job : {&first, &second}) {
    EXPECT_EQ(job->vocoderIndex, 1);
    EXPECT_EQ(job->updateChip, 1);
    EXPECT_TRUE(job->allowUnidentified);
    EXPECT_FALSE(job->radioLink.Port().CheckReplySums());
    EXPECT_EQ(job->hexFilePath, dir.Dir() + "a.hex");
  }

  // The first job switches to AMBE and another hex file; the second keeps the settings.
  SelectVocoder(first, 0);
  first.updateChip = 0;
  first.hexFilePath = dir.Dir() + "other.hex";
  EXPECT_EQ(first.selectedImageName, "a.bin");
  EXPECT_EQ(second.vocoderIndex, 1);
  EXPECT_EQ(second.updateChip, 1);
  EXPECT_EQ(second.hexFilePath, dir.Dir() + "a.hex");
  EXPECT_EQ(shared->settingVocoderIndex, 1);
  EXPECT_EQ(shared->settingUpdateChip, 1);
  EXPECT_EQ(shared->chipHexPath, dir.Dir() + "a.hex");
  EXPECT_EQ(shared->modelList, "KV86");

  // Each writes its own values to the installation's file.
  ASSERT_TRUE(SaveSettings(first));
  std::string text = ScratchDir::Read(path);
  EXPECT_NE(text.find("CMOS=0\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("UpdateChip=0\r\n"), std::string::npos) << text;
  ASSERT_TRUE(SaveSettings(second));
  text = ScratchDir::Read(path);
  EXPECT_NE(text.find("CMOS=1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("UpdateChip=1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Port=3\r\n"), std::string::npos) << text;
  // The file is read once: what it says now reaches neither the installation nor the jobs.
  EXPECT_EQ(shared->settingVocoderIndex, 1);
}

// A job record given no installation reads as one without a settings file: nothing to write
// to, no paths, the defaults.
TEST_F(Settings, AJobWithoutInstallationReadsTheDefaults) {
  UpgradeState job;
  EXPECT_EQ(job.installation.Shared(), nullptr);
  EXPECT_EQ(job.installation->settingsPath, "");
  EXPECT_EQ(job.installation->programDir, "");
  EXPECT_EQ(job.installation->readWriteLog, 0);
  EXPECT_TRUE(job.installation->modelTable.entries().empty());
  EXPECT_FALSE(SaveSettings(job));
  EXPECT_FALSE(SettingsWriter("").HasFile());
  EXPECT_EQ(job.installation.Shared(), nullptr);  // reading made none
}

TEST_F(Settings, ClosingAsksOnlyAfterAFailedStepAndSavesUnlessCancelled) {
  test::RecordingView view;
  UpgradeState s;
  s.SetView(&view);
  const std::string before = "[Setting]\r\nPort=1\r\n";
  std::string path = dir.Write("Flashwright.ini", before);
  LoadSettingsFile(s, path);
  s.selectedPort = 4;

  s.resultOk = 0;  // the last step failed
  view.SetBoxAnswer(MessageResult::Cancel);
  EXPECT_FALSE(ConfirmCloseAndSave(s));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Are you sure to exit?");
  EXPECT_EQ(view.Boxes()[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(s.resultOk, 0);
  EXPECT_EQ(ScratchDir::Read(path), before);

  view.SetBoxAnswer(MessageResult::Ok);
  EXPECT_TRUE(ConfirmCloseAndSave(s));
  EXPECT_EQ(view.Boxes().size(), 2u);
  EXPECT_EQ(s.resultOk, 1);
  EXPECT_EQ(ScratchDir::Read(path), "[Setting]\r\nPort=4\r\nCMOS=0\r\nUpdateChip=0\r\n");

  // Right after start (resultOk 1 in a new state) no question is asked.
  test::RecordingView fresh;
  UpgradeState started;
  started.SetView(&fresh);
  LoadSettingsFile(started, path);
  EXPECT_TRUE(ConfirmCloseAndSave(started));
  EXPECT_TRUE(fresh.Boxes().empty());
}

TEST_F(Settings, CompletedJobsAreCountedOnlyInRepeatMode) {
  test::RecordingView view;
  UpgradeState s;
  s.SetView(&view);
  std::string path = dir.Write("Flashwright.ini", "[Setting]\r\nREADWRITELOG=5\r\n");
  LoadSettingsFile(s, path);
  EXPECT_TRUE(RecordCompletedJob(s));
  EXPECT_TRUE(RecordCompletedJob(s));
  EXPECT_EQ(ScratchDir::Read(path), "[Setting]\r\nREADWRITELOG=5\r\nUpdateTimes=2\r\n");
  EXPECT_EQ(view.Timers(), (std::map<Timer, uint32_t>{{Timer::AutoStart, 40000u}}));

  test::RecordingView quiet;
  UpgradeState normal;
  normal.SetView(&quiet);
  std::string other = dir.Write("other.ini", "[Setting]\r\nREADWRITELOG=1\r\n");
  LoadSettingsFile(normal, other);
  EXPECT_FALSE(RecordCompletedJob(normal));
  EXPECT_EQ(normal.completedJobs, 0);
  EXPECT_EQ(ScratchDir::Read(other), "[Setting]\r\nREADWRITELOG=1\r\n");
  EXPECT_TRUE(quiet.Timers().empty());
}

TEST_F(Settings, AnUnwritableJobCountIsReportedAndTheRepeatStops) {
  test::RecordingView view;
  UpgradeState s;
  s.SetView(&view);
  std::string path = dir.Write("Flashwright.ini", "[Setting]\r\nREADWRITELOG=5\r\n");
  LoadSettingsFile(s, path);
  // The settings file's folder is gone (the installation medium was removed): no
  // temporary file, no count.
  LoadingInstallation(s).settingsPath = dir.Path("gone/Flashwright.ini");
  EXPECT_TRUE(RecordCompletedJob(s));
  EXPECT_EQ(s.completedJobs, 1);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, kJobCountNotSavedText);
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::Error);
  EXPECT_NE(view.Boxes()[0].detail.find("gone/Flashwright.ini"), std::string::npos);
  ASSERT_EQ(view.Rows().size(), 1u);
  EXPECT_EQ(view.Rows()[0].mark, "   \u00D7");
  EXPECT_EQ(view.Rows()[0].text, kJobCountNotSavedText);
  EXPECT_TRUE(view.Timers().empty());  // not re-armed as if the count were kept
}

TEST_F(Settings, AFileThatIsNoSettingsFileIsReportedAndGivesTheDefaults) {
  UpgradeState s;
  // Absent: the defaults, nothing to report.
  EXPECT_EQ(LoadSettingsFile(s, dir.Path("Flashwright.ini")), "");
  EXPECT_EQ(LoadingInstallation(s).settingsProblem, "");
  EXPECT_EQ(LoadSettingsFile(s, dir.Write("ok.ini", "[setting]\r\nPort=2\r\n")), "");

  // UTF-16 without its byte-order mark: every other byte is 0, no section is found.
  std::string utf16;
  for (char c : std::string("[Setting]\r\nPort=3\r\n")) {
    utf16 += c;
    utf16 += '\0';
  }
  const std::string cases[] = {
      dir.Write("garbage.ini", std::string("\x7F"
                                           "ELF\x02\x01\x01\0\0\0",
                                           10)),
      dir.Write("utf16.ini", utf16),
      dir.Write("other.ini", "[Settings]\r\nPort=3\r\n"),
      dir.Path("folder.ini"),
  };
  std::filesystem::create_directory(cases[3]);
  for (const std::string& path : cases) {
    UpgradeState t;
    const std::string problem = LoadSettingsFile(t, path);
    EXPECT_NE(problem.find(path), std::string::npos) << path << ": " << problem;
    EXPECT_EQ(LoadingInstallation(t).settingsProblem, problem);
    EXPECT_EQ(t.selectedPort.load(), 0) << path;
  }
}

#ifndef _WIN32  // named pipes in folders are POSIX
TEST_F(Settings, AFifoAsSettingsFileNeverBlocksTheStart) {
  const std::string path = dir.Path("Flashwright.ini");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  UpgradeState s;
  const std::string problem = LoadSettingsForProgramDir(s, dir.Dir());
  EXPECT_NE(problem.find(path), std::string::npos);
  EXPECT_EQ(LoadingInstallation(s).readWriteLog, 0);
  // The model file and the image may be FIFOs or endless devices too.
  const std::string model = dir.Path("Model.dat");
  ASSERT_EQ(mkfifo(model.c_str(), 0600), 0);
  EXPECT_NE(LoadingInstallation(s).modelTable.Load(model).find(model), std::string::npos);
  EXPECT_NE(LoadingInstallation(s).modelTable.Load("/dev/zero").find("/dev/zero"),
            std::string::npos);
  const std::string image = dir.Path("Main.bin");
  ASSERT_EQ(mkfifo(image.c_str(), 0600), 0);
  s.imageSize = ImageFileSize(image);
  EXPECT_EQ(s.imageSize.load(), -1);
  EXPECT_FALSE(LoadImageFile(s, image));
  s.imageSize = 4096;  // as if the file had been a real image a moment ago
  EXPECT_FALSE(LoadImageFile(s, image));
  EXPECT_FALSE(LoadImageFile(s, "/dev/zero"));
}
#endif  // _WIN32

}  // namespace
}  // namespace fw
