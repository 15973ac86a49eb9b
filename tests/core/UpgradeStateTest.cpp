#include <gtest/gtest.h>

#include <algorithm>

#include "config/Installation.h"
#include "core/Status.h"
#include "core/UpgradeState.h"
#include "support/RecordingView.h"

namespace fw {
namespace {

TEST(UpgradeState, NewRecordHasTheDocumentedDefaultsAndBufferSizes) {
  UpgradeState s;
  EXPECT_EQ(s.resultOk, 1);
  EXPECT_EQ(s.rowCount, 0);
  EXPECT_EQ(s.bytesDone, 0);
  EXPECT_EQ(s.fontImageSize, 153600u);
  EXPECT_EQ(s.chipImageSize, 0u);
  EXPECT_EQ(s.chipOnly, 0);
  EXPECT_EQ(s.firmwareOnly, 0);
  EXPECT_EQ(s.updateChip, 0);
  EXPECT_EQ(s.fontLanguage, 1033);
  EXPECT_EQ(s.imageBuffer.size(), 1048576u);
  EXPECT_EQ(LoadingInstallation(s).glyphScratch.size(), 307200u);
  EXPECT_EQ(s.wavReadBuffer.size(), 10240u);
  EXPECT_EQ(s.wavWriteBuffer.size(), 10240u);
  for (auto* b : {&s.fontImage, &LoadingInstallation(s).fontBufferA,
                  &LoadingInstallation(s).fontBufferB, &LoadingInstallation(s).fontBufferC}) {
    ASSERT_EQ(b->size(), 153650u);
    EXPECT_TRUE(std::all_of(b->begin(), b->end(), [](uint8_t v) { return v == 0; }));
  }
  EXPECT_EQ(s.radioData, nullptr);
  EXPECT_TRUE(s.templateData.empty());
  EXPECT_FALSE(s.downloadPort.IsOpen());
  EXPECT_FALSE(s.radioLink.Port().IsOpen());
}

TEST(UpgradeState, RadioDataBufferIsZeroedAtItsSize) {
  UpgradeState s;
  s.AllocateRadioData(129976);
  ASSERT_EQ(s.radioDataBuffer.size(), 129976u);
  EXPECT_EQ(s.radioData, s.radioDataBuffer.data());
  EXPECT_EQ(std::count(s.radioDataBuffer.begin(), s.radioDataBuffer.end(), 0), 129976);
}

TEST(Status, AddRowMarksThePreviousRowDoneAndSetLastRowOverwritesTheLast) {
  UpgradeState s;
  test::RecordingView view;
  s.SetView(&view);

  AddRow(s, kMarkBusy, "Connecting the radio...");
  ASSERT_EQ(view.Rows().size(), 1u);
  EXPECT_EQ(view.Rows()[0].mark, "------>");  // on an empty list only the insertion happens
  EXPECT_EQ(s.rowCount, 1);

  AddRow(s, kMarkBusy, "Radio is in the upgrading mode, about 5 seconds...");
  auto rows = view.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].mark, "   \xE2\x88\x9A");  // U+221A
  EXPECT_EQ(rows[1].mark, "------>");

  SetLastRow(s, kMarkFailed, "Update the radio software failed!");
  rows = view.Rows();
  EXPECT_EQ(rows[1].mark, "   \xC3\x97");  // U+00D7
  EXPECT_EQ(rows[1].text, "Update the radio software failed!");
  EXPECT_EQ(rows[0].text, "Connecting the radio...");
}

TEST(Status, SetLastRowAfterRowCountWasWoundBackTargetsThatIndex) {
  UpgradeState s;
  test::RecordingView view;
  s.SetView(&view);
  AddRow(s, kMarkBusy, "a");
  AddRow(s, kMarkBusy, "b");
  s.rowCount = 1;
  SetLastRow(s, kMarkFailed, "Failed to connect radio!");
  auto rows = view.Rows();
  EXPECT_EQ(rows[0].text, "Failed to connect radio!");
  EXPECT_EQ(rows[1].text, "b");
}

}  // namespace
}  // namespace fw
