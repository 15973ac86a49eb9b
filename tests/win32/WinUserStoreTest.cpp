// The Win32 window's per-user values in the user's registry: what one run keeps, the next
// finds, whatever the folder's name holds; values written by hand as numbers are read too.

#include <gtest/gtest.h>

#include <string>

#include "WinInstallationFolder.h"

namespace fw {
namespace {

class RegistryStoreTest : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
  std::wstring key_ = L"Software\\flashwright-test\\" + std::to_wstring(GetCurrentProcessId());
};

TEST_F(RegistryStoreTest, KeptChoicesSurviveAnotherStoreAndAreForgotten) {
  // A folder with the separators and letters a path on a bench may have.
  const std::string folder = "C:\\Radio Shop\\Bänk 2+3\\";
  {
    UserSettings first(RegistryUserStore(key_));
    EXPECT_FALSE(first.Kept(folder).has_value());
    EXPECT_EQ(first.LastInstallation(), "");
    first.Keep(folder, KeptChoices{12, 1, 1});
    first.SetToldReadOnly(folder);
    first.SetLastInstallation(folder);
  }
  UserSettings next(RegistryUserStore(key_));
  const std::optional<KeptChoices> kept = next.Kept(folder);
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->port, 12);
  EXPECT_EQ(kept->vocoder, 1);
  EXPECT_EQ(kept->updateChip, 1);
  EXPECT_TRUE(next.ToldReadOnly(folder));
  EXPECT_EQ(next.LastInstallation(), folder);
  // Another folder whose name begins the same has nothing kept.
  EXPECT_FALSE(next.Kept("C:\\Radio Shop\\").has_value());
  EXPECT_EQ(next.Location(), "HKEY_CURRENT_USER\\Software\\flashwright-test\\" +
                                 std::to_string(GetCurrentProcessId()));

  // The folder's group is one subkey, named by the percent-encoded folder.
  const std::wstring group = key_ + L"\\kept\\C%3A%5CRadio%20Shop%5CB%C3%A4nk%202%2B3%5C";
  wchar_t text[16] = {};
  DWORD bytes = sizeof text;
  ASSERT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, group.c_str(), L"Port", RRF_RT_REG_SZ, nullptr, text, &bytes),
      ERROR_SUCCESS);
  EXPECT_STREQ(text, L"12");

  // A number set by hand (regedit's DWORD) is read as the number.
  const DWORD five = 5;
  ASSERT_EQ(
      RegSetKeyValueW(HKEY_CURRENT_USER, group.c_str(), L"Port", REG_DWORD, &five, sizeof five),
      ERROR_SUCCESS);
  EXPECT_EQ(next.Kept(folder)->port, 5);

  next.Forget(folder);
  EXPECT_FALSE(next.Kept(folder).has_value());
  EXPECT_TRUE(next.ToldReadOnly(folder));  // told once stays told
}

}  // namespace
}  // namespace fw
