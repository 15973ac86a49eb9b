#include "voice/VoicePrompts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/Installation.h"
#include "support/FakeClockScope.h"
#include "support/FastClock.h"
#include "support/RecordingView.h"
#include "support/ScratchDir.h"
#include "support/SimulatedLink.h"

namespace fw {
namespace {

using sim::FramedLinkResponder;
using Cmd = FramedLinkResponder::Command;
using Fault = FramedLinkResponder::Fault;
using Memory = FramedLinkResponder::Memory;

LogTime FixedTime() {
  return {2017, 3, 3, 14, 5, 9};
}

// A voice file: `at` bytes of file head, "WAVE", the 32-bit length `m`, then data up to
// `size` bytes.
std::vector<uint8_t> VoiceFile(size_t size, uint32_t at, uint32_t m) {
  std::vector<uint8_t> f(size);
  for (size_t i = 0; i < size; ++i) {
    f[i] = static_cast<uint8_t>((i * 7) ^ (i >> 8) ^ 0x5C);
  }
  std::memcpy(f.data() + at, "WAVE", 4);
  for (int i = 0; i < 4; ++i) {
    f[at + 4 + i] = static_cast<uint8_t>(m >> (8 * i));
  }
  return f;
}

std::string AsText(const std::vector<uint8_t>& b) {
  return std::string(b.begin(), b.end());
}

class VoicePromptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogTimeSource(&FixedTime);
    state.SetView(&view);
    LoadingInstallation(state).programDir = dir.Dir();
    state.radioModel = "KW66";
  }
  void TearDown() override {
    SetLogTimeSource(nullptr);
    state.radioLink.Disconnect();
  }

  void SetVoice(const std::vector<uint8_t>& bytes, uint32_t kilobytes) {
    sim.With([&](FramedLinkResponder& r) {
      r.MemoryImage(Memory::kVoice) = bytes;
      r.MemoryImage(Memory::kVoice).resize(10240, 0);
      auto& h = r.VoiceHeader();
      std::memcpy(h.data() + 6, &kilobytes, 4);
    });
  }
  std::vector<uint8_t> Voice() {
    return sim.With([](FramedLinkResponder& r) { return r.MemoryImage(Memory::kVoice); });
  }
  std::vector<FramedLinkResponder::SeenRequest> Requests() {
    return sim.With([](FramedLinkResponder& r) { return r.Requests(); });
  }
  int Count(Cmd c) {
    return sim.With([c](FramedLinkResponder& r) { return r.CountOf(c); });
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : view.Boxes()) {
      out.push_back(b.text);
    }
    return out;
  }
  std::string LogPath() const { return dir.Path("WAVLog/[2017-03-03 14-05-09]Wav.bin"); }
  std::string ReadFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  test::FakeClockScope clock;
  test::SimulatedLink sim;
  test::RecordingView view;
  test::ScratchDir dir;
  UpgradeState state;
  test::JobOnSimulatedLink job{clock, sim, state};
};

TEST_F(VoicePromptsTest, LogFileNameCarriesTheLocalTime) {
  EXPECT_EQ(VoiceLogFileName({2017, 3, 3, 14, 5, 9}), "[2017-03-03 14-05-09]Wav.bin");
  EXPECT_EQ(VoiceLogFileName({2026, 12, 31, 0, 0, 0}), "[2026-12-31 00-00-00]Wav.bin");
}

TEST_F(VoicePromptsTest, ReadOfEightKilobytesIsFortyBlocksAndOneOf192) {
  const std::vector<uint8_t> voice = VoiceFile(10240, 0, 8192);
  SetVoice(voice, 8);
  ReadWav(state);

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Read Wav finish!"});
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::None);
  EXPECT_EQ(view.StatusText(), "Reading the radio, please wait...");
  const std::string file = ReadFile(LogPath());
  EXPECT_EQ(file, std::string(voice.begin(), voice.begin() + 8192));
  EXPECT_TRUE(std::equal(voice.begin(), voice.begin() + 8192, state.wavReadBuffer.begin()));

  const auto req = Requests();
  ASSERT_EQ(req.size(), 1u + 1 + 1 + 41 + 1);
  EXPECT_EQ(req[0].command, Cmd::kConnect);
  EXPECT_EQ(req[1].command, Cmd::kReadInfo);
  EXPECT_EQ(req[1].infoArea, 4);
  EXPECT_EQ(req[2].command, Cmd::kReadBlock);
  EXPECT_EQ(req[2].areaField, 170);
  EXPECT_EQ(req[2].offset, 0u);
  for (uint32_t i = 0; i < 41; ++i) {
    const auto& r = req[3 + i];
    EXPECT_EQ(r.command, Cmd::kReadBlock);
    EXPECT_EQ(r.areaField, 0);
    EXPECT_EQ(r.offset, 200 * i);
    EXPECT_EQ(r.length, 200);  // a read always asks for 200
    EXPECT_EQ(r.memory, Memory::kVoice);
  }
  EXPECT_EQ(req.back().command, Cmd::kEndAccess);
  EXPECT_EQ(req.back().infoArea, 0);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
}

