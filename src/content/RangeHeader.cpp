#include "content/RangeHeader.h"

#include <cstdint>
#include <limits>

#include "content/ResourceServer.h"

namespace tavrelle {
namespace {

constexpr std::string_view kUnitPrefix = "bytes=";

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a number the way strtol does: leading white space, one optional sign, then
// digits up to the first non-digit. Nothing when there are no digits or the value
// does not fit 64 signed bits. Positions are 64-bit so that media in files of 2 GiB
// or more can still be seeked; for smaller files any number beyond 32 bits fails the
// bounds exactly as before. The result is widened with its sign, so a negative
// number becomes a huge unsigned value that fails every bound.
std::optional<uint64_t> ReadLeadingNumber(std::string_view text) {
  size_t index = 0;
  while (index < text.size() && IsWhiteSpace(text[index])) {
    ++index;
  }
  bool negative = false;
  if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
    negative = text[index] == '-';
    ++index;
  }
  const size_t firstDigit = index;
  uint64_t magnitude = 0;
  constexpr uint64_t kLargestMagnitude = uint64_t{std::numeric_limits<int64_t>::max()} + 1;
  while (index < text.size() && text[index] >= '0' && text[index] <= '9') {
    const auto digit = static_cast<uint64_t>(text[index] - '0');
    if (magnitude > (kLargestMagnitude - digit) / 10) {
      return std::nullopt;
    }
    magnitude = magnitude * 10 + digit;
    ++index;
  }
  if (index == firstDigit) {
    return std::nullopt;
  }
  if (!negative && magnitude > uint64_t{std::numeric_limits<int64_t>::max()}) {
    return std::nullopt;
  }
  return negative ? uint64_t{0} - magnitude : magnitude;
}

}  // namespace

std::string_view TrimRangeValue(std::string_view value) {
  while (!value.empty() && IsWhiteSpace(value.front())) {
    value.remove_prefix(1);
  }
  while (!value.empty() && IsWhiteSpace(value.back())) {
    value.remove_suffix(1);
  }
  return value;
}

std::optional<ByteRange> ResourceServer::parseRange(std::string_view value, uint64_t size) {
  if (size == 0 || !value.starts_with(kUnitPrefix)) {
    return std::nullopt;
  }
  const std::string_view spec = value.substr(kUnitPrefix.size());
  const size_t dash = spec.find('-');
  if (dash == std::string_view::npos) {
    return std::nullopt;
  }

  if (dash == 0) {
    const std::optional<uint64_t> count = ReadLeadingNumber(spec.substr(1));
    if (!count || *count == 0 || *count > size) {
      return std::nullopt;
    }
    return ByteRange{size - *count, size - 1};
  }

  const std::optional<uint64_t> first = ReadLeadingNumber(spec.substr(0, dash));
  if (!first || *first >= size) {
    return std::nullopt;
  }
  if (dash == spec.size() - 1) {
    return ByteRange{*first, size - 1};
  }
  // Whatever follows the second number, such as further ranges of a list, is ignored.
  const std::optional<uint64_t> last = ReadLeadingNumber(spec.substr(dash + 1));
  if (!last || *last >= size || *first > *last) {
    return std::nullopt;
  }
  return ByteRange{*first, *last};
}

}  // namespace tavrelle
