#include "platform/chromium/LoopbackHttpMessages.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace tavrelle::chromium {

namespace {

constexpr std::string_view kCrlf = "\r\n";

bool isTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text) {
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Lines split at "\n", each without its "\r\n" or "\n".
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

struct HeaderField {
  std::string_view name;
  std::string_view value;
};

std::optional<HeaderField> splitHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) return std::nullopt;
  return HeaderField{line.substr(0, colon), trimmed(line.substr(colon + 1))};
}

bool hasControlChars(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7f;
  });
}

std::optional<std::array<std::string_view, 3>> splitRequestLine(std::string_view line) {
  size_t first = line.find(' ');
  if (first == std::string_view::npos) return std::nullopt;
  size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  return std::array{line.substr(0, first), line.substr(first + 1, second - first - 1),
                    line.substr(second + 1)};
}

std::string statusLine(int status, std::string_view reason) {
  std::string line = "HTTP/1.1 " + std::to_string(status) + " ";
  for (char c : reason) {
    if (!hasControlChars(std::string_view(&c, 1))) line += c;
  }
  return line.append(kCrlf);
}

void appendLine(std::string& head, std::string_view name, std::string_view value) {
  head.append(name).append(": ").append(value).append(kCrlf);
}

// The lines every answer carries: the page's origin may read it, and whether the
// connection stays open for the next request.
void appendServerLines(std::string& head, std::string_view allowedOrigin, bool keepAlive) {
  appendLine(head, "Access-Control-Allow-Origin", allowedOrigin);
  appendLine(head, "Access-Control-Allow-Private-Network", "true");
  appendLine(head, "Connection", keepAlive ? "keep-alive" : "close");
}

bool listsToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    size_t comma = list.find(',');
    if (equalsIgnoringCase(trimmed(list.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

bool isServerOwnedHeader(std::string_view name) {
  static constexpr std::array<std::string_view, 8> kOwned = {"Connection",
                                                             "Keep-Alive",
                                                             "Transfer-Encoding",
                                                             "Access-Control-Allow-Origin",
                                                             "Access-Control-Allow-Private-Network",
                                                             "Access-Control-Allow-Credentials",
                                                             "Access-Control-Expose-Headers",
                                                             "Proxy-Connection"};
  return std::any_of(kOwned.begin(), kOwned.end(),
                     [&](std::string_view owned) { return equalsIgnoringCase(name, owned); });
}

bool namesLength(std::string_view value, uint64_t length) {
  uint64_t parsed = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
  return error == std::errc() && end == value.data() + value.size() && parsed == length;
}

}  // namespace

std::optional<size_t> requestHeadLength(std::string_view received) {
  size_t crlf = received.find("\r\n\r\n");
  size_t lf = received.find("\n\n");
  std::optional<size_t> length;
  if (crlf != std::string_view::npos) length = crlf + 4;
  if (lf != std::string_view::npos && (!length || lf + 2 < *length)) length = lf + 2;
  return length;
}

std::optional<LoopbackRequestHead> parseRequestHead(std::string_view head) {
  std::vector<std::string_view> lines = splitLines(head);
  if (lines.empty()) return std::nullopt;
  auto parts = splitRequestLine(lines.front());
  if (!parts) return std::nullopt;
  auto [method, target, version] = *parts;
  if (!isToken(method) || target.empty() || hasControlChars(target) ||
      (version != "HTTP/1.1" && version != "HTTP/1.0")) {
    return std::nullopt;
  }
  LoopbackRequestHead request;
  request.method = std::string(method);
  request.target = std::string(target);
  bool keepAliveAsked = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) break;
    auto field = splitHeaderLine(lines[i]);
    if (!field || hasControlChars(field->value)) return std::nullopt;
    if (equalsIgnoringCase(field->name, "Access-Control-Request-Headers")) {
      if (!request.accessControlRequestHeaders.empty()) request.accessControlRequestHeaders += ", ";
      request.accessControlRequestHeaders += field->value;
    } else if (equalsIgnoringCase(field->name, "Access-Control-Request-Method")) {
      request.isPreflight = method == "OPTIONS";
      request.accessControlRequestMethod = field->value;
    } else if (equalsIgnoringCase(field->name, "Content-Length")) {
      request.hasBody = request.hasBody || !namesLength(field->value, 0);
    } else if (equalsIgnoringCase(field->name, "Transfer-Encoding")) {
      request.hasBody = true;
    } else if (equalsIgnoringCase(field->name, "Upgrade")) {
      request.upgradesToWebSocket = listsToken(field->value, "websocket");
    } else if (equalsIgnoringCase(field->name, "Sec-WebSocket-Key")) {
      request.webSocketKey = std::string(field->value);
    } else if (equalsIgnoringCase(field->name, "Connection")) {
      request.wantsClose = request.wantsClose || listsToken(field->value, "close");
      keepAliveAsked = keepAliveAsked || listsToken(field->value, "keep-alive");
    }
  }
  if (version == "HTTP/1.0" && !keepAliveAsked) request.wantsClose = true;
  return request;
}

