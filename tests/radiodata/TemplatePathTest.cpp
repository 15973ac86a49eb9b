// Which template file serves the radio that was read.

#include <gtest/gtest.h>

#include "config/Installation.h"
#include "core/UpgradeState.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/TemplateFile.h"

namespace fw {
namespace {

TEST(TemplateName, Kv68IdentifiersTakeN02ForN00) {
  EXPECT_EQ(TemplateNameFor("KV68000000N00000"), "KV68000000N02000");
  EXPECT_EQ(TemplateNameFor("KV68000000N00000L"), "KV68000000N02000L");
  EXPECT_EQ(TemplateNameFor("KV68N00N00"), "KV68N02N02");
  EXPECT_EQ(TemplateNameFor("KV680000000B1000"), "KV680000000B1000");  // no N00: kept
  EXPECT_EQ(TemplateNameFor("KW66000000N00000"), "KW66000000N00000");  // not KV68
  EXPECT_EQ(TemplateNameFor("XKV68N00"), "XKV68N00");                  // KV68 not at the start
  EXPECT_EQ(TemplateNameFor("KV6"), "KV6");
  EXPECT_EQ(TemplateNameFor(""), "");
}

class TemplatePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadingInstallation(state).programDir = "/opt/flashwright/";
    state.radioModelId = "KV68000000N00000";
  }
  UpgradeState state;
};

TEST_F(TemplatePathTest, LargeProcessorReadsFromRcdb) {
  state.radioInfo = "MCU0400";
  state.radioVersion = 400;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/KV68000000N02000.rcd");
  state.radioVersion = 1234;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/KV68000000N02000.rcd");
}

TEST_F(TemplatePathTest, SmallProcessorReadsFromSmallMcu) {
  state.radioInfo = "MCU0399";
  state.radioVersion = 399;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/smallMCU/KV68000000N02000.rcd");
  state.radioInfo = "V1.00500";  // no "MCU": small processor whatever the version
  state.radioVersion = 500;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/smallMCU/KV68000000N02000.rcd");
  state.radioInfo = "";
  state.radioVersion = 0;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/smallMCU/KV68000000N02000.rcd");
}

TEST_F(TemplatePathTest, FamilyOverrideTwoChoosesRcdb) {
  state.radioInfo = "";
  state.radioVersion = 0;
  state.familyOverride = 2;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/KV68000000N02000.rcd");
  state.familyOverride = 1;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/smallMCU/KV68000000N02000.rcd");
}

TEST_F(TemplatePathTest, VersionIsComparedUnsigned) {
  state.radioInfo = "MCU";
  state.radioVersion = -1;  // as an unsigned number far above 400
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/KV68000000N02000.rcd");
}

TEST_F(TemplatePathTest, OtherModelsKeepTheirIdentifier) {
  state.radioModelId = "KW66000000N00000L";
  state.radioInfo = "MCU0410";
  state.radioVersion = 410;
  EXPECT_EQ(TemplatePathFor(state), "/opt/flashwright/rcdb/KW66000000N00000L.rcd");
}

TEST(ModelIdentifier, OnlyLettersDigitsDashAndUnderscoreNameAFile) {
  for (const char* good : {"KW66000000N02000L", "KV86000000N0000000000", "KV25U3-0-C00000",
                           "kz66_nb", "A", "KV68000000N0000000000ABCDEFGHIJK"}) {
    EXPECT_TRUE(IsUsableModelId(good)) << good;
  }
  for (const char* bad :
       {"", "../../evilmodelx", "../../evilmodelx00000", "..", "KW66.rcd", "KW66/x", "KW66\\x",
        "KW66 000", "KW66\x01", "KW66\xC3\xA9", "KV68000000N0000000000ABCDEFGHIJKL"}) {
    EXPECT_FALSE(IsUsableModelId(bad)) << bad;
  }
}

TEST(ModelIdentifier, MessagesShowOtherBytesAsHex) {
  EXPECT_EQ(ModelIdForMessage("../evil"), "../evil");
  EXPECT_EQ(ModelIdForMessage(std::string("K\x01\xC3\\", 4)), "K\\x01\\xC3\\x5C");
}

TEST_F(TemplatePathTest, AnIdentifierThatCannotNameAFileGivesNoPath) {
  state.radioInfo = "MCU0400";
  state.radioVersion = 400;
  for (const char* bad : {"../../evilmodelx00000", "/etc/passwd", "KV68\\..\\x", ""}) {
    state.radioModelId = bad;
    EXPECT_EQ(TemplatePathFor(state), "") << bad;
  }
}

}  // namespace
}  // namespace fw
