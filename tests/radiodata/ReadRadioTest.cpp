#include "radiodata/ReadRadio.h"
#include "radiodata/ReadRadioInfo.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/Installation.h"
#include "platform/SystemLanguage.h"
#include "support/FakeClockScope.h"
#include "support/FullUpgradeSetup.h"
#include "support/RecordingView.h"
#include "support/SimulatedLink.h"

namespace fw {
namespace {

using sim::FramedLinkResponder;
using Cmd = FramedLinkResponder::Command;
using Fault = FramedLinkResponder::Fault;
using Memory = FramedLinkResponder::Memory;

using test::FullUpgradeSetup;

class ReadRadioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("flashwright-read-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    const auto modelFile = dir_ / "Model.dat";
    std::ofstream(modelFile) << "[Area]\r\nNumber=2\r\nArea0=1\r\nArea1=3\r\n"
                             << "[Type]\r\nNumber=2\r\n"
                             << "Type0=" << FullUpgradeSetup::IdentityHex("KW66000000N02000")
                             << ",1,x,y\r\n"
                             << "Type1=" << FullUpgradeSetup::IdentityHex("KZ66000000N02000")
                             << ",0,x,y\r\n";
    LoadingInstallation(state).modelTable.Load(modelFile.string());
    state.SetView(&view);
    state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
    state.resultOk = 0;
    state.radioModel = "KW66";
    sim.With([](FramedLinkResponder& r) {
      r.SetInfoBlock(
          FramedLinkResponder::MakeInfoBlock("KW66000000N02000", "KW66000000N00000L", '3'));
      auto& mem = r.MemoryImage(Memory::kData);
      for (size_t i = 0; i < mem.size(); ++i) {
        mem[i] = static_cast<uint8_t>((i * 31) ^ (i >> 8));
      }
    });
  }
  void TearDown() override {
    state.radioLink.Disconnect();
    std::filesystem::remove_all(dir_);
  }

  void ExpectReadOf(uint32_t size) {
    state.radioDataSize = size;
    state.bytesDone = 0;
    // A buffer larger than the image shows that nothing is written past it.
    state.AllocateRadioData(size + 200);
    const size_t postsBefore = view.Events().size();
    sim.With([](auto& r) { r.ClearRecord(); });
    ASSERT_EQ(ReadRadio(state), ReadResult::Done);
    EXPECT_EQ(state.resultOk.load(), 1);
    const uint32_t blocks = (size + 199) / 200;
    auto requests = sim.With([](auto& r) { return r.Requests(); });
    EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadBlock); }),
              static_cast<int>(blocks));
    const std::vector<uint8_t> image =
        sim.With([](auto& r) { return r.MemoryImage(Memory::kData); });
    ASSERT_TRUE(std::equal(image.begin(), image.begin() + size, state.radioData)) << size;
    EXPECT_TRUE(std::all_of(state.radioData + size, state.radioData + size + 200, [](uint8_t b) {
      return b == 0;
    })) << "nothing written past the image";
    auto progress = view.ProgressOf(Phase::Read, postsBefore);
    ASSERT_EQ(progress.size(), blocks);
    for (uint32_t i = 0; i + 1 < blocks; ++i) {
      EXPECT_EQ(progress[i], static_cast<int>(200 * (i + 1)));
    }
    EXPECT_EQ(progress.back(), static_cast<int>(size));
    EXPECT_EQ(requests.back().command, Cmd::kEndAccess);
    EXPECT_EQ(requests.back().infoArea, 0);  // mode 0: completed
    EXPECT_FALSE(state.radioLink.Port().IsOpen());
    EXPECT_TRUE(view.CommErrors(postsBefore).empty());
  }

  test::FakeClockScope clock;
  test::SimulatedLink sim;
  test::RecordingView view;
  UpgradeState state;
  test::JobOnSimulatedLink job{clock, sim, state};

 private:
  std::filesystem::path dir_;
};

TEST_F(ReadRadioTest, ReadsTheFullImageByteExact) {
  ExpectReadOf(129976);  // 649 blocks and one of 176
  EXPECT_EQ(state.radioModelId, "KW66000000N0000002000");
  EXPECT_EQ(view.StatusText(), "Reading the radio, please wait...");
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(ReadRadioTest, ReadsTheSmallerImagesWithTheirRemainder) {
  ExpectReadOf(65431);  // 327 blocks and one of 31
  ExpectReadOf(75031);  // 375 blocks and one of 31
}

TEST_F(ReadRadioTest, SizeOf400IsTwoBlocksWithoutRemainder) {
  state.radioDataSize = 400;
  ASSERT_EQ(ReadRadio(state), ReadResult::Done);
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadBlock); }), 2);
  EXPECT_EQ(view.ProgressOf(Phase::Read).size(), 2u);
}

