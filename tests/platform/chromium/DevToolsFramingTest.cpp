#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/DevToolsPipe.h"
#include "platform/chromium/NulFrameSplitter.h"
#include "platform/linux/PollEventLoop.h"

namespace tavrelle::chromium {
namespace {

std::vector<std::string> splitAll(const std::vector<std::string>& reads,
                                  NulFrameSplitter& splitter) {
  std::vector<std::string> messages;
  for (const auto& bytes : reads) {
    splitter.feed(bytes, [&](std::string&& message) { messages.push_back(std::move(message)); });
  }
  return messages;
}

// However reads cut the stream, each NUL ends one message, empty ones included.
TEST(NulFrameSplitterTest, ReadsSplitAndMergedAnywhereGiveTheSameMessages) {
  using Texts = std::vector<std::string>;
  const std::string wire("{\"method\":\"Page.loadEventFired\"}\0", 33);
  Texts byteByByte;
  for (char c : wire) byteByByte.emplace_back(1, c);
  const std::vector<std::pair<Texts, Texts>> cases = {
      {byteByByte, {"{\"method\":\"Page.loadEventFired\"}"}},
      {{"{\"x\":1}", std::string("\0", 1), std::string("{}\0", 3)}, {"{\"x\":1}", "{}"}},
      {{std::string("\0\0", 2)}, {"", ""}}};
  for (const auto& [reads, messages] : cases) {
    NulFrameSplitter splitter;
    EXPECT_EQ(splitAll(reads, splitter), messages);
    EXPECT_EQ(splitter.pendingBytes(), 0u);
  }
}

TEST(NulFrameSplitterTest, AMessageOverTheCeilingIsSkippedWithoutBeingHeld) {
  NulFrameSplitter splitter(16);
  std::vector<std::string> messages;
  std::vector<std::pair<std::string, size_t>> oversized;
  auto feed = [&](std::string_view bytes) {
    splitter.feed(
        bytes, [&](std::string&& message) { messages.push_back(std::move(message)); },
        [&](std::string_view start, size_t length) { oversized.emplace_back(start, length); });
  };
  feed(std::string("{\"id\":1}\0{\"id\":22,\"result\":", 27));
  feed(std::string(300, 'x'));
  EXPECT_EQ(splitter.pendingBytes(), 0u);  // nothing of the long one is held
  EXPECT_TRUE(oversized.empty());          // reported once it has ended
  feed(std::string("}\0{\"exactly16byte\"\0", 19));
  EXPECT_EQ(messages, (std::vector<std::string>{"{\"id\":1}", "{\"exactly16byte\""}));
  ASSERT_EQ(oversized.size(), 1u);
  EXPECT_EQ(oversized[0].first.size(), NulFrameSplitter::kKeptStartOfOversized);
  EXPECT_TRUE(oversized[0].first.starts_with("{\"id\":22,\"result\":xxx"));
  EXPECT_EQ(oversized[0].second, 18u + 300u + 1u);
}

std::string idMessage(uint64_t id) { return "{\"id\":" + std::to_string(id) + "}"; }

class Recorder : public DevToolsTransport::Listener {
 public:
  void onMessageReceived(nlohmann::json message) override {
    received.push_back(std::move(message));
    if (onEach) onEach(received.back().value("id", 0));
  }
  void onMessageRejected(uint64_t id, const std::string& reason) override {
    rejected.emplace_back(id, reason);
  }
  void onTransportClosed(const std::string& reason) override {
    closed.push_back(reason);
    receivedBeforeClose = received.size();
  }

  std::function<void(int id)> onEach;
  std::vector<nlohmann::json> received;
  size_t receivedBeforeClose = 0;
  std::vector<std::pair<uint64_t, std::string>> rejected;
  std::vector<std::string> closed;
};

class DevToolsPipeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int toBrowser[2], fromBrowser[2];
    ASSERT_EQ(pipe2(toBrowser, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(fromBrowser, O_CLOEXEC), 0);
    browserReads_ = toBrowser[0];
    browserWrites_ = fromBrowser[1];
    pipe_ = std::make_unique<DevToolsPipe>(loop_, toBrowser[1], fromBrowser[0]);
    pipe_->setListener(&recorder_);
  }
  void TearDown() override {
    pipe_.reset();
    if (browserReads_ >= 0) close(browserReads_);
    if (browserWrites_ >= 0) close(browserWrites_);
  }
  void browserSays(const std::string& bytes) {
    ASSERT_EQ(write(browserWrites_, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
  }
  void browserSendsAndCloses(int count) {
    std::string bytes;
    for (int id = 1; id <= count; ++id) bytes += idMessage(id) + '\0';
    browserSays(bytes);
    close(browserWrites_);
    browserWrites_ = -1;
  }
  std::vector<int> receivedIds() const {
    std::vector<int> ids;
    for (const auto& message : recorder_.received) ids.push_back(message.value("id", 0));
    return ids;
  }
  bool runUntil(const std::function<bool()>& pred) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred() && std::chrono::steady_clock::now() < deadline)
      loop_.runOnce(std::chrono::milliseconds(10));
    return pred();
  }
  std::string browserReadsUntilNul() {
    std::string got;
    char c;
    while (read(browserReads_, &c, 1) == 1 && c != '\0') got.push_back(c);
    return got;
  }

