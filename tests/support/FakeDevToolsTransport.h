#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/chromium/DevToolsTransport.h"

namespace tavrelle::test {

// A browser end that keeps what the client sent and answers when the test says.
class FakeDevToolsTransport final : public chromium::DevToolsTransport {
 public:
  void setListener(Listener* listener) override { listener_ = listener; }
  void send(chromium::OutgoingMessage message) override {
    sent.push_back(nlohmann::json::parse(message.produce()));
    EXPECT_EQ(sent.back()["id"], message.id);  // a rejection must name the right command
  }
  void receive(const nlohmann::json& message) { listener_->onMessageReceived(message); }
  void reject(uint64_t id) { listener_->onMessageRejected(id, "too large"); }
  void close() { listener_->onTransportClosed("gone"); }

  // The methods sent so far, in order.
  [[nodiscard]] std::vector<std::string> methods() const {
    std::vector<std::string> names;
    for (const auto& message : sent) names.push_back(message.value("method", std::string()));
    return names;
  }
  // Answers the earliest command of that method not answered yet, with result.
  void answer(const std::string& method, const nlohmann::json& result = nlohmann::json::object()) {
    for (const auto& message : sent) {
      if (message.value("method", std::string()) != method) continue;
      uint64_t id = message["id"];
      if (!answered_.insert(id).second) continue;
      receive({{"id", id}, {"result", result}});
      return;
    }
    ADD_FAILURE() << "nothing unanswered for " << method;
  }

  std::vector<nlohmann::json> sent;

 private:
  Listener* listener_ = nullptr;
  std::set<uint64_t> answered_;
};

}  // namespace tavrelle::test
