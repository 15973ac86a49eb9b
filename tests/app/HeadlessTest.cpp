// The headless front end: its options, its printed report, and whole runs of the built
// program against the simulated radio (exit status 0 success, 1 failure, 2 usage).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "RadioSim.h"
#include "app/HeadlessOptions.h"
#include "app/HeadlessView.h"
#include "core/Ids.h"
#include "support/TempDir.h"

namespace fw {
namespace {

TEST(HeadlessOptions, AcceptsTheDocumentedForms) {
  HeadlessOptions o;
  std::string error;
  ASSERT_TRUE(ParseHeadlessOptions({"--headless", "--program-dir", "d", "--port", "16",
                                    "--chip-only", "--update-chip", "--vocoder", "SELP"},
                                   o, error))
      << error;
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.programDir, "d");
  EXPECT_EQ(o.port, 16);
  EXPECT_TRUE(o.chipOnly);
  EXPECT_FALSE(o.firmwareOnly);
  EXPECT_TRUE(o.updateChip);
  EXPECT_EQ(o.vocoder, 1);
  ASSERT_TRUE(ParseHeadlessOptions({"--headless"}, o, error));
  EXPECT_FALSE(o.port.has_value());
  EXPECT_FALSE(o.vocoder.has_value());
}

TEST(HeadlessOptions, UsageErrors) {
  HeadlessOptions o;
  std::string error;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--headless", "--firmware-only", "--chip-only"},
                                             {"--headless", "--port", "0"},
                                             {"--headless", "--port", "17"},
                                             {"--headless", "--port", "3x"},
                                             {"--headless", "--port"},
                                             {"--headless", "--vocoder", "ambe"},
                                             {"--headless", "--program-dir", ""},
                                             {"--headless", "--verbose"}}) {
    error.clear();
    EXPECT_FALSE(ParseHeadlessOptions(args, o, error)) << args.back();
    EXPECT_FALSE(error.empty());
  }
}

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    s.append(buf, n);
  }
  return s;
}

TEST(HeadlessView, PrintsEachRowChangeOnceAndNamesBoxIcons) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    HeadlessView view(f, false);
    view.InsertRow(0, "------>", "Connecting the radio...");
    view.SetRowText(0, 0, "   \u221A");
    view.SetRowText(0, 1, "Connect the radio successfully!");
    view.InsertRow(1, "------>", "Next");
    view.SetStatusText("busy");
    view.SetStatusText("busy");  // unchanged: not printed again
    view.SetProgressPos(kMainProgress, 40);
    view.SetProgressPos(kSecondProgress, 40);
    view.SetProgressPos(kMainProgress, 140);
    view.MessageBox("Enter download failed!", MessageIcon::Exclamation, MessageButtons::Ok, "why");
    EXPECT_EQ(view.MessageBox("Are you sure to exit?", MessageIcon::Question,
                              MessageButtons::OkCancel, ""),
              MessageResult::Cancel);
    view.Finish();
  }
  EXPECT_EQ(ReadAll(f),
            "row  1 ------>\tConnecting the radio...\n"
            "row  1    \u221A\tConnect the radio successfully!\n"
            "row  2 ------>\tNext\n"
            "status: busy\n"
            "progress 40%\n"
            "progress 100%\n"
            "box [exclamation] Enter download failed! (why)\n"
            "box [question] Are you sure to exit?\n");
  std::fclose(f);
}

TEST(HeadlessView, EventLoopServesPostsAndTimersUntilDone) {
  std::FILE* f = std::tmpfile();
  HeadlessView view(f, true);
  std::vector<intptr_t> seen;
  int timerFired = 0;
  view.PostMessage(kMsgFirmwareProgress, 0, 1024);
  view.PostMessage(kMsgFirmwareProgress, 0, 2048);
  view.SetTimer(40, 0);
  view.Run([&](uint32_t, uintptr_t, intptr_t l) { seen.push_back(l); },
           [&](int id) {
             ++timerFired;
             view.KillTimer(id);
           },
           [&] { return timerFired > 0; });
  EXPECT_EQ(seen, (std::vector<intptr_t>{1024, 2048}));
  EXPECT_EQ(timerFired, 1);
  std::fclose(f);
}