TEST_F(VoicePromptsTest, ReadOpenWriteBackPutsTheDataFromTheMarkerIntoTheRadio) {
  // The radio holds a voice file whose marker stands at offset 44; the length at offset 48
  // asks for 5123 bytes: 25 blocks of 200 and one of 123.
  const std::vector<uint8_t> voice = VoiceFile(10240, 44, 5123);
  SetVoice(voice, 10);
  ReadWav(state);
  ASSERT_EQ(ReadFile(LogPath()), AsText(voice));

  OpenWav(state, LogPath());
  EXPECT_EQ(state.wavFilePath, LogPath());
  EXPECT_EQ(state.wavFileSize, 10240u);
  EXPECT_EQ(state.wavDataOffset, 44u);

  sim.With([](FramedLinkResponder& r) {
    r.ClearRecord();
    std::fill(r.MemoryImage(Memory::kVoice).begin(), r.MemoryImage(Memory::kVoice).end(), 0xEE);
  });
  WriteWav(state);

  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Read Wav finish!", "Write Wav finish!"}));
  const std::vector<uint8_t> after = Voice();
  EXPECT_TRUE(std::equal(voice.begin() + 44, voice.begin() + 44 + 5123, after.begin()));
  EXPECT_TRUE(std::all_of(after.begin() + 5123, after.end(), [](uint8_t b) { return b == 0xEE; }))
      << "nothing written past the length";
  EXPECT_EQ(std::string(after.begin(), after.begin() + 4), "WAVE");

  const auto req = Requests();
  std::vector<int> areas;
  std::vector<std::pair<uint32_t, uint16_t>> writes;
  for (const auto& r : req) {
    if (r.command == Cmd::kReadInfo) {
      areas.push_back(r.infoArea);
    } else if (r.command == Cmd::kWriteBlock) {
      EXPECT_EQ(r.areaField, 0);
      writes.emplace_back(r.offset, r.length);
    }
  }
  EXPECT_EQ(areas, (std::vector<int>{4, 5}));
  ASSERT_EQ(writes.size(), 26u);
  EXPECT_EQ(writes[0], std::make_pair(0u, uint16_t{200}));
  EXPECT_EQ(writes[24], std::make_pair(4800u, uint16_t{200}));
  EXPECT_EQ(writes[25], std::make_pair(5000u, uint16_t{123}));
  EXPECT_EQ(req.back().command, Cmd::kEndAccess);
  EXPECT_EQ(req.back().infoArea, 0);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  EXPECT_EQ(sim.With([](auto& r) { return r.DroppedWrites(); }), 0);
}

TEST_F(VoicePromptsTest, SecondReadInTheSameSecondReplacesTheFile) {
  SetVoice(VoiceFile(10240, 0, 100), 10);
  ReadWav(state);
  ASSERT_EQ(ReadFile(LogPath()).size(), 10240u);
  SetVoice(std::vector<uint8_t>(10240, 0x42), 1);
  ReadWav(state);
  EXPECT_EQ(ReadFile(LogPath()), std::string(1024, '\x42'));
}

TEST_F(VoicePromptsTest, Kx2xAsksForArea0FirstAndFallsBackToArea4OnAFreshConnection) {
  state.radioModel = "KX2X-UV";
  SetVoice(VoiceFile(1024, 0, 8), 1);
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadInfo, Fault::kStatus1, 0, 1); });
  ReadWav(state);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Read Wav finish!"});
  std::vector<std::string> seen;
  for (const auto& r : Requests()) {
    if (r.command == Cmd::kConnect) {
      seen.push_back("connect");
    } else if (r.command == Cmd::kReadInfo) {
      seen.push_back("info" + std::to_string(r.infoArea));
    } else if (r.command == Cmd::kEndAccess) {
      seen.push_back("end" + std::to_string(r.infoArea));
    }
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{"connect", "info0", "end1", "connect", "info4", "end0"}));
}

