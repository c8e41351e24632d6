#include "messaging/HostMessages.h"

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

TEST(HostMessagesTest, CompactSortedAndUnescapedWithBadBytesReplaced) {
  EXPECT_EQ(host_messages::WrapperInitResponse({"b-comp", "a-comp"}),
            R"({"registeredComponentIds":["b-comp","a-comp"],"type":"wrapper-init-response"})");
  EXPECT_EQ(host_messages::LogToConsole("Grüße \"x\"\n", "normal"),
            R"({"logType":"normal","message":"Grüße \"x\"\n","type":"log-to-console"})");
  EXPECT_EQ(host_messages::LogToConsole("a\xff", "error"),
            "{\"logType\":\"error\",\"message\":\"a\xEF\xBF\xBD\",\"type\":\"log-to-console\"}");
}

}  // namespace
}  // namespace tavrelle
