#include "firmware/QueryFirmwareVersion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/SystemLanguage.h"
#include "support/FakeClockScope.h"
#include "support/RecordingView.h"
#include "support/SimulatedLink.h"

namespace fw {
namespace {

using Cmd = sim::FramedLinkResponder::Command;
using Fault = sim::FramedLinkResponder::Fault;

uint16_t Parse(const char* text) {
  uint8_t reply[128] = {};
  std::memcpy(reply, text, std::strlen(text));
  return ParseVersionReply(reply, sizeof reply);
}

TEST(VersionReply, DecimalDigitsOfTheFirstEightCharacters) {
  EXPECT_EQ(Parse("0399"), 399);
  EXPECT_EQ(Parse("400"), 400);
  EXPECT_EQ(Parse("0412abc"), 412);
  EXPECT_EQ(Parse("V400"), 0);  // no leading digits
  EXPECT_EQ(Parse(""), 0);
  EXPECT_EQ(Parse("000000004"), 0);     // the ninth character is not read
  EXPECT_EQ(Parse("12345678"), 65535);  // too large for 16 bits: counts as the largest
  EXPECT_EQ(Parse("65536"), 65535);     // not wrapped round to 0
}

TEST(SystemLanguage, LocaleNamesMapToLanguageIds) {
  EXPECT_EQ(LangIdFromLocaleName("zh_CN.UTF-8"), 0x0804);
  EXPECT_EQ(LangIdFromLocaleName("zh_CN"), 0x0804);
  EXPECT_EQ(LangIdFromLocaleName("zh_TW.UTF-8"), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName("ko_KR.UTF-8"), 0x0412);
  EXPECT_EQ(LangIdFromLocaleName("C"), 0x0409);
  SetSystemLangIdOverride(0x0804);
  EXPECT_EQ(SystemDefaultLangId(), 0x0804);
  SetSystemLangIdOverride(0);
}

#ifndef _WIN32
// POSIX systems name their language in the locale variables; Windows asks the system for
// the user's interface language (platform/SystemLanguage_win32.cpp).
// Sets the locale variables for one test and puts the old values back.
class LocaleEnv {
 public:
  LocaleEnv(const char* all, const char* messages, const char* lang) {
    Set("LC_ALL", all);
    Set("LC_MESSAGES", messages);
    Set("LANG", lang);
  }
  ~LocaleEnv() {
    for (auto& [name, value] : saved_) {
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str() + 1, 1);
    }
  }

 private:
  void Set(const char* name, const char* value) {
    const char* old = getenv(name);
    saved_.emplace_back(name, old ? std::string("=") + old : std::string());
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST(SystemLanguage, FirstSetLocaleVariableDecides) {
  {
    LocaleEnv env(nullptr, nullptr, "zh_CN.UTF-8");
    EXPECT_EQ(SystemDefaultLangId(), 0x0804);
  }
  {
    LocaleEnv env("", "en_US.UTF-8", "zh_CN.UTF-8");  // an empty LC_ALL does not count
    EXPECT_EQ(SystemDefaultLangId(), 0x0409);
  }
  {
    LocaleEnv env("zh_CN.GB2312", "en_US.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(SystemDefaultLangId(), 0x0804);
  }
  {
    LocaleEnv env(nullptr, nullptr, nullptr);
    EXPECT_EQ(SystemDefaultLangId(), 0x0409);
  }
}
#endif  // _WIN32

class QueryFirmwareVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.Port().SetJobClock(clock.Job());
    ASSERT_TRUE(sim.Connect(link));
  }
  void TearDown() override {
    SetSystemLangIdOverride(0);
    link.Disconnect();
  }

  test::FakeClockScope clock;
  test::SimulatedLink sim;
  test::RecordingView view;
  RadioLink link;
};

TEST_F(QueryFirmwareVersionTest, OldFirmwareMayBeRead) {
  sim.With([](auto& r) { r.SetVersionText("0399"); });
  EXPECT_TRUE(QueryFirmwareVersion(link, view));
  EXPECT_TRUE(link.Port().IsOpen());
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(QueryFirmwareVersionTest, NoAnswerMayBeRead) {
  sim.With([](auto& r) { r.InjectFault(Cmd::kVersionQuery, Fault::kWrongLength); });
  EXPECT_TRUE(QueryFirmwareVersion(link, view));
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kVersionQuery); }), 4);
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(QueryFirmwareVersionTest, NewFamilyClosesThePortAndShowsTheEnglishText) {
  SetSystemLangIdOverride(0x0409);
  sim.With([](auto& r) { r.SetVersionText("0400"); });
  EXPECT_FALSE(QueryFirmwareVersion(link, view));
  EXPECT_FALSE(link.Port().IsOpen());
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Unknown firmware version. Please make the radio enter downloading mode and then "
            "click 'Upgrade'. Do not close Flashwright.");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
}

TEST_F(QueryFirmwareVersionTest, ChineseSystemGetsTheChineseText) {
  SetSystemLangIdOverride(0x0804);
  sim.With([](auto& r) { r.SetVersionText("0401"); });
  EXPECT_FALSE(QueryFirmwareVersion(link, view));
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "未识别刚升级的主机软件版本，请使对讲机进入下载模式，重新升级！ (勿关闭Flashwright)");
}

}  // namespace
}  // namespace fw
