// Writing the radio over a pseudo-terminal against the simulated framed link: the font
// decision table, the language at offset 766, the block order (font block 0 last), the
// progress and completion messages, the rows and the endings, and the job count of the
// unattended repeat mode.

#include "radiodata/WriteRadio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/Installation.h"
#include "core/Status.h"
#include "platform/Profile.h"
#include "support/FakeClockScope.h"
#include "support/RecordingView.h"
#include "support/SimulatedLink.h"
#include "support/TempDir.h"

namespace fw {
namespace {

using sim::FramedLinkResponder;
using Cmd = FramedLinkResponder::Command;
using Fault = FramedLinkResponder::Fault;
using Memory = FramedLinkResponder::Memory;
using test::Row;

TEST(ChooseFont, FirstMatchingRowDecides) {
  struct Case {
    const char* model;
    uint16_t language;
    FontSource source;
    uint16_t result;
  } cases[] = {
      // "KV680" also contains "KV": the first row wins.
      {"KV68000000N02000L", 0x0412, FontSource::kNone, 0x0804},
      {"KZ66000000N02000L", 0x0412, FontSource::kNone, 0x0804},  // "KZ660"
      {"KZ66100000N02000L", 0x0412, FontSource::kNone, 0x0409},
      // "KX2X" rows: no font, English, whatever the data said.
      {"KX2X00000002000", 0x0804, FontSource::kNone, 0x0409},
      {"KZ66100000NB2000", 0x040C, FontSource::kNone, 0x0409},
      {"KW66000000N02000L", 0x0412, FontSource::kNone, 0x0409},
      // Neither "KV" nor "KW63": simple Chinese.
      {"AB1234567890", 0x0409, FontSource::kSimpleChinese, 0x0804},
      {"KW6200000002000", 0x0412, FontSource::kSimpleChinese, 0x0804},
      // "KV" or "KW63" with Korean.
      {"KV55000000N02000L", 0x0412, FontSource::kKorean, 0x0412},
      {"KW6300000002000", 0x0412, FontSource::kKorean, 0x0412},
      // Other languages: kept when the radio knows them, else English.
      {"KV55000000N02000L", 0x0407, FontSource::kLanguage, 0x0409},
      {"KV55000000N02000L", 0x0000, FontSource::kLanguage, 0x0409},
      {"KW6300000002000", 0x040C, FontSource::kLanguage, 0x040C},
      {"KV55000000N02000L", 0x041E, FontSource::kLanguage, 0x041E},
      {"KV55000000N02000L", 0x041F, FontSource::kLanguage, 0x041F},
      {"KV55000000N02000L", 0x0804, FontSource::kLanguage, 0x0804},
      {"KV55000000N02000L", 0x0409, FontSource::kLanguage, 0x0409},
      // Case-sensitive substring tests.
      {"kv680", 0x0409, FontSource::kSimpleChinese, 0x0804},
  };
  for (const Case& c : cases) {
    const FontChoice choice = ChooseFont(c.model, c.language);
    EXPECT_EQ(choice.source, c.source) << c.model << " " << c.language;
    EXPECT_EQ(choice.language, c.result) << c.model << " " << c.language;
  }
}

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>((i * seed + (i >> 9)) & 0xFF);
  }
  return v;
}

class WriteRadioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.SetView(&view);
    LoadingInstallation(state).programDir = dir.Path();
    LoadingInstallation(state).settingsPath = dir.Path() + "Flashwright.ini";
    state.radioModel = "KV55";
    state.radioDataSize = UpgradeState::kDefaultRadioDataSize;
    state.templateData = Pattern(UpgradeState::kDefaultRadioDataSize, 7);
    SetLanguage(0x0412);
    LoadingInstallation(state).fontBufferA = Pattern(UpgradeState::kFontImageBufferSize, 11);
    LoadingInstallation(state).fontBufferB = Pattern(UpgradeState::kFontImageBufferSize, 13);
    UseModel("KV55000000N00000L");
    // The row the full sequence adds before it writes.
    AddRow(state, kMarkBusy, "Writing the radio, please wait...");
  }
  void TearDown() override { state.radioLink.Disconnect(); }

  void SetLanguage(uint16_t language) {
    state.templateData[766] = static_cast<uint8_t>(language & 0xFF);
    state.templateData[767] = static_cast<uint8_t>(language >> 8);
  }
  void UseModel(const std::string& modelText) {
    sim.With([&](FramedLinkResponder& r) {
      r.SetInfoBlock(FramedLinkResponder::MakeInfoBlock("KV55000000N02000", modelText, '1'));
    });
  }
  std::vector<uint8_t> Image(Memory m) {
    return sim.With([&](FramedLinkResponder& r) { return r.MemoryImage(m); });
  }
  std::vector<FramedLinkResponder::SeenRequest> Requests() {
    return sim.With([](FramedLinkResponder& r) { return r.Requests(); });
  }
  std::vector<FramedLinkResponder::SeenRequest> WritesTo(Memory m) {
    std::vector<FramedLinkResponder::SeenRequest> out;
    for (const auto& r : Requests()) {
      if (r.command == Cmd::kWriteBlock && r.memory == m) {
        out.push_back(r);
      }
    }
    return out;
  }
  // The data as the radio must hold it: the template with the language fixed.
  std::vector<uint8_t> ExpectedData(uint16_t language) {
    std::vector<uint8_t> d = Pattern(UpgradeState::kDefaultRadioDataSize, 7);
    d[766] = static_cast<uint8_t>(language & 0xFF);
    d[767] = static_cast<uint8_t>(language >> 8);
    return d;
  }
  void ExpectDataWritten(uint16_t language) {
    const std::vector<uint8_t> mem = Image(Memory::kData);
    const std::vector<uint8_t> expected = ExpectedData(language);
    ASSERT_GE(mem.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), mem.begin()));
    EXPECT_EQ(state.templateData, expected);
  }

  test::TempDir dir;
  test::FakeClockScope clock;
  test::SimulatedLink sim;
  test::RecordingView view;
  UpgradeState state;
  test::JobOnSimulatedLink job{clock, sim, state};
};

TEST_F(WriteRadioTest, KoreanRadioGetsDataThenFontWithBlockZeroLast) {
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  ExpectDataWritten(0x0412);
  EXPECT_EQ(state.fontLanguage, 0x0412);
  EXPECT_EQ(state.fontImageSize.load(), 153600u);

  // 129976 bytes: 649 blocks of 200 and one of 176, in order.
  const auto data = WritesTo(Memory::kData);
  ASSERT_EQ(data.size(), 650u);
  for (size_t i = 0; i < 649; ++i) {
    EXPECT_EQ(data[i].offset, 200 * i);
    EXPECT_EQ(data[i].length, 200);
    EXPECT_EQ(data[i].areaField, 0);
  }
  EXPECT_EQ(data[649].offset, 129800u);
  EXPECT_EQ(data[649].length, 176);

  // 153600 bytes of font: blocks 1 .. 767, then block 0: 768 writes, the last at 0.
  const auto font = WritesTo(Memory::kFont);
  ASSERT_EQ(font.size(), 768u);
  for (size_t i = 0; i < 767; ++i) {
    EXPECT_EQ(font[i].offset, 200 * (i + 1));
  }
  EXPECT_EQ(font.back().offset, 0u);
  EXPECT_EQ(font.back().length, 200);
  const std::vector<uint8_t> fontMem = Image(Memory::kFont);
  EXPECT_TRUE(std::equal(LoadingInstallation(state).fontBufferB.begin(),
                         LoadingInstallation(state).fontBufferB.begin() + 153600, fontMem.begin()));

  // The information areas asked for: 8 (model), 7 (data), 5 (font); the end of access last.
  std::vector<int> areas;
  for (const auto& r : Requests()) {
    if (r.command == Cmd::kReadInfo) {
      areas.push_back(r.infoArea);
    }
  }
  EXPECT_EQ(areas, (std::vector<int>{8, 7, 5}));
  EXPECT_EQ(Requests().back().command, Cmd::kEndAccess);
  EXPECT_EQ(Requests().back().infoArea, 0);

  // One progress event per block, except the font remainder (none here); then the end of
  // the write with the whole count.
  const auto progress = view.ProgressOf(Phase::Write);
  ASSERT_EQ(progress.size(), 650u + 768u);
  EXPECT_EQ(progress[649], 129976);
  EXPECT_EQ(progress.back(), 129976 + 153600);
  EXPECT_EQ(view.WriteCompletions(), std::vector<int>{129976 + 153600});
  EXPECT_TRUE(std::holds_alternative<WriteCompleteEvent>(view.Events().back()));
  EXPECT_EQ(state.bytesDone.load(), 129976 + 153600);

  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Write the radio completed!"},
                                           {kMarkDone, "All upgrade completed successfully!"}}));
  EXPECT_EQ(view.StatusTexts(), (std::vector<std::string>{"Write the radio completed!",
                                                          "All upgrade completed successfully!"}));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "All upgrade completed successfully!");
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::None);
  EXPECT_EQ(state.rowCount, 2);
  EXPECT_TRUE(view.Timers().empty());
  // The two seconds before the completion row.
  EXPECT_EQ(clock.clock().Sleeps().back(), 2000u);
}

