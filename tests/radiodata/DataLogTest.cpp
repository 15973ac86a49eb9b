// Data logs: names, contents, run mode 0, logs that never replace one another, and failures
// that are reported instead of leaving a cut log behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TemplateTestFiles.h"
#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "radiodata/DataLog.h"

namespace fw {
namespace {

namespace fs = std::filesystem;
using test::Pattern;
using test::ReadBytes;

const LogTime kTime{2021, 5, 4, 9, 7, 3};

TEST(DataLogName, FormatsTheStampAndTheSuffixOfEachCode) {
  EXPECT_EQ(DataLogFileName(kTime, 1), "[2021-05-04 09-07-03]ReadLog.dat");
  EXPECT_EQ(DataLogFileName(kTime, 2), "[2021-05-04 09-07-03]DefDataLog.dat");
  EXPECT_EQ(DataLogFileName(kTime, 3), "[2021-05-04 09-07-03]WriteLog.dat");
  EXPECT_EQ(DataLogFileName(kTime, 0), "[2021-05-04 09-07-03]WriteLog.dat");
  EXPECT_EQ(DataLogFileName(kTime, 7), "[2021-05-04 09-07-03]WriteLog.dat");
  EXPECT_EQ(DataLogFileName({1999, 12, 31, 23, 59, 58}, 1), "[1999-12-31 23-59-58]ReadLog.dat");
}

class DataLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadingInstallation(state).programDir = dir.dir();
    LoadingInstallation(state).readWriteLog = 1;
  }
  fs::path Log(const char* name) const { return dir.path() / "ReadWriteLog" / name; }
  test::ScratchDir dir;
  UpgradeState state;
};

TEST_F(DataLogTest, WritesExactlyTheDataSizeForEachCode) {
  const auto radio = Pattern(129976, 1);
  const auto tmpl = Pattern(100000, 2);
  state.radioDataSize = 129976;
  WriteDataLog(state, 1, radio, kTime);
  state.radioDataSize = 65431;  // the template's length
  WriteDataLog(state, 2, tmpl, kTime);
  WriteDataLog(state, 3, tmpl, LogTime{2021, 5, 4, 9, 7, 14});

  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]ReadLog.dat")), radio);
  const std::vector<uint8_t> head(tmpl.begin(), tmpl.begin() + 65431);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]DefDataLog.dat")), head);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-14]WriteLog.dat")), head);
  EXPECT_EQ(
      std::distance(fs::directory_iterator(dir.path() / "ReadWriteLog"), fs::directory_iterator()),
      3);
}

TEST_F(DataLogTest, EveryNonZeroRunModeLogs) {
  for (int mode : {3, 5, 7}) {
    LoadingInstallation(state).readWriteLog = mode;
    state.radioDataSize = 16;
    const LogTime t{2021, 5, 4, 9, 7, mode};
    WriteDataLog(state, 1, Pattern(16, static_cast<uint8_t>(mode)), t);
    EXPECT_EQ(ReadBytes(Log(DataLogFileName(t, 1).c_str())), Pattern(16, mode)) << mode;
  }
}

TEST_F(DataLogTest, SameCodeInTheSameSecondNeverReplacesALog) {
  // Two jobs of one installation reading two radios within the same second.
  state.radioDataSize = 64;
  const DataLogResult first = WriteDataLog(state, 1, Pattern(64, 0), kTime);
  state.radioDataSize = 32;
  const DataLogResult second = WriteDataLog(state, 1, Pattern(64, 0x80), kTime);
  const DataLogResult third = WriteDataLog(state, 1, Pattern(64, 0x40), kTime);
  EXPECT_TRUE(first.written && second.written && third.written);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]ReadLog.dat")), Pattern(64, 0));
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]ReadLog-2.dat")), Pattern(32, 0x80));
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]ReadLog-3.dat")), Pattern(32, 0x40));
  EXPECT_EQ(fs::path(second.path).lexically_normal(),
            Log("[2021-05-04 09-07-03]ReadLog-2.dat").lexically_normal());
  EXPECT_EQ(
      std::distance(fs::directory_iterator(dir.path() / "ReadWriteLog"), fs::directory_iterator()),
      3);  // no temporary file left
}