TEST_F(ReadRadioTest, ImageLargerThanTheBufferGrowsItInsteadOfOverrunning) {
  state.AllocateRadioData(1000);
  state.radioDataSize = 1100;
  ASSERT_EQ(ReadRadio(state), ReadResult::Done);
  ASSERT_GE(state.radioDataBuffer.size(), 1100u);
  const auto image = sim.With([](auto& r) { return r.MemoryImage(Memory::kData); });
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 1100, state.radioData));
}

TEST_F(ReadRadioTest, AsksForArea8UnlessTheModelIsKx2x) {
  state.radioDataSize = 200;
  ASSERT_EQ(ReadRadio(state), ReadResult::Done);
  auto requests = sim.With([](auto& r) { return r.Requests(); });
  std::vector<int> areas;
  for (const auto& r : requests) {
    if (r.command == Cmd::kReadInfo) {
      areas.push_back(r.infoArea);
    }
  }
  EXPECT_EQ(areas, std::vector<int>{8});
}

TEST_F(ReadRadioTest, Kx2xFallsBackToArea8OnAFreshConnection) {
  state.radioModel = "KX2X";
  state.radioDataSize = 200;
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadInfo, Fault::kStatus1, 0, 1); });
  ASSERT_EQ(ReadRadio(state), ReadResult::Done);
  auto requests = sim.With([](auto& r) { return r.Requests(); });
  std::vector<std::string> seen;
  for (const auto& r : requests) {
    if (r.command == Cmd::kConnect) {
      seen.push_back("connect");
    } else if (r.command == Cmd::kReadInfo) {
      seen.push_back("info" + std::to_string(r.infoArea));
    } else if (r.command == Cmd::kEndAccess) {
      seen.push_back("end" + std::to_string(r.infoArea));
    }
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{"connect", "info0", "end1", "connect", "info8", "end0"}));
}

TEST_F(ReadRadioTest, Kx2xAnsweringArea0NeedsNoFallback) {
  state.radioModel = "KX2X";
  state.radioDataSize = 200;
  ASSERT_EQ(ReadRadio(state), ReadResult::Done);
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadInfo); }), 1);
  EXPECT_EQ(sim.With([](auto& r) { return r.Requests()[1].infoArea; }), 0);
}

TEST_F(ReadRadioTest, UnknownIdentityIsAModelError) {
  sim.With([](auto& r) {
    r.SetInfoBlock(FramedLinkResponder::MakeInfoBlock("KW99000000N02000", "KW99", '3'));
  });
  EXPECT_EQ(ReadRadio(state), ReadResult::UnknownModel);
  EXPECT_TRUE(view.Boxes().empty()) << "the job says why";
  EXPECT_EQ(sim.With([](auto& r) { return r.Requests().back().command; }), Cmd::kEndAccess);
  EXPECT_EQ(sim.With([](auto& r) { return r.Requests().back().infoArea; }), 1);  // given up
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadBlock); }), 0);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  EXPECT_EQ(state.resultOk.load(), 0);
}

TEST_F(ReadRadioTest, TypeValueZeroIsAModelError) {
  sim.With([](auto& r) {
    r.SetInfoBlock(FramedLinkResponder::MakeInfoBlock("KZ66000000N02000", "KZ66", '3'));
  });
  EXPECT_EQ(ReadRadio(state), ReadResult::UnknownModel);
}

TEST_F(ReadRadioTest, AreaNotServedIsRefused) {
  sim.With([](auto& r) {
    r.SetInfoBlock(FramedLinkResponder::MakeInfoBlock("KW66000000N02000", "KW66", '2'));
  });
  EXPECT_EQ(ReadRadio(state), ReadResult::AreaRefused);
  EXPECT_TRUE(view.Boxes().empty()) << "the job says why";
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadBlock); }), 0);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
}

