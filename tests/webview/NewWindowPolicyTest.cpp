#include "webview/NewWindowPolicy.h"

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

using Clock = std::chrono::steady_clock;
using webview::NewWindowRequestedEventArgs;
using webview::NewWindowRequester;

class NewWindowPolicyTest : public ::testing::Test {
 protected:
  bool admit(const std::string& uri, NewWindowRequester requester, bool accepted = true) {
    return policy.admit(NewWindowRequestedEventArgs(uri, std::move(requester)), accepted);
  }
  Clock::time_point now = Clock::time_point() + std::chrono::hours(1);
  NewWindowPolicy policy{[this] { return now; }};
  const NewWindowRequester appDocument{"https://tavrelle.localhost/", true, false};
  const NewWindowRequester clickInFrame{"http://127.0.0.1:8080/ad.html", false, true};
  const NewWindowRequester idleFrame{"http://127.0.0.1:8080/ad.html", false, false};
};

TEST_F(NewWindowPolicyTest, OnlyTheAppsTopDocumentOrAGestureMayOpen) {
  EXPECT_TRUE(admit("https://example.com/", appDocument));
  EXPECT_TRUE(admit("https://example.com/", clickInFrame, false));
  EXPECT_FALSE(admit("https://example.com/", idleFrame, false));
  // The top document of another origin (remote content that navigated away) is a frame
  // without a gesture as far as the host is concerned.
  EXPECT_FALSE(admit("https://example.com/", {"https://evil.example/", true, false}, false));
}

TEST_F(NewWindowPolicyTest, OnlyWebAndMailAddresses) {
  for (const char* uri : {"https://example.com/a?b#c", "http://example.com", "HTTPS://X.Y/",
                          "mailto:player@example.com", "MailTo:x@y"}) {
    EXPECT_TRUE(NewWindowPolicy::isShellScheme(uri)) << uri;
  }
  for (const char* uri : {"file:///etc/passwd", "steam://run/1", "javascript:alert(1)",
                          "data:text/html,x", "blob:https://tavrelle.localhost/1", "about:blank",
                          "https:example.com", "https:///x", "mailto:", "", "/relative/https://x",
                          " https://example.com/", "ftp://example.com/", "xdg-open:https://x"}) {
    EXPECT_FALSE(NewWindowPolicy::isShellScheme(uri)) << uri;
  }
  EXPECT_FALSE(admit("custom-scheme:payload", clickInFrame));
}

TEST_F(NewWindowPolicyTest, AFewPerSecondTheRestDropped) {
  for (int i = 0; i < NewWindowPolicy::kMostPerSecond; ++i) {
    EXPECT_TRUE(admit("https://example.com/", appDocument)) << i;
  }
  for (int i = 0; i < 300; ++i) EXPECT_FALSE(admit("https://example.com/", appDocument));
  now += std::chrono::milliseconds(999);
  EXPECT_FALSE(admit("https://example.com/", appDocument));
  now += std::chrono::milliseconds(1);
  EXPECT_TRUE(admit("https://example.com/", appDocument));
  // Refused requests use up nothing.
  now += std::chrono::seconds(5);
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(admit("file:///x", appDocument));
  EXPECT_TRUE(admit("https://example.com/", appDocument));
}

}  // namespace
}  // namespace tavrelle
