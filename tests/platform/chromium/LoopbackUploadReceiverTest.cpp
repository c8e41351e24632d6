#include "platform/chromium/LoopbackUploadReceiver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/LoopbackHttpClient.h"

namespace tavrelle::chromium {
namespace {

using test::LoopbackHttpClient;
using test::statusOf;

// Collects what the receiver hands over; refuses everything past `refuseFrom`.
class CollectingSink final : public webview::RequestBodySink {
 public:
  explicit CollectingSink(uint64_t size, uint64_t refuseFrom = UINT64_MAX)
      : size_(size), refuseFrom_(refuseFrom) {}
  [[nodiscard]] uint64_t size() const override { return size_; }
  bool write(uint64_t offset, std::span<const std::byte> bytes) override {
    std::lock_guard lock(mutex_);
    if (offset != received_.size() || offset + bytes.size() > refuseFrom_) return false;
    received_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  }
  std::string received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  uint64_t size_;
  uint64_t refuseFrom_;
  std::mutex mutex_;
  std::string received_;
};

void WaitForFirstBytes(CollectingSink& sink) {
  const auto started = std::chrono::steady_clock::now();
  while (sink.received().empty() &&
         std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

class LoopbackUploadReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(receiver); }

  test::LoopbackHttpResponse post(const std::string& url, const std::string& body, size_t length) {
    return test::fetchLoopback(
        receiver->port(), "POST", test::pathOfUrl(url),
        "Origin: https://tavrelle.localhost\r\nContent-Length: " + std::to_string(length) + "\r\n",
        body);
  }

  std::unique_ptr<LoopbackUploadReceiver> receiver = LoopbackUploadReceiver::start();
};

TEST_F(LoopbackUploadReceiverTest, TheBodyReachesTheSinkOnceAndTheOriginMayReadTheAnswer) {
  const std::string body(3 << 20, 'x');
  auto sink = std::make_shared<CollectingSink>(body.size());
  const std::string url = receiver->offer(sink);
  ASSERT_TRUE(url.starts_with("http://127.0.0.1:")) << url;
  const auto response = post(url, body, body.size());
  EXPECT_EQ(response.status, 204) << response.head;
  EXPECT_EQ(response.header("Access-Control-Allow-Origin"), "https://tavrelle.localhost");
  EXPECT_EQ(sink->received(), body);
  EXPECT_EQ(post(url, "y", 1).status, 404);  // used up
}

TEST_F(LoopbackUploadReceiverTest, WrongLengthsUnknownTokensAndRefusalsFail) {
  auto sink = std::make_shared<CollectingSink>(10);
  EXPECT_EQ(post(receiver->offer(sink), "0123456789a", 11).status, 400);
  EXPECT_EQ(post("http://127.0.0.1:1/0123456789abcdef0123456789abcdef", "x", 1).status, 404);
  auto refusing = std::make_shared<CollectingSink>(10, 4);
  EXPECT_EQ(post(receiver->offer(refusing), "0123456789", 10).status, 500);
  EXPECT_TRUE(refusing->received().empty());
  EXPECT_EQ(
      test::fetchLoopback(receiver->port(), "GET", test::pathOfUrl(receiver->offer(sink))).status,
      405);
  EXPECT_TRUE(sink->received().empty());
}

// Two writables closing at once: the first upload's client pauses halfway, and the
// second is received to the end meanwhile. Received one after the other, the second
// would wait for the first to time out, and the first would then lose its connection.
TEST_F(LoopbackUploadReceiverTest, AnUploadInProgressHoldsUpNoOther) {
  const std::string first(1 << 20, 'a');
  const std::string second(2 << 20, 'b');
  auto firstSink = std::make_shared<CollectingSink>(first.size());
  auto secondSink = std::make_shared<CollectingSink>(second.size());
  LoopbackHttpClient paused(receiver->port());
  paused.sendRequest("POST", test::pathOfUrl(receiver->offer(firstSink)),
                     "Content-Length: " + std::to_string(first.size()) + "\r\n");
  paused.send(std::string_view(first).substr(0, 1000));
  WaitForFirstBytes(*firstSink);
  ASSERT_EQ(firstSink->received().size(), 1000u);

  EXPECT_EQ(post(receiver->offer(secondSink), second, second.size()).status, 204);
  EXPECT_EQ(secondSink->received(), second);

  paused.send(std::string_view(first).substr(1000));
  EXPECT_EQ(statusOf(paused.readHead()), 204);
  EXPECT_EQ(firstSink->received(), first);
}

TEST_F(LoopbackUploadReceiverTest, AStalledUploadDoesNotHoldUpStopping) {
  auto sink = std::make_shared<CollectingSink>(100);
  LoopbackHttpClient client(receiver->port());
  client.sendRequest("POST", test::pathOfUrl(receiver->offer(sink)), "Content-Length: 100\r\n");
  client.send("only a part");
  WaitForFirstBytes(*sink);
  receiver.reset();  // returns without waiting for the rest
  EXPECT_EQ(sink->received(), "only a part");
  EXPECT_TRUE(client.waitForClose());
}

}  // namespace
}  // namespace tavrelle::chromium