TEST_F(WriteRadioTest, UnknownLanguageBecomesEnglishWithTheLanguageImage) {
  SetLanguage(0x0407);
  // 0409.bin of 1000 bytes: an image of 1050 bytes, written with 100 bytes more.
  const std::vector<uint8_t> file = Pattern(1000, 5);
  dir.Write("0409.bin", file);
  // What fontImage holds behind the image goes out with it.
  std::fill(state.fontImage.begin(), state.fontImage.end(), 0xA5);
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  ExpectDataWritten(0x0409);
  EXPECT_EQ(state.languageImageSize, 1050u);
  EXPECT_EQ(state.fontImageSize.load(), 1150u);
  // The image is the job's: the installation other jobs share keeps the one it started with.
  EXPECT_EQ(state.installation->languageFontSize, 0u);
  EXPECT_TRUE(std::all_of(state.installation->fontBufferC.begin(),
                          state.installation->fontBufferC.end(), [](uint8_t b) { return b == 0; }));

  const auto font = WritesTo(Memory::kFont);
  ASSERT_EQ(font.size(), 6u);  // blocks 1 .. 4, the remainder of 150, block 0
  EXPECT_EQ(font[3].offset, 800u);
  EXPECT_EQ(font[4].offset, 1000u);
  EXPECT_EQ(font[4].length, 150);
  EXPECT_EQ(font[5].offset, 0u);
  const std::vector<uint8_t> mem = Image(Memory::kFont);
  // Header: version "1.01.03" in UTF-16LE, the language id at 15-16, then the file at 50.
  const uint8_t version[] = {'1', 0, '.', 0, '0', 0, '1', 0, '.', 0, '0', 0, '3', 0};
  EXPECT_TRUE(std::equal(std::begin(version), std::end(version), mem.begin()));
  EXPECT_EQ(mem[15], 0x09);
  EXPECT_EQ(mem[16], 0x04);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), mem.begin() + 50));
  EXPECT_TRUE(
      std::all_of(mem.begin() + 1050, mem.begin() + 1150, [](uint8_t b) { return b == 0xA5; }));
  EXPECT_TRUE(std::all_of(mem.begin() + 1150, mem.end(), [](uint8_t b) { return b == 0; }));
  // The remainder block posts no progress: 650 data + 4 + block 0.
  EXPECT_EQ(view.ProgressOf(Phase::Write).size(), 650u + 5u);
  EXPECT_EQ(state.bytesDone.load(), 129976 + 1150);
}

