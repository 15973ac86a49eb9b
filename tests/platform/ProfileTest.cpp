#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/ScratchDir.h"

namespace fw {
namespace {

using test::ScratchDir;

// UTF-16LE bytes of an ASCII/BMP text given as UTF-16 (written out by hand, independent of
// the code under test).
std::string Le(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

TEST(ProfileRead, NamesIgnoreCaseAndSurroundingBlanks) {
  Profile p = Profile::FromBytes("[ setting ]\r\n  port = 7\r\nMODEL=KV680\r\n");
  EXPECT_EQ(p.GetInt("Setting", "Port", 0), 7);
  EXPECT_EQ(p.GetInt("SETTING", "PORT", 0), 7);
  EXPECT_EQ(p.GetString("Setting", "model", ""), "KV680");
}

TEST(ProfileRead, IntegersTakeTheLeadingDigits) {
  Profile p =
      Profile::FromBytes("[S]\nA=12abc\nB=abc\nC=\nD=-5\nE=\"7\"\nF= +42 \nG=4294967297\nH=0x10\n");
  EXPECT_EQ(p.GetInt("S", "A", 99), 12);
  EXPECT_EQ(p.GetInt("S", "B", 99), 0);   // no digits
  EXPECT_EQ(p.GetInt("S", "C", 99), 99);  // empty value: the default, as Windows gives
  EXPECT_EQ(p.GetInt("S", "D", 99), -5);
  EXPECT_EQ(p.GetInt("S", "E", 99), 7);  // quotes removed first
  EXPECT_EQ(p.GetInt("S", "F", 99), 42);
  EXPECT_EQ(p.GetInt("S", "G", 99), 1);  // wraps like a 32-bit integer
  EXPECT_EQ(p.GetInt("S", "H", 99), 0);  // decimal only
  EXPECT_EQ(p.GetInt("S", "Missing", 99), 99);
  EXPECT_EQ(p.GetInt("Other", "A", 99), 99);
}

TEST(ProfileRead, StringsAreTrimmedAndLoseOnePairOfMatchingQuotes) {
  Profile p = Profile::FromBytes(
      "[S]\nA=  two words  \nB=\"  quoted  \"\nC='single'\nD=\"\"x\"\"\nE='mixed\"\nF=\"\nG=a=b\n");
  EXPECT_EQ(p.GetString("S", "A", ""), "two words");
  EXPECT_EQ(p.GetString("S", "B", ""), "  quoted  ");
  EXPECT_EQ(p.GetString("S", "C", ""), "single");
  EXPECT_EQ(p.GetString("S", "D", ""), "\"x\"");
  EXPECT_EQ(p.GetString("S", "E", ""), "'mixed\"");
  EXPECT_EQ(p.GetString("S", "F", ""), "\"");
  EXPECT_EQ(p.GetString("S", "G", ""), "a=b");
  EXPECT_EQ(p.GetString("S", "Missing", "dflt  "), "dflt");
}

TEST(ProfileRead, FirstSectionAndFirstKeyWinAndCommentsAreNoKeys) {
  Profile p = Profile::FromBytes(
      "Stray=1\n[A]\n;K=commented\nK=first\nk=second\n[B]\nK=b\n[a]\nK=third\nOnlyHere=1\n");
  EXPECT_EQ(p.GetString("A", "K", ""), "first");
  EXPECT_EQ(p.GetString("B", "K", ""), "b");
  // Only the first [A] is searched.
  EXPECT_EQ(p.GetString("A", "OnlyHere", "none"), "none");
  std::vector<ProfileEntry> keys = p.GetSection("a");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], (ProfileEntry{"K", "first"}));
  EXPECT_EQ(keys[1], (ProfileEntry{"k", "second"}));
}

TEST(ProfileRead, LongValuesAreCutToTheBuffer) {
  std::string value(5000, 'x');
  Profile p = Profile::FromBytes("[S]\nV=" + value + "\nC=\xE4\xB8\xAD\xE6\x96\x87\n");
  EXPECT_EQ(p.GetString("S", "V", "").size(), 4095u);
  EXPECT_EQ(p.GetString("S", "V", "", 5), "xxxx");
  // The buffer counts characters, not UTF-8 bytes: two CJK characters fit in 3.
  EXPECT_EQ(p.GetString("S", "C", "", 3), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(p.GetString("S", "C", "", 2), "\xE4\xB8\xAD");
}

TEST(ProfileRead, MissingFileReadsAsEmpty) {
  ScratchDir dir;
  EXPECT_EQ(ProfileGetInt("S", "K", 5, dir.Path("none.ini")), 5);
  EXPECT_EQ(ProfileGetString("S", "K", "d", dir.Path("none.ini")), "d");
  EXPECT_FALSE(Profile::Load(dir.Path("none.ini")).Exists());
}

TEST(ProfileEncoding, Utf16LeWithByteOrderMarkIsReadAndKeptOnWrite) {
  ScratchDir dir;
  std::string before = "\xFF\xFE" + Le(u"; \u8BF4\u660E\r\n[Setting]\r\nTitleVer=\u5347\u7EA7\r\n");
  std::string path = dir.Write("w.ini", before);
  EXPECT_EQ(ProfileGetString("Setting", "TitleVer", "", path), "\xE5\x8D\x87\xE7\xBA\xA7");

  ASSERT_TRUE(ProfileWriteString("Setting", "Port", "3", path));
  EXPECT_EQ(ScratchDir::Read(path), before + Le(u"Port=3\r\n"));
  ASSERT_TRUE(ProfileWriteString("Setting", "TitleVer", "\xE4\xB8\xAD", path));
  EXPECT_EQ(ScratchDir::Read(path),
            "\xFF\xFE" + Le(u"; \u8BF4\u660E\r\n[Setting]\r\nTitleVer=\u4E2D\r\nPort=3\r\n"));
}

TEST(ProfileEncoding, Utf8WithAndWithoutByteOrderMark) {
  ScratchDir dir;
  std::string bom = dir.Write("bom.ini", "\xEF\xBB\xBF[Setting]\nVerInfo=\xE4\xB8\xAD\n");
  EXPECT_EQ(ProfileGetString("setting", "VerInfo", "", bom), "\xE4\xB8\xAD");
  ASSERT_TRUE(ProfileWriteString("Setting", "CMOS", "1", bom));
  EXPECT_EQ(ScratchDir::Read(bom), "\xEF\xBB\xBF[Setting]\nVerInfo=\xE4\xB8\xAD\nCMOS=1\n");

  std::string plain = dir.Write("plain.ini", "[Setting]\nVerInfo=\xE4\xB8\xAD\xE6\x96\x87\n");
  EXPECT_EQ(ProfileGetString("Setting", "VerInfo", "", plain), "\xE4\xB8\xAD\xE6\x96\x87");
  ASSERT_TRUE(ProfileWriteString("Setting", "CorpInfo", "\xE6\x96\x87", plain));
  EXPECT_EQ(ScratchDir::Read(plain),
            "[Setting]\nVerInfo=\xE4\xB8\xAD\xE6\x96\x87\nCorpInfo=\xE6\x96\x87\n");
}

TEST(ProfileEncoding, AnsiFilesUseCodePage936) {
  ScratchDir dir;
  // 中文 is D6 D0 CE C4 in code page 936; the bytes are not valid UTF-8.
  std::string path = dir.Write("a.ini", "[Setting]\r\nVerInfo=\xD6\xD0\xCE\xC4\r\n");
  EXPECT_EQ(ProfileGetString("Setting", "VerInfo", "", path), "\xE4\xB8\xAD\xE6\x96\x87");
  ASSERT_TRUE(ProfileWriteString("Setting", "CorpInfo", "\xE6\x96\x87", path));
  EXPECT_EQ(ScratchDir::Read(path),
            "[Setting]\r\nVerInfo=\xD6\xD0\xCE\xC4\r\nCorpInfo=\xCE\xC4\r\n");
}

TEST(ProfileWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
  ScratchDir dir;
  std::string head = "; settings of the bench\r\n[Setting]\r\nUnknown = keep me \r\n";
  std::string tail = "\r\n; trailing comment\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n";
  std::string path = dir.Write("s.ini", head + "Port = 3\r\n" + tail);
  ASSERT_TRUE(ProfileWriteString("Setting", "port", "12", path));
  EXPECT_EQ(ScratchDir::Read(path), head + "Port = 12\r\n" + tail);
  EXPECT_EQ(ProfileGetInt("Setting", "Port", 0, path), 12);
}

TEST(ProfileWrite, KeyBehindADamagedAnsiCharacterKeepsItsKeyWhenWritten) {
  // Found by fuzzing: FE cannot be followed by '=', so "K\xFE==1" reads as key "K?" with
  // value "=1". The write replaces what follows the first '=' byte; the line must still be
  // that key afterwards, not a line without '=' while the write reports success.
  ScratchDir dir;
  std::string path = dir.Write("s.ini", "[S]\r\nK\xFE==1\r\n");
  EXPECT_EQ(ProfileGetString("S", "K?", "", path), "=1");
  ASSERT_TRUE(ProfileWriteString("S", "K?", "9", path));
  EXPECT_EQ(ScratchDir::Read(path), "[S]\r\nK\xFE=9\r\n");
  EXPECT_EQ(ProfileGetString("S", "K?", "", path), "9");
}

TEST(ProfileWrite, OnlyTheFirstMatchChanges) {
  ScratchDir dir;
  std::string path = dir.Write("s.ini", "[S]\nK=1\nK=2\n[S]\nK=3\n");
  ASSERT_TRUE(ProfileWriteString("s", "k", "9", path));
  EXPECT_EQ(ScratchDir::Read(path), "[S]\nK=9\nK=2\n[S]\nK=3\n");
}

TEST(ProfileWrite, MissingKeyGoesToTheEndOfItsSection) {
  ScratchDir dir;
  std::string path = dir.Write("s.ini", "[A]\nx=1\n; note\n\n; about B\n[B]\ny=2");
  ASSERT_TRUE(ProfileWriteString("A", "New", "v", path));
  EXPECT_EQ(ScratchDir::Read(path), "[A]\nx=1\nNew=v\n; note\n\n; about B\n[B]\ny=2");
  // Last section without a final line end: the line gets one, the new key follows.
  ASSERT_TRUE(ProfileWriteString("B", "z", "3", path));
  EXPECT_EQ(ScratchDir::Read(path), "[A]\nx=1\nNew=v\n; note\n\n; about B\n[B]\ny=2\nz=3\n");
  // An empty section: right after its header.
  std::string empty = dir.Write("e.ini", "[E]\r\n\r\n[F]\r\n");
  ASSERT_TRUE(ProfileWriteString("E", "k", "1", empty));
  EXPECT_EQ(ScratchDir::Read(empty), "[E]\r\nk=1\r\n\r\n[F]\r\n");
}

TEST(ProfileWrite, MissingSectionGoesToTheEndAndMissingFileIsCreated) {
  ScratchDir dir;
  std::string path = dir.Write("s.ini", "[A]\nx=1");
  ASSERT_TRUE(ProfileWriteString("Setting", "UpdateTimes", "2", path));
  EXPECT_EQ(ScratchDir::Read(path), "[A]\nx=1\n[Setting]\nUpdateTimes=2\n");

  std::string fresh = dir.Path("new.ini");
  ASSERT_TRUE(ProfileWriteString("Setting", "Port", "4", fresh));
  EXPECT_EQ(ScratchDir::Read(fresh), "[Setting]\r\nPort=4\r\n");

  EXPECT_FALSE(ProfileWriteString("Setting", "Port", "4", dir.Path("no/such/dir/x.ini")));
}

TEST(ProfileWrite, RefusesWhatCannotBeStoredAndLeavesTheFile) {
  ScratchDir dir;
  const std::string before = "[S]\nK=1\n";
  std::string path = dir.Write("s.ini", before);
  EXPECT_FALSE(ProfileWriteString("S", "K", "1\n[Evil]\nX=1", path));
  EXPECT_FALSE(ProfileWriteString("S", "", "1", path));
  EXPECT_FALSE(ProfileWriteString("", "K", "1", path));
  EXPECT_FALSE(ProfileWriteString("S", "a=b", "1", path));
  EXPECT_FALSE(ProfileWriteString("S]", "K", "1", path));
  EXPECT_FALSE(ProfileWriteString("S", ";K", "1", path));
  EXPECT_EQ(ScratchDir::Read(path), before);
}

TEST(ProfileWrite, FailedRenameLeavesTheOldFileAndNoTemporaryFile) {
  ScratchDir dir;
  const std::string before = "[Setting]\r\nPort=3\r\nCMOS=0\r\n";
  std::string path = dir.Write("s.ini", before);
  int calls = 0;
  ProfileRenameFunction old = SetProfileRenameFunction(
      [&calls](const std::string&, const std::string&) { return ++calls, false; });
  EXPECT_FALSE(ProfileWriteString("Setting", "Port", "9", path));
  SetProfileRenameFunction(old);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ScratchDir::Read(path), before);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Dir())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
  // With the real rename back, the write goes through.
  EXPECT_TRUE(ProfileWriteString("Setting", "Port", "9", path));
  EXPECT_EQ(ScratchDir::Read(path), "[Setting]\r\nPort=9\r\nCMOS=0\r\n");
}

TEST(ProfileWrite, KeepsTheFilePermissionsAndWritesThroughSymlinks) {
  ScratchDir dir;
  std::string path = dir.Write("s.ini", "[S]\nK=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  std::filesystem::create_symlink(path, dir.Path("link.ini"));
  ASSERT_TRUE(ProfileWriteString("S", "K", "2", dir.Path("link.ini")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.ini")));
  EXPECT_EQ(ScratchDir::Read(path), "[S]\nK=2\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace fw
