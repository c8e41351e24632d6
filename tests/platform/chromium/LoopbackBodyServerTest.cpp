#include "platform/chromium/LoopbackBodyServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <regex>
#include <set>
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

// Bytes computed from their offset: hundreds of megabytes need no memory, misplaced pieces
// show. A body may claim more bytes than it delivers.
class PatternBody final : public webview::ResponseBody {
 public:
  explicit PatternBody(uint64_t size, uint64_t delivered = UINT64_MAX)
      : size_(size), end_(std::min(size, delivered)) {}
  [[nodiscard]] uint64_t size() const override { return size_; }
  size_t read(uint64_t offset, std::span<std::byte> out) const override {
    if (offset >= end_) return 0;
    size_t count = static_cast<size_t>(std::min<uint64_t>(out.size(), end_ - offset));
    size_t i = 0;
    for (; i < count && (offset + i) % 8 != 0; ++i) out[i] = byteAt(offset + i);
    for (; i + 8 <= count; i += 8) {
      uint64_t word = wordAt((offset + i) / 8);
      std::memcpy(&out[i], &word, 8);
    }
    for (; i < count; ++i) out[i] = byteAt(offset + i);
    return count;
  }

 private:
  static uint64_t wordAt(uint64_t index) { return (index + 1) * 0x9E3779B97F4A7C15ULL; }
  static std::byte byteAt(uint64_t offset) {
    uint64_t word = wordAt(offset / 8);
    unsigned char bytes[8];
    std::memcpy(bytes, &word, 8);
    return std::byte{bytes[offset % 8]};
  }
  uint64_t size_;
  uint64_t end_;
};

class FakeClock {
 public:
  LoopbackBodyServerOptions::Clock::time_point now() const { return start_ + elapsed_.load(); }
  void advance(std::chrono::milliseconds by) { elapsed_ = elapsed_.load() + by; }

 private:
  LoopbackBodyServerOptions::Clock::time_point start_ = LoopbackBodyServerOptions::Clock::now();
  std::atomic<std::chrono::milliseconds> elapsed_{0ms};
};

// Waits for something the serving thread does on its own.
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

// Reads a whole body and compares it with the pattern piece by piece.
struct PatternCheck {
  const PatternBody& expected;
  uint64_t offset = 0;
  bool intact = true;
  std::vector<std::byte> scratch{};

  void operator()(std::span<const std::byte> piece) {
    scratch.resize(piece.size());
    size_t produced = expected.read(offset, scratch);
    if (produced != piece.size() || std::memcmp(scratch.data(), piece.data(), piece.size()) != 0) {
      intact = false;
    }
    offset += piece.size();
  }
};

class LoopbackBodyServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoopbackBodyServerOptions options;
    options.clock = [this] { return clock_.now(); };
    server_ = LoopbackBodyServer::start(kOrigin, std::move(options));
    ASSERT_NE(server_, nullptr);
  }
  [[nodiscard]] uint16_t port() const { return server_->port(); }
  // Offers a body and returns the path of its URL.
  std::string offer(std::shared_ptr<const webview::ResponseBody> body,
                    const std::string& headers = "") {
    return pathOfUrl(server_->offer(200, "OK", headers, std::move(body)));
  }
  test::LoopbackHttpResponse get(const std::string& path, const char* method = "GET") {
    return fetchLoopback(port(), method, path);
  }
  // Reads a whole body on its own connection; checks it against the pattern.
  void expectIntact(const std::string& path, const PatternBody& pattern) {
    LoopbackHttpClient client(port());
    client.sendRequest("GET", path);
    ASSERT_NE(
        client.readHead().find("\r\nContent-Length: " + std::to_string(pattern.size()) + "\r\n"),
        std::string::npos);
    PatternCheck check{pattern};
    EXPECT_EQ(client.readBody(std::ref(check)), pattern.size());
    EXPECT_TRUE(check.intact);
  }

  FakeClock clock_;
  std::unique_ptr<LoopbackBodyServer> server_;
};

