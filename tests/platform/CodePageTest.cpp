#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace fw {
namespace {

TEST(CodePage, TheSystemHasTheCodePages) {
  EXPECT_EQ(CodePageProblem(), "");
}

TEST(CodePage, MissingModulesAreNamedNotThrown) {
  // A C library without its GBK module: every conversion from or to code page 936 fails.
  const std::string noGbk = CodePageProblemWith([](const char* to, const char* from) {
    return std::string(to) != "CP936" && std::string(from) != "CP936";
  });
  EXPECT_NE(noGbk.find("code-page modules (gconv) are missing: GBK (code page 936) cannot be "
                       "converted (CP936 to UTF-8, UTF-8 to CP936, CP936 to UTF-16LE, UTF-16LE "
                       "to CP936)"),
            std::string::npos)
      << noGbk;
  EXPECT_EQ(noGbk.find("UTF-16 cannot"), std::string::npos);
  // Without any module at all both are named.
  const std::string none = CodePageProblemWith([](const char*, const char*) { return false; });
  EXPECT_NE(none.find("GBK (code page 936) and UTF-16 cannot be converted"), std::string::npos)
      << none;
  EXPECT_NE(none.find("GCONV_PATH"), std::string::npos);
  EXPECT_EQ(CodePageProblemWith([](const char*, const char*) { return true; }), "");
}

TEST(CodePage, ChineseCharactersMapToTheirGbkBytes) {
  // 中 is D6 D0 and 文 is CE C4 in code page 936.
  EXPECT_EQ(Utf8ToCp936("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(Cp936ToUtf8("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(Utf16ToCp936(u"\u4E2DA"),
            "\xD6\xD0"
            "A");
  EXPECT_EQ(Cp936ToUtf16("\xD6\xD0"
                         "A"),
            u"\u4E2DA");
}

TEST(CodePage, UnrepresentableCharacterBecomesOneQuestionMark) {
  // Hangul 가 (U+AC00) and an emoji are not in code page 936.
  EXPECT_EQ(Utf16ToCp936(u"a\uAC00b"), "a?b");
  EXPECT_EQ(Utf8ToCp936("x\xF0\x9F\x98\x80y"), "x?y");
}

TEST(CodePage, DamagedLeadByteNeverSwallowsAnAsciiCharacter) {
  // 3D ('='), 3A (':') and 0A cannot follow the lead byte FE: the lead byte alone becomes
  // "?" and the ASCII character after it is kept.
  EXPECT_EQ(Cp936ToUtf8("K\xFE=1"), "K?=1");
  EXPECT_EQ(Cp936ToUtf16("\xFE:10"), u"?:10");
  EXPECT_EQ(Cp936ToUtf8("\xFE\n"), "?\n");
  // A non-ASCII byte that cannot follow the lead byte goes with it: one "?" for the pair.
  EXPECT_EQ(Cp936ToUtf8("a\x81\xFF"
                        "b"),
            "a?b");
  // A lead byte at the end stands alone.
  EXPECT_EQ(Cp936ToUtf8("a\x81"), "a?");
}

TEST(CodePage, Utf8AndUtf16RoundTrip) {
  std::string s = "AB \xE4\xB8\xAD \xEA\xB0\x80";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xAD"), u"\u4E2D");
}

TEST(CodePage, GbkExtensionAndEuroSign) {
  // 丂 (U+4E02) is 81 40, a code of the GBK extension beyond GB2312; 0x80 is the euro sign.
  EXPECT_EQ(Cp936ToUtf16("\x81\x40"), u"\u4E02");
  EXPECT_EQ(Utf16ToCp936(u"\u4E02"), "\x81\x40");
  EXPECT_EQ(Cp936ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToCp936("\xE2\x82\xAC"), "\x80");
  // FF is no code: one "?".
  EXPECT_EQ(Cp936ToUtf16("a\xFF"
                         "b"),
            u"a?b");
}

TEST(CodePage, NoLookAlikeReplacesAMissingCharacter) {
  // À (U+00C0) has no code in 936: "?", not the "A" a best-fit mapping would give. é (U+00E9)
  // has one (A8 A6).
  EXPECT_EQ(Utf16ToCp936(u"\u00C0\u00E9"), "?\xA8\xA6");
  EXPECT_EQ(Utf8ToCp936("\xC3\x80"), "?");
}

TEST(CodePage, MalformedUnicodeBecomesOneReplacementPerDamagedCharacter) {
  // Towards 936: "?" for an overlong form, an encoded surrogate, a cut-short sequence and a
  // stray continuation byte, each once; the ASCII around them stays.
  EXPECT_EQ(Utf8ToCp936("a\xC0\x80"
                        "b"),
            "a?b");
  EXPECT_EQ(Utf8ToCp936("\xED\xA0\x80"
                        "c"),
            "?c");
  EXPECT_EQ(Utf8ToCp936("d\xE4\xB8"), "d?");
  EXPECT_EQ(Utf8ToCp936("\x80"
                        "e"),
            "?e");
  // A lone surrogate in UTF-16: "?" towards 936, U+FFFD towards UTF-8.
  EXPECT_EQ(Utf16ToCp936(std::u16string(u"\xD800"
                                        u"a")),
            "?a");
  EXPECT_EQ(Utf16ToCp936(std::u16string(1, u'\xDC00')), "?");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"x\xD800")), "x\xEF\xBF\xBD");
  // Towards UTF-16: U+FFFD for each damaged UTF-8 character.
  EXPECT_EQ(Utf8ToUtf16("a\xC0\x80"
                        "b\xE4\xB8"),
            u"a\uFFFDb\uFFFD");
}

TEST(CodePage, CharactersBeyondTheBasicPlaneSurviveTheRoundTrip) {
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  // One "?" for the surrogate pair, not two.
  EXPECT_EQ(Utf16ToCp936(u"<\U0001F600>"), "<?>");
}

}  // namespace
}  // namespace fw
