// The window's progress computation and its handling of the job's messages.

#include <gtest/gtest.h>

#include "core/MessageTexts.h"
#include "core/Progress.h"
#include "support/FakeClockScope.h"
#include "support/RecordingView.h"

namespace fw {
namespace {

ProgressInputs FullJob() {
  ProgressInputs in;
  in.imageSize = 102400;
  in.radioDataSize = 129976;
  in.writeDataSize = 129976;
  in.fontImageSize = 153600;
  in.chipImageSize = 5000;
  return in;
}

TEST(Progress, FirmwareOnlyClearsChipSizeAndPausesAtFull) {
  ProgressInputs in = FullJob();
  in.firmwareOnly = true;
  ProgressResult r = ComputeProgress(in, 102400);
  EXPECT_EQ(r.total, 102400u);
  EXPECT_EQ(r.percent, 100);
  EXPECT_TRUE(r.pauseAtFull);
  ASSERT_TRUE(r.newChipImageSize.has_value());
  EXPECT_EQ(*r.newChipImageSize, 0u);
  // E + F with F = 0: the restart text.
  ASSERT_NE(r.phaseText, nullptr);
  EXPECT_STREQ(r.phaseText, text::kRestarting);

  r = ComputeProgress(in, 51200);
  EXPECT_EQ(r.percent, 50);
  EXPECT_FALSE(r.pauseAtFull);
  EXPECT_EQ(r.phaseText, nullptr);
}

TEST(Progress, PaddedLastBlockNeitherPasses100NorLooksLikeTheWritePhase) {
  ProgressInputs in = FullJob();
  in.firmwareOnly = true;
  in.imageSize = 2500;  // three blocks, 3072 bytes counted
  EXPECT_EQ(ComputeProgress(in, 2048).percent, 66);
  ProgressResult r = ComputeProgress(in, 3072);
  EXPECT_EQ(r.percent, 100);
  EXPECT_STREQ(r.phaseText, text::kRestarting);
}

TEST(Progress, FullJobPhaseTexts) {
  ProgressInputs in = FullJob();
  const uint64_t e = 102400 + 129976;
  const uint64_t f = 129976 + 153600;
  const uint64_t total = 5000 + e + f;
  EXPECT_EQ(ComputeProgress(in, e).phaseText, nullptr);  // still reading
  EXPECT_STREQ(ComputeProgress(in, e + 1).phaseText, text::kWritingRadio);
  EXPECT_STREQ(ComputeProgress(in, e + 129976).phaseText, text::kWritingRadio);
  EXPECT_STREQ(ComputeProgress(in, e + 129977).phaseText, text::kWritingFont);
  ProgressResult r = ComputeProgress(in, e + f);
  EXPECT_STREQ(r.phaseText, text::kRestarting);
  EXPECT_EQ(r.percent, static_cast<int>((e + f) * 100 / total));
  EXPECT_FALSE(r.newChipImageSize.has_value());
  // The chip update's bytes beyond E + F keep the text and reach 100 at the end.
  EXPECT_EQ(ComputeProgress(in, e + f + 100).phaseText, nullptr);
  EXPECT_EQ(ComputeProgress(in, total).percent, 100);
}

TEST(Progress, ChipOnlyMeasuresTheChipAlone) {
  ProgressInputs in = FullJob();
  in.chipOnly = true;
  ProgressResult r = ComputeProgress(in, 2500);
  EXPECT_EQ(r.total, 5000u);
  EXPECT_EQ(r.percent, 50);
  EXPECT_EQ(r.phaseText, nullptr);  // no write-phase text in chip-only mode
}

TEST(Progress, TotalZeroDoesNotDivide) {
  ProgressInputs in;  // every size 0
  in.chipOnly = true;
  EXPECT_EQ(ComputeProgress(in, 0).percent, 0);
  EXPECT_FALSE(ComputeProgress(in, 0).pauseAtFull);
  ProgressResult r = ComputeProgress(in, 4096);
  EXPECT_EQ(r.percent, 100);
  EXPECT_TRUE(r.pauseAtFull);
}

TEST(Progress, HandlerDrivesBothBarsAndShowsCommErrors) {
  test::FakeClockScope clock;
  test::RecordingView view;
  UpgradeState state;
  clock.Attach(state.job.clock);
  state.SetView(&view);
  state.imageSize = 102400;
  state.firmwareOnly = 1;
  state.chipImageSize = 5000;

  EXPECT_TRUE(HandleJobEvent(state, ProgressEvent{Phase::Firmware, 51200}));
  EXPECT_EQ(view.ProgressPos(ProgressBar::Main), 50);
  EXPECT_EQ(view.ProgressPos(ProgressBar::Second), 50);
  EXPECT_EQ(state.chipImageSize.load(), 0u);
  EXPECT_TRUE(clock.clock().Sleeps().empty());

  EXPECT_TRUE(HandleJobEvent(state, ProgressEvent{Phase::Firmware, 102400}));
  EXPECT_EQ(view.ProgressPos(ProgressBar::Main), 100);
  EXPECT_EQ(clock.clock().Sleeps(), std::vector<uint32_t>{1000});
  EXPECT_EQ(view.StatusText(), text::kRestarting);

  EXPECT_TRUE(HandleJobEvent(state, CommErrorEvent{CommError::ReadBlock}));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Communication error, Please retry!");
  EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::None);

