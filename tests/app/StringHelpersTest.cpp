#include "app/StringHelpers.h"

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

using namespace std::string_literals;

TEST(Utf8ToWideTest, ConvertsEverySequenceLength) {
  EXPECT_EQ(Utf8ToWide("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf8ToWide("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(Utf8ToWide(""), u"");
  EXPECT_EQ(Utf8ToWide("a\0b"s), u"a\0b"s);
}

TEST(Utf8ToWideTest, IllFormedInputGivesEmpty) {
  EXPECT_EQ(Utf8ToWide("ok\x80"), u"");            // stray continuation byte
  EXPECT_EQ(Utf8ToWide("\xC3"), u"");              // cut short
  EXPECT_EQ(Utf8ToWide("\xE2\x82"), u"");          // cut short
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"");          // overlong "/"
  EXPECT_EQ(Utf8ToWide("\xE0\x80\xAF"), u"");      // overlong "/"
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"");      // encoded surrogate
  EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), u"");  // beyond U+10FFFF
  EXPECT_EQ(Utf8ToWide("\xFF"), u"");
  EXPECT_EQ(Utf8ToWide("\xC3\x28"), u"");  // lead without continuation
}

TEST(WideToUtf8Test, ConvertsSurrogatePairs) {
  EXPECT_EQ(WideToUtf8(u"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(u""), "");
}

TEST(WideToUtf8Test, UnpairedSurrogatesGiveEmpty) {
  EXPECT_EQ(WideToUtf8(u"x\xD800"s), "");
  EXPECT_EQ(WideToUtf8(u"\xDC00x"s), "");
  EXPECT_EQ(WideToUtf8(u"\xD800\xD800\xDC00"s), "");
}

TEST(ToExtendedPathTest, PrefixesPathsOfFourOrMoreCharacters) {
  EXPECT_EQ(ToExtendedPath(u"C:/a/b.txt"), u"\\\\?\\C:\\a\\b.txt");
  EXPECT_EQ(ToExtendedPath(u"abcd"), u"\\\\?\\abcd");
}

TEST(ToExtendedPathTest, ShortPathsOnlyGetTheirSlashesTurned) {
  EXPECT_EQ(ToExtendedPath(u"a/b"), u"a\\b");
  EXPECT_EQ(ToExtendedPath(u""), u"");
}

TEST(ToExtendedPathTest, AlreadyExtendedPathsAreNotPrefixedAgain) {
  EXPECT_EQ(ToExtendedPath(u"\\\\?\\C:/x"), u"\\\\?\\C:\\x");
  // "//?/" is not the prefix until its slashes are turned, so it is prefixed.
  EXPECT_EQ(ToExtendedPath(u"//?/C:"), u"\\\\?\\\\\\?\\C:");
}

TEST(StripExtendedPrefixTest, RemovesOnlyALeadingPrefix) {
  EXPECT_EQ(StripExtendedPrefix(u"\\\\?\\C:\\x"), u"C:\\x");
  EXPECT_EQ(StripExtendedPrefix(u"\\\\?\\"), u"");
  EXPECT_EQ(StripExtendedPrefix(u"C:\\\\?\\x"), u"C:\\\\?\\x");
  EXPECT_EQ(StripExtendedPrefix(u"\\\\?"), u"\\\\?");
}

}  // namespace
}  // namespace tavrelle
