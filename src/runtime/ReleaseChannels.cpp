#include "runtime/ReleaseChannels.h"

#include <array>
#include <cwctype>

namespace tavrelle::runtime {

namespace {

bool IsSpace(char c) { return std::iswspace(static_cast<wint_t>(static_cast<unsigned char>(c))); }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The channel number of a piece; stable for anything that is not a number below 5.
uint32_t ChannelNumberOf(std::string_view piece) {
  uint64_t number = 0;
  for (char c : piece) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<uint64_t>(c - '0');
    if (number >= kReleaseChannelCount) return 0;
  }
  return static_cast<uint32_t>(number);
}

}  // namespace

std::string_view NameSuffixOf(ReleaseChannel channel) {
  static constexpr std::array<std::string_view, kReleaseChannelCount> kSuffixes = {
      "", "beta", "dev", "canary", "internal"};
  return kSuffixes.at(static_cast<size_t>(channel));
}

const std::vector<std::string_view>& InstallLocationsOf(ReleaseChannel channel, bool edgeView) {
  static const std::array<std::vector<std::string_view>, kReleaseChannelCount> kLocations = {{
      {"/opt/google/chrome", "/opt/microsoft/msedge", "/usr/lib/chromium",
       "/usr/lib64/chromium-browser", "/usr/lib/chromium-browser"},
      {"/opt/google/chrome-beta", "/opt/microsoft/msedge-beta"},
      {"/opt/google/chrome-unstable", "/opt/microsoft/msedge-dev"},
      {"/opt/google/chrome-canary"},
      {},
  }};
  static const std::vector<std::string_view> kEdgeBrowser = {"/opt/microsoft/msedge"};
  if (edgeView && channel == ReleaseChannel::Stable) return kEdgeBrowser;
  return kLocations.at(static_cast<size_t>(channel));
}

uint32_t ParseReleaseChannelList(std::string_view text) {
  uint32_t mask = 0;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view piece = Trimmed(text.substr(0, comma));
    if (!piece.empty()) mask |= 1u << ChannelNumberOf(piece);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return mask;
}

std::vector<ReleaseChannel> ChannelSearchOrder(bool releaseChannelsSet, uint32_t mask,
                                               bool leastStableFirst) {
  // Every public channel asked for means internal too.
  const bool allPublic = (mask & ~MaskBitOf(ReleaseChannel::Internal)) == 0xF;
  if (!releaseChannelsSet || allPublic) mask = kAllReleaseChannels;
  std::vector<ReleaseChannel> order;
  for (int step = 0; step < kReleaseChannelCount; ++step) {
    const int number = leastStableFirst ? kReleaseChannelCount - 1 - step : step;
    const auto channel = static_cast<ReleaseChannel>(number);
    if ((mask & MaskBitOf(channel)) != 0) order.push_back(channel);
  }
  return order;
}

}  // namespace tavrelle::runtime
