#include "platform/chromium/LoopbackBodyServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <system_error>
#include <thread>
#include <vector>

#include "content/ResponseBodies.h"
#include "platform/chromium/LoopbackHttpMessages.h"
#include "support/LoopbackHttpClient.h"

namespace tavrelle::chromium {
namespace {

using namespace std::chrono_literals;
using test::fetchLoopback;
using test::LoopbackHttpClient;
using test::pathOfUrl;

constexpr const char* kOrigin = "https://tavrelle.localhost";
constexpr uint64_t kMiB = 1024 * 1024;

// Bytes computed from their offset: large bodies need no memory, misplaced pieces show.
// A body may claim more bytes than it delivers.
class PatternBody final : public webview::ResponseBody {
 public:
  explicit PatternBody(uint64_t size, uint64_t delivered = UINT64_MAX)
      : size_(size), end_(std::min(size, delivered)) {}
  [[nodiscard]] uint64_t size() const override { return size_; }
  size_t read(uint64_t offset, std::span<std::byte> out) const override {
    size_t count = offset >= end_ ? 0 : std::min<uint64_t>(out.size(), end_ - offset);
    for (size_t i = 0; i < count; ++i) out[i] = byteAt(offset + i);
    return count;
  }
  static std::byte byteAt(uint64_t offset) {
    return std::byte(static_cast<uint8_t>((offset * 2654435761u) >> 24));
  }

 private:
  uint64_t size_;
  uint64_t end_;
};

// Streamed by reads, or held in memory as one block that the server may send directly.
std::shared_ptr<webview::ResponseBody> patternBody(uint64_t size, bool contiguous = false) {
  auto streamed = std::make_shared<PatternBody>(size);
  if (!contiguous) return streamed;
  std::vector<std::byte> bytes(size);
  streamed->read(0, bytes);
  return std::make_shared<MemoryBody>(bytes);
}

template <typename Predicate>
bool eventually(Predicate predicate) {
  auto giveUp = std::chrono::steady_clock::now() + 30s;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::shared_ptr<MemoryBody> textBody(std::string_view text) {
  return std::make_shared<MemoryBody>(std::as_bytes(std::span(text)));
}

class LoopbackBodyServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = startServer();
    ASSERT_NE(server_, nullptr);
  }
  std::unique_ptr<LoopbackBodyServer> startServer(LoopbackBodyServerOptions options = {}) {
    options.clock = [this] { return start_ + elapsed_.load(); };
    return LoopbackBodyServer::start(kOrigin, std::move(options));
  }
  void advanceClock(std::chrono::milliseconds by) { elapsed_ = elapsed_.load() + by; }
  [[nodiscard]] uint16_t port() const { return server_->port(); }
  std::string offer(std::shared_ptr<const webview::ResponseBody> body,
                    const std::string& headers = "") {
    return pathOfUrl(server_->offer(200, "OK", headers, std::move(body)));
  }
  test::LoopbackHttpResponse get(const std::string& path, const char* method = "GET") {
    return fetchLoopback(port(), method, path);
  }

