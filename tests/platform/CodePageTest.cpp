#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace fw {
namespace {

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

}  // namespace
}  // namespace fw
