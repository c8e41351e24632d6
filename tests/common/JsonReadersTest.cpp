#include "common/JsonReaders.h"

#include <limits>

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

using nlohmann::json;

TEST(JsonReadersTest, NonObjectsMissingMembersAndOtherTypesGiveTheDefault) {
  for (const json& notAnObject :
       {json(), json::array({1}), json("v"), json(3), json(true), json{{"other", 1}}}) {
    EXPECT_EQ(GetStringOr(notAnObject, "v", "d"), "d");
    EXPECT_EQ(GetIntOr(notAnObject, "v", 7), 7);
    EXPECT_EQ(GetBoolOr(notAnObject, "v", true), true);
  }
  EXPECT_EQ(GetStringOr(json::parse(R"({"v": "text"})"), "v", "d"), "text");
  EXPECT_EQ(GetStringOr(json::parse(R"({"v": ""})"), "v", "d"), "");
  for (const char* other : {R"({"v": 1})", R"({"v": null})", R"({"V": "x"})"}) {
    EXPECT_EQ(GetStringOr(json::parse(other), "v", "d"), "d") << other;
  }
  EXPECT_EQ(GetBoolOr(json::parse(R"({"v": false})"), "v", true), false);
  EXPECT_EQ(GetBoolOr(json::parse(R"({"v": 0})"), "v", true), true);
  EXPECT_EQ(GetBoolOr(json::parse(R"({"v": "false"})"), "v", true), true);
}

TEST(JsonReadersTest, IntegersKeepTheirLow32BitsAndFloatsAreTruncated) {
  const std::vector<std::pair<const char*, int32_t>> cases = {
      {"2147483648", std::numeric_limits<int32_t>::min()},
      {"18446744073709551615", -1},
      {"-9223372036854775808", 0},
      {"-800.9", -800},
      {"1e300", 0},
      {"-1e19", 1981284352},  // (-10^19) mod 2^32, beyond the int64 range
      {"true", 7}};           // a boolean is no number
  for (const auto& [number, expected] : cases) {
    EXPECT_EQ(GetIntOr(json::parse("{\"v\": " + std::string(number) + "}"), "v", 7), expected)
        << number;
  }
  EXPECT_EQ(GetIntOr(json{{"v", std::numeric_limits<double>::infinity()}}, "v", 7), 0);
  EXPECT_EQ(GetIntOr(json{{"v", std::numeric_limits<double>::quiet_NaN()}}, "v", 7), 0);
}

}  // namespace
}  // namespace tavrelle
