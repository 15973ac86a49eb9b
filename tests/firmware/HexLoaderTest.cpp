#include "firmware/HexLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/ScratchDir.h"

namespace fw {
namespace {

using test::ScratchDir;
using Bytes = std::vector<uint8_t>;

std::string TestDataDir() {
  if (const char* env = std::getenv("FLASHWRIGHT_TEST_DATA")) {
    return env;
  }
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "data").string();
}

Bytes SlotBytes(const UpgradeState& s, int i, size_t n) {
  auto slot = HexRecords(s).Slot(i);
  return Bytes(slot.begin(), slot.begin() + static_cast<long>(n));
}

bool RestIsZero(const UpgradeState& s, int i, size_t from) {
  auto slot = HexRecords(s).Slot(i);
  return std::all_of(slot.begin() + static_cast<long>(from), slot.end(),
                     [](uint8_t b) { return b == 0; });
}

// Loads `text` as a hex file.
void LoadText(UpgradeState& s, const ScratchDir& dir, const std::string& text) {
  s.hexFilePath = dir.Write("chip.hex", text);
  ASSERT_TRUE(LoadHexFile(s));
}

// --- An independent reading of Intel HEX, for files made by other tools ---

struct Rec {
  int count, address, type;
  Bytes data;
  int checksum;
};

int Hex2(const std::string& t, size_t at) {
  return std::stoi(t.substr(at, 2), nullptr, 16);
}

std::vector<Rec> ParseIntelHex(const std::string& file) {
  std::vector<Rec> recs;
  size_t pos = 0;
  while ((pos = file.find(':', pos)) != std::string::npos) {
    size_t end = file.find_first_of("\r\n", pos);
    std::string line = file.substr(pos + 1, end - pos - 1);
    Rec r{Hex2(line, 0), Hex2(line, 2) * 256 + Hex2(line, 4), Hex2(line, 6), {}, 0};
    int sum = r.count + Hex2(line, 2) + Hex2(line, 4) + r.type;
    for (int k = 0; k < r.count; ++k) {
      r.data.push_back(static_cast<uint8_t>(Hex2(line, 8 + 2 * k)));
      sum += r.data.back();
    }
    r.checksum = Hex2(line, 8 + 2 * r.count);
    EXPECT_EQ((sum + r.checksum) & 0xFF, 0) << "tool wrote a bad checksum: " << line;
    recs.push_back(r);
    pos = end;
  }
  return recs;
}

// Checks every slot against the records; returns the image the type-00 records carry.
// Address records that keep the base at 0 (types 02 and 04) and start addresses (03, 05)
// take no slot.
std::map<uint32_t, uint8_t> CheckTable(const UpgradeState& s, std::vector<Rec> recs) {
  std::erase_if(recs, [](const Rec& r) { return r.type >= 2 && r.type <= 5; });
  EXPECT_EQ(HexRecords(s).Count(), static_cast<int>(recs.size()));
  std::map<uint32_t, uint8_t> image;
  uint32_t base = 0;
  uint32_t dataBytes = 0;
  for (size_t i = 0; i < recs.size(); ++i) {
    const Rec& r = recs[i];
    const bool last = i + 1 == recs.size();
    Bytes want = {static_cast<uint8_t>(r.count), static_cast<uint8_t>(r.address >> 8),
                  static_cast<uint8_t>(r.address & 0xFF), static_cast<uint8_t>(r.type)};
    if (last) {
      EXPECT_EQ(r.type, 1) << "the end record comes last";
      want.push_back(static_cast<uint8_t>(r.checksum));
    } else {
      want.insert(want.end(), r.data.begin(), r.data.end());
      want.push_back(r.count != 0 ? '/' : static_cast<uint8_t>(r.checksum));
      if (r.count != 0)
        dataBytes += static_cast<uint32_t>(r.count);
    }
    EXPECT_EQ(SlotBytes(s, static_cast<int>(i), want.size()), want) << "record " << i;
    EXPECT_TRUE(RestIsZero(s, static_cast<int>(i), want.size())) << "record " << i;
    HexRecordTable::Record view = HexRecords(s).At(static_cast<int>(i));
    EXPECT_EQ(view.byteCount, r.count);
    if (r.type == 4)
      base = static_cast<uint32_t>((r.data[0] << 8 | r.data[1]) << 16);
    if (r.type == 0 && !last) {
      for (int k = 0; k < r.count; ++k) {
        EXPECT_EQ(view.data[static_cast<size_t>(k)], r.data[static_cast<size_t>(k)]);
        image[base + static_cast<uint32_t>(r.address + k)] = view.data[static_cast<size_t>(k)];
      }
    }
  }
  EXPECT_EQ(s.chipLoadedBytes, dataBytes + 52);
  EXPECT_EQ(s.chipImageSize, dataBytes + 52);
  return image;
}

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>((i * 37 + (i >> 3)) & 0xFF);
  return b;
}