// Jobs on several ports at once tag their logs with the port: two radios read in the same
// second on one installation keep a log each, named after their port, while a job on its
// own keeps the untagged name.
TEST_F(DataLogTest, PortTaggedLogsOfTheSameSecondAreBothKept) {
  EXPECT_EQ(DataLogFileName(kTime, 1, "COM3"), "[2021-05-04 09-07-03]COM3-ReadLog.dat");
  EXPECT_EQ(DataLogFileName(kTime, 2, "COM12"), "[2021-05-04 09-07-03]COM12-DefDataLog.dat");
  UpgradeState other;
  other.installation = state.installation.Shared();
  state.dataLogTag = "COM1";
  other.dataLogTag = "COM2";
  state.radioDataSize = 48;
  other.radioDataSize = 48;
  const DataLogResult a = WriteDataLog(state, 1, Pattern(48, 0x11), kTime);
  const DataLogResult b = WriteDataLog(other, 1, Pattern(48, 0x22), kTime);
  const DataLogResult c = WriteDataLog(state, 1, Pattern(48, 0x33), kTime);
  ASSERT_TRUE(a.written && b.written && c.written);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]COM1-ReadLog.dat")), Pattern(48, 0x11));
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]COM2-ReadLog.dat")), Pattern(48, 0x22));
  // A second log of one port within the second still gets its number.
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]COM1-ReadLog-2.dat")), Pattern(48, 0x33));
  state.dataLogTag.clear();
  EXPECT_TRUE(WriteDataLog(state, 1, Pattern(48, 0x44), kTime).written);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]ReadLog.dat")), Pattern(48, 0x44));
}

TEST_F(DataLogTest, AFailedWriteLeavesNoCutLogAndSaysWhy) {
  // The disk fills after 102400 bytes of the read log.
  size_t offered = 0;
  DataLogWriteFunction old =
      SetDataLogWriteFunction([&](const std::string& path, std::span<const uint8_t> bytes) {
        offered = bytes.size();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), 102400);
        return false;
      });
  state.radioDataSize = 129976;
  const DataLogResult r = WriteDataLog(state, 1, Pattern(129976, 9), kTime);
  SetDataLogWriteFunction(old);
  EXPECT_EQ(offered, 129976u);
  EXPECT_FALSE(r.written);
  EXPECT_NE(r.problem.find("[2021-05-04 09-07-03]ReadLog.dat"), std::string::npos);
  EXPECT_EQ(
      std::distance(fs::directory_iterator(dir.path() / "ReadWriteLog"), fs::directory_iterator()),
      0);
  const std::string row = DataLogFailureText(1, r);
  EXPECT_EQ(row.rfind("The read log", 0), 0u);
  EXPECT_NE(row.find(r.problem), std::string::npos);

  // With the disk back the same log is written whole.
  EXPECT_TRUE(WriteDataLog(state, 1, Pattern(129976, 9), kTime).written);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]ReadLog.dat")), Pattern(129976, 9));
}

TEST_F(DataLogTest, ModeZeroWritesNothingAtAll) {
  LoadingInstallation(state).readWriteLog = 0;
  WriteDataLog(state, 1, Pattern(16, 0), kTime);
  WriteDataLog(state, 2, Pattern(16, 0));
  EXPECT_FALSE(fs::exists(dir.path() / "ReadWriteLog"));
}

TEST_F(DataLogTest, NeverReadsPastTheBuffer) {
  state.radioDataSize = 129976;
  WriteDataLog(state, 2, Pattern(1000, 5), kTime);
  EXPECT_EQ(ReadBytes(Log("[2021-05-04 09-07-03]DefDataLog.dat")), Pattern(1000, 5));
}

TEST_F(DataLogTest, UnwritableFolderIsReported) {
  // A plain file where the folder should be: the folder cannot be made, the log cannot be
  // written, and the result says so.
  test::WriteBytes(dir.path() / "ReadWriteLog", {'x'});
  state.radioDataSize = 16;
  DataLogResult r = WriteDataLog(state, 1, Pattern(16, 0), kTime);
  EXPECT_FALSE(r.written);
  EXPECT_NE(r.problem.find("ReadWriteLog"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir.path() / "ReadWriteLog"), std::vector<uint8_t>{'x'});

  LoadingInstallation(state).programDir = dir.dir() + "missing/deeper/";
  r = WriteDataLog(state, 1, Pattern(16, 0), kTime);
  EXPECT_FALSE(r.written);
  EXPECT_NE(r.problem, "");
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
  // Logs off: nothing written and nothing to report.
  LoadingInstallation(state).readWriteLog = 0;
  r = WriteDataLog(state, 1, Pattern(16, 0), kTime);
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.problem, "");
}

TEST_F(DataLogTest, UsesTheInstalledTimeSource) {
  SetLogTimeSource([] { return LogTime{2030, 1, 2, 3, 4, 5}; });
  state.radioDataSize = 8;
  WriteDataLog(state, 1, Pattern(8, 0));
  SetLogTimeSource(nullptr);
  EXPECT_TRUE(fs::exists(Log("[2030-01-02 03-04-05]ReadLog.dat")));
}

TEST(DataLogClock, LocalTimeIsPlausible) {
  const LogTime t = CurrentLogTime();
  EXPECT_GE(t.year, 2020);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_LE(t.second, 60);
}

}  // namespace
}  // namespace fw
