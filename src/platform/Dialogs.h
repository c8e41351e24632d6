#pragma once

#include <functional>
#include <string>

namespace tavrelle {

enum class MessageBoxIcon { Error, Warning };

// Shows a modal message with one OK button and no owner window, and waits until it is
// dismissed. Implementations also write it to standard error, so that it is seen
// without a display.
using ShowMessageBoxPort =
    std::function<void(const std::string& text, const std::string& caption, MessageBoxIcon icon)>;

}  // namespace tavrelle