TEST_F(ReadRadioTest, NoRadioIsNotReadyYet) {
  sim.With([](auto& r) { r.SetUnreachableConnects(3); });
  EXPECT_EQ(ReadRadio(state), ReadResult::NotReady);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(ReadRadioTest, NoPortIsNotReadyYet) {
  state.job.portNumber = 0;
  state.job.devicePath.clear();
  EXPECT_EQ(ReadRadio(state), ReadResult::NotReady);
}

TEST_F(ReadRadioTest, NoInformationBlockIsNotReadyYet) {
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadInfo, Fault::kStatus1); });
  EXPECT_EQ(ReadRadio(state), ReadResult::NotReady);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(ReadRadioTest, NewFamilyFirmwareGivesFourAndTheOverride) {
  SetSystemLangIdOverride(kLangEnglishUs);
  sim.With([](auto& r) { r.SetVersionText("0400"); });
  EXPECT_EQ(ReadRadio(state), ReadResult::NewFamily);
  SetSystemLangIdOverride(0);
  EXPECT_EQ(state.familyOverride, 2);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text.rfind("Unknown firmware version.", 0), 0u);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadInfo); }), 0);
}

TEST_F(ReadRadioTest, KnownVersionOrOverrideSkipsTheQuery) {
  sim.With([](auto& r) { r.SetVersionText("0400"); });
  state.radioDataSize = 200;
  state.radioVersion = 400;
  EXPECT_EQ(ReadRadio(state), ReadResult::Done);
  state.radioVersion = 0;
  state.familyOverride = 2;
  EXPECT_EQ(ReadRadio(state), ReadResult::Done);
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kVersionQuery); }), 0);
  state.familyOverride = 0;
  sim.With([](auto& r) { r.SetVersionText("0399"); });
  EXPECT_EQ(ReadRadio(state), ReadResult::Done);
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kVersionQuery); }), 1);
}

TEST_F(ReadRadioTest, EndAccessFailingAfterACompleteReadStillSucceeds) {
  state.radioDataSize = 1000;
  sim.With([](auto& r) { r.InjectFault(Cmd::kEndAccess, Fault::kWrongLength); });
  EXPECT_EQ(ReadRadio(state), ReadResult::Done);
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(view.CommErrors(), std::vector<CommError>{CommError::ReadEnd});
  const auto image = sim.With([](auto& r) { return r.MemoryImage(Memory::kData); });
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 1000, state.radioData));
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
}

TEST_F(ReadRadioTest, BlockFailingMidReadAbandonsTheLink) {
  state.bytesDone = 5000;  // carried over from the firmware phase
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kWrongLength, 100); });
  EXPECT_EQ(ReadRadio(state), ReadResult::BlockFailed);
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_EQ(view.CommErrors(), std::vector<CommError>{CommError::ReadBlock});
  EXPECT_EQ(state.bytesDone.load(), 5000 + 100 * 200);
  const auto progress = view.ProgressOf(Phase::Read);
  ASSERT_EQ(progress.size(), 100u);
  EXPECT_EQ(progress.back(), 5000 + 100 * 200);
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
  // The blocks read before the failure stay in the buffer.
  const auto image = sim.With([](auto& r) { return r.MemoryImage(Memory::kData); });
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 20000, state.radioData));
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kEndAccess); }), 0)
      << "the failed block closed the port: nothing more reaches the radio";
}

TEST_F(ReadRadioTest, HangUpMidReadEndsWithThree) {
  state.radioDataSize = 2000;
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kHangUp, 3); });
  EXPECT_EQ(ReadRadio(state), ReadResult::BlockFailed);
  EXPECT_EQ(view.CommErrors(), std::vector<CommError>{CommError::ReadBlock});
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
}

}  // namespace
}  // namespace fw

namespace fw {
namespace {

TEST(ReadRadioInfo, AreasWithoutInformationAreNotRequested) {
  test::FakeClockScope clock;
  test::SimulatedLink sim;
  UpgradeState state;
  test::JobOnSimulatedLink job{clock, sim, state};
  ASSERT_TRUE(sim.Connect(state.radioLink));
  for (int area : {1, 3, 6, 9, 200}) {
    EXPECT_TRUE(ReadRadioInfo(state, area)) << area;
  }
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadInfo); }), 0);
  EXPECT_TRUE(ReadRadioInfo(state, 8));
  EXPECT_EQ(state.radioModelId, "KW66000000N0000002000");
  EXPECT_EQ(state.radioAreaCode, '1');
  EXPECT_EQ(state.radioIdentity[0], 'K');
  EXPECT_EQ(state.radioIdentity[1], 0);
  state.radioLink.Disconnect();
}

}  // namespace
}  // namespace fw