TEST_F(WriteRadioTest, MissingLanguageImageSkipsTheFontWrite) {
  SetLanguage(0x040C);  // no 040C.bin in the installation
  std::fill(state.fontImage.begin(), state.fontImage.end(), 0xA5);
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  ExpectDataWritten(0x040C);
  EXPECT_EQ(state.fontImageSize.load(), 0u);
  EXPECT_TRUE(WritesTo(Memory::kFont).empty());
  const std::vector<uint8_t> mem = Image(Memory::kFont);
  EXPECT_TRUE(std::all_of(mem.begin(), mem.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(WriteRadioTest, AnOversizedLanguageImageIsLeftOutAndSaidInARow) {
  SetLanguage(0x041F);
  // One byte more than a font image holds.
  dir.Write("041F.bin", Pattern(153601, 3));
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  ExpectDataWritten(0x041F);
  EXPECT_EQ(state.fontImageSize.load(), 0u);
  EXPECT_TRUE(WritesTo(Memory::kFont).empty());
  const std::vector<Row> rows = view.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].mark, kMarkFailed);
  EXPECT_EQ(rows[0].text.rfind("The language font was not written: \"", 0), 0u) << rows[0].text;
  EXPECT_NE(rows[0].text.find("041F.bin\" is larger than 153600 bytes"), std::string::npos)
      << rows[0].text;
  EXPECT_EQ(rows[1], (Row{kMarkDone, "Write the radio completed!"}));
}

TEST_F(WriteRadioTest, ModelsWithoutFontAndZeroLanguage) {
  // KV680 takes the first row although it contains "KV": Chinese, no font.
  UseModel("KV68000000N00000L");
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  ExpectDataWritten(0x0804);
  EXPECT_TRUE(WritesTo(Memory::kFont).empty());
  EXPECT_EQ(state.bytesDone.load(), 129976);

  // A model of neither family gets simple Chinese; a language of 0 is stored as such.
  state.templateData = Pattern(UpgradeState::kDefaultRadioDataSize, 7);
  SetLanguage(0);
  UseModel("AB55000000N00000L");
  sim.With([](FramedLinkResponder& r) { r.ClearRecord(); });
  WriteRadio(state);
  ExpectDataWritten(0x0804);
  EXPECT_EQ(WritesTo(Memory::kFont).size(), 768u);
  const std::vector<uint8_t> mem = Image(Memory::kFont);
  EXPECT_TRUE(std::equal(LoadingInstallation(state).fontBufferA.begin(),
                         LoadingInstallation(state).fontBufferA.begin() + 153600, mem.begin()));
}

TEST_F(WriteRadioTest, Kx2xAsksForAreasZeroAndTwo) {
  state.radioModel = "KX2X";
  UseModel("KX2X00000000N00000L");
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  std::vector<int> areas;
  for (const auto& r : Requests()) {
    if (r.command == Cmd::kReadInfo) {
      areas.push_back(r.infoArea);
    }
  }
  EXPECT_EQ(areas, (std::vector<int>{0, 2}));
  ExpectDataWritten(0x0409);
}

TEST_F(WriteRadioTest, RepeatModeCountsJobsAndArmsTheTimer) {
  LoadingInstallation(state).readWriteLog = 5;
  WriteRadio(state);
  EXPECT_EQ(state.completedJobs, 1);
  EXPECT_EQ(ProfileGetInt("Setting", "UpdateTimes", -1, LoadingInstallation(state).settingsPath),
            1);
  SetLanguage(0x0412);
  WriteRadio(state);
  EXPECT_EQ(state.completedJobs, 2);
  EXPECT_EQ(ProfileGetInt("Setting", "UpdateTimes", -1, LoadingInstallation(state).settingsPath),
            2);
  EXPECT_TRUE(view.Boxes().empty());
  EXPECT_EQ(view.Timers(), (std::map<Timer, uint32_t>{{Timer::AutoStart, 40000u}}));
}

TEST_F(WriteRadioTest, ChipUpdateToFollowStopsAfterTheWriteRow) {
  state.updateChip = 1;
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Write the radio completed!"}}));
  EXPECT_EQ(view.StatusText(), "Write the radio completed!");
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(WriteRadioTest, NoConnectionSaysSoAndLeavesResultAlone) {
  sim.With([](FramedLinkResponder& r) { r.SetUnreachableConnects(1000); });
  state.resultOk = 0;
  EXPECT_EQ(WriteRadio(state), WriteResult::PortFailed);
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_TRUE(view.Boxes().empty()) << "the job shows the box";
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkBusy, "Writing the radio, please wait..."}}));
}

