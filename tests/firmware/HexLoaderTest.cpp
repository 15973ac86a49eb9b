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
  auto slot = s.hexRecords.Slot(i);
  return Bytes(slot.begin(), slot.begin() + static_cast<long>(n));
}

bool RestIsZero(const UpgradeState& s, int i, size_t from) {
  auto slot = s.hexRecords.Slot(i);
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
std::map<uint32_t, uint8_t> CheckTable(const UpgradeState& s, const std::vector<Rec>& recs) {
  EXPECT_EQ(s.hexRecords.Count(), static_cast<int>(recs.size()));
  std::map<uint32_t, uint8_t> image;
  uint32_t base = 0;
  uint32_t dataBytes = 0;
  for (size_t i = 0; i < recs.size(); ++i) {
    const Rec& r = recs[i];
    const bool last = i + 1 == recs.size();
    Bytes want = {static_cast<uint8_t>(r.count), static_cast<uint8_t>(r.address >> 8),
                  static_cast<uint8_t>(r.address & 0xFF), static_cast<uint8_t>(r.type)};
    if (last) {
      want.push_back(static_cast<uint8_t>(r.checksum));  // read from its first 10 digits
      want.resize(5);
    } else {
      want.insert(want.end(), r.data.begin(), r.data.end());
      want.push_back(r.count != 0 ? '/' : static_cast<uint8_t>(r.checksum));
      if (r.count != 0)
        dataBytes += static_cast<uint32_t>(r.count);
    }
    EXPECT_EQ(SlotBytes(s, static_cast<int>(i), want.size()), want) << "record " << i;
    EXPECT_TRUE(RestIsZero(s, static_cast<int>(i), want.size())) << "record " << i;
    HexRecordTable::Record view = s.hexRecords.At(static_cast<int>(i));
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

// srec_cat from srecord, run now on a 70000-byte binary: 200-byte records and
// extended-address records (type 04) past 64 KiB.
TEST(HexLoaderTools, SrecCatOutputDecodesWithEitherLineEnd) {
  if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "srec_cat (package srecord, installed by tools/bootstrap) is missing";
  }
  ScratchDir dir;
  Bytes bin = Pattern(70000);
  dir.Write("in.bin", std::string(bin.begin(), bin.end()));
  for (const char* ending : {"crlf", "nl"}) {
    std::string out = dir.Path(std::string("out-") + ending + ".hex");
    std::string cmd = "srec_cat '" + dir.Path("in.bin") + "' -binary -o '" + out +
                      "' -intel -Output_Block_Size=200 -line-termination=" + ending;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    UpgradeState s;
    s.hexFilePath = out;
    ASSERT_TRUE(LoadHexFile(s));
    // With LF alone each record loses its last digit, which is the checksum's: the data
    // records still decode whole and the '/' covers the lost byte.
    ExpectImage(CheckTable(s, ParseIntelHex(ScratchDir::Read(out))), bin);
  }
}

// --- Edge cases of the loader itself ---

const std::string kLine16 = ":10010000214601360121470136007EFE09D2190140\r\n";

TEST(HexLoader, ThreeDataLinesAndTheEndRecord) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, kLine16 + kLine16 + kLine16 + ":00000001FF\r\n");
  EXPECT_EQ(s.hexRecords.Count(), 4);
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
}

TEST(HexLoader, LowerCaseDigitsAndOtherCharactersCountAsZero) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, ":0400000012ab3cxy00\r\n:00000001FF\r\n");
  EXPECT_EQ(SlotBytes(s, 0, 9), (Bytes{0x04, 0x00, 0x00, 0x00, 0x12, 0x00, 0x30, 0x00, '/'}));
}

TEST(HexLoader, EmptyRecordInTheMiddleIsKeptWithoutMark) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, ":020000001122CB\r\n:00AB0000\r\n:01001000559A\r\n:00000001FF\r\n");
  EXPECT_EQ(s.hexRecords.Count(), 4);
  EXPECT_EQ(SlotBytes(s, 1, 5), (Bytes{0x00, 0xAB, 0x00, 0x00, 0x00}));
  EXPECT_EQ(s.hexRecords.At(1).addressLow, 0x00);
  EXPECT_EQ(s.hexRecords.At(1).addressHigh, 0xAB);
  EXPECT_EQ(SlotBytes(s, 2, 6), (Bytes{0x01, 0x00, 0x10, 0x00, 0x55, '/'}));
  EXPECT_EQ(s.chipLoadedBytes, 2u + 1u + 52u);
}

TEST(HexLoader, LineFeedAloneLosesTheLastCharacterOfEachRecord) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, ":00AB00AA\n:01001000559A\n:00000001FF\n");
  // "00AB00A": three bytes and an odd digit; the checksum is gone.
  EXPECT_EQ(SlotBytes(s, 0, 5), (Bytes{0x00, 0xAB, 0x00, 0x00, 0x00}));
  EXPECT_EQ(SlotBytes(s, 1, 6), (Bytes{0x01, 0x00, 0x10, 0x00, 0x55, '/'}));
}