// The head's own text is LoopbackHttpMessagesTest's; here the offer's lines reach it and
// the request's Range header changes nothing.
TEST_F(LoopbackBodyServerTest, ServesTheBodyWithTheOfferedStatusLineAndHeaders) {
  const std::string block =
      "Cache-Control: no-store\nContent-Type: video/mp4\nAccept-Ranges: bytes\n"
      "Content-Range: bytes 0-9/100\nContent-Length: 10";
  std::string url = server_->offer(206, "Partial Content", block, textBody("0123456789"));
  ASSERT_TRUE(url.starts_with("http://127.0.0.1:" + std::to_string(port()) + "/"));
  auto response = fetchLoopback(port(), "GET", pathOfUrl(url), "Range: bytes=50-\r\n");
  EXPECT_EQ(response.head, bodyResponseHead(206, "Partial Content", block, 10, kOrigin));
  EXPECT_EQ(response.body, "0123456789");
  EXPECT_EQ(server_->pendingOffers(), 0u);
}

TEST_F(LoopbackBodyServerTest, HeadUsesTheOfferAndAnOfferWithoutBodyIsEmpty) {
  std::string path = offer(textBody("hello"), "Content-Type: text/plain");
  auto head = get(path, "HEAD");
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.header("Content-Length"), "5");
  EXPECT_EQ(head.body, "");
  EXPECT_EQ(get(path).head, "");

  std::string url =
      server_->offer(500, "Internal Server Error", "Cache-Control: no-store", nullptr);
  auto empty = get(pathOfUrl(url));
  EXPECT_TRUE(empty.head.starts_with("HTTP/1.1 500 Internal Server Error\r\n"));
  EXPECT_EQ(empty.header("Content-Length"), "0");
  EXPECT_EQ(empty.body, "");
}

TEST_F(LoopbackBodyServerTest, TokensAreSingleUseAndMatchedExactly) {
  std::string path = offer(textBody("secret"));
  std::string token = path.substr(1);
  std::string upper = token;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  for (const std::string& target :
       {std::string("/"), std::string("/abc"), std::string("/0123456789abcdef0123456789abcdef"),
        "/" + upper, path + "?x", path + "/", path + "0", "/" + token.substr(1), "//" + token,
        path.substr(0, path.size() - 1) + "g", "http://127.0.0.1:" + std::to_string(port()) + path,
        "/." + path, std::string("*")}) {
    SCOPED_TRACE(target);
    // No answer at all: the connection is closed.
    auto response = get(target);
    EXPECT_EQ(response.head, "");
    EXPECT_EQ(response.body, "");
  }
  EXPECT_EQ(server_->pendingOffers(), 1u);
  EXPECT_EQ(get(path).body, "secret");
  auto second = get(path);
  EXPECT_EQ(second.head, "");
  EXPECT_EQ(second.body, "");
}

TEST_F(LoopbackBodyServerTest, UrlsCarryDistinct128BitTokens) {
  std::regex shape("http://127\\.0\\.0\\.1:" + std::to_string(port()) + "/[0-9a-f]{32}");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string url = server_->offer(200, "OK", "", nullptr);
    EXPECT_TRUE(std::regex_match(url, shape)) << url;
    seen.insert(url);
  }
  EXPECT_EQ(seen.size(), 200u);
  EXPECT_EQ(server_->pendingOffers(), 200u);
}