void ExpectImage(const std::map<uint32_t, uint8_t>& image, const Bytes& want) {
  ASSERT_EQ(image.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    auto it = image.find(static_cast<uint32_t>(i));
    ASSERT_NE(it, image.end()) << i;
    ASSERT_EQ(it->second, want[i]) << i;
  }
}

TEST(HexLoaderTools, ObjcopyOutputDecodesRecordByRecord) {
  UpgradeState s;
  s.hexFilePath = TestDataDir() + "/hex/objcopy-pattern-1000.hex";
  ASSERT_TRUE(LoadHexFile(s));
  std::vector<Rec> recs = ParseIntelHex(ScratchDir::Read(s.hexFilePath));
  ASSERT_EQ(recs.size(), 64u);  // 62 full records, one of 8 bytes, the end record
  ExpectImage(CheckTable(s, recs), Pattern(1000));
  EXPECT_EQ(s.chipLoadedBytes, 1052u);
}

// srec_cat from srecord, run now on a 60000-byte binary: 200-byte records after an
// extended-address record (type 04) that keeps the base at 0.
TEST(HexLoaderTools, SrecCatOutputDecodesWithEitherLineEnd) {
  if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "srec_cat (package srecord, installed by tools/bootstrap) is missing";
  }
  ScratchDir dir;
  Bytes bin = Pattern(60000);
  dir.Write("in.bin", std::string(bin.begin(), bin.end()));
  for (const char* ending : {"crlf", "nl"}) {
    std::string out = dir.Path(std::string("out-") + ending + ".hex");
    std::string cmd = "srec_cat '" + dir.Path("in.bin") + "' -binary -o '" + out +
                      "' -intel -Output_Block_Size=200 -line-termination=" + ending;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    UpgradeState s;
    s.hexFilePath = out;
    ASSERT_TRUE(LoadHexFile(s)) << HexRefusalText(HexRecords(s).Refusal().value_or(HexRefusal{}));
    ExpectImage(CheckTable(s, ParseIntelHex(ScratchDir::Read(out))), bin);
  }
}

// Past 64 KiB srec_cat moves the address base with a type 04 record, which the chip cannot
// take (it is given pages by records without data instead): the file is refused there.
TEST(HexLoaderTools, SrecCatOutputPast64KiBIsRefusedAtItsAddressRecord) {
  if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "srec_cat (package srecord, installed by tools/bootstrap) is missing";
  }
  ScratchDir dir;
  Bytes bin = Pattern(70000);
  dir.Write("in.bin", std::string(bin.begin(), bin.end()));
  const std::string out = dir.Path("big.hex");
  const std::string cmd = "srec_cat '" + dir.Path("in.bin") + "' -binary -o '" + out +
                          "' -intel -Output_Block_Size=200";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  const std::string text = ScratchDir::Read(out);
  // The line of ":020000040001F9", counted independently.
  const size_t at = text.find(":020000040001F9");
  ASSERT_NE(at, std::string::npos);
  const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
  UpgradeState s;
  s.hexFilePath = out;
  EXPECT_FALSE(LoadHexFile(s));
  ASSERT_TRUE(HexRecords(s).Refusal().has_value());
  EXPECT_EQ(HexRecords(s).Refusal()->line, line);
  EXPECT_NE(HexRecords(s).Refusal()->reason.find("moves the address base to 0001"),
            std::string::npos);
  EXPECT_EQ(HexRecords(s).Count(), 0);
}

