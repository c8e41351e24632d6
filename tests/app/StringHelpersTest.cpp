#include "app/StringHelpers.h"

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

using namespace std::string_literals;

TEST(StringHelpers, Utf8AndUtf16ConvertEverySequenceLength) {
  EXPECT_EQ(Utf8ToWide("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(WideToUtf8(u"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToWide("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(Utf8ToWide(""), u"");
  EXPECT_EQ(WideToUtf8(u""), "");
  EXPECT_EQ(Utf8ToWide("a\0b"s), u"a\0b"s);
}

TEST(StringHelpers, IllFormedInputGivesEmpty) {
  for (const char* bad : {"ok\x80", "\xC3", "\xE2\x82", "\xC0\xAF" /* overlong */, "\xE0\x80\xAF",
                          "\xED\xA0\x80" /* surrogate */, "\xF4\x90\x80\x80" /* beyond U+10FFFF */,
                          "\xFF", "\xC3\x28"}) {
    EXPECT_EQ(Utf8ToWide(bad), u"") << bad;
  }
  for (const std::u16string& unpaired : {u"x\xD800"s, u"\xDC00x"s, u"\xD800\xD800\xDC00"s}) {
    EXPECT_EQ(WideToUtf8(unpaired), "");
  }
}

TEST(StringHelpers, ExtendedPaths) {
  EXPECT_EQ(ToExtendedPath(u"C:/a/b.txt"), u"\\\\?\\C:\\a\\b.txt");
  EXPECT_EQ(ToExtendedPath(u"abcd"), u"\\\\?\\abcd");
  EXPECT_EQ(ToExtendedPath(u"a/b"), u"a\\b");  // shorter than four: slashes turned only
  EXPECT_EQ(ToExtendedPath(u""), u"");
  EXPECT_EQ(ToExtendedPath(u"\\\\?\\C:/x"), u"\\\\?\\C:\\x");
  // "//?/" is not the prefix until its slashes are turned, so it is prefixed.
  EXPECT_EQ(ToExtendedPath(u"//?/C:"), u"\\\\?\\\\\\?\\C:");
  EXPECT_EQ(StripExtendedPrefix(u"\\\\?\\C:\\x"), u"C:\\x");
  EXPECT_EQ(StripExtendedPrefix(u"\\\\?\\"), u"");
  EXPECT_EQ(StripExtendedPrefix(u"C:\\\\?\\x"), u"C:\\\\?\\x");
  EXPECT_EQ(StripExtendedPrefix(u"\\\\?"), u"\\\\?");
}

}  // namespace
}  // namespace tavrelle
