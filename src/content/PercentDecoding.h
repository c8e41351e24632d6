#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrelle {

// Decodes every "%" followed by two hexadecimal digits into its byte; any other "%"
// stays as it is. The decoded bytes are read as UTF-8: a malformed sequence becomes
// U+FFFD, as a UTF-16 round trip would make it. Nothing when the decoded text plus a
// terminator needs more than maxUtf16Units UTF-16 code units.
[[nodiscard]] std::optional<std::string> PercentDecodeUtf8(std::string_view encoded,
                                                           size_t maxUtf16Units);

}  // namespace tavrelle