TEST(HexLoader, TextWithoutColonFillsSlotZeroFromItsStart) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, "0102030405060708");
  EXPECT_EQ(s.hexRecords.Count(), 1);
  EXPECT_EQ(SlotBytes(s, 0, 6), (Bytes{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(s.chipLoadedBytes, 52u);

  LoadText(s, dir, "");
  EXPECT_EQ(s.hexRecords.Count(), 1);
  EXPECT_TRUE(RestIsZero(s, 0, 0));
  EXPECT_EQ(s.chipLoadedBytes, 52u);
}

TEST(HexLoader, ShortAndEmptyRecordTextsLeaveTheirSlotEmpty) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, ":\r\n::01\r\n:00000001FF\r\n");
  EXPECT_EQ(s.hexRecords.Count(), 4);
  EXPECT_TRUE(RestIsZero(s, 0, 0));
  EXPECT_TRUE(RestIsZero(s, 1, 0));
  // "01" alone: a byte count of 1 with nothing behind it still gets its mark.
  EXPECT_EQ(SlotBytes(s, 2, 6), (Bytes{0x01, 0, 0, 0, 0, '/'}));
  EXPECT_EQ(s.chipLoadedBytes, 53u);
}

TEST(HexLoader, StopsAfterFifteenHundredRecords) {
  ScratchDir dir;
  UpgradeState s;
  std::string text;
  for (int i = 0; i < 1600; ++i)
    text += ":0100000055AA\r\n";
  LoadText(s, dir, text + ":00000001FF\r\n");
  EXPECT_EQ(s.hexRecords.Count(), 1500);
  EXPECT_EQ(SlotBytes(s, 1499, 6), (Bytes{0x01, 0x00, 0x00, 0x00, 0x55, '/'}));
  EXPECT_EQ(s.chipLoadedBytes, 1500u + 52u);
}

// A record text far longer than a slot: the slot takes its first 262 bytes and nothing
// beyond; neither the next slot nor the end of the table is touched (run under the
// address sanitizer).
TEST(HexLoader, LongRecordNeverWritesPastItsSlot) {
  ScratchDir dir;
  UpgradeState s;
  std::string longLine = ":FF123400" + std::string(2000, 'C') + "\r\n";
  std::string text;
  for (int i = 0; i < 1498; ++i)
    text += ":0100000055AA\r\n";
  LoadText(s, dir, longLine + text + longLine + ":00000001FF\r\n");
  ASSERT_EQ(s.hexRecords.Count(), 1500);
  for (int i : {0, 1499}) {
    auto slot = s.hexRecords.Slot(i);
    EXPECT_EQ(slot[0], 0xFF);
    EXPECT_EQ(slot[1], 0x12);
    EXPECT_EQ(slot[2], 0x34);
    EXPECT_EQ(slot[4], 0xCC);
    EXPECT_EQ(slot[259], '/');
    EXPECT_EQ(slot[261], 0xCC);
  }
  EXPECT_EQ(SlotBytes(s, 1, 6), (Bytes{0x01, 0x00, 0x00, 0x00, 0x55, '/'}));
  EXPECT_TRUE(RestIsZero(s, 1, 6));
}

TEST(HexLoader, FileThatCannotBeOpenedKeepsTheLastTable) {
  ScratchDir dir;
  UpgradeState s;
  LoadText(s, dir, kLine16 + ":00000001FF\r\n");
  s.chipImageSize = 0;  // as the progress computation may leave it
  EXPECT_FALSE(UseHexFile(s, dir.Path("missing.hex")));
  EXPECT_EQ(s.hexFilePath, dir.Path("missing.hex"));
  EXPECT_EQ(s.hexRecords.Count(), 2);
  EXPECT_EQ(s.hexRecords.At(0).byteCount, 0x10);
  EXPECT_EQ(s.chipLoadedBytes, 68u);
  EXPECT_EQ(s.chipImageSize, 68u);
  // A folder (a hex key left empty gives the program folder) cannot be opened either.
  EXPECT_FALSE(UseHexFile(s, dir.Dir()));
  EXPECT_EQ(s.hexRecords.Count(), 2);
}

TEST(HexLoader, EmptyPathChangesNothing) {
  UpgradeState s;
  s.chipImageSize = 7;
  s.chipLoadedBytes = 9;
  EXPECT_FALSE(LoadHexFile(s));
  EXPECT_EQ(s.chipImageSize, 7u);
  EXPECT_FALSE(UseHexFile(s, ""));
  EXPECT_EQ(s.chipImageSize, 7u);
  EXPECT_EQ(s.hexRecords.Count(), 0);
}

}  // namespace
}  // namespace fw
