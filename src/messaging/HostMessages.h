#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavrelle::host_messages {

// "type" values of the messages the page sends.
inline constexpr std::string_view kWrapperInit = "wrapper-init";
inline constexpr std::string_view kSetFullscreen = "set-fullscreen";
inline constexpr std::string_view kSetWindowSize = "set-window-size";
inline constexpr std::string_view kSetWindowPosition = "set-window-position";
inline constexpr std::string_view kMaximizeWindow = "maximize-window";
inline constexpr std::string_view kMinimizeWindow = "minimize-window";
inline constexpr std::string_view kRestoreWindow = "restore-window";
inline constexpr std::string_view kFocusWindow = "focus-window";
inline constexpr std::string_view kSetPointerLockEnabled = "set-pointer-lock-enabled";
inline constexpr std::string_view kExtensionMessage = "extension-message";

// Serialises a message the way the page receives every host message: compact,
// members in ascending key order, non-ASCII characters unescaped (bytes that are
// not UTF-8 become U+FFFD).
[[nodiscard]] std::string ToCompactJson(const nlohmann::json& message);

// The messages the host sends, serialised.
[[nodiscard]] std::string WrapperInitResponse(const std::vector<std::string>& componentIds);
[[nodiscard]] std::string FullscreenChange(bool isFullscreen);
[[nodiscard]] std::string WindowMaximized();
[[nodiscard]] std::string WindowMinimized();
[[nodiscard]] std::string LogToConsole(const std::string& message, const std::string& logType);

}  // namespace tavrelle::host_messages
