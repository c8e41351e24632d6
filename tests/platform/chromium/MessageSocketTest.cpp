#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/chromium/PageMessageOrder.h"
#include "platform/chromium/PageMessageSocket.h"
#include "platform/chromium/WebSocketProtocol.h"
#include "platform/linux/PollEventLoop.h"
#include "support/LoopbackHttpClient.h"

namespace tavrelle::chromium {
namespace {

using test::LoopbackHttpClient;

// A client's frame: masked, as a browser sends it.
std::string maskedFrame(uint8_t firstByte, const std::string& payload) {
  const char mask[4] = {0x37, static_cast<char>(0xfa), 0x21, 0x3d};
  std::string frame(1, static_cast<char>(firstByte));
  if (payload.size() < 126) {
    frame += static_cast<char>(0x80 | payload.size());
  } else {
    frame += static_cast<char>(0x80 | 126);
    frame += static_cast<char>(payload.size() >> 8);
    frame += static_cast<char>(payload.size() & 0xFF);
  }
  frame.append(mask, 4);
  for (size_t i = 0; i < payload.size(); ++i) frame += static_cast<char>(payload[i] ^ mask[i % 4]);
  return frame;
}

std::vector<std::string> textsOf(WebSocketReader& reader) {
  std::vector<std::string> texts;
  while (auto frame = reader.next()) texts.push_back(frame->payload);
  return texts;
}

TEST(WebSocketProtocol, AnswersTheHandshakeAndJoinsFragmentsFedByteByByte) {
  EXPECT_NE(webSocketHandshakeAnswer("dGhlIHNhbXBsZSBub25jZQ==")
                .find("\r\nSec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"),
            std::string::npos);
  const std::string stream = maskedFrame(0x01, "Hel") + maskedFrame(0x8A, "") +
                             maskedFrame(0x80, "lo") + maskedFrame(0x81, std::string(300, 'x'));
  WebSocketReader reader(1000);
  std::vector<std::string> texts;
  for (char byte : stream) {
    reader.append(std::string_view(&byte, 1));
    for (auto& text : textsOf(reader)) texts.push_back(text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Hello", std::string(300, 'x')}));
  EXPECT_FALSE(reader.failed());
}

TEST(WebSocketProtocol, RefusesFramesNoBrowserSends) {
  const std::vector<std::pair<const char*, std::string>> broken = {
      {"unmasked", std::string("\x81\x02hi", 4)},
      {"binary", maskedFrame(0x82, "hi")},
      {"longer than allowed", maskedFrame(0x81, std::string(200, 'x'))},
      {"continuation first", maskedFrame(0x80, "hi")},
      {"text inside a fragmented text", maskedFrame(0x01, "a") + maskedFrame(0x81, "b")},
      {"fragmented ping", maskedFrame(0x09, "p")},
  };
  for (const auto& [what, bytes] : broken) {
    WebSocketReader reader(100);
    reader.append(bytes);
    EXPECT_TRUE(textsOf(reader).empty()) << what;
    EXPECT_TRUE(reader.failed()) << what;
  }
}

TEST(PageMessageOrder, HandsOnInThePagesOrderPerDocumentAndSkipsAGapThatNeverCloses) {
  PageMessageOrder order;
  std::vector<std::string> handed;
  auto collect = [&](std::string& message) { handed.push_back(message); };
  order.accept(1, 2, "c", collect);
  order.accept(2, 0, "other document", collect);
  order.accept(1, 1, "b", collect);
  EXPECT_EQ(handed, (std::vector<std::string>{"other document"}));
  order.accept(1, 0, "a", collect);
  order.accept(1, 1, "b again", collect);
  EXPECT_EQ(handed, (std::vector<std::string>{"other document", "a", "b", "c"}));

  handed.clear();
  for (uint64_t number = 5; number <= PageMessageOrder::kMostWaiting + 5; ++number)
    order.accept(1, number, std::to_string(number), collect);
  ASSERT_EQ(handed.size(), PageMessageOrder::kMostWaiting + 1);
  EXPECT_EQ(handed.front(), "5");
  order.accept(1, 3, "late", collect);
  order.accept(1, PageMessageOrder::kMostWaiting + 6, "next", collect);
  EXPECT_EQ(handed.back(), "next");
}

// The host's side on the main loop, a client (the page) on a thread of its own.
class PageMessageSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket_ = PageMessageSocket::start(loop_, 1 << 16, [this](int64_t context, std::string& text) {
      received_.emplace_back(context, text);
    });
    ASSERT_TRUE(socket_);
    address_ = socket_->address();
  }

  // Runs the loop until `done`, with a deadline that fails rather than hangs.
  void runUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < deadline)
      loop_.runOnce(std::chrono::milliseconds(10));
    ASSERT_TRUE(done());
  }

