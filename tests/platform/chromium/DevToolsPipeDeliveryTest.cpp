// The pipe hands the browser's messages over on the main loop: a listener that throws
// or that ends the pipe mid-read must neither lose nor touch what comes after.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/chromium/DevToolsPipe.h"
#include "platform/linux/PollEventLoop.h"

namespace tavrelle::chromium {
namespace {

class DevToolsPipeDeliveryTest : public ::testing::Test, public DevToolsTransport::Listener {
 protected:
  void SetUp() override {
    int toBrowser[2], fromBrowser[2];
    ASSERT_EQ(pipe2(toBrowser, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(fromBrowser, O_CLOEXEC), 0);
    close(toBrowser[0]);
    browserWrites_ = fromBrowser[1];
    pipe_ = std::make_unique<DevToolsPipe>(loop_, toBrowser[1], fromBrowser[0]);
    pipe_->setListener(this);
  }
  void TearDown() override {
    pipe_.reset();
    if (browserWrites_ >= 0) close(browserWrites_);
  }
  void onMessageReceived(nlohmann::json message) override {
    int id = message.value("id", 0);
    ids.push_back(id);
    if (onId) onId(id);
  }
  void onMessageRejected(uint64_t, const std::string&) override {}
  void onTransportClosed(const std::string&) override { ids.push_back(-1); }

  // The browser sends messages 1..count in one write, then closes its end.
  void browserSendsAndCloses(int count) {
    std::string bytes;
    for (int id = 1; id <= count; ++id) bytes += "{\"id\":" + std::to_string(id) + "}" + '\0';
    ASSERT_EQ(write(browserWrites_, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
    close(browserWrites_);
    browserWrites_ = -1;
  }
  void runUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
      loop_.runOnce(std::chrono::milliseconds(10));
  }

  linux_platform::PollEventLoop loop_;
  std::unique_ptr<DevToolsPipe> pipe_;
  int browserWrites_ = -1;
  std::vector<int> ids;
  std::function<void(int)> onId;
};

TEST_F(DevToolsPipeDeliveryTest, MessagesAfterAThrowingListenerStillArriveInOrder) {
  onId = [](int id) {
    if (id == 2) throw std::runtime_error("a handler failed");
  };
  browserSendsAndCloses(4);
  runUntil([&] { return ids.size() == 5; });
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, -1}));  // -1: the closure, reported last
}

TEST_F(DevToolsPipeDeliveryTest, AListenerThatEndsThePipeHearsNothingMore) {
  onId = [this](int id) {
    if (id == 2) pipe_.reset();
  };
  browserSendsAndCloses(4);
  runUntil([&] { return !pipe_; });
  loop_.runOnce(std::chrono::milliseconds(50));
  EXPECT_EQ(ids, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace tavrelle::chromium