TEST_F(LoopbackBodyServerTest, PreflightAnswersWithoutUsingTheOffer) {
  std::string path = offer(textBody("data"));
  auto preflight = fetchLoopback(port(), "OPTIONS", path,
                                 "Origin: https://tavrelle.localhost\r\n"
                                 "Access-Control-Request-Method: GET\r\n"
                                 "Access-Control-Request-Headers: range, x-custom\r\n"
                                 "Access-Control-Request-Private-Network: true\r\n");
  EXPECT_TRUE(preflight.head.starts_with("HTTP/1.1 204 No Content\r\n"));
  EXPECT_EQ(preflight.header("Access-Control-Allow-Origin"), kOrigin);
  EXPECT_EQ(preflight.header("Access-Control-Allow-Methods"), "GET, HEAD, OPTIONS");
  auto forPut = fetchLoopback(port(), "OPTIONS", path, "Access-Control-Request-Method: PUT\r\n");
  EXPECT_EQ(forPut.header("Access-Control-Allow-Methods"), "GET, HEAD, OPTIONS, PUT");
  EXPECT_EQ(preflight.header("Access-Control-Allow-Headers"), "range, x-custom");
  EXPECT_EQ(preflight.header("Access-Control-Allow-Private-Network"), "true");
  EXPECT_EQ(preflight.body, "");
  auto bare =
      fetchLoopback(port(), "OPTIONS", "/whatever", "Access-Control-Request-Method: GET\r\n");
  EXPECT_EQ(bare.status, 204);
  EXPECT_EQ(bare.countOf("Access-Control-Allow-Headers"), 0);
  EXPECT_EQ(server_->pendingOffers(), 1u);
  EXPECT_EQ(get(path).body, "data");
}

TEST_F(LoopbackBodyServerTest, EveryMethodIsAnsweredLikeGet) {
  for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH", "BREW"}) {
    SCOPED_TRACE(method);
    auto response = get(offer(textBody("data"), "Content-Type: text/plain"), method);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.header("Content-Type"), "text/plain");
    EXPECT_EQ(response.body, "data");
  }
  // A request with a body is answered too; its body is not taken for a next request.
  LoopbackHttpClient posting(port());
  posting.sendRequest("POST", offer(textBody("posted")), "Content-Length: 5\r\n", true);
  posting.send("hello");
  std::string head = posting.readHead();
  EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos);
  EXPECT_EQ(posting.readBodyText(), "posted");
  EXPECT_EQ(server_->pendingOffers(), 0u);
}

