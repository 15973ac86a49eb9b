#include "config/ModelTable.h"

#include <gtest/gtest.h>

#include <array>

#include "support/ScratchDir.h"

namespace fw {
namespace {

using test::ScratchDir;

// A block 00 01 02 ... 1F and its rendering, written out by hand.
std::array<uint8_t, 32> Block() {
  std::array<uint8_t, 32> b{};
  for (size_t i = 0; i < b.size(); ++i)
    b[i] = static_cast<uint8_t>(i);
  return b;
}
const std::string kBlockHex = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";

// "KW86000000N00000" as UTF-16LE digits padded to 46 bytes.
const std::string kText4 =
    "4B005700380036003000300030003000300030004E003000300030003000"
    "30000000000000000000000000000000";

ModelTable LoadFile(const ScratchDir& dir, const std::string& text) {
  ModelTable t;
  t.Load(dir.Write("config/r55/Model.dat", text));
  return t;
}

TEST(ModelTable, RendersIdentitiesAsUpperCaseHex) {
  auto b = Block();
  EXPECT_EQ(ModelTable::RenderIdentity(b), kBlockHex);
  b[31] = 0xAB;
  EXPECT_EQ(ModelTable::RenderIdentity(b).substr(62), "AB");
}

TEST(ModelTable, FirstLineWithTheIdentityDecides) {
  ScratchDir dir;
  ModelTable t =
      LoadFile(dir, "[Type]\r\nNumber=3\r\nType0=" + kBlockHex + ",0,x," + kText4 +
                        "\r\nType1=" + kBlockHex + ",5,x," + kText4 + "\r\nType2=FF,7,x,y\r\n");
  ASSERT_EQ(t.entries().size(), 3u);
  EXPECT_EQ(t.FindByIdentity(Block()), std::nullopt);

  ModelTable u = LoadFile(dir, "[Type]\r\nNumber=2\r\nType0=" + kBlockHex + ",12abc,KW86," +
                                   kText4 + ",extra\r\nType1=" + kBlockHex + ",0,x,y\r\n");
  EXPECT_EQ(u.FindByIdentity(Block()), 12);
  EXPECT_EQ(u.entries()[0].text3, "KW86");
  EXPECT_EQ(u.entries()[0].text4, kText4);  // the fifth field is ignored
}

TEST(ModelTable, LowerCaseIdentityInTheFileDoesNotMatch) {
  ScratchDir dir;
  auto b = Block();
  b[10] = 0xAB;
  std::string upper = ModelTable::RenderIdentity(b);
  std::string lower = upper;
  lower[20] = 'a';
  lower[21] = 'b';
  ModelTable t = LoadFile(dir, "[Type]\nNumber=1\nType0=" + lower + ",1,x,y\n");
  EXPECT_EQ(t.FindByIdentity(b), std::nullopt);
  ModelTable u = LoadFile(dir, "[Type]\nNumber=1\nType0=" + upper + ",1,x,y\n");
  EXPECT_EQ(u.FindByIdentity(b), 1);
  // Blanks around the comma belong to the field.
  ModelTable v = LoadFile(dir, "[Type]\nNumber=1\nType0=" + upper + " ,1,x,y\n");
  EXPECT_EQ(v.FindByIdentity(b), std::nullopt);
}

TEST(ModelTable, MissingAreaKeysRepeatThePreviousValue) {
  ScratchDir dir;
  ModelTable t = LoadFile(dir, "[Area]\nNumber=2\nArea0=1\n");
  EXPECT_EQ(t.areaCodes(), (std::vector<uint16_t>{1, 1}));
  EXPECT_TRUE(t.IsAreaAccepted(0x31));
  EXPECT_FALSE(t.IsAreaAccepted(0x32));
  EXPECT_TRUE(t.IsAreaAccepted(0x131));  // only the low 8 bits count

  ModelTable u = LoadFile(dir, "[Area]\nNumber=5\nArea1=4\nArea3=2\n");
  EXPECT_EQ(u.areaCodes(), (std::vector<uint16_t>{0, 4, 4, 2, 2}));
  ModelTable v = LoadFile(dir, "[Area]\nNumber=2\nArea0=70000\nArea1=-1\n");
  EXPECT_EQ(v.areaCodes(), (std::vector<uint16_t>{70000 & 0xFFFF, 0xFFFF}));
}

TEST(ModelTable, AreaTenAcceptsTheColon) {
  ScratchDir dir;
  ModelTable t = LoadFile(dir, "[Area]\nNumber=1\nArea0=10\n");
  EXPECT_TRUE(t.IsAreaAccepted(58));
  EXPECT_FALSE(t.IsAreaAccepted(10));
}

TEST(ModelTable, GapsInTypeKeysKeepTheIndexes) {
  ScratchDir dir;
  ModelTable t = LoadFile(dir,
                          "[type]\nNUMBER=3\nType2=C2,2,x,y\ntype0=C0,1,x,y\nType01=bad,1\n"
                          "Type3=beyond,1\nType1=\n");
  ASSERT_EQ(t.entries().size(), 2u);
  EXPECT_EQ(t.entries()[0].index, 0);
  EXPECT_EQ(t.entries()[0].identity, "C0");
  EXPECT_EQ(t.entries()[1].index, 2);
  EXPECT_EQ(t.entries()[1].identity, "C2");
}

TEST(ModelTable, ShortLinesKeepEmptyFields) {
  ScratchDir dir;
  ModelTable t = LoadFile(dir, "[Type]\nNumber=3\nType0=" + kBlockHex + "\nType1=AA,3\n");
  ASSERT_EQ(t.entries().size(), 2u);
  EXPECT_EQ(t.entries()[0].identity, kBlockHex);
  EXPECT_EQ(t.entries()[0].typeValue, 0);
  EXPECT_EQ(t.entries()[0].text3, "");
  EXPECT_EQ(t.entries()[1].typeValue, 3);
  EXPECT_EQ(t.entries()[1].text4, "");
  EXPECT_EQ(t.FindByIdentity(Block()), std::nullopt);  // typeValue 0 rejects
}

TEST(ModelTable, NegativeOrNonNumericCountsReadAsNothing) {
  ScratchDir dir;
  ModelTable t = LoadFile(dir, "[Area]\nNumber=-3\nArea0=1\n[Type]\nNumber=many\nType0=A,1\n");
  EXPECT_EQ(t.areaCount(), 0);
  EXPECT_FALSE(t.IsAreaAccepted(0x31));
  EXPECT_TRUE(t.entries().empty());
}

TEST(ModelTable, HugeAreaCountIsCappedInsteadOfExhaustingMemory) {
  ScratchDir dir;
  ModelTable t = LoadFile(dir, "[Area]\nNumber=2000000000\nArea0=3\n");
  EXPECT_EQ(t.areaCount(), ModelTable::kMaxAreaCount);
  EXPECT_TRUE(t.IsAreaAccepted('3'));
}

TEST(ModelTable, MissingFileGivesAnEmptyTableThatRejectsEverything) {
  ScratchDir dir;
  ModelTable t;
  t.Load(dir.Path("config/r55/Model.dat"));
  EXPECT_EQ(t.areaCount(), 0);
  EXPECT_FALSE(t.IsAreaAccepted(0x30));
  EXPECT_EQ(t.FindByIdentity(Block()), std::nullopt);
}

TEST(ModelTable, ReloadReplacesTheEntries) {
  ScratchDir dir;
  ModelTable t;
  t.Load(dir.Write("m.dat", "[Area]\nNumber=1\nArea0=1\n[Type]\nNumber=1\nType0=A,1\n"));
  t.Load(dir.Write("m.dat", "[Area]\nArea0=2\n[Type]\nNumber=1\nType0=B,1\n"));
  // "Number" of Area defaults to the count already held.
  EXPECT_EQ(t.areaCodes(), (std::vector<uint16_t>{2}));
  ASSERT_EQ(t.entries().size(), 1u);
  EXPECT_EQ(t.entries()[0].identity, "B");
}

}  // namespace
}  // namespace fw