// --- Edge cases of the loader itself ---

const std::string kLine16 = ":10010000214601360121470136007EFE09D2190140\r\n";
const std::string kEnd = ":00000001FF\r\n";

TEST(HexLoader, ThreeDataLinesAndTheEndRecord) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, kLine16 + kLine16 + kLine16 + kEnd);
  EXPECT_EQ(HexRecords(s).Count(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(SlotBytes(s, i, 21),
              (Bytes{0x10, 0x01, 0x00, 0x00, 0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47,
                     0x01, 0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01, '/'}));
    EXPECT_TRUE(RestIsZero(s, i, 21));
  }
  EXPECT_EQ(SlotBytes(s, 3, 5), (Bytes{0x00, 0x00, 0x00, 0x01, 0xFF}));
  EXPECT_TRUE(RestIsZero(s, 3, 5));
  EXPECT_EQ(s.chipLoadedBytes, 100u);
  EXPECT_EQ(s.chipImageSize, 100u);
  EXPECT_FALSE(HexRecords(s).Refusal().has_value());
}

TEST(HexLoader, LowerCaseDigitsCountAsTheirValues) {
  ScratchDir dir;
  UpgradeState s;
  // 04 00 00 00 12 AB 3C DE sum to 0x1DB; the checksum is 0x100 - 0xDB = 0x25.
  LoadText(s, dir, ":0400000012ab3cde25\r\n:00000001ff\r\n");
  EXPECT_EQ(SlotBytes(s, 0, 9), (Bytes{0x04, 0x00, 0x00, 0x00, 0x12, 0xAB, 0x3C, 0xDE, '/'}));
  EXPECT_EQ(s.chipLoadedBytes, 4u + 52u);
}

TEST(HexLoader, PageRecordInTheMiddleIsKeptWithItsChecksum) {
  ScratchDir dir;
  UpgradeState s;
  // 02 00 00 00 11 22 sum to 0x35 (checksum CB); 00 AB 00 00 to 0xAB (55); 01 00 10 00 55
  // to 0x66 (9A).
  LoadText(s, dir, ":020000001122CB\r\n:00AB000055\r\n:01001000559A\r\n" + kEnd);
  EXPECT_EQ(HexRecords(s).Count(), 4);
  EXPECT_EQ(SlotBytes(s, 1, 6), (Bytes{0x00, 0xAB, 0x00, 0x00, 0x55, 0x00}));
  EXPECT_EQ(HexRecords(s).At(1).addressLow, 0x00);
  EXPECT_EQ(HexRecords(s).At(1).addressHigh, 0xAB);
  EXPECT_EQ(SlotBytes(s, 2, 6), (Bytes{0x01, 0x00, 0x10, 0x00, 0x55, '/'}));
  EXPECT_EQ(s.chipLoadedBytes, 2u + 1u + 52u);
}

TEST(HexLoader, LinesEndingInALineFeedAloneDecodeWhole) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, ":00AB000055\n:01001000559A\n\n:00000001FF");  // an empty line, no last LF
  EXPECT_EQ(HexRecords(s).Count(), 3);
  EXPECT_EQ(SlotBytes(s, 0, 5), (Bytes{0x00, 0xAB, 0x00, 0x00, 0x55}));
  EXPECT_EQ(SlotBytes(s, 1, 6), (Bytes{0x01, 0x00, 0x10, 0x00, 0x55, '/'}));
}

TEST(HexLoader, AddressRecordsThatKeepTheBaseAtZeroTakeNoSlot) {
  ScratchDir dir;
  UpgradeState s;
  // 02 00 00 04 00 00: base 0 (FA); 02 00 00 02 00 00: segment 0 (FC); 04 00 00 05 and four
  // zero bytes: a start address (F7).
  LoadText(s, dir,
           ":020000040000FA\r\n:020000020000FC\r\n" + kLine16 + ":0400000500000000F7\r\n" + kEnd);
  EXPECT_EQ(HexRecords(s).Count(), 2);
  EXPECT_EQ(HexRecords(s).At(0).byteCount, 0x10);
  EXPECT_EQ(HexRecords(s).At(1).type, 0x01);
}