// Runs the built program; returns its exit status and its output.
int RunProgram(const std::string& args, std::string& output) {
  std::filesystem::path exe =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "bin" / "Flashwright";
  std::string command = "FLASHWRIGHT_TIME_SCALE=0.01 '" + exe.string() + "' " + args + " 2>&1";
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    return -1;
  }
  char buf[4096];
  size_t n;
  output.clear();
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
    output.append(buf, n);
  }
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Image(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>(i ^ (i >> 8));
  }
  return v;
}

class HeadlessProgram : public ::testing::Test {
 protected:
  void Install(const std::string& settingLines, const std::string& device) {
    dir.Write("Main.bin", image);
    dir.Write("Flashwright.ini", "[Setting]\r\nPort=4\r\nMODEL=KV68\r\nMainBin=Main.bin\r\n" +
                                     settingLines + "[Ports]\r\nCOM4=" + device + "\r\n");
  }
  bool Contains(const std::string& text) const { return output.find(text) != std::string::npos; }

  test::TempDir dir;
  std::vector<uint8_t> image = Image(3000);
  std::string output;
};

TEST_F(HeadlessProgram, FirmwareOnlyBySettingsSucceeds) {
  sim::RadioSim radio;
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=3\r\nAutoTest=0\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 0) << output;
  EXPECT_TRUE(Contains("row  1    \u221A\tConnect the radio successfully!\n")) << output;
  EXPECT_TRUE(Contains("row  2    \u221A\tUpdate the radio software completed!\n")) << output;
  EXPECT_TRUE(Contains("box [none] Update the radio software completed!\n"));
  EXPECT_TRUE(Contains("progress 100%\n"));
  EXPECT_TRUE(Contains("status: The radio is restarting, about 20 seconds...\n"));
  EXPECT_TRUE(Contains("result: success\n"));
  EXPECT_EQ(radio.DownloadSnapshot().Image(), image);
}

TEST_F(HeadlessProgram, OptionsOverrideTheSettingsAndFailuresExitWithOne) {
  sim::RadioSimConfig config;
  config.download.variant = "X";  // a new-family radio without an image
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  Install("READWRITELOG=0\r\n", radio.DevicePath());
  EXPECT_EQ(RunProgram("--headless --firmware-only --program-dir " + dir.Path(), output), 1)
      << output;
  EXPECT_TRUE(Contains("box [none] Update the radio software failed!\n")) << output;
  EXPECT_TRUE(Contains("result: failed\n"));
}

TEST_F(HeadlessProgram, UnopenablePortShowsTheReason) {
  Install("READWRITELOG=3\r\n", dir.Path() + "no-such-device");
  EXPECT_EQ(RunProgram("--headless --program-dir " + dir.Path(), output), 1) << output;
  EXPECT_TRUE(
      Contains("box [exclamation] Failed to connect radio. Please check all connections "
               "and port settings! ("))
      << output;
  EXPECT_TRUE(Contains("row  1    \u00D7\tFailed to connect radio."));
}

TEST_F(HeadlessProgram, UsageErrorExitsWithTwo) {
  EXPECT_EQ(RunProgram("--headless --firmware-only --chip-only", output), 2);
  EXPECT_TRUE(Contains("usage: Flashwright --headless"));
  // Without --headless the program opens its window; that is the window tests' part.
  EXPECT_EQ(RunProgram("--headless --help", output), 0);
  EXPECT_TRUE(Contains("usage: Flashwright --headless"));
}

// GNU-style --help and --version answer on standard output and open no window.
TEST_F(HeadlessProgram, HelpAndVersionInTheUsualForm) {
  EXPECT_EQ(RunProgram("--version", output), 0);
  EXPECT_EQ(output.rfind("Flashwright (Radio Flashwright) ", 0), 0u) << output;
  EXPECT_EQ(RunProgram("--help", output), 0);
  EXPECT_EQ(output.rfind("Usage: Flashwright", 0), 0u) << output;
  EXPECT_TRUE(Contains("--program-dir DIR"));
  EXPECT_TRUE(Contains("--version"));
}

}  // namespace
}  // namespace fw
