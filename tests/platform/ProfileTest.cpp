#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

#include "platform/CodePage.h"
#include "platform/FileIo.h"
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

// The same text as UTF-16BE bytes.
std::string Be(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
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

// Notepad's "Unicode big endian": read, and written back in the same byte order.
TEST(ProfileEncoding, Utf16BeWithByteOrderMarkIsReadAndKeptOnWrite) {
  ScratchDir dir;
  std::string before = "\xFE\xFF" + Be(u"[Setting]\r\nPort=7\r\nTitleVer=\u5347\u7EA7\r\n");
  std::string path = dir.Write("be.ini", before);
  EXPECT_EQ(ProfileGetInt("Setting", "Port", 1, path), 7);
  EXPECT_EQ(ProfileGetString("Setting", "TitleVer", "", path), "\xE5\x8D\x87\xE7\xBA\xA7");

  ASSERT_TRUE(ProfileWriteString("Setting", "Port", "12", path));
  ASSERT_TRUE(ProfileWriteString("Setting", "CMOS", "1", path));
  EXPECT_EQ(ScratchDir::Read(path),
            "\xFE\xFF" + Be(u"[Setting]\r\nPort=12\r\nTitleVer=\u5347\u7EA7\r\nCMOS=1\r\n"));
}

// An end-of-file mark (Ctrl-Z) that an old editor left is no part of the last value, in
// any encoding; a write keeps it at the end of the file.
TEST(ProfileEncoding, ATrailingCtrlZEndsTheFile) {
  ScratchDir dir;
  std::string ansi = dir.Write("z.ini", "[Setting]\r\nPort=3\x1A");
  EXPECT_EQ(ProfileGetInt("Setting", "Port", 1, ansi), 3);
  EXPECT_EQ(ProfileGetString("Setting", "Port", "", ansi), "3");
  ASSERT_TRUE(ProfileWriteString("Setting", "CMOS", "1", ansi));
  EXPECT_EQ(ScratchDir::Read(ansi), "[Setting]\r\nPort=3\r\nCMOS=1\r\n\x1A");

  std::string afterLine = dir.Write("z2.ini", "[Setting]\r\nImage=a.bin\r\n\x1A\r\n");
  EXPECT_EQ(ProfileGetString("Setting", "Image", "", afterLine), "a.bin");
  ASSERT_TRUE(ProfileWriteString("Setting", "Image", "b.bin", afterLine));
  EXPECT_EQ(ScratchDir::Read(afterLine), "[Setting]\r\nImage=b.bin\r\n\x1A\r\n");

  std::string wide = dir.Write("z3.ini", "\xFF\xFE" + Le(u"[Setting]\r\nPort=4\x1A"));
  EXPECT_EQ(ProfileGetString("Setting", "Port", "", wide), "4");
  std::string big = dir.Write("z4.ini", "\xFE\xFF" + Be(u"[Setting]\r\nPort=5\x1A"));
  EXPECT_EQ(ProfileGetString("Setting", "Port", "", big), "5");

  // A Ctrl-Z inside the file, with text after it, is left to the value it stands in.
  std::string inner = dir.Write("z5.ini", "[Setting]\r\nA=x\x1Ay\r\nB=2\r\n");
  EXPECT_EQ(ProfileGetString("Setting", "A", "", inner), "x\x1Ay");
  EXPECT_EQ(ProfileGetInt("Setting", "B", 0, inner), 2);
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

#ifndef _WIN32  // file modes and symbolic links are POSIX
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
#endif  // _WIN32

#ifndef _WIN32  // owners and groups of files are POSIX
TEST(ProfileWrite, KeepsTheOwnerAndGroupOfAFileOfAnotherUser) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "only root can give a file to another user";
  }
  ScratchDir dir;
  std::string path = dir.Write("s.ini", "[Setting]\r\nUpdateTimes=1\r\n");
  ASSERT_EQ(chown(path.c_str(), 12345, 23456), 0);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(ProfileWriteString("Setting", "UpdateTimes", "2", path));
  EXPECT_EQ(ScratchDir::Read(path), "[Setting]\r\nUpdateTimes=2\r\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 12345u);
  EXPECT_EQ(st.st_gid, 23456u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}
#endif  // _WIN32

TEST(ProfileRead, ALoneCarriageReturnEndsALine) {
  Profile p = Profile::FromBytes("[Setting]\rPort=4\rCMOS=1\r\nMODEL=KV\n");
  EXPECT_EQ(p.GetInt("Setting", "Port", 0), 4);
  EXPECT_EQ(p.GetInt("Setting", "CMOS", 0), 1);
  EXPECT_EQ(p.GetString("Setting", "MODEL", ""), "KV");
}

TEST(ProfileWrite, LoneCarriageReturnsAreKeptAndUsedForNewLines) {
  ScratchDir dir;
  std::string path = dir.Write("cr.ini", "[Setting]\rPort=4\rCMOS=1\r");
  ASSERT_TRUE(ProfileWriteString("Setting", "Port", "7", path));
  ASSERT_TRUE(ProfileWriteString("Setting", "UpdateChip", "1", path));
  EXPECT_EQ(ScratchDir::Read(path), "[Setting]\rPort=7\rCMOS=1\rUpdateChip=1\r");
}

TEST(ProfileRead, AValueEndsAtANulCharacter) {
  using namespace std::string_literals;
  Profile p = Profile::FromBytes(
      "[Setting]\r\nMainBin=KV.bin\0junk\r\nPort=1\0\x39\r\n"
      "TitleVer=\0\r\n"s);
  EXPECT_EQ(p.GetString("Setting", "MainBin", ""), "KV.bin");
  EXPECT_EQ(p.GetInt("Setting", "Port", 0), 1);
  EXPECT_EQ(p.GetString("Setting", "TitleVer", "dflt"), "");
  // UTF-16 files too: the NUL unit ends the value.
  Profile w = Profile::FromBytes("\xFF\xFE" + Le(u"[S]\r\nK=ab\0cd\r\n"s));
  EXPECT_EQ(w.GetString("S", "K", ""), "ab");
  // A NUL cannot be written into a value.
  ScratchDir dir;
  std::string path = dir.Write("n.ini", "[S]\nK=1\n");
  EXPECT_FALSE(ProfileWriteString("S", "K", "a\0b"s, path));
  EXPECT_EQ(ScratchDir::Read(path), "[S]\nK=1\n");
}

// The GB2312 characters whose two bytes are, on their own, a well-formed two-byte UTF-8
// character: lead C2..DF (a UTF-8 lead) and trail A1..BF (a UTF-8 continuation byte).
std::vector<std::string> Gb2312CharactersThatAreUtf8() {
  std::vector<std::string> found;
  for (unsigned lead = 0xA1; lead <= 0xF7; ++lead) {
    for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string unit = Cp936ToUtf16(bytes);
      const bool assigned = unit.size() == 1 && unit != u"?";
      const bool utf8 = lead >= 0xC2 && lead <= 0xDF && trail >= 0x80 && trail <= 0xBF;
      if (assigned && utf8) {
        found.push_back(bytes);
      }
    }
  }
  return found;
}

TEST(ProfileEncoding, CodePage936TextThatIsAlsoUtf8IsReadAsCodePage936) {
  // 目录 is C4 BF C2 BC in code page 936, which as UTF-8 would read "Ŀ¼".
  Profile folder = Profile::FromBytes("[Setting]\r\nFolder=\xC4\xBF\xC2\xBC\r\n");
  EXPECT_EQ(folder.GetString("Setting", "Folder", ""), "\xE7\x9B\xAE\xE5\xBD\x95");

  const std::vector<std::string> chars = Gb2312CharactersThatAreUtf8();
  ASSERT_EQ(chars.size(), 930u);
  for (const std::string& c : chars) {
    const std::string expected = Utf16ToUtf8(Cp936ToUtf16(c));
    Profile one = Profile::FromBytes("[Setting]\r\nTitleVer=" + c + "\r\n");
    EXPECT_EQ(one.GetString("Setting", "TitleVer", ""), expected)
        << std::hex
        << (static_cast<unsigned>(static_cast<unsigned char>(c[0])) << 8 |
            static_cast<unsigned char>(c[1]));
    Profile two = Profile::FromBytes("[Setting]\r\nMainBin=" + c + chars[0] + ".bin\r\n");
    EXPECT_EQ(two.GetString("Setting", "MainBin", ""),
              expected + Utf16ToUtf8(Cp936ToUtf16(chars[0])) + ".bin");
  }
}

TEST(ProfileEncoding, AWriteToACodePage936FileThatLooksLikeUtf8StaysCodePage936) {
  ScratchDir dir;
  std::string path = dir.Write("f.ini", "[Setting]\r\nFolder=\xC4\xBF\xC2\xBC\r\n");
  // 中文 (U+4E2D U+6587) goes in as D6 D0 CE C4, not as UTF-8.
  ASSERT_TRUE(ProfileWriteString("Setting", "TitleVer", "\xE4\xB8\xAD\xE6\x96\x87", path));
  EXPECT_EQ(ScratchDir::Read(path),
            "[Setting]\r\nFolder=\xC4\xBF\xC2\xBC\r\nTitleVer=\xD6\xD0\xCE\xC4\r\n");
}

TEST(ProfileEncoding, UnmistakableUtf8IsStillReadAsUtf8) {
  // Characters of three bytes (every CJK character in UTF-8), even beside two-byte ones.
  Profile cjk = Profile::FromBytes("[S]\nA=\xC4\xBF\xE7\x9B\xAE\n");
  EXPECT_EQ(cjk.GetString("S", "A", ""), "\xC4\xBF\xE7\x9B\xAE");
  EXPECT_EQ(Profile::FromBytes("[S]\nA=\xE4\xB8\xAD\xE6\x96\x87\n").GetString("S", "A", ""),
            "\xE4\xB8\xAD\xE6\x96\x87");
  // UTF-8 of two-byte characters only is also code page 936 text, and is read as such:
  // "é" (C3 A9) is the code page 936 character 茅 (U+8305).
  EXPECT_EQ(Profile::FromBytes("[S]\nA=caf\xC3\xA9\n").GetString("S", "A", ""), "caf\xE8\x8C\x85");
}

#ifndef _WIN32  // named pipes in folders are POSIX
TEST(FileRead, AFifoIsRefusedWithoutBlocking) {
  ScratchDir dir;
  const std::string fifo = dir.Path("Flashwright.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Opening a FIFO that no one writes to would wait for a writer forever.
  FileRead r = ReadRegularFile(fifo, 1024);
  EXPECT_EQ(r.status, FileReadStatus::kNotRegular);
  EXPECT_NE(r.problem.find(fifo), std::string::npos);
  EXPECT_NE(RegularFileProblem(fifo), "");
  Profile p = Profile::Load(fifo);
  EXPECT_FALSE(p.Exists());
  EXPECT_NE(p.Problem().find(fifo), std::string::npos);
  EXPECT_FALSE(ProfileWriteString("Setting", "Port", "1", fifo));
}
#endif  // _WIN32

TEST(FileRead, DevicesAndFoldersAreRefusedAndLongFilesAreCapped) {
#ifndef _WIN32  // an endless device in the file system
  FileRead zero = ReadRegularFile("/dev/zero", 1024);
  EXPECT_EQ(zero.status, FileReadStatus::kNotRegular);
  EXPECT_NE(Profile::Load("/dev/zero").Problem().find("/dev/zero"), std::string::npos);
#endif

  ScratchDir dir;
  EXPECT_EQ(ReadRegularFile(dir.Dir(), 1024).status, FileReadStatus::kNotRegular);
  EXPECT_EQ(ReadRegularFile(dir.Path("none"), 1024).status, FileReadStatus::kMissing);
  EXPECT_EQ(Profile::Load(dir.Path("none")).Problem(), "");

  const std::string exact = dir.Write("exact.bin", std::string(1024, 'x'));
  FileRead ok = ReadRegularFile(exact, 1024);
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok.bytes, std::string(1024, 'x'));
  FileRead big = ReadRegularFile(dir.Write("big.bin", std::string(1025, 'x')), 1024);
  EXPECT_EQ(big.status, FileReadStatus::kTooLarge);
  EXPECT_NE(big.problem.find("big.bin"), std::string::npos);

  // A settings file far larger than any settings file is not read at all.
  const std::string huge =
      dir.Write("huge.ini", "[Setting]\r\nPort=3\r\n" + std::string(kMaxProfileFileBytes, ';'));
  Profile p = Profile::Load(huge);
  EXPECT_FALSE(p.Exists());
  EXPECT_NE(p.Problem().find("huge.ini"), std::string::npos);
  EXPECT_EQ(p.GetInt("Setting", "Port", 0), 0);
}

}  // namespace
}  // namespace fw