TEST_F(WriteRadioTest, FailuresAbandonTheLinkAndPostTheWriteError) {
  struct Case {
    const char* name;
    Cmd command;
    int skip;
    size_t progressPosts;
  } cases[] = {
      {"information block", Cmd::kReadInfo, 0, 0},
      {"data area", Cmd::kReadInfo, 1, 0},
      {"font area", Cmd::kReadInfo, 2, 650},
      {"first data block", Cmd::kWriteBlock, 0, 0},
      {"last data block", Cmd::kWriteBlock, 649, 649},
      {"font block 0", Cmd::kWriteBlock, 650 + 767, 650 + 767},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::RecordingView local;
    state.SetView(&local);
    state.resultOk = 0;
    state.bytesDone = 0;
    sim.With([&](FramedLinkResponder& r) {
      r.ClearRecord();
      r.ClearFaults();
      r.InjectFault(c.command, c.command == Cmd::kReadInfo ? Fault::kStatus1 : Fault::kWrongLength,
                    c.skip, -1);
    });
    WriteRadio(state);
    EXPECT_EQ(state.resultOk.load(), 0);
    EXPECT_FALSE(state.radioLink.Port().IsOpen());
    EXPECT_EQ(local.CommErrors(), std::vector<CommError>{CommError::WriteBlock});
    EXPECT_TRUE(local.WriteCompletions().empty());
    EXPECT_TRUE(local.Boxes().empty());
    EXPECT_TRUE(local.StatusTexts().empty());
    const auto requests = Requests();
    if (c.command == Cmd::kReadInfo) {
      // A refused information request: the access is ended in mode 1.
      ASSERT_GE(requests.size(), 2u);
      EXPECT_EQ(requests[requests.size() - 2].command, Cmd::kReadInfo);
      EXPECT_EQ(requests.back().command, Cmd::kEndAccess);
      EXPECT_EQ(requests.back().infoArea, 1);
    } else {
      // A block without a valid answer (sent four times) closes the port: it is the last
      // request the radio saw.
      ASSERT_GE(requests.size(), 4u);
      for (size_t i = requests.size() - 4; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].command, Cmd::kWriteBlock);
        EXPECT_EQ(requests[i].offset, requests.back().offset);
      }
    }
    EXPECT_EQ(local.ProgressOf(Phase::Write).size(), c.progressPosts);
  }
  sim.With([](FramedLinkResponder& r) { r.ClearFaults(); });
}

TEST_F(WriteRadioTest, EndAccessFailurePostsItsMessageButTheWriteCounts) {
  sim.With([](FramedLinkResponder& r) { r.InjectFault(Cmd::kEndAccess, Fault::kSilence); });
  WriteRadio(state);
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(view.CommErrors(), std::vector<CommError>{CommError::WriteEnd});
  EXPECT_TRUE(view.WriteCompletions().empty());
  EXPECT_EQ(view.Rows().back().text, "All upgrade completed successfully!");
}

TEST_F(WriteRadioTest, ShortConvertedDataIsRefusedBeforeConnecting) {
  state.templateData.resize(1000);
  state.resultOk = 0;
  EXPECT_EQ(WriteRadio(state), WriteResult::NothingToWrite);
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(view.Boxes().empty()) << "the job shows the box";
  EXPECT_TRUE(view.Events().empty());
}

}  // namespace
}  // namespace fw