  linux_platform::PollEventLoop loop_;
  Recorder recorder_;
  std::unique_ptr<DevToolsPipe> pipe_;
  int browserReads_ = -1;
  int browserWrites_ = -1;
};

TEST_F(DevToolsPipeTest, MessagesArriveParsedInOrderAndAMalformedOneIsDropped) {
  browserSays(std::string("{\"id\":1,\"result\":{}}\0{broken\0{\"method\":\"A\"", 42));
  browserSays(std::string(",\"params\":{}}\0", 14));
  ASSERT_TRUE(runUntil([&] { return recorder_.received.size() == 2; }));
  EXPECT_EQ(recorder_.received[0]["id"], 1);
  EXPECT_EQ(recorder_.received[1]["method"], "A");
  EXPECT_TRUE(recorder_.closed.empty());
}

// Cheap messages are produced at once; others on the writer thread, in the order sent.
TEST_F(DevToolsPipeTest, CheapMessagesGoOutAtOnceYetNeverAheadOfQueuedOnes) {
  auto producedOn = [](std::thread::id& thread, std::string text) {
    return [&thread, text] {
      thread = std::this_thread::get_id();
      return text;
    };
  };
  std::thread::id cheapThread, bigThread;
  pipe_->send({1, producedOn(cheapThread, idMessage(1)), true});
  EXPECT_EQ(cheapThread, std::this_thread::get_id());
  EXPECT_EQ(browserReadsUntilNul(), idMessage(1));
  // More than the pipe holds: the writer thread blocks on it while cheap ones queue up.
  std::string big = "{\"big\":\"" + std::string(1 << 20, 'b') + "\"}";
  pipe_->send(OutgoingMessage{2, producedOn(bigThread, big)});
  for (uint64_t id = 3; id < 6; ++id) pipe_->send({id, [id] { return idMessage(id); }, true});
  EXPECT_EQ(browserReadsUntilNul(), big);
  EXPECT_NE(bigThread, std::this_thread::get_id());
  for (int id = 3; id < 6; ++id) EXPECT_EQ(browserReadsUntilNul(), idMessage(id));
}

TEST_F(DevToolsPipeTest, OversizedMessageIsRejectedWithoutBreakingTheConnection) {
  pipe_->send({3, [] { return std::string(quirks::kLargestMessageToBrowser + 1, 'x'); }});
  pipe_->send({4, [] { return idMessage(4); }});
  EXPECT_EQ(browserReadsUntilNul(), idMessage(4));
  ASSERT_TRUE(runUntil([&] { return recorder_.rejected.size() == 1; }));
  EXPECT_EQ(recorder_.rejected[0].first, 3u);
  EXPECT_TRUE(recorder_.closed.empty());
}

TEST_F(DevToolsPipeTest, AnOversizedReplyFailsItsCommandAndTheNextMessageArrives) {
  std::string huge = "{\"id\":41,\"result\":{\"value\":\"";
  huge.resize(DevToolsPipe::kLargestMessageFromBrowser + 10, 'x');
  huge += std::string("\"}}\0", 4);
  std::thread writer([&] {
    browserSays(huge);
    browserSays(std::string("{\"id\":42}\0", 10));
  });
  ASSERT_TRUE(runUntil([&] { return recorder_.received.size() == 1; }));
  writer.join();
  EXPECT_EQ(recorder_.received[0]["id"], 42);
  ASSERT_EQ(recorder_.rejected.size(), 1u);
  EXPECT_EQ(recorder_.rejected[0].first, 41u);
  EXPECT_TRUE(recorder_.closed.empty());
}

TEST_F(DevToolsPipeTest, WritingToAGoneBrowserIsReportedNotFatal) {
  close(browserReads_);
  browserReads_ = -1;
  pipe_->send({1, [] { return idMessage(1); }});
  ASSERT_TRUE(runUntil([&] { return !recorder_.closed.empty(); }));
  EXPECT_NE(recorder_.closed[0].find("writing"), std::string::npos);
}

// Messages are handed over on the main loop: a listener that throws or that ends the pipe
// mid-read must neither lose nor touch what comes after.
TEST_F(DevToolsPipeTest, MessagesAfterAThrowingListenerStillArriveInOrder) {
  recorder_.onEach = [](int id) {
    if (id == 2) throw std::runtime_error("a handler failed");
  };
  browserSendsAndCloses(4);
  ASSERT_TRUE(runUntil([&] { return !recorder_.closed.empty(); }));
  EXPECT_EQ(receivedIds(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(recorder_.receivedBeforeClose, 4u);  // the closure is reported last
}

TEST_F(DevToolsPipeTest, AListenerThatEndsThePipeHearsNothingMore) {
  recorder_.onEach = [this](int id) {
    if (id == 2) pipe_.reset();
  };
  browserSendsAndCloses(4);
  runUntil([&] { return !pipe_; });
  loop_.runOnce(std::chrono::milliseconds(50));
  EXPECT_EQ(receivedIds(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(recorder_.closed.empty());
}

}  // namespace
}  // namespace tavrelle::chromium