TEST(HexLoader, RecordsUpToTheTablesSizeFitExactly) {
  ScratchDir dir;
  UpgradeState s;
  std::string text;
  for (int i = 0; i < 1499; ++i)
    text += ":0100000055AA\r\n";
  LoadText(s, dir, text + kEnd);
  EXPECT_EQ(HexRecords(s).Count(), 1500);
  EXPECT_EQ(SlotBytes(s, 1498, 6), (Bytes{0x01, 0x00, 0x00, 0x00, 0x55, '/'}));
  EXPECT_EQ(SlotBytes(s, 1499, 5), (Bytes{0x00, 0x00, 0x00, 0x01, 0xFF}));
  EXPECT_EQ(s.chipLoadedBytes, 1499u + 52u);
}

// The largest record fills 260 bytes of its slot; the next slot starts clean (run under the
// address sanitizer).
TEST(HexLoader, LargestRecordStaysInsideItsSlot) {
  ScratchDir dir;
  UpgradeState s;
  // FF 12 34 00 and 255 bytes CC: 0x145 + 255 * 0xCC = 0xCC79; the checksum is 0x87.
  const std::string longLine = ":FF123400" + std::string(510, 'C') + "87\r\n";
  std::string text;
  for (int i = 0; i < 1497; ++i)
    text += ":0100000055AA\r\n";
  LoadText(s, dir, longLine + text + longLine + kEnd);
  ASSERT_EQ(HexRecords(s).Count(), 1500);
  for (int i : {0, 1498}) {
    auto slot = HexRecords(s).Slot(i);
    EXPECT_EQ(slot[0], 0xFF);
    EXPECT_EQ(slot[1], 0x12);
    EXPECT_EQ(slot[2], 0x34);
    EXPECT_EQ(slot[4], 0xCC);
    EXPECT_EQ(slot[258], 0xCC);
    EXPECT_EQ(slot[259], '/');
    EXPECT_TRUE(RestIsZero(s, i, 260));
  }
  EXPECT_EQ(SlotBytes(s, 1, 6), (Bytes{0x01, 0x00, 0x00, 0x00, 0x55, '/'}));
}

// --- Corrupt files are refused whole, naming the line ---

struct Corruption {
  const char* name;
  std::string text;
  int line;            // 0: the file as a whole
  const char* reason;  // the reason, exactly
};

class HexCorruption : public testing::TestWithParam<Corruption> {};

