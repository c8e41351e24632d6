#include "app/JsonReaders.h"

#include <limits>

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

using nlohmann::json;

int32_t IntOf(std::string_view number) {
  return GetIntOr(json::parse("{\"v\": " + std::string(number) + "}"), "v", 7);
}

TEST(JsonReadersTest, NonObjectsAndMissingMembersGiveTheDefault) {
  for (const json& notAnObject : {json(), json::array({1}), json("v"), json(3), json(true)}) {
    EXPECT_EQ(GetStringOr(notAnObject, "v", "d"), "d");
    EXPECT_EQ(GetIntOr(notAnObject, "v", 7), 7);
    EXPECT_EQ(GetBoolOr(notAnObject, "v", true), true);
  }
  const json object = {{"other", 1}};
  EXPECT_EQ(GetStringOr(object, "v", "d"), "d");
  EXPECT_EQ(GetIntOr(object, "v", 7), 7);
  EXPECT_EQ(GetBoolOr(object, "v", false), false);
}

TEST(JsonReadersTest, StringsAreReadOnlyFromStrings) {
  EXPECT_EQ(GetStringOr(json::parse(R"({"v": "text"})"), "v", "d"), "text");
  EXPECT_EQ(GetStringOr(json::parse(R"({"v": ""})"), "v", "d"), "");
  EXPECT_EQ(GetStringOr(json::parse(R"({"v": 1})"), "v", "d"), "d");
  EXPECT_EQ(GetStringOr(json::parse(R"({"v": null})"), "v", "d"), "d");
  EXPECT_EQ(GetStringOr(json::parse(R"({"V": "x"})"), "v", "d"), "d");
}

TEST(JsonReadersTest, BooleansAreNotConvertedFromOtherTypes) {
  EXPECT_EQ(GetBoolOr(json::parse(R"({"v": false})"), "v", true), false);
  EXPECT_EQ(GetBoolOr(json::parse(R"({"v": 0})"), "v", true), true);
  EXPECT_EQ(GetBoolOr(json::parse(R"({"v": "false"})"), "v", true), true);
}

TEST(JsonReadersTest, IntegersKeepTheirLow32Bits) {
  EXPECT_EQ(IntOf("-5"), -5);
  EXPECT_EQ(IntOf("2147483647"), 2147483647);
  EXPECT_EQ(IntOf("2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(IntOf("4294967297"), 1);
  EXPECT_EQ(IntOf("-4294967297"), -1);
  EXPECT_EQ(IntOf("18446744073709551615"), -1);
  EXPECT_EQ(IntOf("-9223372036854775808"), 0);
}

TEST(JsonReadersTest, FloatsAreTruncatedTowardZero) {
  EXPECT_EQ(IntOf("800.9"), 800);
  EXPECT_EQ(IntOf("-800.9"), -800);
  EXPECT_EQ(IntOf("-0.5"), 0);
  EXPECT_EQ(IntOf("1e3"), 1000);
  EXPECT_EQ(IntOf("4294967296.5"), 0);
  EXPECT_EQ(IntOf("1e10"), 1410065408);
}

TEST(JsonReadersTest, FloatsFarOutsideTheIntegerRangeAreDefined) {
  EXPECT_EQ(IntOf("1e300"), 0);
  EXPECT_EQ(IntOf("-1e19"), 1981284352);  // (-10^19) mod 2^32, beyond the int64 range
  EXPECT_EQ(GetIntOr(json{{"v", std::numeric_limits<double>::infinity()}}, "v", 7), 0);
  EXPECT_EQ(GetIntOr(json{{"v", std::numeric_limits<double>::quiet_NaN()}}, "v", 7), 0);
}

TEST(JsonReadersTest, NonNumbersGiveTheDefaultInteger) {
  EXPECT_EQ(IntOf("true"), 7);
  EXPECT_EQ(IntOf("\"800\""), 7);
  EXPECT_EQ(IntOf("null"), 7);
  EXPECT_EQ(IntOf("[1]"), 7);
  EXPECT_EQ(IntOf("{}"), 7);
}

}  // namespace
}  // namespace tavrelle