std::string bodyResponseHead(int status, std::string_view reason, std::string_view headerBlock,
                             uint64_t bodySize, std::string_view allowedOrigin, bool keepAlive) {
  std::string head = statusLine(status, reason);
  std::string exposed;
  bool lengthWritten = false;
  for (std::string_view line : splitLines(headerBlock)) {
    auto field = splitHeaderLine(line);
    if (!field || hasControlChars(line) || isServerOwnedHeader(field->name)) continue;
    if (equalsIgnoringCase(field->name, "Content-Length")) {
      if (lengthWritten || !namesLength(field->value, bodySize)) continue;
      lengthWritten = true;
    }
    head.append(line).append(kCrlf);
    // The page reads this response across origins: without this it would see only the
    // safelisted headers (no Content-Range, for one).
    if (!exposed.empty()) exposed += ", ";
    exposed += field->name;
  }
  if (!lengthWritten) appendLine(head, "Content-Length", std::to_string(bodySize));
  appendServerLines(head, allowedOrigin, keepAlive);
  appendLine(head, "Access-Control-Allow-Credentials", "true");
  if (!exposed.empty()) appendLine(head, "Access-Control-Expose-Headers", exposed);
  return head.append(kCrlf);
}

std::string preflightResponseHead(std::string_view allowedOrigin, std::string_view requestedHeaders,
                                  std::string_view requestedMethod, bool keepAlive) {
  std::string head = statusLine(204, "No Content");
  appendServerLines(head, allowedOrigin, keepAlive);
  appendLine(head, "Access-Control-Allow-Credentials", "true");
  std::string methods = "GET, HEAD, OPTIONS";
  if (isToken(requestedMethod) && !listsToken(methods, requestedMethod)) {
    methods.append(", ").append(requestedMethod);
  }
  appendLine(head, "Access-Control-Allow-Methods", methods);
  bool plainList = std::all_of(requestedHeaders.begin(), requestedHeaders.end(), [](char c) {
    return isTokenChar(c) || c == ',' || c == ' ' || c == '\t';
  });
  if (!trimmed(requestedHeaders).empty() && plainList) {
    appendLine(head, "Access-Control-Allow-Headers", trimmed(requestedHeaders));
  }
  appendLine(head, "Access-Control-Max-Age", "600");
  appendLine(head, "Content-Length", "0");
  return head.append(kCrlf);
}

std::string emptyResponseHead(int status, std::string_view reason, std::string_view allowedOrigin,
                              std::string_view extraLines) {
  std::string head = statusLine(status, reason);
  head.append(extraLines);
  appendLine(head, "Content-Length", "0");
  appendServerLines(head, allowedOrigin, false);
  return head.append(kCrlf);
}

}  // namespace tavrelle::chromium