  EXPECT_FALSE(HandleJobEvent(state, WriteCompleteEvent{10}));
  EXPECT_EQ(view.Boxes().size(), 1u);
}

// Every kind of communication error ends in the one box the window has always shown for
// them, and in nothing else: no row, no status text, no bar.
TEST(HandleJobEvent, EveryCommunicationErrorKindShowsTheSameBox) {
  for (CommError kind :
       {CommError::ReadBlock, CommError::ReadEnd, CommError::WriteBlock, CommError::WriteEnd}) {
    SCOPED_TRACE(test::Name(kind));
    test::FakeClockScope clock;
    test::RecordingView view;
    UpgradeState state;
    state.SetView(&view);
    EXPECT_TRUE(HandleJobEvent(state, CommErrorEvent{kind}));
    ASSERT_EQ(view.Boxes().size(), 1u);
    EXPECT_EQ(view.Boxes()[0].text, "Communication error, Please retry!");
    EXPECT_EQ(view.Boxes()[0].icon, MessageIcon::None);
    EXPECT_EQ(view.Boxes()[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(view.Rows().empty());
    EXPECT_TRUE(view.StatusTexts().empty());
    EXPECT_EQ(view.ProgressPos(ProgressBar::Main), -1);
    EXPECT_EQ(view.ProgressPos(ProgressBar::Second), -1);
  }
}

// The byte count is cumulative over the whole job: every phase's count goes into the same
// total. Image 102400 + data 100000 read, 50000 + 50000 written: 151200 of 302400 is 50%.
TEST(HandleJobEvent, EveryPhaseCountsIntoTheSameTotal) {
  for (Phase phase : {Phase::Firmware, Phase::Read, Phase::Write, Phase::Chip}) {
    SCOPED_TRACE(test::Name(phase));
    test::FakeClockScope clock;
    test::RecordingView view;
    UpgradeState state;
    state.SetView(&view);
    state.imageSize = 102400;
    state.radioDataSize = 100000;
    state.writeDataSize = 50000;
    state.fontImageSize = 50000;
    state.chipImageSize = 0;
    EXPECT_TRUE(HandleJobEvent(state, ProgressEvent{phase, 151200}));
    EXPECT_EQ(view.ProgressPos(ProgressBar::Main), 50);
    EXPECT_EQ(view.ProgressPos(ProgressBar::Second), 50);
    EXPECT_TRUE(view.StatusTexts().empty());
    EXPECT_TRUE(view.Boxes().empty());
  }
}

}  // namespace
}  // namespace fw
