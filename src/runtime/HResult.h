#pragma once

// Result codes of the runtime locator: the loader's documented results, kept as the
// 32-bit codes callers and telemetry know them by.

#include <cstdint>
#include <string>

namespace tavrelle::runtime {

using HResult = int32_t;

inline constexpr HResult kOk = 0;
inline constexpr HResult kPointerMissing = static_cast<HResult>(0x80004003);  // E_POINTER
inline constexpr HResult kFailed = static_cast<HResult>(0x80004005);          // E_FAIL

// Error numbers of the system the codes come from, wrapped by HResultFromError.
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorModuleNotFound = 126;
inline constexpr uint32_t kErrorProcNotFound = 127;
inline constexpr uint32_t kErrorBadExeFormat = 193;

[[nodiscard]] constexpr HResult HResultFromError(uint32_t error) {
  return error == 0 ? kOk : static_cast<HResult>((error & 0xFFFFu) | 0x80070000u);
}

inline constexpr HResult kFileNotFound = HResultFromError(kErrorFileNotFound);  // 0x80070002
inline constexpr HResult kNotSupported = HResultFromError(kErrorNotSupported);  // 0x80070032
inline constexpr HResult kModuleNotFound = HResultFromError(kErrorModuleNotFound);

[[nodiscard]] constexpr bool Failed(HResult result) { return result < 0; }
[[nodiscard]] constexpr bool Succeeded(HResult result) { return result >= 0; }

// Eight upper-case hexadecimal digits, without "0x".
[[nodiscard]] std::string HexOf(HResult result);

}  // namespace tavrelle::runtime
