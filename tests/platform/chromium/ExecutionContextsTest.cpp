#include <gtest/gtest.h>

#include "platform/chromium/ExecutionContexts.h"
#include "common/UrlOrigin.h"

namespace tavrelle::chromium {
namespace {

TEST(UrlOriginTest, SchemeHostAndNonDefaultPort) {
  EXPECT_EQ(urlOrigin("https://tavrelle.localhost/index.html?x#y"), "https://tavrelle.localhost");
  EXPECT_EQ(urlOrigin("HTTPS://Tavrelle.LocalHost"), "https://tavrelle.localhost");
  EXPECT_EQ(urlOrigin("https://a.localhost:443/"), "https://a.localhost");
  EXPECT_EQ(urlOrigin("http://127.0.0.1:8080/x"), "http://127.0.0.1:8080");
  EXPECT_EQ(urlOrigin("https://user:pw@host/"), "https://host");
}

TEST(UrlOriginTest, UrlsWithoutAuthorityHaveNone) {
  EXPECT_EQ(urlOrigin("about:blank"), "");
  EXPECT_EQ(urlOrigin("data:text/html,x"), "");
  EXPECT_EQ(urlOrigin("https:///path"), "");
}

class ExecutionContextsTest : public ::testing::Test {
 protected:
  ExecutionContexts contexts_;
};

// The frame's URL is the source only when it agrees with the context's origin; a
// sandboxed frame of the app's URL has an opaque origin and is not the app.
TEST_F(ExecutionContextsTest, FrameUrlIsTheSourceWhenItAgreesWithTheContextOrigin) {
  contexts_.frameNavigated("S", "F", "https://tavrelle.localhost/index.html#top");
  contexts_.frameNavigated("S", "B", "about:blank");
  contexts_.contextCreated("S", 1, "https://tavrelle.localhost", "F", true);
  contexts_.contextCreated("S", 2, "://", "F", true);
  contexts_.contextCreated("S", 3, "https://tavrelle.localhost", "B", true);
  auto caller = contexts_.callingDocument("S", 1);
  ASSERT_TRUE(caller);
  EXPECT_EQ(caller->source, "https://tavrelle.localhost/index.html#top");
  EXPECT_EQ(caller->frameId, "F");
  EXPECT_EQ(contexts_.callingDocument("S", 2)->source, "://");
  EXPECT_EQ(contexts_.callingDocument("S", 3)->source, "https://tavrelle.localhost");
}

TEST_F(ExecutionContextsTest, UnknownDestroyedAndIsolatedContextsAreNobody) {
  contexts_.contextCreated("S", 4, "https://a.localhost", "F", false);
  contexts_.contextCreated("S", 5, "https://a.localhost", "F", true);
  contexts_.contextDestroyed("S", 5);
  EXPECT_FALSE(contexts_.callingDocument("S", 4));
  EXPECT_FALSE(contexts_.callingDocument("S", 5));
  EXPECT_FALSE(contexts_.callingDocument("S", 99));
}

TEST_F(ExecutionContextsTest, ContextIdsAreOnlyUniquePerSession) {
  contexts_.frameNavigated("page", "F", "https://tavrelle.localhost/");
  contexts_.frameNavigated("frame", "G", "https://other.localhost/f.html");
  contexts_.contextCreated("page", 1, "https://tavrelle.localhost", "F", true);
  contexts_.contextCreated("frame", 1, "https://other.localhost", "G", true);
  EXPECT_EQ(contexts_.callingDocument("page", 1)->source, "https://tavrelle.localhost/");
  EXPECT_EQ(contexts_.callingDocument("frame", 1)->source, "https://other.localhost/f.html");
  contexts_.sessionEnded("frame");
  EXPECT_FALSE(contexts_.callingDocument("frame", 1));
  EXPECT_TRUE(contexts_.callingDocument("page", 1));
  contexts_.contextCreated("frame", 1, "https://other.localhost", "G", true);
  contexts_.contextsCleared("page");
  EXPECT_FALSE(contexts_.callingDocument("page", 1));
  EXPECT_TRUE(contexts_.callingDocument("frame", 1));
}

TEST_F(ExecutionContextsTest, MainWorldContextOfAFrame) {
  contexts_.contextCreated("S", 7, "https://a.localhost", "F", false);
  EXPECT_FALSE(contexts_.mainWorldContextOf("S", "F"));
  contexts_.contextCreated("S", 8, "https://a.localhost", "F", true);
  EXPECT_EQ(contexts_.mainWorldContextOf("S", "F"), 8);
  EXPECT_FALSE(contexts_.mainWorldContextOf("T", "F"));
}

}  // namespace
}  // namespace tavrelle::chromium
