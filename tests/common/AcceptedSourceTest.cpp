#include <gtest/gtest.h>

#include "common/UrlOrigin.h"

namespace tavrelle {
namespace {

TEST(AcceptedSource, BareRemoteOriginMatchesSchemeHostAndPortExactly) {
  const std::string main = "https://game.example.com";
  for (const char* source : {"https://game.example.com/", "https://game.example.com/play?x=1",
                             "https://game.example.com:443/", "https://GAME.example.com/"}) {
    EXPECT_TRUE(IsAcceptedSourceFor(main, source)) << source;
  }
  for (const char* source : {"https://game.example.com.evil.net/", "https://game.example.com:8443/",
                             "http://game.example.com/", "https://game.example.comx/",
                             "https://evil.net/?https://game.example.com",
                             "https://game.example.com@evil.net/", "://", "", "about:blank"}) {
    EXPECT_FALSE(IsAcceptedSourceFor(main, source)) << source;
  }
  EXPECT_TRUE(IsAcceptedSourceFor("http://127.0.0.1:8080", "http://127.0.0.1:8080/index.html"));
  EXPECT_FALSE(IsAcceptedSourceFor("http://127.0.0.1:8080", "http://127.0.0.1:80/index.html"));
}

TEST(AcceptedSource, AddressWithAPathIsAPrefix) {
  const std::string app = "https://tavrelle.localhost/";
  EXPECT_TRUE(IsAcceptedSourceFor(app, "https://tavrelle.localhost/index.html"));
  EXPECT_FALSE(IsAcceptedSourceFor(app, "https://tavrelle.localhost"));
  EXPECT_FALSE(IsAcceptedSourceFor(app, "HTTPS://TAVRELLE.LOCALHOST/"));
  const std::string remote = "https://cdn.example.com/games/mine/";
  EXPECT_TRUE(IsAcceptedSourceFor(remote, "https://cdn.example.com/games/mine/index.html"));
  EXPECT_FALSE(IsAcceptedSourceFor(remote, "https://cdn.example.com/games/other/"));
}

}  // namespace
}  // namespace tavrelle
