#include "platform/chromium/RequestInterception.h"

#include <cstdio>

#include "platform/chromium/Base64.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/LoopbackBodyServer.h"
#include "platform/chromium/PermissionNames.h"
#include "platform/chromium/ResponseHeaders.h"
#include "common/UrlOrigin.h"

namespace tavrelle::chromium {

using webview::WebResourceContext;

WebResourceContext resourceContextOf(const std::string& resourceType) {
  static const std::map<std::string, WebResourceContext, std::less<>> contexts = {
      {"Document", WebResourceContext::Document},  {"Stylesheet", WebResourceContext::Stylesheet},
      {"Image", WebResourceContext::Image},        {"Media", WebResourceContext::Media},
      {"Font", WebResourceContext::Font},          {"Script", WebResourceContext::Script},
      {"XHR", WebResourceContext::XmlHttpRequest}, {"Fetch", WebResourceContext::Fetch},
  };
  auto found = contexts.find(resourceType);
  return found == contexts.end() ? WebResourceContext::Other : found->second;
}

namespace {

// Room for the command's envelope around the params (id, method, session).
constexpr size_t kEnvelopeAllowance = 256;

webview::HttpRequestHeaders requestHeadersOf(const Json& request) {
  std::vector<std::pair<std::string, std::string>> headers;
  if (auto found = request.find("headers"); found != request.end() && found->is_object()) {
    for (const auto& [name, value] : found->items()) {
      if (value.is_string()) headers.emplace_back(name, value.get<std::string>());
    }
  }
  return webview::HttpRequestHeaders(std::move(headers));
}

Json fulfillParams(const std::string& requestId, const webview::WebResourceResponse& response) {
  Json headers = Json::array();
  for (auto& [name, value] : parseHeaderBlock(response.headers)) {
    headers.push_back({{"name", name}, {"value", value}});
  }
  Json params = {{"requestId", requestId},
                 {"responseCode", response.statusCode},
                 {"responseHeaders", std::move(headers)}};
  if (!response.reasonPhrase.empty()) params["responsePhrase"] = response.reasonPhrase;
  return params;
}

}  // namespace

RequestInterception::RequestInterception(DevToolsClient& client, Handlers handlers)
    : client_(client), handlers_(std::move(handlers)) {
  client_.on("Fetch.requestPaused",
             [this](const Json& params, const std::string&) { onRequestPaused(params); });
}

RequestInterception::~RequestInterception() {
  for (auto& [origin, server] : loopbackServers_) server->stop();
}

void RequestInterception::addFilter(const std::string& uriPattern, WebResourceContext context) {
  // The pattern is a prefix followed by "*"; only a final "*" is a wildcard.
  std::string prefix = uriPattern;
  if (!prefix.empty() && prefix.back() == '*') prefix.pop_back();
  filters_.push_back(Filter{std::move(prefix), context});
  updateBrowserPatterns();
}

void RequestInterception::updateBrowserPatterns() {
  Json patterns = Json::array();
  for (const auto& filter : filters_) {
    patterns.push_back(
        {{"urlPattern", interceptionPatternFor(filter.prefix)}, {"requestStage", "Request"}});
  }
  if (handlers_.wantsNavigationStarting && handlers_.wantsNavigationStarting()) {
    patterns.push_back(
        {{"urlPattern", "*"}, {"resourceType", "Document"}, {"requestStage", "Request"}});
  }
  ++pendingPatternUpdates_;
  const char* method = patterns.empty() ? "Fetch.disable" : "Fetch.enable";
  Json params = patterns.empty() ? Json::object() : Json{{"patterns", std::move(patterns)}};
  client_.send(method, std::move(params), {}, [this](const DevToolsReply& reply) {
    if (!reply.ok) {
      std::fprintf(stderr, "tavrelle: request interception could not be set: %s\n",
                   reply.errorMessage.c_str());
    }
    if (--pendingPatternUpdates_ > 0) return;
    auto waiting = std::move(afterApplied_);
    afterApplied_.clear();
    for (auto& then : waiting) then();
  });
}

void RequestInterception::whenApplied(std::function<void()> then) {
  if (pendingPatternUpdates_ == 0) {
    then();
  } else {
    afterApplied_.push_back(std::move(then));
  }
}

RequestInterception::Coverage RequestInterception::coverageOf(const std::string& url,
                                                              WebResourceContext context) const {
  Coverage coverage = Coverage::None;
  for (const auto& filter : filters_) {
    if (!url.starts_with(filter.prefix)) continue;
    if (filter.context == WebResourceContext::All || filter.context == context)
      return Coverage::Raised;
    coverage = Coverage::Blocked;
  }
  return coverage;
}

void RequestInterception::onRequestPaused(const Json& params) {
  std::string requestId = params.value("requestId", std::string());
  if (requestId.empty() || !params.contains("request")) return;
  const Json& request = params["request"];
  std::string url = request.value("url", std::string());
  std::string resourceType = params.value("resourceType", std::string());
  WebResourceContext context = resourceContextOf(resourceType);

  bool topLevelNavigation = context == WebResourceContext::Document && !topFrameId_.empty() &&
                            params.value("frameId", std::string()) == topFrameId_;
  if (topLevelNavigation) {
    webview::NavigationStartingEventArgs navigation(url);
    if (handlers_.navigationStarting(navigation) && navigation.get_Cancel()) {
      // Aborting the document request keeps the current page alive, state and all.
      failRequest(requestId, "Aborted");
      return;
    }
  }

  Coverage coverage = coverageOf(url, context);
  if (coverage == Coverage::None) {
    continueRequest(requestId);  // a document outside the filters, paused only for navigation
    return;
  }
  webview::WebResourceRequestedEventArgs args(
      webview::WebResourceRequest{url, request.value("method", std::string("GET")),
                                  requestHeadersOf(request)},
      context);
  if (coverage != Coverage::Raised || !handlers_.resourceRequested(args)) {
    // Under a filter, yet not for the host: it must still not reach a network.
    failRequest(requestId, "BlockedByClient");
    return;
  }
  auto response = args.get_Response();
  if (response && context == WebResourceContext::Document)
    response->headers = withPermissionDelegationLimit(response->headers);
  answer(requestId, url, response);
}

void RequestInterception::answer(const std::string& requestId, const std::string& url,
                                 const std::optional<webview::WebResourceResponse>& response) {
  if (!response) {
    failRequest(requestId, "Failed");
    return;
  }
  uint64_t bodySize = response->content ? response->content->size() : 0;
  if (bodySize > kLoopbackThreshold && fulfillThroughLoopback(requestId, url, *response)) return;
  uint64_t messageSize = toWireJson(fulfillParams(requestId, *response)).size() +
                         base64Length(bodySize) + kEnvelopeAllowance;
  if (messageSize > quirks::kLargestMessageToBrowser) {
    std::fprintf(stderr, "tavrelle: the response for %s (%llu bytes) is too large to send\n",
                 url.c_str(), static_cast<unsigned long long>(bodySize));
    failRequest(requestId, "Failed");
    return;
  }
  fulfillInline(requestId, *response);
}

void RequestInterception::fulfillInline(const std::string& requestId,
                                        const webview::WebResourceResponse& response) {
  std::string head = toWireJson(fulfillParams(requestId, response));
  head.pop_back();  // the body member is appended before the closing brace
  std::string unreadable = toWireJson({{"requestId", requestId},
                                       {"responseCode", 500},
                                       {"responsePhrase", "Internal Server Error"},
                                       {"responseHeaders", Json::array()}});
  auto body = response.content;
  auto write = [head = std::move(head), unreadable = std::move(unreadable),
                body](std::string& out) {
    size_t start = out.size();
    out.reserve(start + head.size() + (body ? base64Length(body->size()) : 0) + 16);
    out += head;
    if (body) {
      out += ",\"body\":\"";
      if (!appendBase64(*body, out)) {
        out.resize(start);
        out += unreadable;
        return;
      }
      out += '"';
    }
    out += '}';
  };
  client_.sendWritten("Fetch.fulfillRequest", {}, std::move(write),
                      [this, requestId](const DevToolsReply& reply) {
                        // A browser error means the request is gone (the page dropped it);
                        // a message that could not be sent leaves it waiting.
                        if (!reply.ok && reply.errorCode == 0) failRequest(requestId, "Failed");
                      });
}

bool RequestInterception::fulfillThroughLoopback(const std::string& requestId,
                                                 const std::string& url,
                                                 const webview::WebResourceResponse& response) {
  std::string origin = urlOrigin(url);
  auto& server = loopbackServers_[origin];
  if (!server) server = LoopbackBodyServer::start(origin);
  if (!server) {
    loopbackServers_.erase(origin);
    return false;
  }
  std::string offered =
      server->offer(response.statusCode, response.reasonPhrase, response.headers, response.content);
  if (offered.empty()) return false;
  client_.send("Fetch.continueRequest", {{"requestId", requestId}, {"url", offered}}, {},
               [this, requestId](const DevToolsReply& reply) {
                 if (!reply.ok && reply.errorCode == 0) failRequest(requestId, "Failed");
               });
  return true;
}

void RequestInterception::failRequest(const std::string& requestId, const char* errorReason) {
  client_.send("Fetch.failRequest", {{"requestId", requestId}, {"errorReason", errorReason}});
}

void RequestInterception::continueRequest(const std::string& requestId) {
  client_.send("Fetch.continueRequest", {{"requestId", requestId}});
}

}  // namespace tavrelle::chromium