// --- A header count above 10 would overrun the 10240-byte buffer ---

TEST_F(VoicePromptsTest, AreaLargerThanTheBufferIsNotRead) {
  for (uint32_t kilobytes : {11u, 0x00400000u /* 2^32 bytes: 0 in 32 bits */, 0xFFFFFFFFu}) {
    SCOPED_TRACE(kilobytes);
    sim.With([](auto& r) { r.ClearRecord(); });
    std::vector<uint8_t> before = state.wavReadBuffer;
    SetVoice(std::vector<uint8_t>(10240, 0x33), kilobytes);
    ReadWav(state);
    EXPECT_EQ(state.wavReadBuffer, before);
    EXPECT_EQ(Count(Cmd::kReadBlock), 1) << "the header only";
    EXPECT_EQ(Requests().back().command, Cmd::kEndAccess);
    EXPECT_EQ(Requests().back().infoArea, 1);
    EXPECT_FALSE(std::filesystem::exists(LogPath()));
    EXPECT_FALSE(state.radioLink.Port().IsOpen());
  }
  ASSERT_EQ(view.Boxes().size(), 3u);
  for (const auto& b : view.Boxes()) {
    EXPECT_NE(b.text, "Read Wav finish!");
    EXPECT_EQ(b.icon, MessageIcon::Error);
  }
}

// --- A voice file longer than the buffer ---

TEST_F(VoicePromptsTest, FileLongerThanTheBufferIsNotLoaded) {
  const std::string good = dir.Write("good.bin", AsText(VoiceFile(300, 0, 300)));
  OpenWav(state, good);
  ASSERT_EQ(state.wavFileSize, 300u);

  const std::string longFile = dir.Write("long.bin", AsText(VoiceFile(10241, 0, 10241)));
  OpenWav(state, longFile);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::Error);
  EXPECT_EQ(view.Boxes()[0].detail, longFile);
  EXPECT_EQ(state.wavFilePath, "");
  EXPECT_EQ(state.wavFileSize, 0u);
  EXPECT_EQ(state.wavWriteBuffer.size(), 10240u);
  EXPECT_TRUE(std::all_of(state.wavWriteBuffer.begin(), state.wavWriteBuffer.end(),
                          [](uint8_t b) { return b == 0; }));

  WriteWav(state);  // the earlier file is gone as well: nothing to write
  EXPECT_EQ(Count(Cmd::kConnect), 0);
  EXPECT_EQ(Count(Cmd::kWriteBlock), 0);
}

TEST_F(VoicePromptsTest, FileOfExactlyTheBufferSizeLoadsAndWrites) {
  const std::vector<uint8_t> f = VoiceFile(10240, 0, 10240);
  OpenWav(state, dir.Write("full.bin", AsText(f)));
  EXPECT_TRUE(view.Boxes().empty());
  EXPECT_EQ(state.wavFileSize, 10240u);
  WriteWav(state);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Write Wav finish!"});
  EXPECT_EQ(Voice(), f);
}

// --- A length that reaches past the loaded bytes, or a data that outgrows the radio ---

TEST_F(VoicePromptsTest, LengthPastTheLoadedBytesWritesNothing) {
  // A long file first, so that stale bytes lie behind the short one in the buffer.
  OpenWav(state, dir.Write("long.bin", AsText(VoiceFile(8000, 0, 8000))));
  const std::string shortFile = dir.Write("short.bin", AsText(VoiceFile(300, 44, 257)));
  OpenWav(state, shortFile);
  EXPECT_EQ(state.wavDataOffset, 44u);
  WriteWav(state);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::Error);
  EXPECT_EQ(view.Boxes()[0].detail, shortFile);
  EXPECT_EQ(Count(Cmd::kConnect), 0);

  // One byte less fits exactly.
  const std::vector<uint8_t> fits = VoiceFile(300, 44, 256);
  OpenWav(state, dir.Write("fits.bin", AsText(fits)));
  WriteWav(state);
  EXPECT_EQ(view.Boxes().back().text, "Write Wav finish!");
  const std::vector<uint8_t> after = Voice();
  EXPECT_TRUE(std::equal(fits.begin() + 44, fits.end(), after.begin()));
  EXPECT_EQ(after[256], 0);
}

