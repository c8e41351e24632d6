// The limit on delegating the game's permission grants to frames of other origins.

#include <gtest/gtest.h>

#include "platform/chromium/PermissionNames.h"

namespace tavrelle::chromium {
namespace {

TEST(PermissionDelegationTest, DocumentsGetTheLimitUnlessTheyChoseAPolicy) {
  std::string limit = permissionDelegationLimit();
  EXPECT_EQ(withPermissionDelegationLimit(""), limit);
  EXPECT_EQ(withPermissionDelegationLimit("Content-Type: text/html"),
            "Content-Type: text/html\n" + limit);
  EXPECT_EQ(withPermissionDelegationLimit("Content-Type: text/html\n"),
            "Content-Type: text/html\n" + limit);
  const std::string own = "Content-Type: text/html\npermissions-policy: camera=*";
  EXPECT_EQ(withPermissionDelegationLimit(own), own);
}

}  // namespace
}  // namespace tavrelle::chromium
