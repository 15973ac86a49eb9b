// Loading shared libraries by absolute path only.

#include <gtest/gtest.h>

#include "platform/SharedLibrary.h"

namespace fw {
namespace {

const std::string kDir = std::string(FLASHWRIGHT_PLUGIN_DIR) + "/";

TEST(SharedLibrary, LoadsByAbsolutePathAndFindsExports) {
  SharedLibrary lib;
  ASSERT_TRUE(lib.Open(kDir + SharedLibrary::FileName("mutarisV1"))) << lib.LastError();
  EXPECT_NE(lib.Symbol("RecastRadioDataV1"), nullptr) << lib.LastError();
  EXPECT_EQ(lib.Symbol("RecastRadioData"), nullptr);
  EXPECT_NE(lib.LastError().find("RecastRadioData"), std::string::npos) << lib.LastError();
  SharedLibrary moved(std::move(lib));
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_FALSE(lib.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from is closed
  moved.Close();
  EXPECT_EQ(moved.Symbol("RecastRadioDataV1"), nullptr);
}

TEST(SharedLibrary, RefusesRelativePathsAndBareNames) {
  SharedLibrary lib;
  EXPECT_FALSE(lib.Open(SharedLibrary::FileName("mutaris")));
  EXPECT_NE(lib.LastError().find("not an absolute path"), std::string::npos);
  EXPECT_FALSE(lib.Open("./" + SharedLibrary::FileName("mutaris")));
  EXPECT_FALSE(lib.Open(""));
  EXPECT_FALSE(lib.IsOpen());
}

TEST(SharedLibrary, MissingFileGivesTheLoaderText) {
  SharedLibrary lib;
  EXPECT_FALSE(lib.Open(kDir + "no-such-library.so"));
  EXPECT_NE(lib.LastError().find("no-such-library.so"), std::string::npos) << lib.LastError();
}

}  // namespace
}  // namespace fw