TEST_F(VoicePromptsTest, DataLongerThanTheRadiosAreaIsNotWritten) {
  SetVoice({}, 1);  // the radio's area: 1024 bytes
  OpenWav(state, dir.Write("v.bin", AsText(VoiceFile(2000, 0, 2000))));
  WriteWav(state);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::Error);
  EXPECT_EQ(Count(Cmd::kWriteBlock), 0);
  EXPECT_EQ(Requests().back().command, Cmd::kEndAccess);
  EXPECT_EQ(Requests().back().infoArea, 1);
}

// --- No marker, no file ---

TEST_F(VoicePromptsTest, WithoutAWaveMarkerNothingReachesTheRadio) {
  WriteWav(state);  // nothing opened yet
  OpenWav(state, dir.Write("plain.bin", std::string(500, 'W')));
  EXPECT_EQ(state.wavFilePath, dir.Path("plain.bin"));
  EXPECT_EQ(state.wavDataOffset, 500u);
  WriteWav(state);
  OpenWav(state, dir.Path("missing.bin"));  // cannot be opened: counts as empty
  EXPECT_EQ(state.wavFilePath, dir.Path("missing.bin"));
  EXPECT_EQ(state.wavFileSize, 0u);
  WriteWav(state);
  EXPECT_EQ(Requests().size(), 0u);
  ASSERT_EQ(view.Boxes().size(), 3u);
  for (const auto& b : view.Boxes()) {
    EXPECT_EQ(b.text, "No voice file with a \"WAVE\" marker is loaded.");
  }
}

TEST_F(VoicePromptsTest, CancelledOpenEmptiesThePathAndZeroesTheBuffer) {
  OpenWav(state, dir.Write("v.bin", AsText(VoiceFile(400, 10, 100))));
  ASSERT_EQ(state.wavDataOffset, 10u);
  OpenWav(state, "");
  EXPECT_EQ(state.wavFilePath, "");
  EXPECT_EQ(state.wavFileSize, 0u);
  EXPECT_TRUE(std::all_of(state.wavWriteBuffer.begin(), state.wavWriteBuffer.end(),
                          [](uint8_t b) { return b == 0; }));
  WriteWav(state);
  EXPECT_EQ(Requests().size(), 0u);
}

// --- No radio, failing transfers ---

TEST_F(VoicePromptsTest, NoRadioEndsSilently) {
  test::FastClockScope fast;  // the unanswered connect frames time out quickly
  fast.Attach(state.job.clock);
  sim.With([](auto& r) { r.SetUnreachableConnects(100); });
  ReadWav(state);
  OpenWav(state, dir.Write("v.bin", AsText(VoiceFile(400, 0, 400))));
  WriteWav(state);
  EXPECT_TRUE(view.Boxes().empty());
  EXPECT_EQ(view.StatusText(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("WAVLog")));
  EXPECT_EQ(Count(Cmd::kReadInfo), 0);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());

  state.job.portNumber = 0;  // no port at all
  state.job.devicePath.clear();
  ReadWav(state);
  WriteWav(state);
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(VoicePromptsTest, FailedBlocksEndWithoutFileOrFinishMessage) {
  test::FastClockScope fast;  // the unanswered blocks time out quickly
  fast.Attach(state.job.clock);
  SetVoice(VoiceFile(10240, 0, 1000), 10);
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kSilence, 0); });
  ReadWav(state);  // the header read fails
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kSilence, 5); });
  ReadWav(state);  // a data block fails
  EXPECT_FALSE(std::filesystem::exists(LogPath()));

  sim.With([](auto& r) {
    r.ClearFaults();
    r.InjectFault(Cmd::kWriteBlock, Fault::kHangUp, 2);
  });
  OpenWav(state, dir.Write("v.bin", AsText(VoiceFile(1000, 0, 1000))));
  WriteWav(state);
  EXPECT_TRUE(view.Boxes().empty());
  EXPECT_EQ(Count(Cmd::kWriteBlock), 3);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
}

TEST_F(VoicePromptsTest, LogThatCannotBeWrittenIsNotReportedAsFinished) {
  dir.Write("WAVLog", "a file where the folder should be");
  SetVoice(VoiceFile(1024, 0, 8), 1);
  ReadWav(state);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_NE(view.Boxes()[0].text, "Read Wav finish!");
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::Error);
  EXPECT_EQ(view.Boxes()[0].detail, LogPath());
}

}  // namespace
}  // namespace fw