  // Runs `page` on a thread against a fresh connection to the socket's port.
  void asPage(const std::function<void(LoopbackHttpClient&)>& page) {
    std::atomic<bool> finished = false;
    std::thread client([&] {
      LoopbackHttpClient connection(port());
      page(connection);
      finished = true;
    });
    runUntil([&] { return finished.load(); });
    client.join();
  }

  [[nodiscard]] uint16_t port() const {
    return static_cast<uint16_t>(std::stoi(address_.substr(address_.rfind(':') + 1)));
  }
  // "/<key>": the socket's address without its scheme and port.
  [[nodiscard]] std::string keyPath() const { return address_.substr(address_.find('/', 5)); }
  static std::string openingHead(LoopbackHttpClient& client, const std::string& target) {
    client.sendRequest("GET", target,
                       "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                       "Sec-WebSocket-Version: 13\r\n",
                       true);
    return client.readHead();
  }

  linux_platform::PollEventLoop loop_;
  std::unique_ptr<PageMessageSocket> socket_;
  std::string address_;
  std::vector<std::pair<int64_t, std::string>> received_;
  const std::string token_ = std::string(32, 'a');
};

TEST_F(PageMessageSocketTest, OnlyTheKeyOpensItAndOnlyTheAnnouncedDocumentIsGreeted) {
  std::string target = keyPath() + token_;
  asPage([&](LoopbackHttpClient& page) {
    EXPECT_EQ(openingHead(page, "/" + std::string(32, '0') + token_), "");
  });
  asPage([&](LoopbackHttpClient& page) {
    EXPECT_EQ(openingHead(page, target.substr(0, target.size() - 1) + "g"), "");
  });

  // Announced after the socket opened: greeted once both are there.
  std::atomic<bool> opened = false;
  std::thread first([&] {
    LoopbackHttpClient page(port());
    EXPECT_EQ(test::statusOf(openingHead(page, target)), 101);
    opened = true;
    EXPECT_EQ(page.readBodyText(7), "\x81\x05hello");
    page.send(maskedFrame(0x81, "m0:first"));
    EXPECT_EQ(page.readBodyText(7), "\x81\x05reply");
    // A later document takes over: this socket is closed.
    EXPECT_TRUE(page.readBodyText(4).starts_with("\x88"));
    EXPECT_TRUE(page.waitForClose());
  });
  runUntil([&] { return opened.load(); });
  EXPECT_FALSE(socket_->send(7, "reply"));
  socket_->announce(7, token_);
  runUntil([&] { return !received_.empty(); });
  EXPECT_EQ(received_.front(), (std::pair<int64_t, std::string>{7, "m0:first"}));
  EXPECT_FALSE(socket_->send(8, "reply"));
  EXPECT_TRUE(socket_->send(7, "reply"));
  socket_->announce(9, std::string(32, 'b'));
  runUntil([&] { return true; });
  first.join();

  // Announced first; a socket that speaks before its greeting is dropped.
  const std::string later = std::string(32, 'c');
  socket_->announce(10, later);
  asPage([&](LoopbackHttpClient& page) {
    EXPECT_EQ(test::statusOf(openingHead(page, keyPath() + later)), 101);
    EXPECT_EQ(page.readBodyText(7), "\x81\x05hello");
  });
  asPage([&](LoopbackHttpClient& page) {
    EXPECT_EQ(test::statusOf(openingHead(page, keyPath() + std::string(32, 'd'))), 101);
    page.send(maskedFrame(0x81, "m0:unannounced"));
    page.readBodyText(4);
    EXPECT_TRUE(page.waitForClose());
  });
  EXPECT_EQ(received_.size(), 1u);
}

}  // namespace
}  // namespace tavrelle::chromium