TEST_F(LoopbackBodyServerTest, AnAnsweredConnectionIsKeptForTheNextRequest) {
  LoopbackHttpClient kept(port());
  for (const char* text : {"first", "second body", "third"}) {
    kept.sendRequest("GET", offer(textBody(text)), {}, true);
    std::string head = kept.readHead();
    EXPECT_NE(head.find("\r\nConnection: keep-alive\r\n"), std::string::npos);
    EXPECT_EQ(kept.readBodyText(std::string_view(text).size()), text);
  }
  EXPECT_EQ(server_->openConnections(), 1u);
  // An unknown token on a kept connection ends it.
  kept.sendRequest("GET", "/0123456789abcdef0123456789abcdef", {}, true);
  EXPECT_TRUE(kept.waitForClose());
  // Idle kept connections are closed after a while.
  LoopbackHttpClient idle(port());
  idle.sendRequest("GET", offer(textBody("x")), {}, true);
  idle.readHead();
  EXPECT_EQ(idle.readBodyText(1), "x");
  // The server may start the idle time only after the client has read the body.
  EXPECT_TRUE(eventually([&] {
    clock_.advance(1s);
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
  EXPECT_EQ(server_->pendingOffers(), 1u);
  LoopbackHttpClient piecemeal(port());
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  for (char c : request) piecemeal.send(std::string_view(&c, 1));
  EXPECT_TRUE(piecemeal.readHead().starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(piecemeal.readBodyText(4), "data");
}

TEST_F(LoopbackBodyServerTest, TheNumberOfWaitingOffersIsCapped) {
  LoopbackBodyServerOptions options;
  options.maxPendingOffers = 3;
  auto capped = LoopbackBodyServer::start(kOrigin, options);
  ASSERT_NE(capped, nullptr);
  std::vector<std::string> urls;
  for (int i = 0; i < 3; ++i) urls.push_back(capped->offer(200, "OK", "", textBody("x")));
  for (const std::string& url : urls) EXPECT_FALSE(url.empty());
  EXPECT_EQ(capped->offer(200, "OK", "", textBody("x")), "");
  // Taking one makes room for one.
  EXPECT_EQ(fetchLoopback(capped->port(), "GET", pathOfUrl(urls[0])).body, "x");
  EXPECT_FALSE(capped->offer(200, "OK", "", textBody("y")).empty());
  EXPECT_EQ(capped->offer(200, "OK", "", textBody("z")), "");
}

TEST_F(LoopbackBodyServerTest, OffersExpireAfterThirtySecondsAndReleaseTheirBodies) {
  std::string inTime = offer(textBody("in time"));
  auto fetched = textBody("late");
  auto neverFetched = textBody("late");
  std::weak_ptr<MemoryBody> watchedFetched = fetched, watchedNeverFetched = neverFetched;
  std::string late = offer(std::move(fetched));
  offer(std::move(neverFetched));
  clock_.advance(29s);
  EXPECT_EQ(get(inTime).body, "in time");
  clock_.advance(1s);
  EXPECT_EQ(get(late).head, "");
  EXPECT_TRUE(watchedFetched.expired());
  clock_.advance(1s);
  EXPECT_TRUE(eventually([&] { return watchedNeverFetched.expired(); }));
  EXPECT_EQ(server_->pendingOffers(), 0u);
}

TEST_F(LoopbackBodyServerTest, SilentClientsBlockNobodyAndAreDroppedAfterThreeSeconds) {
  LoopbackHttpClient silent(port());
  LoopbackHttpClient halfway(port());
  halfway.send("GET /0123");
  EXPECT_EQ(get(offer(textBody("served"))).body, "served");
  ASSERT_TRUE(eventually([&] { return server_->openConnections() == 2; }));
  clock_.advance(3s);
  EXPECT_TRUE(silent.waitForClose());
  EXPECT_TRUE(halfway.waitForClose());
  EXPECT_TRUE(eventually([&] { return server_->openConnections() == 0; }));
}

TEST_F(LoopbackBodyServerTest, WhenEveryConnectionIsTakenTheOldestWaitingForItsHeadMakesRoom) {
  LoopbackBodyServerOptions options;
  options.maxConnections = 4;
  options.clock = [this] { return clock_.now(); };
  auto small = LoopbackBodyServer::start(kOrigin, options);
  ASSERT_NE(small, nullptr);
  // One client being answered (it does not read), three holding their heads back.
  LoopbackHttpClient reading(small->port());
  reading.sendRequest(
      "GET", pathOfUrl(small->offer(200, "OK", "", std::make_shared<PatternBody>(256 * kMiB))));
  ASSERT_TRUE(eventually([&] { return small->pendingOffers() == 0; }));
  std::vector<std::unique_ptr<LoopbackHttpClient>> holders;
  auto addHolder = [&] {
    clock_.advance(10ms);  // distinct waiting times
    holders.push_back(std::make_unique<LoopbackHttpClient>(small->port()));
    return eventually([&] { return small->openConnections() == 4u; });
  };
  for (int i = 0; i < 3; ++i) {
    clock_.advance(10ms);
    holders.push_back(std::make_unique<LoopbackHttpClient>(small->port()));
  }
  ASSERT_TRUE(eventually([&] { return small->openConnections() == 4u; }));
  // Each newcomer pushes out the oldest holder, never the response in progress.
  for (size_t i = 0; i < 3; ++i) {
    auto response = fetchLoopback(small->port(), "GET",
                                  pathOfUrl(small->offer(200, "OK", "", textBody("fetched"))));
    EXPECT_EQ(response.body, "fetched");
    EXPECT_TRUE(holders[i]->waitForClose()) << i;
    ASSERT_TRUE(eventually([&] { return small->openConnections() == 3u; }));
    ASSERT_TRUE(addHolder()) << i;
  }
  EXPECT_FALSE(reading.readHead().empty());
}

TEST_F(LoopbackBodyServerTest, AClientThatStopsReadingIsDroppedAfterTheStallTimeout) {
  auto body = std::make_shared<PatternBody>(64 * kMiB);
  std::weak_ptr<PatternBody> watched = body;
  LoopbackHttpClient stalled(port());
  stalled.sendRequest("GET", offer(std::move(body)));
  ASSERT_TRUE(eventually([&] { return server_->pendingOffers() == 0; }));
  // Progress stops once the socket buffers are full; then a stall timeout passes.
  EXPECT_TRUE(eventually([&] {
    clock_.advance(120s);
    return watched.expired();
  }));
  EXPECT_TRUE(eventually([&] { return server_->openConnections() == 0; }));
}

TEST_F(LoopbackBodyServerTest, AClientLeavingMidBodyLeavesTheServerWorking) {
  for (bool contiguous : {false, true}) {
    SCOPED_TRACE(contiguous ? "contiguous body" : "read body");
    std::shared_ptr<webview::ResponseBody> body;
    if (contiguous) {
      body = std::make_shared<MemoryBody>(std::vector<std::byte>(32 * kMiB, std::byte{7}));
    } else {
      body = std::make_shared<PatternBody>(64 * kMiB);
    }
    std::weak_ptr<webview::ResponseBody> watched = body;
    {
      LoopbackHttpClient leaving(port());
      leaving.sendRequest("GET", offer(std::move(body)));
      ASSERT_TRUE(leaving.readHead().starts_with("HTTP/1.1 200 OK\r\n"));
      leaving.abort();
    }
    EXPECT_TRUE(eventually([&] { return watched.expired(); }));
    EXPECT_EQ(get(offer(textBody("still here"))).body, "still here");
  }
}

TEST_F(LoopbackBodyServerTest, ABodyEndingEarlyCutsTheConnection) {
  auto response = get(offer(std::make_shared<PatternBody>(4 * kMiB, kMiB)));
  EXPECT_EQ(response.header("Content-Length"), std::to_string(4 * kMiB));
  EXPECT_EQ(response.body.size(), kMiB);
}

TEST_F(LoopbackBodyServerTest, LargeBodiesStreamIntact) {
  PatternBody big(200 * 1000 * 1000 + 5);
  expectIntact(offer(std::make_shared<PatternBody>(big.size())), big);
  std::vector<std::byte> bytes(48 * kMiB + 11);
  PatternBody pattern(bytes.size());
  pattern.read(0, bytes);
  expectIntact(offer(std::make_shared<MemoryBody>(std::move(bytes))), pattern);
}

TEST_F(LoopbackBodyServerTest, ClientsAreServedSideBySide) {
  constexpr int kClients = 6;
  std::vector<std::shared_ptr<PatternBody>> bodies;
  std::vector<std::unique_ptr<LoopbackHttpClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    bodies.push_back(std::make_shared<PatternBody>((8 + static_cast<uint64_t>(i)) * kMiB + 3));
    clients.push_back(std::make_unique<LoopbackHttpClient>(port()));
    clients.back()->sendRequest("GET", offer(bodies.back()));
  }
  // Read them last to first: each must progress although the others are not read.
  for (int i = kClients - 1; i >= 0; --i) {
    ASSERT_FALSE(clients[i]->readHead().empty());
    PatternCheck check{*bodies[i]};
    EXPECT_EQ(clients[i]->readBody(std::ref(check)), bodies[i]->size());
    EXPECT_TRUE(check.intact);
  }
}

TEST_F(LoopbackBodyServerTest, ListensOnlyOn127001) {
  std::vector<std::string> elsewhere = {"127.0.0.2", "::1"};
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) == 0) {
    for (ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                sizeof text);
      if (std::string(text) != "127.0.0.1") elsewhere.emplace_back(text);
    }
    freeifaddrs(interfaces);
  }
  for (const std::string& address : elsewhere) {
    SCOPED_TRACE(address);
    EXPECT_THROW(LoopbackHttpClient(port(), address), std::system_error);
  }
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
  EXPECT_EQ(server_->pendingOffers(), 0u);
  EXPECT_EQ(server_->offer(200, "OK", "", nullptr), "");
  EXPECT_LT(reader.readBody([](std::span<const std::byte>) {}), 256 * kMiB);
  EXPECT_THROW(LoopbackHttpClient(oldPort, "127.0.0.1"), std::system_error);
  server_.reset();
}

}  // namespace
}  // namespace tavrelle::chromium