  const LoopbackBodyServerOptions::Clock::time_point start_ =
      LoopbackBodyServerOptions::Clock::now();
  std::atomic<std::chrono::milliseconds> elapsed_{0ms};
  std::unique_ptr<LoopbackBodyServer> server_;
};

// The head's own text is LoopbackHttpMessagesTest's; here the offer's lines reach it and
// the request's Range header changes nothing.
TEST_F(LoopbackBodyServerTest, ServesTheBodyWithTheOfferedStatusLineAndHeaders) {
  const std::string block =
      "Cache-Control: no-store\nContent-Type: video/mp4\nAccept-Ranges: bytes\n"
      "Content-Range: bytes 0-9/100\nContent-Length: 10";
  std::string url = server_->offer(206, "Partial Content", block, textBody("0123456789"));
  auto response = fetchLoopback(port(), "GET", pathOfUrl(url), "Range: bytes=50-\r\n");
  EXPECT_EQ(response.head, bodyResponseHead(206, "Partial Content", block, 10, kOrigin));
  EXPECT_EQ(response.body, "0123456789");
}

TEST_F(LoopbackBodyServerTest, HeadUsesTheOfferAndAnOfferWithoutBodyIsEmpty) {
  std::string path = offer(textBody("hello"), "Content-Type: text/plain");
  auto head = get(path, "HEAD");
  EXPECT_EQ(head.header("Content-Length"), "5");
  EXPECT_EQ(head.body, "");
  EXPECT_EQ(get(path).head, "");

  auto empty = get(offer(nullptr));
  EXPECT_EQ(empty.header("Content-Length"), "0");
  EXPECT_EQ(empty.body, "");
}

TEST_F(LoopbackBodyServerTest, TokensAreRandomSingleUseAndMatchedExactly) {
  std::regex shape("http://127\\.0\\.0\\.1:" + std::to_string(port()) + "/[0-9a-f]{32}");
  std::string url = server_->offer(200, "OK", "", textBody("secret"));
  std::string other = server_->offer(200, "OK", "", nullptr);
  EXPECT_TRUE(std::regex_match(url, shape)) << url;
  EXPECT_NE(url, other);
  const std::string path = pathOfUrl(url), token = path.substr(1);
  std::string upper = token;
  std::ranges::transform(upper, upper.begin(), ::toupper);
  for (const std::string& target :
       {std::string("/0123456789abcdef0123456789abcdef"), "/" + upper, path + "?x", path + "0",
        "/" + token.substr(1), "http://127.0.0.1:" + std::to_string(port()) + path}) {
    SCOPED_TRACE(target);
    // No answer at all: the connection is closed.
    EXPECT_EQ(get(target).head, "");
  }
  EXPECT_EQ(server_->pendingOffers(), 2u);
  EXPECT_EQ(get(path).body, "secret");
  EXPECT_EQ(get(path).head, "");
}

TEST_F(LoopbackBodyServerTest, PreflightAnswersWithoutUsingTheOffer) {
  std::string path = offer(textBody("data"));
  auto preflight = fetchLoopback(port(), "OPTIONS", path,
                                 "Origin: https://tavrelle.localhost\r\n"
                                 "Access-Control-Request-Method: GET\r\n"
                                 "Access-Control-Request-Headers: range, x-custom\r\n"
                                 "Access-Control-Request-Private-Network: true\r\n");
  EXPECT_EQ(preflight.status, 204);
  EXPECT_EQ(preflight.header("Access-Control-Allow-Origin"), kOrigin);
  EXPECT_EQ(preflight.header("Access-Control-Allow-Methods"), "GET, HEAD, OPTIONS");
  EXPECT_EQ(preflight.header("Access-Control-Allow-Headers"), "range, x-custom");
  EXPECT_EQ(preflight.header("Access-Control-Allow-Private-Network"), "true");
  auto forPut = fetchLoopback(port(), "OPTIONS", path, "Access-Control-Request-Method: PUT\r\n");
  EXPECT_EQ(forPut.header("Access-Control-Allow-Methods"), "GET, HEAD, OPTIONS, PUT");
  EXPECT_EQ(forPut.header("Access-Control-Allow-Headers"), std::nullopt);
  EXPECT_EQ(get(path).body, "data");
}

TEST_F(LoopbackBodyServerTest, AnAnsweredConnectionIsKeptForTheNextRequest) {
  LoopbackHttpClient kept(port());
  for (const char* text : {"first", "second body"}) {
    kept.sendRequest("GET", offer(textBody(text)), {}, true);
    EXPECT_NE(kept.readHead().find("\r\nConnection: keep-alive\r\n"), std::string::npos);
    EXPECT_EQ(kept.readBodyText(std::string_view(text).size()), text);
  }
  EXPECT_EQ(server_->openConnections(), 1u);
  // Idle kept connections are closed after a while.
  LoopbackHttpClient idle(port());
  idle.sendRequest("GET", offer(textBody("x")), {}, true);
  idle.readHead();
  EXPECT_EQ(idle.readBodyText(1), "x");
  // The server may start the idle time only after the client has read the body.
  EXPECT_TRUE(eventually([&] {
    advanceClock(1s);
    return server_->openConnections() == 0;
  }));
  EXPECT_TRUE(idle.waitForClose());
}

TEST_F(LoopbackBodyServerTest, MalformedOversizedAndPiecemealRequests) {
  std::string path = offer(textBody("data"));
  LoopbackHttpClient malformed(port());
  malformed.send("GET\r\n\r\n");
  EXPECT_TRUE(malformed.readHead().starts_with("HTTP/1.1 400 Bad Request\r\n"));
  LoopbackHttpClient oversized(port());
  oversized.send("GET " + path + " HTTP/1.1\r\nX-Padding: " + std::string(20'000, 'a'));
  EXPECT_TRUE(oversized.readHead().starts_with("HTTP/1.1 431 "));
  LoopbackHttpClient piecemeal(port());
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  for (char c : request) piecemeal.send(std::string_view(&c, 1));
  EXPECT_TRUE(piecemeal.readHead().starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(piecemeal.readBodyText(4), "data");
}

TEST_F(LoopbackBodyServerTest, TheNumberOfWaitingOffersIsCapped) {
  auto capped = startServer({.maxPendingOffers = 2, .clock = {}});
  ASSERT_NE(capped, nullptr);
  auto offerTo = [&](const char* text) { return capped->offer(200, "OK", "", textBody(text)); };
  std::string first = offerTo("x");
  EXPECT_FALSE(offerTo("x").empty());
  EXPECT_EQ(offerTo("x"), "");
  // Taking one makes room for one.
  EXPECT_EQ(fetchLoopback(capped->port(), "GET", pathOfUrl(first)).body, "x");
  EXPECT_FALSE(offerTo("y").empty());
}

TEST_F(LoopbackBodyServerTest, OffersExpireAfterThirtySecondsAndReleaseTheirBodies) {
  std::string inTime = offer(textBody("in time"));
  auto fetched = textBody("late");
  auto neverFetched = textBody("late");
  std::weak_ptr<MemoryBody> watchedFetched = fetched, watchedNeverFetched = neverFetched;
  std::string late = offer(std::move(fetched));
  offer(std::move(neverFetched));
  advanceClock(29s);
  EXPECT_EQ(get(inTime).body, "in time");
  advanceClock(1s);
  EXPECT_EQ(get(late).head, "");
  EXPECT_TRUE(watchedFetched.expired());
  advanceClock(1s);
  EXPECT_TRUE(eventually([&] { return watchedNeverFetched.expired(); }));
  EXPECT_EQ(server_->pendingOffers(), 0u);
}

TEST_F(LoopbackBodyServerTest, ASilentClientBlocksNobodyAndIsDroppedAfterThreeSeconds) {
  LoopbackHttpClient halfway(port());
  halfway.send("GET /0123");
  EXPECT_EQ(get(offer(textBody("served"))).body, "served");
  ASSERT_TRUE(eventually([&] { return server_->openConnections() == 1; }));
  advanceClock(3s);
  EXPECT_TRUE(halfway.waitForClose());
  EXPECT_TRUE(eventually([&] { return server_->openConnections() == 0; }));
}

TEST_F(LoopbackBodyServerTest, AClientThatStopsReadingIsDroppedAfterTheStallTimeout) {
  auto body = std::make_shared<PatternBody>(64 * kMiB);
  std::weak_ptr<PatternBody> watched = body;
  LoopbackHttpClient stalled(port());
  stalled.sendRequest("GET", offer(std::move(body)));
  ASSERT_TRUE(eventually([&] { return server_->pendingOffers() == 0; }));
  // Progress stops once the socket buffers are full; then a stall timeout passes.
  EXPECT_TRUE(eventually([&] {
    advanceClock(120s);
    return watched.expired();
  }));
  EXPECT_TRUE(eventually([&] { return server_->openConnections() == 0; }));
}

TEST_F(LoopbackBodyServerTest, AClientLeavingMidBodyLeavesTheServerWorking) {
  auto body = std::make_shared<PatternBody>(64 * kMiB);
  std::weak_ptr<PatternBody> watched = body;
  LoopbackHttpClient leaving(port());
  leaving.sendRequest("GET", offer(std::move(body)));
  ASSERT_TRUE(leaving.readHead().starts_with("HTTP/1.1 200 OK\r\n"));
  leaving.abort();
  EXPECT_TRUE(eventually([&] { return watched.expired(); }));
  EXPECT_EQ(get(offer(textBody("still here"))).body, "still here");
}

TEST_F(LoopbackBodyServerTest, ABodyEndingEarlyCutsTheConnection) {
  auto response = get(offer(std::make_shared<PatternBody>(4 * kMiB, kMiB)));
  EXPECT_EQ(response.header("Content-Length"), std::to_string(4 * kMiB));
  EXPECT_EQ(response.body.size(), kMiB);
}

// Bodies larger than a client's fair share, read and contiguous, streamed side by side.
TEST_F(LoopbackBodyServerTest, ClientsAreServedSideBySideAndBodiesArriveIntact) {
  std::vector<uint64_t> sizes = {40 * kMiB + 5, 8 * kMiB + 3, 9 * kMiB, 20 * kMiB + 11};
  std::vector<std::unique_ptr<LoopbackHttpClient>> clients;
  for (size_t i = 0; i < sizes.size(); ++i) {
    clients.push_back(std::make_unique<LoopbackHttpClient>(port()));
    clients.back()->sendRequest("GET", offer(patternBody(sizes[i], i + 1 == sizes.size())));
  }
  // Read them last to first: each must progress although the others are not read.
  for (size_t i = sizes.size(); i-- > 0;) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(clients[i]->readHead().starts_with("HTTP/1.1 200 OK\r\n"));
    const std::string body = clients[i]->readBodyText();
    EXPECT_EQ(body.size(), sizes[i]);
    uint64_t offset = 0;
    EXPECT_TRUE(std::ranges::all_of(
        body, [&](char byte) { return std::byte(byte) == PatternBody::byteAt(offset++); }));
  }
}

TEST_F(LoopbackBodyServerTest, ListensOnlyOn127001) {
  // Bound to every address, the server would answer this one too.
  EXPECT_THROW(LoopbackHttpClient(port(), "127.0.0.2"), std::system_error);
  EXPECT_NO_THROW(LoopbackHttpClient(port(), "127.0.0.1"));
}

TEST_F(LoopbackBodyServerTest, StopClosesConnectionsAndReleasesOffers) {
  auto pending = textBody("pending");
  auto streaming = std::make_shared<PatternBody>(256 * kMiB);
  std::weak_ptr<MemoryBody> watchedPending = pending;
  std::weak_ptr<PatternBody> watchedStreaming = streaming;
  offer(std::move(pending));
  LoopbackHttpClient reader(port());
  reader.sendRequest("GET", offer(std::move(streaming)));
  ASSERT_FALSE(reader.readHead().empty());
  uint16_t oldPort = port();

  server_->stop();
  EXPECT_TRUE(watchedPending.expired());
  EXPECT_TRUE(watchedStreaming.expired());
  EXPECT_EQ(server_->offer(200, "OK", "", nullptr), "");
  EXPECT_LT(reader.readBodyText().size(), 256 * kMiB);
  EXPECT_THROW(LoopbackHttpClient(oldPort, "127.0.0.1"), std::system_error);
}

}  // namespace
}  // namespace tavrelle::chromium
