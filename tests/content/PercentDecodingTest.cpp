#include <gtest/gtest.h>

#include "content/PercentDecoding.h"

namespace tavrelle {
namespace {

constexpr size_t kUnits = 2048;

TEST(PercentDecoding, DecodesEscapesAsUtf8) {
  EXPECT_EQ(PercentDecodeUtf8("%e2%82%ac", kUnits), "\xE2\x82\xAC");
  EXPECT_EQ(PercentDecodeUtf8("a%2Fb%3Fc", kUnits), "a/b?c");
  // Plus is not a space in a path, and the query is decoded too.
  EXPECT_EQ(PercentDecodeUtf8("a+b?x=%41#%42", kUnits), "a+b?x=A#B");
}

TEST(PercentDecoding, IncompleteEscapesStayAsTheyAre) {
  EXPECT_EQ(PercentDecodeUtf8("%4", kUnits), "%4");
  EXPECT_EQ(PercentDecodeUtf8("%zz%4g", kUnits), "%zz%4g");
  // A decoded "%" does not start another escape.
  EXPECT_EQ(PercentDecodeUtf8("%2541", kUnits), "%41");
}

TEST(PercentDecoding, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(PercentDecodeUtf8("%E2%82", kUnits), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(PercentDecodeUtf8("%C0%AF", kUnits), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong "/"
  EXPECT_EQ(PercentDecodeUtf8("%ED%A0%80", kUnits), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(PercentDecoding, DecodedTextAndTerminatorMustFitTheUtf16Buffer) {
  EXPECT_EQ(PercentDecodeUtf8(std::string(2046, 'a') + "%41", kUnits)->size(), 2047U);
  EXPECT_EQ(PercentDecodeUtf8(std::string(2047, 'a') + "%41", kUnits), std::nullopt);
  // A character beyond U+FFFF takes two UTF-16 units.
  EXPECT_EQ(PercentDecodeUtf8(std::string(2046, 'a') + "%F0%9F%98%80", kUnits), std::nullopt);
  // Three UTF-8 bytes, one UTF-16 unit.
  EXPECT_TRUE(PercentDecodeUtf8(std::string(2046, 'a') + "\xE2\x82\xAC", kUnits));
}

}  // namespace
}  // namespace tavrelle