TEST_P(HexCorruption, IsRefusedNamingTheFileAndLine) {
  const Corruption& c = GetParam();
  ScratchDir dir;
  UpgradeState s;
  // A good file first: a refused one must not leave its records behind.
  LoadText(s, dir, kLine16 + kEnd);
  s.hexFilePath = dir.Write("bad.hex", c.text);
  EXPECT_FALSE(LoadHexFile(s));
  EXPECT_EQ(HexRecords(s).Count(), 0);
  EXPECT_TRUE(RestIsZero(s, 0, 0));
  EXPECT_EQ(s.chipLoadedBytes, 52u);
  EXPECT_EQ(s.chipImageSize, 52u);
  ASSERT_TRUE(HexRecords(s).Refusal().has_value());
  EXPECT_EQ(HexRecords(s).Refusal()->line, c.line);
  EXPECT_EQ(HexRecords(s).Refusal()->reason, c.reason);
  EXPECT_EQ(HexFileRefusal(s), &*HexRecords(s).Refusal());
  const std::string message = HexRefusalText(*HexRecords(s).Refusal());
  const std::string where = c.line > 0 ? "line " + std::to_string(c.line) + ": " : "";
  EXPECT_EQ(message, "The firmware chip hex file bad.hex is refused: " + where + c.reason +
                         ". Please choose another hex file!");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HexCorruption,
    testing::Values(
        Corruption{"Checksum", kLine16 + ":0400000012AB3CDE26\r\n" + kEnd, 2,
                   "its checksum is 26, but its bytes need 25"},
        Corruption{"OddLength", ":0400000012AB3CDE2\r\n" + kEnd, 1,
                   "it holds an odd number of digits (17)"},
        Corruption{"CountLargerThanTheLine", kLine16 + kLine16 + ":0800000012AB3CDE25\r\n" + kEnd,
                   3, "its byte count says 8 data bytes, but it holds 4"},
        Corruption{"CountSmallerThanTheLine", ":0200000012AB3CDE25\r\n" + kEnd, 1,
                   "its byte count says 2 data bytes, but it holds 4"},
        Corruption{"NotAHexDigit", ":0400000012AB3CXE25\r\n" + kEnd, 1,
                   "'X' is not a hexadecimal digit"},
        Corruption{"Blank", ":04000000 12AB3CDE25\r\n" + kEnd, 1, "' ' is not a hexadecimal digit"},
        Corruption{"NoColon", kLine16 + "0400000012AB3CDE25\r\n" + kEnd, 2,
                   "it does not begin with ':'"},
        Corruption{"TooShort", ":00AB0000\r\n" + kEnd, 1,
                   "it is too short for a record (8 digits; a record has at least 10)"},
        Corruption{"UnknownType", kLine16 + ":00000006FA\r\n" + kEnd, 2,
                   "its record type 06 is none of the types 00 to 05"},
        Corruption{"EndRecordWithData", kLine16 + ":01000001AA54\r\n", 2,
                   "its end record holds data"},
        Corruption{"AddressBaseMoved", ":020000040001F9\r\n" + kLine16 + kEnd, 1,
                   "its address record (type 04) moves the address base to 0001: the firmware "
                   "chip takes addresses below 64 KiB only (its pages are named by records "
                   "without data)"},
        Corruption{"NoEndRecord", kLine16 + kLine16, 0, "it has no end record (:00000001FF)"},
        Corruption{"Empty", "", 0, "it has no end record (:00000001FF)"},
        Corruption{"RecordAfterTheEnd", kLine16 + kEnd + kLine16, 3,
                   "it follows the end record (line 2)"}),
    [](const testing::TestParamInfo<Corruption>& info) { return info.param.name; });

TEST(HexLoader, MoreRecordsThanTheTableHoldsAreRefusedAsTooLarge) {
  ScratchDir dir;
  UpgradeState s;
  std::string text;
  for (int i = 0; i < 1600; ++i)
    text += ":0100000055AA\r\n";
  s.hexFilePath = dir.Write("big.hex", text + kEnd);
  EXPECT_FALSE(LoadHexFile(s));
  EXPECT_EQ(HexRecords(s).Count(), 0);
  ASSERT_TRUE(HexRecords(s).Refusal().has_value());
  EXPECT_TRUE(HexRecords(s).Refusal()->tooLarge);
  EXPECT_EQ(HexRefusalText(*HexRecords(s).Refusal()),
            "The firmware chip hex file big.hex is too large: it holds 1601 records, and at "
            "most 1500 fit. Please choose another hex file!");
}

TEST(HexLoader, FileThatCannotBeOpenedKeepsTheLastTable) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, kLine16 + ":00000001FF\r\n");
  s.chipImageSize = 0;  // as the progress computation may leave it
  EXPECT_FALSE(UseHexFile(s, dir.Path("missing.hex")));
  EXPECT_EQ(s.hexFilePath, dir.Path("missing.hex"));
  EXPECT_EQ(HexRecords(s).Count(), 2);
  EXPECT_EQ(HexRecords(s).At(0).byteCount, 0x10);
  EXPECT_EQ(s.chipLoadedBytes, 68u);
  EXPECT_EQ(s.chipImageSize, 68u);
  // A folder (a hex key left empty gives the program folder) cannot be opened either.
  EXPECT_FALSE(UseHexFile(s, dir.Dir()));
  EXPECT_EQ(HexRecords(s).Count(), 2);
}

TEST(HexLoader, EmptyPathChangesNothing) {
  UpgradeState s;
  s.chipImageSize = 7;
  s.chipLoadedBytes = 9;
  EXPECT_FALSE(LoadHexFile(s));
  EXPECT_EQ(s.chipImageSize, 7u);
  EXPECT_FALSE(UseHexFile(s, ""));
  EXPECT_EQ(s.chipImageSize, 7u);
  EXPECT_EQ(HexRecords(s).Count(), 0);
}

}  // namespace
}  // namespace fw
