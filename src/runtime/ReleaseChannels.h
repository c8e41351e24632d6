#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavrelle::runtime {

// The release channels of a runtime, most stable first; channel n is allowed by mask
// bit (1 << n).
enum class ReleaseChannel : uint8_t { Stable = 0, Beta = 1, Dev = 2, Canary = 3, Internal = 4 };

inline constexpr int kReleaseChannelCount = 5;
inline constexpr uint32_t kAllReleaseChannels = 0x1F;

[[nodiscard]] constexpr uint32_t MaskBitOf(ReleaseChannel channel) {
  return 1u << static_cast<uint32_t>(channel);
}

// Appended after a blank to the version text of a runtime of this channel; empty for stable.
[[nodiscard]] std::string_view NameSuffixOf(ReleaseChannel channel);

// Where each channel's browsers are installed, tried in order. In Edge-view mode the
// stable slot means Microsoft Edge itself.
[[nodiscard]] const std::vector<std::string_view>& InstallLocationsOf(ReleaseChannel channel,
                                                                      bool edgeView);

// A comma-separated list of channel numbers as a mask. Pieces are trimmed of white space
// and empty ones skipped; a piece that is not a number below 5 counts as stable.
[[nodiscard]] uint32_t ParseReleaseChannelList(std::string_view text);

// The channels to search, in order: most stable first, or least stable first.
// mask: the requested channels, when they were requested at all.
[[nodiscard]] std::vector<ReleaseChannel> ChannelSearchOrder(bool releaseChannelsSet, uint32_t mask,
                                                             bool leastStableFirst);

}  // namespace tavrelle::runtime
